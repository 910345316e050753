"""The other sentence splitters bench/ compares fullstop with: how each is
built, trained or installed (cached in bench/out/), and each as a function
from a text's UTF-8 bytes to byte spans.  bench/run times and scores them on
the Brown and web texts; bench/edge_cases runs them on the edge-case suite."""

import os
import pickle
import shutil
import subprocess
import sys

from . import locations

ROOT = locations.HOME
BENCH = os.path.join(ROOT, "bench")
OUT = os.path.join(BENCH, "out")
BROWN = locations.DATA["brown"]


def log(msg):
    print("bench: " + msg, file=sys.stderr, flush=True)


def die(msg):
    sys.exit("bench: " + msg)


def run_checked(cmd, **kw):
    r = subprocess.run(cmd, **kw)
    if r.returncode != 0:
        die("command failed (exit %d): %s" % (r.returncode, " ".join(map(str, cmd))))
    return r


def newer(target, *sources):
    """True if target exists and is at least as new as every source."""
    if not os.path.exists(target):
        return False
    t = os.path.getmtime(target)
    return all(os.path.getmtime(s) <= t for s in sources)


def ensure_brown():
    need = [os.path.join(BROWN, "test." + x) for x in ("txt", "gold", "lines")]
    need.append(os.path.join(BROWN, "train.lines"))
    if not all(os.path.exists(p) for p in need):
        log("building the Brown data (scripts/brown-data)")
        run_checked([sys.executable, os.path.join(ROOT, "scripts", "brown-data")])
    # The accuracy table scores restyled copies of dev and test too; brown-data
    # does not write them, so a fresh checkout needs them made here.
    if not os.path.exists(os.path.join(BROWN, "test-wrapped.gold")):
        log("writing the restyled Brown copies (scripts/restyle --all)")
        run_checked([sys.executable, os.path.join(ROOT, "scripts", "restyle"), "--all",
                     "--dir", BROWN])


def build_icu():
    src = os.path.join(BENCH, "icu_split.cpp")
    exe = os.path.join(OUT, "icu_split")
    if newer(exe, src):
        return exe
    log("compiling icu_split")
    os.makedirs(OUT, exist_ok=True)
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "icu-uc", "icu-i18n"],
                           capture_output=True, text=True, check=True).stdout.split()
    run_checked(["g++", "-std=c++20", "-O2", "-Wall", "-Wextra", src, "-o", exe] + flags)
    return exe


def opennlp_trainer(data, model, lang="en", eos_chars=None, log_file=None):
    """OpenNLP's sentence detector trained on sentence-per-line data."""
    cmd = ["opennlp", "SentenceDetectorTrainer", "-lang", lang, "-encoding", "UTF-8",
           "-model", model, "-data", data]
    if eos_chars:
        cmd[2:2] = ["-eosChars", eos_chars]
    with open(log_file or model + ".train.log", "wb") as logf:
        run_checked(cmd, stdout=logf, stderr=subprocess.STDOUT, cwd=os.path.dirname(model))
    return model


def train_opennlp(name, eos_chars):
    """Train (or reuse) an OpenNLP sentence model on the Brown training lines."""
    data = os.path.join(BROWN, "train.lines")
    model = os.path.join(OUT, "opennlp-%s.bin" % name)
    if newer(model, data):
        return model
    log("training OpenNLP model %s" % name)
    os.makedirs(OUT, exist_ok=True)
    return opennlp_trainer(data, model, "en", eos_chars,
                           os.path.join(OUT, "opennlp-%s.train.log" % name))


def icu_spans(exe, data, locale="en_US"):
    r = subprocess.run([exe, locale], input=data, capture_output=True, check=True)
    return [tuple(map(int, line.split())) for line in r.stdout.splitlines() if line.strip()]


def icu_system():
    exe = build_icu()
    return lambda data: icu_spans(exe, data)


def aligned(data, printed):
    """Byte spans of sentences printed one a line (bench/align_sentences.py)."""
    sys.path.insert(0, BENCH)
    from align_sentences import align
    return align(data, printed.split(b"\n"))[0]


def opennlp_spans(model, data):
    r = subprocess.run(["opennlp", "SentenceDetector", model], input=data,
                       capture_output=True, check=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    return aligned(data, r.stdout)


def opennlp_system():
    if not shutil.which("opennlp"):
        raise RuntimeError("no opennlp command (Debian package opennlp)")
    ensure_brown()
    model = train_opennlp("brown", None)
    return lambda data: opennlp_spans(model, data)


def sentencex_spans(modules, language, data):
    """sentencex with a language code, through bench/sentencex_split.mjs
    (node, NODE_PATH=modules as npm_modules("sentencex") returns), which
    works round the panics npm_split.js's English run has not met."""
    r = subprocess.run(["node", os.path.join(BENCH, "sentencex_split.mjs"), language],
                       input=data, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True,
                       env=dict(os.environ, NODE_PATH=modules))
    return aligned(data, r.stdout)


def punkt_spans(tok, data):
    text = data.decode("utf-8")
    # Punkt counts characters; turn its offsets into byte offsets.
    starts = [0]
    for ch in text:
        starts.append(starts[-1] + len(ch.encode("utf-8")))
    return [(starts[a], starts[b]) for a, b in tok.span_tokenize(text)]


def punkt_system():
    """Returns (split, note): Punkt with NLTK's English parameters when they
    are installed, else trained on the Brown training text (cached)."""
    from nltk.tokenize.punkt import PunktSentenceTokenizer
    import nltk.data
    try:
        tok = nltk.data.load("tokenizers/punkt/english.pickle")
        note = "Punkt: NLTK's pretrained English parameters"
    except LookupError:
        ensure_brown()
        train = os.path.join(BROWN, "train.txt")
        cache = os.path.join(OUT, "punkt-brown.pickle")
        if newer(cache, train):
            with open(cache, "rb") as f:
                tok = pickle.load(f)
        else:
            log("training Punkt on %s (unsupervised)" % os.path.relpath(train, ROOT))
            with open(train, encoding="utf-8") as f:
                tok = PunktSentenceTokenizer(f.read())
            os.makedirs(OUT, exist_ok=True)
            with open(cache + ".tmp", "wb") as f:
                pickle.dump(tok, f)
            os.replace(cache + ".tmp", cache)
        note = ("Punkt: NLTK's pretrained data is not installed, so trained unsupervised "
                "on data/brown/train.txt")

    return (lambda data: punkt_spans(tok, data)), note


# The npm splitters, pinned: sbd (rules and an abbreviation list) and
# sentencex (Wikimedia's multilingual rules, compiled; its Linux build comes
# as a package of its own).  Fetched with `npm pack` and unpacked into
# bench/out/npm/node_modules, without npm install: sbd runs from its
# published browser build, which needs none of its dependencies.
NPM_PACKAGES = {"sbd": [("sbd", "1.0.19")],
                "sentencex": [("sentencex", "1.0.17"), ("sentencex-linux-x64", "1.0.17")]}
NPM_SPLIT = os.path.join(BENCH, "npm_split.js")


def npm_modules(which):
    """bench/out/npm/node_modules with the packages of one npm splitter."""
    if not shutil.which("node") or not shutil.which("npm"):
        raise RuntimeError("no node and npm (Debian packages nodejs and npm)")
    cache = os.path.join(OUT, "npm")
    modules = os.path.join(cache, "node_modules")
    for name, version in NPM_PACKAGES[which]:
        folder = os.path.join(modules, name)
        stamp = os.path.join(folder, ".version")
        if os.path.exists(stamp) and open(stamp).read() == version:
            continue
        log("fetching %s@%s with npm pack" % (name, version))
        os.makedirs(folder, exist_ok=True)
        tgz = os.path.join(cache, "%s-%s.tgz" % (name, version))
        if not os.path.exists(tgz):
            run_checked(["npm", "pack", "--silent", "%s@%s" % (name, version)], cwd=cache,
                        stdout=subprocess.DEVNULL)
        run_checked(["tar", "-xzf", tgz, "-C", folder, "--strip-components=1"])
        with open(stamp, "w") as f:
            f.write(version)
    return modules


def npm_command(which):
    """The command that prints the splitter's sentences one a line."""
    return ["node", NPM_SPLIT, which, npm_modules(which)]


def npm_system(which):
    cmd = npm_command(which)
    sys.path.insert(0, BENCH)
    from align_sentences import align

    def split(data):
        r = subprocess.run(cmd, input=data, capture_output=True, check=True)
        spans, _ = align(data, r.stdout.split(b"\n"))
        return spans
    return split


def main(argv=None):
    """python3 -m fullstop_tools.peers punkt < TEXT: the peer's sentences as
    "start end" byte offsets, one a line (bench/run scores them)."""
    argv = sys.argv[1:] if argv is None else argv
    if argv != ["punkt"]:
        sys.exit("usage: python3 -m fullstop_tools.peers punkt < TEXT")
    split, _ = punkt_system()
    for start, end in split(sys.stdin.buffer.read()):
        sys.stdout.write("%d %d\n" % (start, end))


if __name__ == "__main__":
    main()
