"""List transforms: numbered, lettered, roman and bulleted items, short
items, inline enumerations."""

import re

from ..paragraphs import LINE_BREAK
from .base import FINAL, WORD_END, Transform, words
from .pools import fill, pick, short_item

NUMBERED = ["{n}.", "{n})", "{n}.)", "({n})"]
LETTERED = ["{a}.", "{a})", "({a})", "{A}.", "{A})"]
ROMAN = ["{i}.", "{i})", "({i})", "{I}.", "{I})"]
BULLETS = [("\u2022", 6), ("-", 5), ("*", 4), ("\u25e6", 1), ("\u25aa", 1),
           ("\u2023", 1), ("\u00b7", 1), ("\u2043", 1)]
ROMANS = ["i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix", "x", "xi", "xii"]
INTROS = ["The main points:", "Note the following:", "In summary:", "Key facts:",
          "Findings:", "Highlights:", "They are as follows:", "Points to consider:",
          "Steps:", "Contents:", "Summary of the changes:", "Remember:"]
CLAUSE_CUT = re.compile(r"; |, (?=(?:and|but|while) )")
CLAUSE_LEAD = re.compile(r"^(?:and|but|while) ")


def list_marker(style, k, rng_markers):
    if style == "bullet":
        return rng_markers
    fmt = rng_markers
    return fmt.format(n=k + 1, a=chr(ord("a") + k), A=chr(ord("A") + k),
                      i=ROMANS[k], I=ROMANS[k].upper())


class Lists(Transform):
    name, share = "lists", 0.25
    help = "numbered, lettered, roman and bulleted list items"
    MAX_WORDS = 18
    OWN_LINES = 0.5
    intros = INTROS

    def items_of(self, sent):
        """Candidate list items in one sentence: the sentence if short, else
        clauses cut from it, without their final marks."""
        if not sent[:1].isalpha() or any(c in sent for c in "\"()[]:"):
            return []
        m = FINAL.search(sent)
        mark = m.group(1) if m and m.group(1) in "?!" else "."
        body = FINAL.sub("", sent).rstrip(" ,;")
        if 2 <= len(words(body)) <= self.MAX_WORDS:
            return [(body, mark)]
        out = []
        for piece in CLAUSE_CUT.split(body):
            piece = CLAUSE_LEAD.sub("", piece.strip()).rstrip(" ,;")
            if 4 <= len(words(piece)) <= self.MAX_WORDS and piece[:1].isalpha():
                out.append((piece, "."))
        return out

    def sites(self, para):
        return [i for i in range(len(para)) if self.items_of(para[i])]

    def apply(self, window, sites, rng):
        out = []
        intro = rng.random()
        if intro < 0.3 and WORD_END.search(window[0]) and len(window) > 2:
            # The paragraph's first sentence introduces the list.
            out.append(window[0][:-1] + ":")
            window = window[1:]
        elif intro < 0.7:
            out.append(rng.choice(self.intros))
        items = [it for s in window for it in self.items_of(s)]
        if len(items) < 2:
            return None
        items = items[:rng.randint(2, 7)]
        style = pick(rng, [("number", 5), ("letter", 2), ("roman", 2), ("bullet", 4),
                           ("bullet-number", 1)])
        if style == "bullet":
            fmt = pick(rng, BULLETS)
        elif style == "bullet-number":
            # "• 9. Check the tyres.": a bullet, then the item's number.
            fmt = pick(rng, BULLETS) + " " + rng.choice(NUMBERED[:2])
            style = "number"
        else:
            fmt = rng.choice({"number": NUMBERED, "letter": LETTERED, "roman": ROMAN}[style])
        ending = pick(rng, [("period", 3), ("none", 3), ("mixed", 2), ("semicolon", 1)])
        for k, (item, mark) in enumerate(items):
            if rng.random() < 0.85:
                item = item[0].upper() + item[1:]
            last = k == len(items) - 1
            if ending == "period" or (ending == "mixed" and rng.random() < 0.5):
                item += mark
            elif ending == "semicolon":
                item += "." if last else ";"
            out.append(list_marker(style, k, fmt) + " " + item)
        if rng.random() < self.OWN_LINES:
            # Each item on a line of its own, as lists are mostly set: the
            # line break after the intro (U+2028, see LINE_BREAK) is what
            # tells "Method:" before "1. mix" on the next line from "You
            # need: 1) flour" inside a line.
            out = [s + LINE_BREAK for s in out[:-1]] + out[-1:]
        return out

SHORT_INTROS = ["Things to bring", "Shopping list", "Tasks for {day}", "What we need",
                "Before you leave", "Agenda", "The plan", "Checklist", "Notes",
                "Reminders", "Order of events", "Schedule for {day}", "Supplies",
                "You will need", "Do not forget", "Homework", "Timetable", "Goals",
                "Tools", "Menu", "Our list", "Next", "Scores", "Options"]


def short_marker(rng, style, fmt, k, start):
    if style == "bullet":
        return fmt
    n = start + k
    return fmt.format(n=n, a=chr(ord("a") + k % 26), A=chr(ord("A") + k % 26),
                      i=ROMANS[k % len(ROMANS)], I=ROMANS[k % len(ROMANS)].upper())


class ShortLists(Transform):
    name, share = "short-lists", 0.15
    help = "short list items (often lower case, no final mark), one per line"
    phrases = []  # set by augment() from the input

    def sites(self, para):
        return [0]

    def apply(self, window, sites, rng):
        rng_phrases = self.phrases
        out = []
        intro = rng.random()
        if intro < 0.5:
            out.append(fill(rng.choice(SHORT_INTROS), rng) + ":")
        elif intro < 0.6 and WORD_END.search(window[0]):
            out.append(window[0][:-1] + ":")
        elif intro < 0.7:
            out.append(window[0])  # a sentence, then the list without an intro
        style = pick(rng, [("number", 5), ("letter", 2), ("roman", 2), ("bullet", 4),
                           ("bullet-number", 1)])
        start = 1 if rng.random() < 0.8 else rng.randint(2, 15)
        if style in ("bullet", "bullet-number"):
            bullet = pick(rng, BULLETS)
        if style == "bullet":
            fmt = bullet
        elif style == "bullet-number":
            fmt = bullet + " " + rng.choice(NUMBERED[:2])
            style = "number"
        else:
            fmt = rng.choice({"number": NUMBERED, "letter": LETTERED, "roman": ROMAN}[style])
        case = pick(rng, [("upper", 4), ("lower", 3), ("mixed", 1)])
        ending = pick(rng, [("none", 6), ("period", 3), ("semicolon", 1), ("comma", 1)])
        n = rng.randint(2, 8)
        for k in range(n):
            item = short_item(rng, rng_phrases)
            if case == "upper" or (case == "mixed" and rng.random() < 0.5):
                item = item[0].upper() + item[1:]
            last = k == n - 1
            if ending == "period":
                item += "."
            elif ending in ("semicolon", "comma"):
                item += "." if last else (";" if ending == "semicolon" else ",")
            out.append(short_marker(rng, style, fmt, k, start) + " " + item)
        if rng.random() < 0.3 and len(window) > 1:
            out.append(window[-1])  # running text goes on after the list
        return out


INLINE_LEADS = ["You need {n}:", "There are {n} steps:", "We have {n} options:",
                "It comes in {n} sizes:", "The rules are simple:", "Bring {n} things:",
                "Choose one of {n}:", "The order is", "In short:", "They asked for"]
NUMBER_WORDS = ["two", "three", "four", "five"]


class InlineLists(Transform):
    name, share = "inline-lists", 0.08
    help = "an enumeration inside one sentence: ...: 1) x, 2) y and 3) z."
    phrases = []  # set by augment() from the input

    def site(self, para, i):
        return bool(WORD_END.search(para[i])) and len(words(para[i])) >= 5

    def rewrite(self, sent, rng):
        n = rng.randint(2, 4)
        fmt = rng.choice(["{n})", "({n})", "({a})", "{a})", "{n}.", "{i})", "({i})"])
        items = [fmt.format(n=k + 1, a=chr(ord("a") + k), i=ROMANS[k]) + " " +
                 short_item(rng, self.phrases) for k in range(n)]
        joined = ", ".join(items[:-1]) + pick(rng, [(" and ", 3), (", and ", 2), (" or ", 1)]) + items[-1]
        # Mostly after a whole sentence: a short heading ending in ":" at the
        # start of a paragraph more often introduces a list set out in lines.
        if rng.random() < 0.2:
            lead = rng.choice(INLINE_LEADS).format(n=NUMBER_WORDS[n - 2])
            return lead + " " + joined + "."
        return sent[:-1] + pick(rng, [(": ", 3), (", namely ", 1), (" such as ", 1)]) + joined + "."
