"""Transforms of the marks themselves: quote conventions, doubled marks,
ellipses, French spacing, parentheses, citations, short openings, CRLF and
marks inside words (URLs, addresses, versions)."""

import re

from .base import FINAL, PHRASE_GAP, STARTS_CAPITAL, WORD_END, Transform, words
from .conventions import opens_quote, quotes_outside, typographic
from .pools import REF_ENDS, REF_MIDS, SURNAMES, fill, inner_token, pick, reference


class QuoteConvention(Transform):
    name, share = "quote-convention", 0.3
    help = '." and ," written ". and ",'

    def site(self, para, i):
        return quotes_outside(para[i]) != para[i]

    def rewrite(self, sent, rng):
        return quotes_outside(sent)


class Typographic(Transform):
    name, share = "typographic", 0.3
    help = "curly quotes and apostrophes"

    def site(self, para, i):
        return "'" in para[i] or '"' in para[i]

    def apply(self, window, sites, rng):
        return [typographic(s) for s in window]


QUESTION_MARKS = [("??", 3), ("?!", 4), ("!?", 2), ("???", 1)]
EXCLAMATION_MARKS = [("!!", 5), ("!!!", 2), ("!?", 1)]
MARK_IN_QUOTE = re.compile(r"([?!])(?=[\"']+ [a-z])")


class DoubledMarks(Transform):
    name, share = "doubled-marks", 0.5
    help = "!! ?? ?! !? !!! on ! and ? sentences"

    def site(self, para, i):
        m = FINAL.search(para[i])
        return bool(m and m.group(1) in "?!") or bool(MARK_IN_QUOTE.search(para[i]))

    def rewrite(self, sent, rng):
        def double(mark):
            return pick(rng, QUESTION_MARKS if mark == "?" else EXCLAMATION_MARKS)
        m = FINAL.search(sent)
        if m and m.group(1) in "?!" and sent[:m.start()][-1:] not in "?!":
            sent = sent[:m.start()] + double(m.group(1)) + m.group(2)
        return MARK_IN_QUOTE.sub(lambda m: double(m.group(1)), sent)


END_ELLIPSES = [("...", 5), ("\u2026", 3), (" . . .", 2), (". . . .", 1), (" ...", 1)]
MID_ELLIPSES = [("...", 5), ("\u2026", 3), (" . . .", 2), (" ...", 1)]
COMMA_PAUSE = re.compile(r"(?<=[a-z]), (?=[a-z])")
MID_GAP = re.compile(r"(?<=[a-z]) (?=[a-z])")


class Ellipsis(Transform):
    name, share = "ellipsis", 0.15
    help = "... . . . and \u2026 at sentence ends and inside"

    def site(self, para, i):
        s = para[i]
        end = WORD_END.search(s) and (i + 1 == len(para) or STARTS_CAPITAL.match(para[i + 1]))
        return bool(end or COMMA_PAUSE.search(s) or len(MID_GAP.findall(s)) >= 4)

    def rewrite(self, sent, rng):
        kinds = []
        if WORD_END.search(sent):
            kinds += ["end"] * 3
        if COMMA_PAUSE.search(sent):
            kinds += ["comma"] * 2
        gaps = list(MID_GAP.finditer(sent))
        if len(gaps) >= 4:
            kinds.append("mid")
        kind = rng.choice(kinds)
        if kind == "end":
            return sent[:-1] + pick(rng, END_ELLIPSES)
        if kind == "comma":
            m = rng.choice(list(COMMA_PAUSE.finditer(sent)))
        else:
            m = rng.choice(gaps[1:-1])
        return sent[:m.start()] + pick(rng, MID_ELLIPSES) + " " + sent[m.end():]

SPACE_BEFORE = re.compile(r"(?<=[^\s?!:;])([?!:;]+)(?=$|[\s\"')\]])")


class French(Transform):
    name, share = "french", 0.3
    help = "\u00ab guillemets \u00bb and a space before ? ! : ;"

    def site(self, para, i):
        return '"' in para[i] or bool(SPACE_BEFORE.search(para[i]))

    def apply(self, window, sites, rng):
        sp = pick(rng, [(" ", 6), ("\u00a0", 3), ("\u202f", 2)])
        out = []
        for s in window:
            s = SPACE_BEFORE.sub(lambda m: sp + m.group(1), s)
            chars = []
            for ch in s:
                if ch == '"':
                    prev = chars[-1][-1:] if chars else ""
                    chars.append("\u00ab" + sp if opens_quote(prev) else sp + "\u00bb")
                else:
                    chars.append(ch)
            out.append("".join(chars))
        return out


PARENTHETICALS = [
    ("(see below)", 3), ("(see above)", 2), ("(see p. {h})", 1), ("(cf. Table {h})", 1),
    ("(Fig. {h})", 1), ("(sic)", 1), ("(!)", 1), ("(?)", 1), ("(or so it seemed!)", 1),
    ("(why not?)", 1), ("(e.g., in {day} papers)", 1), ("(i.e., the rest)", 1),
    ("(approx. {h}0 percent)", 1), ("(in part)", 1), ("(as noted earlier)", 1),
]


class Parentheses(Transform):
    name, share = "parentheses", 0.1
    help = "(A whole sentence.) and (see below) inside one"

    def site(self, para, i):
        s = para[i]
        return bool(re.match(r"[A-Z]", s)) and "(" not in s and ")" not in s \
            and (bool(WORD_END.search(s)) or bool(re.search(r"\w[?!]$", s)))

    def rewrite(self, sent, rng):
        if rng.random() < 0.5:
            return "(" + sent + ")"
        note = fill(pick(rng, PARENTHETICALS), rng)
        commas = list(COMMA_PAUSE.finditer(sent))
        if commas and rng.random() < 0.5:
            m = rng.choice(commas)
            return sent[:m.start()] + " " + note + ", " + sent[m.end():]
        return sent[:-1] + " " + note + sent[-1]


class Citations(Transform):
    """References set in the text: a bracketed number before the period
    ("known [1].") or after it ("known.[1]", as encyclopedias print them),
    and an author and year in parentheses ("known (Smith, 1990).").  Brown
    has none; unseen, ".[" and "]." read as no sentence end at all."""
    name, share = "citations", 0.1
    help = 'known [1].  known.[1]  known.[2][3]  known [4, 5].  known (Smith, 1990).'

    def site(self, para, i):
        return bool(WORD_END.search(para[i]))

    def rewrite(self, sent, rng):
        n = rng.randint(1, 60)
        ref = pick(rng, [("[%d]" % n, 4), ("[%d, %d]" % (n, n + rng.randint(1, 9)), 1),
                         ("[%d-%d]" % (n, n + rng.randint(1, 5)), 1)])
        kind = rng.random()
        if kind < 0.4:
            return sent[:-1] + " " + ref + "."
        if kind < 0.8:
            return sent + ref + ("[%d]" % (n + 1) if rng.random() < 0.3 else "")
        author = rng.choice(SURNAMES) + (" et al." if rng.random() < 0.3 else "")
        return sent[:-1] + " (%s, %d)." % (author, rng.randint(1950, 2023))


# A gap after a lower-case word and before another, inside a sentence:
# where a reference or an editor's note can stand.
INNER_GAP = re.compile(r"\b(?!(?:the|and|but|for|its|his|her|our|their|was|were|has|had|not)\b)[a-z]{3,}(?= [a-z])")


class InnerCitations(Transform):
    """References and editors' notes in brackets inside a sentence, before
    a lower-case word: `previous work [3] has shown`, `two studies [4, 5]
    found`, `earlier models (Smith et al., 1990) were`, `the treaty [signed
    in 1848] ended`, `spelled recieve [sic] in`.  Citations sets them at a
    sentence's end only, and the model then took a bracket closed after a
    number for a sentence's end before any word (`studies [4, 5] | found`)."""
    name, share = "inner-citations", 0.0
    help = "studies [4, 5] found / models (Smith et al., 1990) were / the treaty [signed in 1848] ended"

    def site(self, para, i):
        return bool(INNER_GAP.search(para[i]))

    def rewrite(self, sent, rng):
        at = rng.choice(list(INNER_GAP.finditer(sent))).end()
        n, year = rng.randint(1, 60), rng.randint(1800, 2023)
        author = rng.choice(SURNAMES)
        note = pick(rng, [("[%d]" % n, 4), ("[%d, %d]" % (n, n + rng.randint(1, 9)), 2),
                          ("[%d-%d]" % (n, n + rng.randint(2, 6)), 1), ("[%d][%d]" % (n, n + 1), 1),
                          ("(%s, %d)" % (author, year), 2), ("(%s et al., %d)" % (author, year), 1),
                          ("[sic]", 1), ("[signed in %d]" % year, 1), ("[published %d]" % year, 1),
                          ("[pages %d-%d]" % (n, n + rng.randint(2, 9)), 1), ("[emphasis added]", 1)])
        return sent[:at] + " " + note + sent[at:]


SHORT_STARTS = [
    ("Yes.", 4), ("No.", 4), ("No!", 2), ("Yes!", 2), ("OK.", 2), ("Okay.", 1),
    ("Hello!", 2), ("Hello!!", 1), ("Really?", 2), ("Really?!", 1), ("Why?", 2),
    ("What?", 2), ("Well.", 1), ("Oh!", 2), ("Right.", 2), ("Sure.", 1), ("Wow!", 1),
    ("Indeed.", 1), ("Fine.", 1), ("Good.", 1), ("Thanks!", 1), ("Exactly.", 1),
    ("Never!", 1), ("So?", 1), ("Stop!", 1), ("Listen.", 1), ("Of course.", 2),
    ("Not yet.", 1), ("Thank you.", 1), ("Good morning!", 1), ("Come in!", 1),
    ("Me too.", 1), ("Wait...", 1), ("Hmm.", 1), ("Ah!", 1), ("Why not?", 1),
]


class ShortStart(Transform):
    name, share = "short-start", 0.1
    help = "a short sentence (Yes. No! Really?!) opening the paragraph"

    def sites(self, para):
        return [0]

    def apply(self, window, sites, rng):
        return [pick(rng, SHORT_STARTS)] + list(window)


class Crlf(Transform):
    name, share = "crlf", 0.05
    help = "the copy's lines end in CRLF"
    eol = "\r\n"

    def sites(self, para):
        return list(range(len(para)))

    def apply(self, window, sites, rng):
        return list(window)

INNER_ENDS = ["at {x}.", "from {x}.", "(see {x}).", "in {x}.", "to {x}.", "by {x}."]
INNER_MIDS = ["at {x}", "(see {x})", "in {x}", "via {x}", "from {x}", "- {x} -"]


class InnerMarks(Transform):
    name, share = "inner-marks", 0.25
    help = ("URLs, e-mail addresses, file names, versions, decimals, times, dates and"
            " references (Fig. 3, Part B, J. B. Smith) mid-sentence and last")
    REFERENCES = 0.4  # the part of the copies that get a date or a reference
    phrases = []  # set by augment() from the input

    def site(self, para, i):
        return bool(WORD_END.search(para[i])) and len(words(para[i])) >= 4

    def rewrite(self, sent, rng):
        gaps = list(PHRASE_GAP.finditer(sent))
        ref = rng.random() < self.REFERENCES
        if rng.random() < 0.45 or not gaps:
            if ref:
                return sent[:-1] + " " + reference(rng, rng.choice(REF_ENDS))
            return sent[:-1] + " " + rng.choice(INNER_ENDS).format(x=inner_token(rng, self.phrases))
        m = rng.choice(gaps)
        if ref:
            mid = reference(rng, rng.choice(REF_MIDS))
            mid = ("with " if mid[:1].isupper() else "") + mid
        else:
            mid = rng.choice(INNER_MIDS).format(x=inner_token(rng, self.phrases))
        return sent[:m.start()] + " " + mid + " " + sent[m.end():]
