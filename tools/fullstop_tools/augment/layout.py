"""Where the text's lines break: headings on lines of their own, hard-wrapped
paragraphs, markdown."""

import re

from ..paragraphs import LINE_BREAK, hard_wrap
from .base import FINAL, Transform
from .pools import pick


# The first sentence of a paragraph that is a heading: no final mark (Brown
# keeps headlines as sentences of their own), no colon, comma or dash to go
# on from, and short.
def is_heading(sent):
    return (not FINAL.search(sent) and not re.search(r"[:;,\-]$", sent)
            and len(sent.split()) <= 10)


MINOR_WORDS = {"a", "an", "and", "as", "at", "but", "by", "for", "in", "of", "on", "or", "the",
               "to", "with"}


def title_case(text):
    """Each word capitalised but the short function words after the first."""
    out = []
    for k, word in enumerate(text.split(" ")):
        if (k == 0 or word not in MINOR_WORDS) and word[:1].islower():
            word = word[0].upper() + word[1:]
        out.append(word)
    return " ".join(out)


class HardWrap(Transform):
    name, share = "hard-wrap", 0.1
    in_place = True
    help = "the copy hard-wrapped at 40 to 80 columns, as e-mail and plain-text books are"

    def sites(self, para):
        return list(range(len(para)))

    def apply(self, window, sites, rng):
        return hard_wrap(window, rng.randint(40, 80))


MARKDOWN_MARKS = [("**", 4), ("*", 2), ("_", 1), ("__", 1), ("`", 1)]
MARKDOWN_LEADS = ["Note", "Tip", "Warning", "Important", "Summary", "Update", "Example"]
# A word's core: what emphasis wraps, leaving quotes and marks outside.
MARKDOWN_WORD = re.compile(r"^([\"'(]*)([A-Za-z][\w'-]*[\w])(.*)$")


class Markdown(Transform):
    """Text as markdown (and much generated text) writes it: words in
    **bold**, *italics* or `code`, a bold lead-in, a heading after "#".  The
    marks open and close words, which no sentence of Brown does; unseen,
    "1. **Install** it" split after the "**"."""
    name, share = "markdown", 0.05
    help = "**bold**, *italic*, _italic_ and `code` words, **Note:** lead-ins, # headings"

    def sites(self, para):
        return list(range(len(para)))

    def apply(self, window, sites, rng):
        out = []
        for k, sent in enumerate(window):
            if k == 0 and len(window) > 1 and is_heading(sent) and rng.random() < 0.7:
                out.append("#" * rng.randint(1, 3) + " " + sent + LINE_BREAK)
            else:
                out.append(self.rewrite(sent, rng))
        return out

    def rewrite(self, sent, rng):
        mark = pick(rng, MARKDOWN_MARKS)
        if rng.random() < 0.1:
            return "%s%s:%s %s" % (mark, rng.choice(MARKDOWN_LEADS), mark, sent)
        toks = sent.split(" ")
        cores = [i for i, t in enumerate(toks) if MARKDOWN_WORD.match(t)]
        if not cores:
            return sent
        i = rng.choice(cores)
        j = i + 1 if i + 1 in cores and rng.random() < 0.25 else i
        a, b = MARKDOWN_WORD.match(toks[i]), MARKDOWN_WORD.match(toks[j])
        if i == j:
            toks[i] = a.group(1) + mark + a.group(2) + mark + a.group(3)
        else:
            toks[i] = a.group(1) + mark + a.group(2) + a.group(3)
            toks[j] = b.group(1) + b.group(2) + mark + b.group(3)
        return " ".join(toks)


class Headings(Transform):
    name, share = "headings", 1.0
    in_place = True
    help = ("a paragraph's heading (a first sentence without a final mark) on a line of"
            " its own, the text after it on the next line, often hard-wrapped")

    def sites(self, para):
        return [0] if len(para) > 1 and is_heading(para[0]) else []

    def apply(self, window, sites, rng):
        if len(window) < 2 or not sites:
            return list(window)
        body = window[1:]
        if rng.random() < 0.5:
            body = hard_wrap(body, rng.randint(40, 80))
        # Brown's headlines are in sentence case; headings are as often in
        # title case ("Weather Outlook"), sometimes in capitals.
        heading, style = window[0], rng.random()
        if style < 0.4:
            heading = title_case(heading)
        elif style < 0.5:
            heading = heading.upper()
        return [heading + LINE_BREAK] + body
