"""Hand-written English edge cases, run through fullstop and other splitters.

  bench/edge_cases [--fullstop PATH] [--model PATH] [--fullstop-arg=ARG ...]
                   [--peers] [--min-pass N] [--json OUT] [--markdown OUT]
                   [--cases FILE]

Each case in tests/data/edge_cases/cases.jsonl is a short text with the sentences a
careful reader finds in it.  fullstop runs once per case (`PATH -m MODEL`, the
text as UTF-8 on stdin, its offsets form parsed back into byte spans).  The
table on stdout counts, per category and in total, the cases each system gets
exactly right.

Comparison: a system's sentences are (start, end) byte spans over the UTF-8
text; each span's text is stripped and every run of whitespace (ASCII and
Unicode spaces, line ends) collapsed to one space; empty sentences are dropped.
A case passes when that list equals the expected list normalised the same way.

--peers also runs the splitters bench/run measures, built or trained the same
way and cached in bench/out/: ICU's sentence BreakIterator (bench/icu_split.cpp)
and OpenNLP's detector trained on data/brown/train.lines; and NLTK's Punkt
(python3-nltk), with its pretrained English parameters when they are installed,
otherwise trained unsupervised on data/brown/train.txt; and the npm splitters
sbd and sentencex in their default configurations (node, fetched with npm
pack; bench/npm_split.js).  A peer that cannot be had is skipped with a note.

--min-pass N exits 1, listing fullstop's failures, when fullstop passes fewer
than N cases.  --fullstop-arg passes one more argument to fullstop (repeatable),
e.g. --fullstop-arg=--text-mode=unicode.
"""

import argparse
import collections
import concurrent.futures
import json
import os
import re
import subprocess
import sys

from . import locations, peers

ROOT = locations.HOME
DEFAULT_CASES = os.path.join(ROOT, "tests", "data", "edge_cases", "cases.jsonl")
FULLSTOP_SPAN = re.compile(rb'<sentence start="(\d+)" end="(\d+)"')


# ---------------------------------------------------------------- comparison


def normalise(sentence):
    """Strip and collapse whitespace runs (str.split() knows the Unicode
    spaces and line separators) to one ASCII space."""
    return " ".join(sentence.split())


def span_sentences(data, spans):
    """The normalised, non-empty sentences that byte spans cut from data."""
    out = []
    for start, end in spans:
        s = normalise(data[start:end].decode("utf-8", errors="replace"))
        if s:
            out.append(s)
    return out


def expected_sentences(case):
    return [s for s in map(normalise, case["sentences"]) if s]


def load_cases(path):
    cases = []
    with open(path, encoding="utf-8") as f:
        for lineno, line in enumerate(f, 1):
            if line.strip():
                try:
                    cases.append(json.loads(line))
                except ValueError as e:
                    sys.exit("edge_cases: %s:%d: %s" % (path, lineno, e))
    return cases


# ---------------------------------------------------------------- systems
#
# A system is a name and a function from the text's UTF-8 bytes to byte spans.


def fullstop_system(path, model, extra):
    cmd = [path, "-m", model] + extra

    def split(data):
        r = subprocess.run(cmd, input=data, capture_output=True)
        if r.returncode != 0:
            raise RuntimeError("%s exited %d: %s" % (" ".join(cmd), r.returncode,
                                                     r.stderr.decode(errors="replace")[:400].strip()))
        return [(int(a), int(b)) for a, b in FULLSTOP_SPAN.findall(r.stdout)]
    return split


# ---------------------------------------------------------------- running


def log(msg):
    print("edge_cases: " + msg, file=sys.stderr, flush=True)


def run_system(split, cases, workers=1):
    """{case id: the sentences got, or None where the system failed}.  A
    failure on one case (a crash, output that cannot be read) fails that case
    only."""
    def one(case):
        data = case["text"].encode("utf-8")
        try:
            return case["id"], span_sentences(data, split(data))
        except (OSError, ValueError, RuntimeError, subprocess.CalledProcessError) as e:
            log("%s: %s" % (case["id"], e))
            return case["id"], None
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        return dict(pool.map(one, cases))


def tally(cases, results, systems):
    """{category: {system: passes}}, with the categories in case order and a
    'total' row last; and {system: [failed case ids]}."""
    counts = collections.OrderedDict()
    failed = {name: [] for name in systems}
    for case in cases:
        row = counts.setdefault(case["category"], collections.Counter())
        row["cases"] += 1
        for name in systems:
            if results[name][case["id"]] == expected_sentences(case):
                row[name] += 1
            else:
                failed[name].append(case["id"])
    total = collections.Counter()
    for row in counts.values():
        total.update(row)
    counts["total"] = total
    return counts, failed


def table_rows(counts, systems):
    head = ["category", "cases"] + systems
    rows = [[cat, str(row["cases"])] + [str(row[s]) for s in systems]
            for cat, row in counts.items()]
    return head, rows


def render_text(head, rows):
    w = [max(len(r[i]) for r in [head] + rows) for i in range(len(head))]
    fmt = lambda r: "  ".join(c.ljust(w[0]) if i == 0 else c.rjust(w[i]) for i, c in enumerate(r))
    return "\n".join([fmt(head), "  ".join("-" * x for x in w)] + [fmt(r) for r in rows])


def render_markdown(head, rows, notes, command):
    out = ["# English edge cases", "",
           "Cases passed per category (`tests/data/edge_cases/`), written by `%s`." % command, "",
           "| " + " | ".join(head) + " |", "|---|" + "---:|" * (len(head) - 1)]
    out += ["| " + " | ".join(r) + " |" for r in rows]
    return "\n".join(out + [""] + ["- " + n for n in notes]) + "\n"


def main(argv=None):
    ap = argparse.ArgumentParser(prog="edge_cases", description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog=__doc__.split("\n\n", 1)[1])
    ap.add_argument("--fullstop", default=os.path.join(ROOT, "build", "fullstop"))
    ap.add_argument("--model", default=os.path.join(ROOT, "models", "en.model"))
    ap.add_argument("--fullstop-arg", action="append", default=[], metavar="ARG")
    ap.add_argument("--peers", action="store_true", help="also run ICU, OpenNLP, Punkt, sbd and sentencex")
    ap.add_argument("--min-pass", type=int, metavar="N")
    ap.add_argument("--json", metavar="OUT")
    ap.add_argument("--markdown", metavar="OUT")
    ap.add_argument("--cases", default=DEFAULT_CASES, metavar="FILE")
    ap.add_argument("--lang", metavar="LANG",
                    help="the cases' language (de, fr, es, pt, nl): --peers runs ICU in its "
                         "locale, OpenNLP and Punkt trained on its data/ud sets and sentencex")
    ap.add_argument("--failures", action="store_true", help="list fullstop's failures")
    args = ap.parse_args(argv)

    cases = load_cases(args.cases)
    for path, what in ((args.fullstop, "fullstop binary"), (args.model, "model")):
        if not os.path.isfile(path):
            sys.exit("edge_cases: no %s at %s" % (what, path))
    systems = collections.OrderedDict()
    systems["fullstop"] = (fullstop_system(args.fullstop, args.model, args.fullstop_arg), 2)
    try:  # a rejected option or an unreadable model fails here once, not once per case
        systems["fullstop"][0](b"Hello. World.")
    except (OSError, RuntimeError) as e:
        sys.exit("edge_cases: %s" % e)
    notes = ["fullstop: `%s`" % " ".join(["fullstop", "-m", os.path.relpath(args.model, ROOT)]
                                         + args.fullstop_arg)]
    if args.peers and args.lang:
        from . import folds
        for name, split, note in folds.language_peers(args.lang):
            systems[name] = (split, 1)
            notes.append(note)
    elif args.peers:
        os.makedirs(peers.OUT, exist_ok=True)
        makers = (("ICU", lambda: (peers.icu_system(), "ICU: bench/icu_split.cpp, en_US")),
                  ("OpenNLP", lambda: (peers.opennlp_system(),
                                       "OpenNLP: trained on data/brown/train.lines (eos . ? !); "
                                       "its printed sentences are aligned back to the text")),
                  ("Punkt", peers.punkt_system),
                  ("sbd", lambda: (peers.npm_system("sbd"),
                                   "sbd %s: npm, default options" % peers.NPM_PACKAGES["sbd"][0][1])),
                  ("sentencex", lambda: (peers.npm_system("sentencex"),
                                         "sentencex %s: npm, segment(\"en\", text)"
                                         % peers.NPM_PACKAGES["sentencex"][0][1])))
        for name, make in makers:
            try:
                split, note = make()
            except (Exception, SystemExit) as e:  # bench/run's helpers exit on failure
                note = "%s skipped: %s" % (name, e)
                log(note)
            else:
                systems[name] = (split, 1 if name in ("ICU", "Punkt") else 2)
            notes.append(note)

    results = {}
    for name, (split, workers) in systems.items():
        log("running %s on %d cases" % (name, len(cases)))
        results[name] = run_system(split, cases, workers)
    names = list(systems)
    counts, failed = tally(cases, results, names)
    head, rows = table_rows(counts, names)
    print(render_text(head, rows))
    for n in notes[1:]:
        print("note: " + n)
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump({"cases": os.path.relpath(args.cases, ROOT), "systems": names,
                       "notes": notes, "counts": counts, "failed": failed,
                       "got": results}, f, ensure_ascii=False, indent=1)
    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(render_markdown(head, rows, notes,
                                    " ".join(["bench/edge_cases"] + (argv or sys.argv[1:]))))
    by_id = {c["id"]: c for c in cases}

    def list_failures():
        for cid in failed["fullstop"]:
            print("FAIL %s\n  text:     %r\n  expected: %s\n  got:      %s"
                  % (cid, by_id[cid]["text"],
                     json.dumps(expected_sentences(by_id[cid]), ensure_ascii=False),
                     json.dumps(results["fullstop"][cid], ensure_ascii=False)))
    if args.failures:
        list_failures()
    if args.min_pass is not None:
        passed = counts["total"]["fullstop"]
        if passed < args.min_pass:
            if not args.failures:
                list_failures()
            print("fullstop passed %d of %d cases, fewer than the floor %d"
                  % (passed, len(cases), args.min_pass))
            return 1
        print("fullstop passed %d of %d cases (floor %d)" % (passed, len(cases), args.min_pass))
    return 0

