"""Whole-text conventions, shared by the transforms and scripts/restyle."""

import re

QUOTES_OUT = re.compile(r"([.,])([\"']+)(?=$|[\s)\]])")
# The end of a word whose period is an abbreviation's: an initial, a dotted
# abbreviation (U.S, a.m) or a common short form.
ABBREV_BEFORE = re.compile(
    r"(?:(?<![\w.])[A-Z]|[A-Za-z](?:\.[A-Za-z])+|\b(?:Jr|Sr|Inc|Co|Corp|Ltd|Bros|Mr|Mrs"
    r"|Dr|St|Ave|Rd|etc|Pa|Ala|Ga|Fla|Tex|Mass|Calif|Conn|Va|Md|Ill|Mich|Wis|Minn|Mo|Ky"
    r"|Tenn|Ariz|Colo|Okla|Ore|Wash|Jan|Feb|Aug|Sept|Oct|Nov|Dec))$")


def quotes_outside(sent):
    """Put . and , after closing quotes ("go home". / "Yes", he said), as
    text that follows the other convention does.  A period stays inside when
    the quotation is the whole sentence, and after an abbreviation
    ("Reading, Pa.") where moving it would need a second period."""
    def move(m):
        mark, quotes = m.group(1), m.group(2)
        if mark == ".":
            if sent.startswith(quotes[-1]) and m.end() == len(sent):
                return m.group(0)
            if ABBREV_BEFORE.search(sent, 0, m.start()):
                return m.group(0)
        return quotes + mark
    return QUOTES_OUT.sub(move, sent)


OPENING_CONTEXT = set("([{\u201c\u2018-/\u2014\u2013")
# Words that drop their first letters and so start with an apostrophe, not an
# opening quote: 'em, 'tis, 'bout, 'round.
ELISIONS = ("em ", "em,", "em.", "em!", "em?", "tis", "twas", "n ", "cause",
            "im ", "im,", "im.", "bout", "round", "nough", "til ", "cept ", "fore ")


def opens_quote(prev):
    return prev == "" or prev.isspace() or prev in OPENING_CONTEXT


def typographic(sent):
    """Straight quotes -> curly ones: \u201c \u201d for double quotes, \u2018 \u2019
    for single ones and \u2019 for apostrophes (don't, '60s, 'em)."""
    out = []
    for i, ch in enumerate(sent):
        prev = out[-1] if out else ""
        if ch == '"':
            out.append("\u201c" if opens_quote(prev) else "\u201d")
        elif ch == "'":
            rest = sent[i + 1:i + 6].lower()
            if opens_quote(prev) and not (rest[:1].isdigit() or rest.startswith(ELISIONS)):
                out.append("\u2018")
            else:
                out.append("\u2019")
        else:
            out.append(ch)
    return "".join(out)
