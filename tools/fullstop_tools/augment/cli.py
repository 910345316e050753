"""Augment sentence-per-line training text with styles Brown lacks.

  augment-brown [options] TRAIN.lines > AUG.lines

Reads one sentence per line (blank lines between paragraphs, as
scripts/brown-data writes SPLIT.lines) and writes the same format: the input,
a share of its paragraphs laid out anew (hard-wrap, headings: where the text's
lines break, which only line-break candidates see), then augmented copies
(only the copies with --only-augmented).  A
copy is a window of up to --window consecutive sentences of one paragraph,
rewritten by one transform and written as a paragraph of its own.  Every
transform keeps each sentence on its own line, so the output's lines are the
sentence boundaries to learn.

For each transform, --share-NAME is the chance that a paragraph where the
transform applies gets a copy (0 turns it off).  Transforms:

  quote-convention  ." ,"  ->  ". ",  (? and ! stay inside the quotes)
  typographic       curly quotes and apostrophes
  doubled-marks     !! ?? ?! !? !!! ??? for ! and ?, also inside quotes
  ellipsis          ... . . . and U+2026 ending a sentence before a capital,
                    replacing a comma or inserted mid-sentence
  lists             numbered, lettered, roman and bulleted items and items
                    with a bullet and a number (• 9. ...), one per line,
                    often after an intro line ending in ":"
  abbreviations     U.S. a.m. Inc. Ltd. Co. Corp. etc. Jr. ... ending a
                    sentence, and mid-sentence before names and lower case
  quoted-questions  "Why?" she asked.  "Stop!" he shouted.  (from "...," he said.)
  french            guillemets with inner spaces and a space before ? ! : ;
  parentheses       (A whole sentence.) and (see below) inside one
  short-start       a short sentence (Yes. No! Really?!) opening the paragraph
  crlf              the copy's lines end in CRLF
  short-lists       short items (a word, a noun phrase, an order, maybe an
                    amount or a time), often lower case and unmarked, with
                    every marker style, bullets before numbers, after a
                    heading ending in ":", a sentence or nothing
  inline-lists      an enumeration inside one sentence (..: 1) x, 2) y and 3) z.)
  dialogue          "...?" I asked. / "...!" asked Mary. as one sentence, or
                    the quotation alone before the next sentence
  french-dialogue   « ... ? » demanda-t-il. as one sentence
  inner-marks       URLs, addresses, file names, versions, decimals, times,
                    dates and references (Fig. 3, J. B. Smith) in a sentence
  initialisms       U.S. D.C. p.m. St. ending a sentence before a capital,
                    and before names inside one
  continuations     a mark inside a sentence that goes on: an abbreviation
                    before a lower-case word, a number or a parenthesis
                    (etc. to, approx. four, vol. 3, 5 mg. of, Pa. (see below)),
                    a quoted or parenthesised ! or ? before a lower-case word
                    ("Fire!!" and, (a rare sight!) and), an ellipsis before I
  unspaced-initials J. F. Kennedy written J.F. Kennedy
  redrawn-initials  initials before a name with their letters drawn anew
                    (J. F. Kennedy -> Q. X. Kennedy)
  ms-title          "Mrs." and "Miss" before a name written "Ms."
  markdown          **bold**, *italic*, _italic_ and `code` words, **Note:**
                    lead-ins, # headings
  citations         known [1].  known.[1]  known.[2][3]  known (Smith, 1990).
  cut-abbreviations a word of the text cut short (dept. yrs. approx.) before
                    a lower-case word or a number

Layouts, applied to the input's paragraphs in place:

  headings          a paragraph's heading (a first sentence without a final
                    mark) on a line of its own before the text (heading +
                    U+2028), in sentence case, title case or capitals, the
                    text often hard-wrapped
  hard-wrap         lines broken at 40 to 80 columns inside and between
                    sentences (as U+2028, see LINE_BREAK)

The defaults were chosen with -c 1 for fullstop-train in the Unicode mode,
the continuations' share with -c 1.5 (the bundled model's setting).

Copies are drawn from a random generator per transform seeded from --seed, so
the output is the same for the same input and options, and changing one share
leaves the other transforms' copies as they were.  --rounds N draws them N
times, with seeds SEED to SEED+N-1, one round's copies after the other's.
"""

import argparse
import sys

from ..files import atomic_open
from ..paragraphs import read_paragraphs, write_paragraphs
from . import DEFAULT_SEED, DEFAULT_WINDOW, TRANSFORMS, attach_markers, augment, lay_out
from . import languages


def share_names():
    """Every transform's name, English and of the languages, and the first
    transform of that name (for its help and default share)."""
    names = {}
    for t in TRANSFORMS + [t for lang in sorted(languages.LANGUAGES)
                           for t in languages.transforms(lang)]:
        names.setdefault(t.name, t)
    return names


def parser(with_files=True):
    """The command line's parser; without the input and output operands,
    for recipes that hand the options over (see options())."""
    ap = argparse.ArgumentParser(
        prog="augment-brown", description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    if with_files:
        ap.add_argument("input", help="sentence-per-line file (- for stdin)")
        ap.add_argument("-o", "--output", default="-", help="output file (default: stdout)")
    ap.add_argument("--seed", type=int, default=DEFAULT_SEED,
                    help="random seed (default: %(default)s)")
    ap.add_argument("--rounds", type=int, default=1,
                    help="draw the copies this many times, with seeds SEED, SEED+1, ... "
                         "(default: %(default)s)")
    ap.add_argument("--window", type=int, default=DEFAULT_WINDOW,
                    help="most sentences per copy (default: %(default)s)")
    ap.add_argument("--only-augmented", action="store_true",
                    help="write only the augmented copies, not the input")
    ap.add_argument("--attach-markers", action="store_true",
                    help="join each sentence that is only a list label (\"2.\") to the "
                         "sentence after it, as readers take it, before copying")
    ap.add_argument("--stats", action="store_true",
                    help="print the number of copies per transform on stderr")
    ap.add_argument("--lang", choices=sorted(languages.LANGUAGES),
                    help="copy text of this language with its own transforms "
                         "(tools/fullstop_tools/augment/languages.py) instead of the English "
                         "ones; paragraphs are drawn from in pieces of --piece sentences")
    ap.add_argument("--piece", type=int, default=languages.PIECE,
                    help="with --lang, sentences per piece (default: %(default)s)")
    for name, t in share_names().items():
        ap.add_argument("--share-" + name, type=float, default=None, metavar="P",
                        # (argparse formats help with %: a transform's own % is text)
                        help="%s (default: %s)" % (t.help.replace("%", "%%"), t.share))
    return ap


def checked(ap, args):
    """args with args.shares set, or a usage error through ap."""
    if args.window < 1:
        ap.error("--window must be at least 1")
    if args.rounds < 1:
        ap.error("--rounds must be at least 1")
    if args.piece < 1:
        ap.error("--piece must be at least 1")
    args.active = languages.transforms(args.lang) if args.lang else TRANSFORMS
    active_names = {t.name for t in args.active}
    for name in share_names():
        if getattr(args, "share_" + name.replace("-", "_")) is not None and name not in active_names:
            ap.error("--share-%s: no such transform for %s" % (name, args.lang or "English"))
    args.shares = {}
    for t in args.active:
        given = getattr(args, "share_" + t.name.replace("-", "_"))
        args.shares[t.name] = t.share if given is None else given
    for name, p in args.shares.items():
        if not 0.0 <= p <= 1.0:
            ap.error("--share-%s must be between 0 and 1" % name)
    return args


def options(argv):
    """Parsed augment-brown options without operands (a recipe's augment line)."""
    ap = parser(with_files=False)
    return checked(ap, ap.parse_args(argv))


def training_blocks(paras, args):
    """The output as (sentences, line end) blocks: the paragraphs laid out
    (unless --only-augmented), then every round's copies; and the copies
    themselves, as augment() returns them."""
    if args.attach_markers:
        paras = attach_markers(paras)
    if args.lang:
        # A treebank set is often one paragraph: copies and layouts are
        # drawn per piece, and the laid-out pieces joined back into their
        # paragraphs.
        layouts = [t for t in args.active if getattr(t, "in_place", False)]
        pieces = languages.chunk(paras, args.piece)
        copies = [c for k in range(args.rounds)
                  for c in augment(pieces, args.shares, args.seed + k, args.window, args.active)]
        laid = iter(lay_out(pieces, args.shares, args.seed, layouts))
        kept = [[s for _ in range(-(-len(p) // args.piece)) for s in next(laid)] for p in paras]
    else:
        copies = [c for k in range(args.rounds)
                  for c in augment(paras, args.shares, args.seed + k, args.window)]
        kept = lay_out(paras, args.shares, args.seed)
    blocks = [] if args.only_augmented else [(p, "\n") for p in kept]
    blocks += [(sents, eol) for sents, eol, _ in copies]
    return blocks, copies


def main(argv=None):
    ap = parser()
    args = checked(ap, ap.parse_args(argv))
    if args.input == "-":
        text = sys.stdin.buffer.read().decode("utf-8")
    else:
        with open(args.input, "rb") as f:
            text = f.read().decode("utf-8")
    blocks, copies = training_blocks(read_paragraphs(text), args)
    if args.output == "-":
        with open(sys.stdout.fileno(), "w", encoding="utf-8", newline="", closefd=False) as out:
            write_paragraphs(out, blocks)
    else:
        with atomic_open(args.output, "w", encoding="utf-8", newline="") as out:
            write_paragraphs(out, blocks)
    if args.stats:
        for t in args.active:
            n = sum(1 for c in copies if c[2] == t.name)
            print("%-17s %6d" % (t.name, n), file=sys.stderr)
