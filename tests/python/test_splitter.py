import os
import pickle
import random
import subprocess
import warnings
from concurrent.futures import ThreadPoolExecutor
from multiprocessing import get_context

import pytest

import fullstop
from conftest import (CLASSIC_MODEL, EN_MODEL, NON_ASCII, ROOT, SMALL_TEXTS, TEXT_NAMES, program_spans,
                      run_program, text_bytes)


def char_index(data, offset):
    return len(data[:offset].decode("utf-8"))


@pytest.mark.parametrize("name", TEXT_NAMES)
def test_spans_are_the_programs(program, model_path, name):
    data = text_bytes(name)
    expected = program_spans(model_path, data)
    splitter = fullstop.Splitter(model_path)
    assert splitter.spans(data) == expected
    assert splitter.spans(bytearray(data)) == expected
    assert splitter.spans(data.decode("utf-8")) == [
        (char_index(data, a), char_index(data, b)) for a, b in expected]
    # Threads cut a long text into blocks; the spans must not change.
    assert splitter.spans(data, jobs=2) == expected
    assert splitter.spans(data.decode("utf-8"), jobs=0) == splitter.spans(data.decode("utf-8"))


@pytest.mark.parametrize("name", TEXT_NAMES)
def test_text_lines_are_the_programs_F_output(program, model_path, name):
    data = text_bytes(name)
    expected = run_program(model_path, data, "-F").stdout
    assert fullstop.Splitter(model_path).text_lines(data) == expected
    assert fullstop.Splitter(model_path).text_lines(data, jobs=3) == expected


ODD_SPACE = "\x1c One. \x1f\u3000Two.\u2029\x0b Three.\x85 \u200a"


@pytest.mark.parametrize("text", [*SMALL_TEXTS.values(), NON_ASCII.encode("utf-8"), ODD_SPACE,
                                  ODD_SPACE.encode("utf-8"), bytearray(NON_ASCII.encode("utf-8"))])
def test_split_is_stripped_nonempty_pieces(splitter, text):
    expected = [text[a:b].strip() for a, b in splitter.spans(text)]
    assert splitter.split(text) == [s for s in expected if s]


def test_readme_example(splitter):
    assert splitter.split("Hello there. How are you?") == ["Hello there.", "How are you?"]
    assert splitter.split("") == []


@pytest.mark.parametrize("text", ["", " \n\t\n", "\ufeff\u200b\n\n\u3000", b"", b"\r\n\r\n"])
def test_blank_text_has_no_sentence_in_the_unicode_mode(splitter, text):
    assert splitter.spans(text) == []
    assert splitter.spans(text, jobs=2) == []
    assert splitter.text_lines(text.encode() if isinstance(text, str) else text) == b""
    # The classic mode prints one empty sentence for it, as it always has.
    assert fullstop.Splitter(CLASSIC_MODEL).spans(text)[0][0] == 0


def test_lone_surrogates_count_as_one_character(splitter):
    text = "Broken \ud800 pair. Next \udfff one."
    spans = splitter.spans(text)
    assert [text[a:b] for a, b in spans] == ["Broken \ud800 pair.", "Next \udfff one."]
    encoded = text.encode("utf-8", "surrogatepass")
    assert splitter.spans(encoded) == [(len(text[:a].encode("utf-8", "surrogatepass")),
                                        len(text[:b].encode("utf-8", "surrogatepass")))
                                       for a, b in spans]


def random_chunks(text, rng, most):
    chunks, i = [], 0
    while i < len(text):
        n = rng.randint(0, most)
        chunks.append(text[i:i + n])
        i += n
    return chunks


PARAGRAPHS = ("One. Two three.\n\nFour five. Six.\n \t\nSeven?\n\n\n  Eight!\r\n\r\nNine. \n"
              "\n\u00a0Ten.\n\nE.g. eleven.\n\n\u201cTwelve.\u201d\n\n" + NON_ASCII + "\n\nLast.\n\n"
              "He met Dr.\n\nSmith later. The U.S.\n\nArmy won. No mark here\n\n- a list item\n\n(a) Next.\n\n")


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("model", ["unicode", "classic"])
def test_split_lines_equals_split_of_the_joined_text(seed, model):
    splitter = fullstop.Splitter(EN_MODEL if model == "unicode" else CLASSIC_MODEL)
    rng = random.Random(seed)
    try:
        brown = text_bytes("brown_dev").decode("utf-8")
        start = rng.randrange(len(brown) - 40000)
        brown = brown[start:start + 40000]
    except pytest.skip.Exception:
        brown = ""
    text = PARAGRAPHS * 3 + brown
    for most in (1, 7, 200, 5000):
        chunks = random_chunks(text, rng, most)
        assert list(splitter.split_lines(chunks)) == splitter.split("".join(chunks))
    lines = text.splitlines(keepends=True)
    assert list(splitter.split_lines(lines)) == splitter.split(text)


@pytest.mark.parametrize("model", ["unicode", "classic"])
def test_split_lines_yields_decided_sentences_before_the_input_ends(model):
    # A sentence is yielded once the lines after it settle it: here the
    # first paragraph's once the next one's first line has come, before the
    # last line is asked for.
    splitter = fullstop.Splitter(EN_MODEL if model == "unicode" else CLASSIC_MODEL)

    def lines():
        yield "First sentence. Second one.\n"
        yield "\n"
        yield "Third"
        yield " one here.\n"
        seen.append(True)
        yield "Fourth sentence.\n"

    seen = []
    out = splitter.split_lines(lines())
    assert next(out) == "First sentence."
    assert next(out) == "Second one."
    assert not seen
    assert list(out) == ["Third one here.", "Fourth sentence."]


def test_pickle_holds_the_model_not_its_path(tmp_path):
    path = tmp_path / "copy.model"
    path.write_bytes(open(CLASSIC_MODEL, "rb").read())
    splitter = fullstop.Splitter(path)
    dumped = pickle.dumps(splitter)
    path.unlink()
    copy = pickle.loads(dumped)
    assert copy.text_mode == "classic" and copy.name == str(path)
    text = SMALL_TEXTS["ascii"] + NON_ASCII
    assert copy.spans(text) == splitter.spans(text)
    assert pickle.loads(pickle.dumps(fullstop.Splitter())).text_mode == "unicode"


def _split_in_child(args):
    splitter, text = args
    return splitter.split(text)


def test_multiprocessing_ships_splitters(splitter):
    texts = [SMALL_TEXTS["ascii"], NON_ASCII, ""]
    with get_context("spawn").Pool(2) as pool:
        assert pool.map(_split_in_child, [(splitter, t) for t in texts]) == [splitter.split(t) for t in texts]


def test_threads_share_a_splitter(splitter):
    texts = [(NON_ASCII + SMALL_TEXTS["ascii"]) * k for k in range(1, 40)]
    expected = [(splitter.spans(t), splitter.split(t), splitter.text_lines(t.encode())) for t in texts]

    def work(text):
        return splitter.spans(text), splitter.split(text), splitter.text_lines(text.encode())

    with ThreadPoolExecutor(4) as pool:
        for _ in range(3):
            assert list(pool.map(work, texts)) == expected


def test_from_bytes_and_text_mode():
    data = open(EN_MODEL, "rb").read()
    assert fullstop.Splitter.from_bytes(data).text_mode == "unicode"
    assert fullstop.Splitter.from_bytes(open(CLASSIC_MODEL, "rb").read()).text_mode == "classic"
    assert fullstop.Splitter.from_bytes(data).split("A b. C d.") == fullstop.Splitter().split("A b. C d.")


@pytest.mark.parametrize("path, error", [("/nonexistent/x.model", FileNotFoundError),
                                          ("/", IsADirectoryError)])
def test_unreadable_models_raise_os_errors(path, error):
    with pytest.raises(error):
        fullstop.Splitter(path)


def test_unknown_text_mode_is_refused():
    with pytest.raises(ValueError, match="text mode|text-mode"):
        fullstop.Splitter.from_bytes(b"0\t#text-mode=klingon\n")


def test_bad_record_warns_as_the_program_does(program, tmp_path):
    path = tmp_path / "bad.model"
    path.write_bytes(b"".join(open(EN_MODEL, "rb").readlines()[:3]) + b"not a record\n")
    with pytest.warns(fullstop.ModelWarning) as caught:
        splitter = fullstop.Splitter(path)
    stderr = run_program(str(path), b"A b.").stderr.decode()
    assert stderr == f"fullstop: warning: {caught[0].message}\n"
    assert splitter.warning == str(caught[0].message)
    assert issubclass(fullstop.ModelWarning, UserWarning)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        pickle.loads(pickle.dumps(splitter))  # no second warning


@pytest.mark.parametrize("jobs", [-1, 2**31, 2**64])
@pytest.mark.parametrize("call", ["spans", "split", "text_lines"])
def test_jobs_out_of_range_are_refused_by_name(splitter, call, jobs):
    with pytest.raises(ValueError, match="jobs"):
        getattr(splitter, call)(b"One. Two.", jobs=jobs)


@pytest.mark.parametrize("make", [bytearray, memoryview, lambda b: memoryview(bytearray(b))])
def test_bytes_like_split_as_bytes(splitter, make):
    text = b"He left. She stayed.  \n\nThe end."
    got = splitter.split(make(text))
    assert [bytes(s) for s in got] == splitter.split(text)


@pytest.mark.parametrize("bad", [12, None, ["a"], memoryview(b"ab").cast("B", (1, 2)), memoryview(b"abcd")[::2]])
def test_non_text_is_a_type_error(splitter, bad):
    with pytest.raises(TypeError):
        splitter.spans(bad)


def test_version_is_the_programs(program):
    out = subprocess.run([program, "--version"], stdout=subprocess.PIPE, check=True).stdout.decode()
    assert out.split()[1] == fullstop.__version__


def test_type_hints_ship_with_the_package():
    folder = os.path.dirname(fullstop.__file__)
    for name in ("py.typed", "__init__.pyi", "nltk.pyi", "dask.pyi"):
        assert os.path.exists(os.path.join(folder, name))
    # Every bundled model ships, byte for byte; en is the default.
    models = os.path.dirname(EN_MODEL)
    for name in sorted(os.listdir(models)):
        if name.endswith(".model"):
            with open(os.path.join(folder, name), "rb") as bundled, \
                    open(os.path.join(models, name), "rb") as source:
                assert bundled.read() == source.read(), name
    assert fullstop.default_model_path() == os.path.join(folder, "en.model")


BUNDLED = sorted(name[:-len(".model")] for name in os.listdir(os.path.join(ROOT, "models"))
                 if name.endswith(".model"))


@pytest.mark.parametrize("name", BUNDLED)
def test_every_bundled_model_ships_and_loads_by_name(name, monkeypatch):
    monkeypatch.delenv("FULLSTOP_MODEL_PATH", raising=False)
    splitter = fullstop.Splitter(name)
    assert os.path.dirname(splitter.name) == os.path.dirname(fullstop.default_model_path())
    with open(os.path.join(ROOT, "models", name + ".model"), "rb") as f:
        assert splitter.model_bytes == f.read()


def test_model_names_follow_the_search_path(tmp_path, monkeypatch):
    (tmp_path / "de.model").write_text("5\ttext_2_.\n")  # a stop at every full stop
    (tmp_path / "mine").write_text("-5\ttext_2_.\n")     # never a stop
    monkeypatch.setenv("FULLSTOP_MODEL_PATH", "%s:/nonexistent" % tmp_path)
    assert fullstop.model_search_path()[:2] == [str(tmp_path), "/nonexistent"]
    assert fullstop.find_model("de") == str(tmp_path / "de.model")
    assert fullstop.Splitter("de").split("Am 3. Mai. Ja.") == ["Am 3.", "Mai.", "Ja."]
    assert fullstop.find_model("en").startswith(os.path.dirname(fullstop.default_model_path()))
    # Paths are never searched: a slash or a .model ending, or a file that exists.
    assert fullstop.find_model("sub/de") == "sub/de"
    assert fullstop.find_model("de.model") == "de.model"
    monkeypatch.chdir(tmp_path)
    assert fullstop.Splitter("mine").split("A b. C d.") == ["A b. C d."]
    with pytest.raises(FileNotFoundError, match="no model 'klingon': no klingon.model in %s, /nonexistent"
                       % tmp_path):
        fullstop.Splitter("klingon")


@pytest.mark.parametrize("model", ["unicode", "classic"])
def test_short_texts_from_many_threads_get_the_spans_of_a_fresh_split(model):
    # spans() and split() of a text on this thread go through splitters kept
    # between calls (and shared by threads in turn); jobs=2 splits afresh.
    # Texts of every length up to a few hundred characters, cut anywhere.
    splitter = fullstop.Splitter(EN_MODEL if model == "unicode" else CLASSIC_MODEL)
    rng = random.Random(5)
    text = PARAGRAPHS * 20
    texts = []
    for length in list(range(0, 40)) + [rng.randrange(40, 600) for _ in range(300)]:
        start = rng.randrange(len(text) - length)
        texts.append(text[start:start + length])
    texts += [t.encode("utf-8") for t in texts[::3]]
    fresh = [splitter.spans(t, jobs=2) for t in texts]

    def check(order):
        for i in order:
            assert splitter.spans(texts[i]) == fresh[i], repr(texts[i])
        return True

    orders = [rng.sample(range(len(texts)), len(texts)) for _ in range(6)]
    with ThreadPoolExecutor(max_workers=3) as pool:
        assert all(pool.map(check, orders))
