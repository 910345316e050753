"""Brown's sentence ends in the reader's convention.

Brown's annotators ended sentences at semicolons and colons as well as at
full stops, question and exclamation marks; readers, the treebanks and the
other splitters as their authors ship them read on there.  reader() turns
sentence-per-line Brown text into the reader's convention, deterministically:

  1. A sentence whose text ends in ';' or ':' (before any closing quotes or
     brackets, `that:"` or `(as follows:)`) is joined, with one space, to the
     next sentence of its paragraph; a run of them joins into one sentence.
     A sentence ending its paragraph stays as it is: a paragraph break ends
     a sentence in every convention.  This is the rule scoring uses
     (scripts/score-boundaries --merge-at ';:'), so training text and
     yardstick agree on every boundary.

Nothing else is joined.  Sentences that are only a list label (`(2)`,
`3.`) are Brown's way of setting a label apart, which a reader takes as the
start of the item after it, but the yardstick keeps the boundary after them;
augment-brown --attach-markers joins them when that is wanted.  Headlines
without a final mark stay sentences of their own: a heading is a unit of its
own for a reader too.
"""

CLOSERS = "\"')]"
JOINING_MARKS = ";:"


def ends_at(sentence, marks=JOINING_MARKS):
    """Whether the sentence's last mark, closing quotes and brackets set
    aside, is one of marks."""
    tail = sentence.rstrip().rstrip(CLOSERS)
    return bool(tail) and tail[-1] in marks


def reader(paras, marks=JOINING_MARKS):
    """Paragraphs of sentences with every sentence ending at one of marks
    joined to the next sentence of its paragraph."""
    out = []
    for para in paras:
        joined = []
        for sent in para:
            if joined and ends_at(joined[-1], marks):
                joined[-1] = joined[-1] + " " + sent
            else:
                joined.append(sent)
        out.append(joined)
    return out
