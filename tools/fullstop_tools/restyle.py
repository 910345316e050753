"""Write a restyled copy of a Brown split, to score the detector on text
written in another style than the one it was trained on.

  restyle --style STYLE --in data/brown/dev --out data/brown/dev-STYLE
  restyle --all [--dir data/brown]

reads IN.lines (one sentence per line, blank lines between paragraphs) and
writes OUT.lines, OUT.txt and OUT.gold in the layout scripts/brown-data
writes, with the gold byte offsets computed for the restyled text.  Styles:

  quotes-outside  . and , after closing quotes ("go home". / "Yes", he said)
  typographic     curly quotes and apostrophes
  crlf            every line end in .txt and .lines is CRLF (paragraph
                  breaks are \\r\\n\\r\\n)
  wrapped         laid out as plain-text files are: a paragraph's heading
                  (a first sentence without a final mark) on a line of its
                  own, the text hard-wrapped at 72 columns; .lines marks
                  those line breaks with U+2028, as training text does

--all writes every style of dev and test into --dir, as dev-typographic.txt
and so on (never train: these copies are for scoring).
"""

import argparse
import os
import sys

from . import brown, files, locations
from .augment.conventions import quotes_outside, typographic
from .augment.layout import is_heading
from .paragraphs import LINE_BREAK, hard_wrap, read_paragraphs

STYLES = {
    # name: (sentence rewrite, line end)
    "quotes-outside": (quotes_outside, "\n"),
    "typographic": (typographic, "\n"),
    "crlf": (lambda s: s, "\r\n"),
    "wrapped": (None, "\n"),
}
WRAP_WIDTH = 72
SPLITS = ("dev", "test")


def wrap(para):
    """A paragraph's sentences with LINE_BREAK where the wrapped layout
    breaks its lines: after a heading, and where hard-wrapping ends a line."""
    if len(para) > 1 and is_heading(para[0]):
        return [para[0] + LINE_BREAK] + hard_wrap(para[1:], WRAP_WIDTH)
    return hard_wrap(para, WRAP_WIDTH)


def restyle(paras, style):
    """Paragraphs of sentences -> (restyled paragraphs, line end)."""
    rewrite, eol = STYLES[style]
    if style == "wrapped":
        return [wrap(para) for para in paras], eol
    return [[rewrite(s) for s in para] for para in paras], eol


def render_wrapped(paras):
    """render() for sentences holding LINE_BREAK: the .txt breaks its lines
    there (a newline in place of the space, so offsets stay those of the
    unwrapped text) and .lines keeps the marks."""
    lines, txt, gold = [], [], []
    at = 0
    for pi, para in enumerate(paras):
        if pi:
            lines.append("")
            txt.append(b"\n\n")
            at += 2
        for si, sent in enumerate(para):
            lines.append(sent)
            if si:
                sep = b"\n" if para[si - 1].endswith(LINE_BREAK) else b" "
                txt.append(sep)
                at += 1
            raw = sent.rstrip(LINE_BREAK).replace(LINE_BREAK, "\n").encode("utf-8")
            txt.append(raw)
            gold.append("%d %d %d" % (at, at + len(raw.rstrip()), pi))
            at += len(raw)
    if paras:
        txt.append(b"\n")
    return "\n".join(lines) + "\n" if lines else "", b"".join(txt), "\n".join(gold) + "\n" if gold else ""


def restyle_split(src, dst, style):
    with open(src + ".lines", "rb") as f:
        paras = read_paragraphs(f.read().decode("utf-8"))
    paras, eol = restyle(paras, style)
    if style == "wrapped":
        lines_text, txt, gold = render_wrapped(paras)
        for ext, data in ((".lines", lines_text.encode("utf-8")), (".txt", txt), (".gold", gold.encode())):
            files.write_bytes(dst + ext, data)
    else:
        txt = brown.write_split(dst, paras, eol)
    print("%-22s %6d sentences %9d bytes" % (
        os.path.basename(dst), sum(len(p) for p in paras), len(txt)), file=sys.stderr)


def main(argv=None):
    ap = argparse.ArgumentParser(
        prog="restyle", description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--style", choices=sorted(STYLES))
    ap.add_argument("--in", dest="src", metavar="IN",
                    help="input split without extension (reads IN.lines)")
    ap.add_argument("--out", metavar="OUT", help="output files without extension")
    ap.add_argument("--all", action="store_true",
                    help="write every style of %s into --dir" % " and ".join(SPLITS))
    ap.add_argument("--dir", default=locations.DATA["brown"],
                    help="folder of the splits for --all (default: data/brown)")
    args = ap.parse_args(argv)

    if args.all:
        if args.style or args.src or args.out:
            ap.error("--all takes no --style, --in or --out")
        for split in SPLITS:
            for style in sorted(STYLES):
                restyle_split(os.path.join(args.dir, split),
                              os.path.join(args.dir, "%s-%s" % (split, style)), style)
        return
    if not (args.style and args.src and args.out):
        ap.error("give --style, --in and --out, or --all")
    restyle_split(args.src, args.out, args.style)

