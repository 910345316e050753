#!/usr/bin/env python3
"""Map sentences printed one per line back to byte offsets in the input text.

  align_sentences.py TEXT SENTENCES > SPANS

SENTENCES is a splitter's output, one sentence per line (blank lines, which
OpenNLP prints between paragraphs, are ignored); SPANS gets one "start end"
line per sentence, byte offsets into TEXT, for scripts/score-boundaries.

A splitter that prints text may change the whitespace inside a sentence, so
each sentence is located word by word: every whitespace-separated word must be
the next thing in TEXT after nothing but whitespace.  A word that is found only
further on (the splitter dropped or altered something) is still accepted so
that one glitch does not misalign everything after it, but it is counted, and
the counts are reported on stderr; a word that cannot be found at all is fatal.
"""

import re
import sys

WORD = re.compile(rb"\S+")
SPACE = b" \t\n\r\f\v"


def align(text, lines):
    """text: bytes; lines: iterable of bytes.  Returns (spans, skipped) where
    skipped counts words found only after skipping non-whitespace input."""
    spans, skipped, pos = [], 0, 0
    for lineno, line in enumerate(lines, 1):
        words = WORD.findall(line)
        if not words:
            continue
        start = end = None
        for w in words:
            i = text.find(w, pos)
            if i < 0:
                raise ValueError("line %d: %r not found in the text after byte %d"
                                 % (lineno, w[:60], pos))
            if text[pos:i].strip(SPACE):
                skipped += 1
            if start is None:
                start = i
            pos = end = i + len(w)
        spans.append((start, end))
    return spans, skipped


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: align_sentences.py TEXT SENTENCES > SPANS")
    with open(sys.argv[1], "rb") as f:
        text = f.read()
    with open(sys.argv[2], "rb") as f:
        lines = f.read().split(b"\n")
    try:
        spans, skipped = align(text, lines)
    except ValueError as e:
        sys.exit("align_sentences: %s" % e)
    out = sys.stdout
    out.write("".join("%d %d\n" % s for s in spans))
    if skipped:
        print("align_sentences: %d word(s) matched only after skipping input text"
              % skipped, file=sys.stderr)


if __name__ == "__main__":
    main()
