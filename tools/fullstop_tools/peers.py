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


SENTENCEX_VERSION = "1.0.17"


def install_sentencex():
    """bench/out/npm/node_modules holding the npm package sentencex and its
    Linux binary, fetched with npm pack (no install scripts run)."""
    base = os.path.join(OUT, "npm")
    modules = os.path.join(base, "node_modules")
    packages = ("sentencex", "sentencex-linux-x64")
    if all(os.path.exists(os.path.join(modules, p, "package.json")) for p in packages):
        return modules
    os.makedirs(modules, exist_ok=True)
    for package in packages:
        log("fetching %s@%s with npm pack" % (package, SENTENCEX_VERSION))
        r = subprocess.run(["npm", "pack", "--silent", "%s@%s" % (package, SENTENCEX_VERSION)],
                           cwd=base, capture_output=True, text=True, check=True)
        tgz = os.path.join(base, r.stdout.strip().splitlines()[-1])
        dest = os.path.join(modules, package)
        shutil.rmtree(dest, ignore_errors=True)
        os.makedirs(dest)
        run_checked(["tar", "xzf", tgz, "-C", dest, "--strip-components", "1"])
    return modules


# ---------------------------------------------------------------- systems
#
# A system is a function from the text's UTF-8 bytes to byte spans.


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
    """sentencex through bench/sentencex_split.mjs (node, NODE_PATH=modules)."""
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
