"""Score a system's sentence boundaries against gold spans.

  score-boundaries --text SPLIT.txt --gold SPLIT.gold --system FILE [--json]
                   [--merge-at MARKS] [--show N] [--kinds]

FILE (or - for stdin) is either the detector's offsets output, lines like
<sentence start="0" end="12"/> (optionally inside <sentence-list>, or with the
sentence text as element content), or plain "start end" lines; gold files are
"start end para" lines.  Offsets are bytes.

A boundary is the place where one sentence stops and the next begins.  Each
sentence end is moved forward over whitespace to the first non-space byte, so
systems may differ on trailing spaces and newlines without penalty; a boundary
at the end of the text is no boundary.  Two scores are given: over all gold
boundaries, and over those inside a paragraph only (paragraph breaks are easy
and would flatter every system).
"""

import argparse
import json
import re
import sys

WHITESPACE = b" \t\n\r\f\v"
SENTENCE_TAG = re.compile(rb"<sentence(?=[\s/>])([^>]*)>")
ATTR = re.compile(rb"""([A-Za-z_:][-\w:.]*)\s*=\s*(?:"([^"]*)"|'([^']*)')""")


def parse_spans(data):
    """System or gold file contents (bytes) -> list of (start, end, para).
    para is None where the file does not give one."""
    spans = []
    if SENTENCE_TAG.search(data):
        for m in SENTENCE_TAG.finditer(data):
            attrs = {a.group(1): a.group(2) if a.group(2) is not None else a.group(3)
                     for a in ATTR.finditer(m.group(1))}
            try:
                spans.append((int(attrs[b"start"]), int(attrs[b"end"]), None))
            except (KeyError, ValueError):
                raise ValueError("sentence element without numeric start/end: %r"
                                 % m.group(0)[:80])
        return spans
    for lineno, line in enumerate(data.split(b"\n"), 1):
        fields = line.split()
        if not fields or fields[0].startswith(b"#"):
            continue
        try:
            nums = [int(f) for f in fields[:3]]
        except ValueError:
            raise ValueError("line %d: expected 'start end [para]': %r" % (lineno, line[:80]))
        if len(nums) < 2:
            raise ValueError("line %d: expected 'start end [para]': %r" % (lineno, line[:80]))
        spans.append((nums[0], nums[1], nums[2] if len(nums) > 2 else None))
    return spans


def normalise(text, pos):
    """Move a sentence end to the first non-whitespace byte at or after it."""
    n = len(text)
    pos = max(0, min(pos, n))
    while pos < n and text[pos] in WHITESPACE:
        pos += 1
    return pos


def boundaries(text, spans):
    """Set of normalised boundary positions of a list of spans."""
    out = set()
    for _, end, _ in spans:
        b = normalise(text, end)
        if b < len(text):
            out.add(b)
    return out


def gold_boundaries(text, spans):
    """(all boundaries, within-paragraph boundaries, paragraph-break positions)."""
    spans = sorted(spans)
    every, within, breaks = set(), set(), set()
    for i, (_, end, para) in enumerate(spans):
        b = normalise(text, end)
        if b >= len(text):
            continue
        every.add(b)
        nxt = spans[i + 1][2] if i + 1 < len(spans) else None
        if para is not None and nxt is not None and para != nxt:
            breaks.add(b)
        else:
            within.add(b)
    return every, within, breaks


def merge_gold(text, spans, marks):
    """Gold spans with every sentence that ends at one of `marks` (bytes; after
    closing quotes and brackets are set aside) joined to the next sentence of
    its paragraph: scoring by readers' convention, where a corpus ends
    sentences at semicolons and colons and most readers do not."""
    out = []
    for start, end, para in sorted(spans):
        if out and out[-1][3] and out[-1][2] == para:
            out[-1] = (out[-1][0], end, para, False)
        else:
            out.append((start, end, para, False))
        tail = text[start:end].rstrip(WHITESPACE).rstrip(b"\"')]")
        out[-1] = out[-1][:3] + (bool(tail) and tail[-1:] in [bytes([m]) for m in marks],)
    return [span[:3] for span in out]


def prf(tp, n_sys, n_gold):
    p = tp / n_sys if n_sys else (1.0 if not n_gold else 0.0)
    r = tp / n_gold if n_gold else 1.0
    f = 2 * p * r / (p + r) if p + r else 0.0
    return p, r, f


def score(text, gold_spans, sys_spans):
    """Return the result dictionary (see --json)."""
    g_all, g_within, g_breaks = gold_boundaries(text, gold_spans)
    s_all = boundaries(text, sys_spans)
    s_within = s_all - g_breaks
    tp_all = len(s_all & g_all)
    tp_within = len(s_within & g_within)
    all_p, all_r, all_f = prf(tp_all, len(s_all), len(g_all))
    para_p, para_r, para_f = prf(tp_within, len(s_within), len(g_within))
    return {
        "all_p": all_p, "all_r": all_r, "all_f1": all_f,
        "para_p": para_p, "para_r": para_r, "para_f1": para_f,
        "counts": {
            "gold": len(g_all), "system": len(s_all), "correct": tp_all,
            "gold_within": len(g_within), "system_within": len(s_within),
            "correct_within": tp_within, "paragraph_breaks": len(g_breaks),
            "false_positives": len(s_all - g_all),
            "false_negatives": len(g_all - s_all),
        },
        "_sets": (g_all, s_all),
    }


def context(text, pos, width=40):
    left = text[max(0, pos - width):pos].decode("utf-8", "replace")
    right = text[pos:pos + width].decode("utf-8", "replace")
    return (left + " | " + right).replace("\n", "\u21b5")


# What a boundary follows, for the breakdown of errors by kind (--kinds): the
# last mark before it, closing quotes and brackets set aside, or no mark.
KINDS = [
    ("after . ? ! (and runs of them)", lambda tail: tail[-1:] in (b".", b"?", b"!")),
    ("after ; or :", lambda tail: tail[-1:] in (b";", b":")),
    ("after , - or another mark", lambda tail: tail[-1:] in (b",", b"-") or
     (bool(tail) and not tail[-1:].isalnum() and tail[-1] < 0x80)),
    ("after no mark (a word, a number, a symbol)", lambda tail: True),
]


def kind_of(text, pos):
    """The KINDS label of a boundary at pos (the first byte after it)."""
    i = pos
    while i > 0 and text[i - 1:i] in (b" ", b"\t", b"\n", b"\r", b"\f", b"\v"):
        i -= 1
    tail = text[max(0, i - 8):i].rstrip(b"\"')]")
    for label, test in KINDS:
        if test(tail):
            return label
    return KINDS[-1][0]


def kinds(res, text):
    """{kind: [false negatives, false positives]} over all boundaries."""
    g_all, s_all = res["_sets"]
    out = {label: [0, 0] for label, _ in KINDS}
    for k, points in ((0, g_all - s_all), (1, s_all - g_all)):
        for p in points:
            out[kind_of(text, p)][k] += 1
    return out


def report(res, text, show, out):
    c = res["counts"]
    print("boundaries          P        R        F1     gold  system  correct", file=out)
    print("all            %7.4f  %7.4f  %7.4f  %7d %7d  %7d" % (
        res["all_p"], res["all_r"], res["all_f1"], c["gold"], c["system"], c["correct"]),
        file=out)
    print("in paragraph   %7.4f  %7.4f  %7.4f  %7d %7d  %7d" % (
        res["para_p"], res["para_r"], res["para_f1"], c["gold_within"],
        c["system_within"], c["correct_within"]), file=out)
    print("false positives %d, false negatives %d, paragraph breaks %d" % (
        c["false_positives"], c["false_negatives"], c["paragraph_breaks"]), file=out)
    if show:
        g_all, s_all = res["_sets"]
        for title, pts in (("false positives", s_all - g_all), ("false negatives", g_all - s_all)):
            pts = sorted(pts)[:show]
            if pts:
                print("\n%s (first %d):" % (title, len(pts)), file=out)
                for p in pts:
                    print("  %8d  %s" % (p, context(text, p)), file=out)


def read(path):
    if path == "-":
        return sys.stdin.buffer.read()
    with open(path, "rb") as f:
        return f.read()


def main(argv=None):
    ap = argparse.ArgumentParser(prog="score-boundaries", description=__doc__.split("\n\n")[0])
    ap.add_argument("--text", required=True, help="the running text (SPLIT.txt)")
    ap.add_argument("--gold", required=True, help="gold spans (SPLIT.gold)")
    ap.add_argument("--system", required=True, help="system output, or - for stdin")
    ap.add_argument("--json", action="store_true", help="print a JSON object instead")
    ap.add_argument("--merge-at", default="", metavar="MARKS",
                    help="join each gold sentence that ends at one of MARKS (e.g. ';:') "
                         "to the next one of its paragraph before scoring")
    ap.add_argument("--kinds", action="store_true",
                    help="break the errors down by what the boundary follows")
    ap.add_argument("--show", type=int, default=0, metavar="N",
                    help="list up to N false positives and N false negatives")
    args = ap.parse_args(argv)

    text = read(args.text)
    try:
        gold = parse_spans(read(args.gold))
        system = parse_spans(read(args.system))
    except ValueError as e:
        sys.exit("score-boundaries: %s" % e)
    if args.merge_at:
        gold = merge_gold(text, gold, args.merge_at.encode())
    res = score(text, gold, system)
    if args.json:
        out = {k: v for k, v in res.items() if not k.startswith("_")}
        if args.kinds:
            out["kinds"] = {label: {"missed": fn, "false": fp}
                            for label, (fn, fp) in kinds(res, text).items()}
        print(json.dumps(out, sort_keys=True))
    else:
        report(res, text, args.show, sys.stdout)
    if args.kinds and not args.json:
        print("\nerrors by what the boundary follows   missed  false", file=sys.stdout)
        for label, (fn, fp) in kinds(res, text).items():
            print("  %-40s %6d %6d" % (label, fn, fp), file=sys.stdout)

