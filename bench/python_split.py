#!/usr/bin/python3
"""Speed of the Python binding beside the program and other Python splitters.

  bench/python_split.py [--rounds N] [--fullstop PATH] [--python-only]

Run with the interpreter that has the fullstop package (scripts/test leaves
one in build/py-venv: build/py-venv/bin/python bench/python_split.py).  The
input is bench/run's 20 MiB text: the raw Brown test split repeated, copies
joined by a blank line (written to bench/out/ when missing).

Timed, medians over the rounds, the text already in memory for the Python
jobs:
  - the program, `fullstop -m models/en.model` as a whole process on the file
    (start-up, reading, writing the offsets to /dev/null): what the binding is
    measured against;
  - Splitter.split(str), Splitter.spans(str) (character indices, the mapping
    included) and Splitter.spans(bytes);
  - NLTK Punkt: nltk.sent_tokenize when the punkt data is installed, else an
    untrained PunktSentenceTokenizer (no abbreviation list, the same
    algorithm);
  - pysbd, syntok, blingfire and spaCy's sentencizer where importable.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
MiB = 1 << 20


def benchmark_text():
    src = os.path.join(ROOT, "data", "brown", "test.txt")
    dst = os.path.join(ROOT, "bench", "out", "test-20MiB.txt")
    size = os.path.getsize(src)
    copies = max(1, -(-(20 * MiB + 1) // (size + 1)))
    if not os.path.exists(dst) or os.path.getsize(dst) != copies * size + copies - 1:
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(src, "rb") as f:
            data = f.read()
        with open(dst + ".tmp", "wb") as f:
            f.write(b"\n".join([data] * copies))
        os.replace(dst + ".tmp", dst)
    return dst


def median_time(fn, rounds):
    times = []
    for _ in range(rounds):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def peers(text_str):
    """(name, function) of the other splitters found on this machine."""
    found = []
    import nltk
    try:
        nltk.data.find("tokenizers/punkt")
        found.append(("nltk.sent_tokenize (Punkt)", lambda: nltk.sent_tokenize(text_str)))
    except LookupError:
        from nltk.tokenize.punkt import PunktSentenceTokenizer
        punkt = PunktSentenceTokenizer()
        found.append(("NLTK Punkt (untrained)", lambda: punkt.tokenize(text_str)))
    try:
        import pysbd
        seg = pysbd.Segmenter(language="en", clean=False)
        found.append(("pysbd", lambda: seg.segment(text_str)))
    except ImportError:
        pass
    try:
        from syntok import segmenter
        found.append(("syntok", lambda: list(segmenter.analyze(text_str))))
    except ImportError:
        pass
    try:
        import blingfire
        found.append(("blingfire", lambda: blingfire.text_to_sentences(text_str)))
    except ImportError:
        pass
    try:
        import spacy
        nlp = spacy.blank("en")
        nlp.add_pipe("sentencizer")
        nlp.max_length = len(text_str) + 1
        found.append(("spaCy sentencizer", lambda: list(nlp(text_str).sents)))
    except ImportError:
        pass
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--fullstop", default=os.path.join(ROOT, "build", "fullstop"))
    parser.add_argument("--python-only", action="store_true", help="fullstop only, no peers")
    args = parser.parse_args()
    import fullstop

    path = benchmark_text()
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-8")
    model = os.path.join(ROOT, "models", "en.model")
    splitter = fullstop.Splitter(model)

    def program():
        with open(path, "rb") as inp, open(os.devnull, "wb") as out:
            subprocess.run([args.fullstop, "-m", model], stdin=inp, stdout=out, check=True)

    jobs = [("fullstop program (process, file to /dev/null)", program),
            ("Splitter.split(str)", lambda: splitter.split(text)),
            ("Splitter.spans(str)", lambda: splitter.spans(text)),
            ("Splitter.spans(bytes)", lambda: splitter.spans(data))]
    rows = [(name, median_time(fn, args.rounds)) for name, fn in jobs]
    if not args.python_only:
        # The peers are slow: one round each.
        rows += [(name, median_time(fn, 1)) for name, fn in peers(text)]
    base = rows[0][1]
    print(f"input: {os.path.relpath(path, ROOT)}, {len(data) / 1e6:.1f} MB, "
          f"{len(splitter.spans(text))} sentences; medians of {args.rounds} rounds (peers: 1)")
    print(f"{'job':50} {'seconds':>8} {'MB/s':>8} {'x program':>10}")
    for name, t in rows:
        print(f"{name:50} {t:8.3f} {len(data) / 1e6 / t:8.1f} {t / base:10.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
