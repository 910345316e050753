import pytest

nltk_api = pytest.importorskip("nltk.tokenize.api")

import fullstop  # noqa: E402
import fullstop.nltk  # noqa: E402
from conftest import CLASSIC_MODEL, NON_ASCII, SMALL_TEXTS  # noqa: E402

TEXTS = [*SMALL_TEXTS.values(), NON_ASCII, "  Padded sentence.   Another one.  \n\n  Third.  "]


@pytest.mark.parametrize("text", TEXTS)
def test_span_tokenize_agrees_with_tokenize(text):
    tokenizer = fullstop.nltk.SentenceTokenizer()
    spans = list(tokenizer.span_tokenize(text))
    assert [text[a:b] for a, b in spans] == tokenizer.tokenize(text)
    assert all(text[a:b] == text[a:b].strip() and a < b for a, b in spans)
    assert tokenizer.tokenize(text) == fullstop.Splitter().split(text)


def test_it_is_an_nltk_tokenizer():
    assert isinstance(fullstop.nltk.SentenceTokenizer(CLASSIC_MODEL), nltk_api.TokenizerI)
    tokenizer = fullstop.nltk.SentenceTokenizer()
    texts = ["It rained. We stayed in.", "Did it stop? Yes!"]
    # TokenizerI's own helpers, built on tokenize and span_tokenize.
    assert tokenizer.tokenize_sents(texts) == [["It rained.", "We stayed in."], ["Did it stop?", "Yes!"]]
    assert list(tokenizer.span_tokenize_sents(texts)) == [[(0, 10), (11, 24)], [(0, 12), (13, 17)]]


def test_sent_tokenize_is_a_drop_in():
    text = "Mr. Smith went to Washington. He arrived at 5 p.m. on Monday."
    assert fullstop.nltk.sent_tokenize(text) == fullstop.Splitter().split(text)
    assert fullstop.nltk.sent_tokenize(text, language="english") == fullstop.nltk.sent_tokenize(text)
    with pytest.raises(ValueError, match="'klingon' .known: dutch, english, french, german, portuguese, spanish"):
        fullstop.nltk.sent_tokenize(text, language="klingon")
    splitter = fullstop.Splitter()
    assert fullstop.nltk.SentenceTokenizer(splitter).splitter is splitter


# Each language's own model: its abbreviations and ordinals, which the
# English model would split at, stay inside a sentence.
@pytest.mark.parametrize("language, text, sentences", [
    ("english", "Mr. Smith came at 5 p.m. on Monday. He left.", 2),
    ("german", "Am 3. Oktober kam er z. B. mit Dr. Weber an. Dann ging er.", 2),
    ("french", "M. Dupont est venu avec Mme Martin, p. ex. le 2e jour. Il est parti.", 2),
    ("spanish", "La Sra. García llegó el 1.º de mayo. ¿Y luego? Se fue.", 3),
    ("portuguese", "O Sr. Silva chegou no dia 1.º de maio. Depois saiu.", 2),
    ("dutch", "Hij kwam o.a. met dhr. Jansen, d.w.z. per trein. Daarna ging hij.", 2),
])
def test_sent_tokenize_takes_nltk_language_names(language, text, sentences):
    code = fullstop.nltk.LANGUAGES[language]
    got = fullstop.nltk.sent_tokenize(text, language=language)
    assert got == fullstop.Splitter(code).split(text)
    assert len(got) == sentences, got
