"""Sentence-per-line text: one sentence a line, a blank line between
paragraphs, as scripts/brown-data writes SPLIT.lines and training reads it.
Line breaks of the text itself are written U+2028 (LINE_BREAK)."""

# Line breaks of the text.  Training text keeps one sentence per line, so a
# line break of the text itself is written as U+2028 (LINE SEPARATOR): inside
# a sentence where a hard-wrapped line ends, at a sentence's end where its
# line ends too (fullstop reads it so in training and evaluation).

LINE_BREAK = "\u2028"


def hard_wrap(sents, width):
    """The sentences of one paragraph set as hard-wrapped lines of at most
    `width` characters (a longer word gets a line of its own): the same
    sentences, with LINE_BREAK for each space where a line ends, and at the
    end of a sentence whose line ends after it."""
    out, col = [], -1
    for sent in sents:
        parts = []
        for k, word in enumerate(sent.split(" ")):
            if col < 0:
                col = len(word)
            elif col + 1 + len(word) > width:
                if k == 0:
                    out[-1] += LINE_BREAK
                else:
                    parts.append(LINE_BREAK)
                col = len(word)
            else:
                if k > 0:
                    parts.append(" ")
                col += 1 + len(word)
            parts.append(word)
        out.append("".join(parts))
    return out


def read_paragraphs(text):
    """Sentence-per-line text -> list of paragraphs (lists of sentences)."""
    paras, cur = [], []
    for line in text.split("\n"):
        line = line.rstrip("\r")
        if line.strip():
            cur.append(line)
        elif cur:
            paras.append(cur)
            cur = []
    if cur:
        paras.append(cur)
    return paras


def write_paragraphs(out, paras):
    """paras: iterable of (sentences, eol).  A blank line between paragraphs,
    written with the line end of the paragraph before it."""
    prev_eol = None
    for sents, eol in paras:
        if prev_eol is not None:
            out.write(prev_eol)
        for s in sents:
            out.write(s + eol)
        prev_eol = eol
