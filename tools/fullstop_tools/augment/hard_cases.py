"""The hard cases a reader still tells apart and a five-token window barely
does: an initialism ending a sentence before a title (`at 5 p.m. Dr. Lee
left`), the pronoun I ending one against a middle initial I, bracketed and
spaced ellipses, a sentence that opens with an ellipsis, and footnote
markers after a sentence's mark.  Each is rare in Brown and on the web, so
the fit learnt it from a handful of cases or none.

Off unless a recipe gives them a share, as the casual transforms are."""

from .base import STARTS_CAPITAL, WORD_END, Transform, ends_before_capital, lower_first
from .abbreviations import INITIALISM_ENDS
from .pools import FIRST_NAMES, SURNAMES, any_phrase, fill, pick

TITLES = ["Dr.", "Mr.", "Mrs.", "Ms.", "Prof.", "Gen.", "Sen.", "Gov.", "Rev.", "Capt.", "Sgt.",
          "Lt.", "Col.", "Rep.", "Pres.", "St."]
SAID = ["said", "says", "added", "agreed", "left", "spoke next", "was there too", "disagreed",
        "arrived later", "wrote the report"]


class TitlesAfterInitialisms(Transform):
    """An initialism ending a sentence before one that opens with a title
    and a name (`at 5 p.m. Dr. Lee left`).  Inside a sentence the same
    marks go on (`our 9 a.m. Dr. Kim visit`), which the window cannot tell:
    it sees `. m . Dr .` either way.  Copies of that kind too (a fifth of
    them) cost more ends than they gained, so the commoner reading is
    taught alone."""
    name, share = "titles-after-initialisms", 0.0
    help = "an initialism ending a sentence before a title and a name: at 5 p.m. Dr. Lee left"

    def site(self, para, i):
        return ends_before_capital(para, i)

    def apply(self, window, sites, rng):
        out = list(window)
        for i in sites:
            if i + 1 >= len(out):
                continue
            out[i] = out[i][:-1] + " " + fill(pick(rng, INITIALISM_ENDS), rng)
            who = "%s %s" % (rng.choice(TITLES), rng.choice(SURNAMES))
            if rng.random() < 0.5:
                out[i + 1] = "%s %s." % (who, rng.choice(SAID))
            else:
                out[i + 1] = "%s %s %s" % (who, rng.choice(["said", "thinks", "wrote that"]),
                                            lower_first(out[i + 1]))
        return out


# An initialism before the name it belongs to, by its kind.
INITIALISM_NAMES = [
    (("U.S.", "the U.S."), ["Supreme Court", "Congress", "Senate", "House", "Army", "Navy", "Air Force",
                            "Coast Guard", "Treasury", "State Department", "Embassy", "Census Bureau",
                            "Constitution", "District Court", "Postal Service", "Government",
                            "Ambassador", "Attorney General", "Open", "Forest Service"], 6),
    (("U.N.", "the U.N."), ["Security Council", "General Assembly", "Secretary-General", "Charter",
                            "Human Rights Council"], 2),
    (("U.K.", "the U.K."), ["Parliament", "Treasury", "Government", "Home Office", "Supreme Court"], 2),
    (("E.U.", "the E.U."), ["Commission", "Parliament", "Council", "Court of Justice"], 1),
    (("D.C.", "the D.C."), ["Council", "Circuit", "Metro"], 1),
]
NAME_VERBS = ["said that", "ruled that", "agreed that", "announced that", "reported that", "decided that",
              "warned that", "found that"]


class InitialismNames(Transform):
    """An initialism inside a sentence before the capitalised name it
    belongs to (`the U.S. Supreme Court ruled`, `a U.N. Security Council
    vote`).  The copies that end a sentence at an initialism before a
    capitalised word (`in the U.S. The`) outnumber these many times in the
    other copies, and taught the model to split every such pair; the word
    after the initialism is what tells them apart."""
    name, share = "initialism-names", 0.0
    help = "an initialism before the name it belongs to: the U.S. Supreme Court ruled"

    def site(self, para, i):
        return bool(WORD_END.search(para[i]))

    def rewrite(self, sent, rng):
        (bare, the), names = pick(rng, [((kind, names), w) for kind, names, w in INITIALISM_NAMES])
        name = rng.choice(names)
        form = rng.random()
        if form < 0.4:
            return "The %s %s %s %s" % (bare, name, rng.choice(NAME_VERBS), lower_first(sent))
        if form < 0.7:
            return "%s, %s %s %s." % (sent[:-1], rng.choice(["said", "according to", "wrote", "told"]),
                                      the, name)
        return "%s %s officials %s %s" % (bare, name, rng.choice(NAME_VERBS), lower_first(sent))


I_ENDS = ["and so did I.", "as did I.", "and neither did I.", "or so thought I.",
          "but not I.", "than I.", "as much as I.", "the same as I."]


class PronounI(Transform):
    """The pronoun I ending a sentence (`so did I. Then`), which Brown
    writes a few dozen times, against I as a middle initial (`Ruth I.
    Stein`), which it hardly writes at all."""
    name, share = "pronoun-i", 0.0
    help = "I ending a sentence (so did I.) and I as a middle initial (Ruth I. Stein)"

    def site(self, para, i):
        return bool(WORD_END.search(para[i]))

    def rewrite(self, sent, rng):
        if rng.random() < 0.5:
            return sent[:-1] + ", " + rng.choice(I_ENDS)
        name = "%s I. %s" % (rng.choice(FIRST_NAMES), rng.choice(SURNAMES))
        if rng.random() < 0.5:
            return "%s said %s" % (name, lower_first(sent))
        return sent[:-1] + ", %s %s." % (rng.choice(["said", "wrote", "according to", "with"]), name)


REFERENCE_ABBREVIATIONS = ["No.", "no.", "Art.", "Sec.", "sec.", "Fig.", "fig.", "p.", "pp.", "Vol.",
                           "vol.", "Ch.", "ch.", "ver.", "Op.", "Par.", "Eq.", "Ex.", "Item", "Table",
                           "Section", "Rule"]
# The number sign as text from other languages writes it, for half of the
# `No.` drawn: with the degree sign or the ordinal indicator for the o,
# closed up with a period or not, or the numero sign.  A word the model had
# not met, `N°.` read as an unknown word's period before a number that opens
# a sentence.
NUMERO_SIGNS = ["N\u00b0.", "N\u00b0", "N\u00ba", "N\u00ba.", "\u2116"]


def reference_number(rng):
    n = rng.randint(1, 120)
    # A third of the numbers long, and a third of the parts (`No.
    # 1026.253.553`), which the window types apart from short ones: with
    # short ones alone the model learnt that a long number after `No.`
    # opens a sentence.  Made from the same draws as the short ones, so
    # that every other copy stays as it was.
    if n % 3 == 0:
        n = n * 83 + 121

    def part(d):
        return d * 111 if (d + n) % 3 == 0 else d
    return pick(rng, [(str(n), 5), ("%d.%d" % (n, part(rng.randint(1, 9))), 3),
                      ("%d.%d.%d" % (n, part(rng.randint(1, 9)), part(rng.randint(1, 9))), 2),
                      ("%d-%d" % (n, n + rng.randint(1, 9)), 1), ("%d(%s)" % (n, rng.choice("abc")), 1)])


class NumberedReferences(Transform):
    """An abbreviation before a number (`Art. 12.3`, `Sec. 3.2.1`, `No.
    14`, `ver. 2.4`) ending a sentence before a new one, and inside one
    before a word that goes on (`Fig. 4 shows`): the number, not the
    abbreviation, ends the sentence, and its last period is the sentence's."""
    name, share = "numbered-references", 0.0
    help = "an abbreviation and a number ending a sentence (see Art. 12.3. It) or inside it"

    def site(self, para, i):
        return bool(WORD_END.search(para[i]))

    def rewrite(self, sent, rng):
        abbreviation = rng.choice(REFERENCE_ABBREVIATIONS)
        if abbreviation == "No." and rng.random() < 0.5:
            abbreviation = rng.choice(NUMERO_SIGNS)
        ref = "%s %s" % (abbreviation, reference_number(rng))
        if rng.random() < 0.6:
            return sent[:-1] + " " + rng.choice(["in", "under", "see", "as", "per", "at"]) + " " + ref + "."
        if rng.random() < 0.5:
            return "%s %s %s" % (ref, rng.choice(["shows that", "says", "and", "explains why"]),
                                 lower_first(sent))
        return sent[:-1] + " (%s)." % ref


CITES = [(" (%s, %d)", 3), (" [%d]", 3), (" (p. %d)", 2), ("", 3)]


def citation(rng):
    form = pick(rng, CITES)
    if form.startswith(" (%s"):
        return form % (rng.choice(SURNAMES), rng.randint(1900, 2023))
    return form % rng.randint(1, 300) if "%" in form else form


class BracketedEllipses(Transform):
    """Quotations cut with a bracketed ellipsis, `[...]` or `[…]`, before
    the closing quote and a citation (`"costs rose [...]" (Moss, 2004).`),
    inside the quotation, or opening it."""
    name, share = "bracketed-ellipses", 0.0
    help = 'quotations cut with [...]: "the plan failed [...]" (Moss, 2004).'
    phrases = []  # set by augment() from the input

    def site(self, para, i):
        return bool(WORD_END.search(para[i]))

    def rewrite(self, sent, rng):
        gap = pick(rng, [("[...]", 5), ("[\u2026]", 2), ("[. . .]", 1)])
        quoted = any_phrase(rng, self.phrases)
        kind = rng.random()
        if kind < 0.5:
            if rng.random() < 0.3:
                return sent[:-1] + ', calling it "%s %s."' % (quoted, gap)
            return sent[:-1] + ', calling it "%s %s"%s.' % (quoted, gap, citation(rng))
        if kind < 0.8:
            return '%s: "%s %s %s."' % (sent[:-1], quoted.capitalize(), gap,
                                        any_phrase(rng, self.phrases))
        return '"%s %s," %s.' % (gap, quoted, rng.choice(["he said", "she wrote", "they said"]))


LEAD_INS = ["The transcript", "The note reads", "It goes on", "The tape", "Her reply", "He wrote",
            "The last line", "The record"]


class EllipsisStarts(Transform):
    """A sentence that opens with an ellipsis (`...And then it stopped.`,
    `…and nobody knew`), as quoted and transcribed text begins mid-way; and
    now and then one after a colon inside a sentence (`The transcript:
    ...we will not give up.`), where no sentence begins."""
    name, share = "ellipsis-starts", 0.0
    help = "a sentence opening with an ellipsis: ...And then it stopped."

    def site(self, para, i):
        return bool(STARTS_CAPITAL.match(para[i]))

    def rewrite(self, sent, rng):
        mark = pick(rng, [("...", 5), ("\u2026", 3), (". . . ", 1)])
        if rng.random() < 0.5:
            sent = lower_first(sent)
        if rng.random() < 0.2:
            return "%s: %s%s" % (rng.choice(LEAD_INS), mark, lower_first(sent))
        return mark + sent


class SpacedEllipses(Transform):
    """An ellipsis inside a sentence before I or a lower-case word (`Well
    . . . I suppose so.`, `It was late... I was tired.`), which goes on;
    the Ellipsis transform writes the ones that end a sentence."""
    name, share = "spaced-ellipses", 0.0
    help = "an ellipsis inside a sentence before I or lower case: Well . . . I suppose so."

    def site(self, para, i):
        return len(para[i].split()) >= 5 and bool(WORD_END.search(para[i]))

    def rewrite(self, sent, rng):
        words = sent.split(" ")
        # Not before a name ("the National . . . Guard"): a spaced ellipsis
        # before a capital mostly ends its sentence (`waited . . . Nobody
        # came`), and lower_first keeps a name's capital.
        gaps = [k for k in range(2, len(words) - 1) if words[k - 1][-1:].isalpha() and words[k][:1].islower()]
        if not gaps:
            return sent
        k = rng.choice(gaps)
        mark = pick(rng, [(" . . .", 4), ("...", 3), ("\u2026", 2), (" ...", 1)])
        rest = lower_first(" ".join(words[k:]))
        if rng.random() < 0.5:
            rest = rng.choice(I_FILLERS) + " " + rest
        return " ".join(words[:k]) + mark + " " + rest


I_FILLERS = ["I mean,", "I think", "I suppose", "I guess", "I know", "I admit", "I believe"]


MARKERS = [("[%d]", 6), (" [%d]", 3), ("[%d][%d]", 1), ("[%d, %d]", 1), ("[a]", 1),
           ("[citation needed]", 1), ("[note %d]", 1), ("\u00b9", 1), ("\u00b2", 1),
           ("\u00b3", 1), ("\u2074", 1), ("\u00b9\u2075", 1)]


class FootnoteMarkers(Transform):
    """Footnote and citation markers after a sentence's mark (`rare.[3]
    In`, `in 1972. [12] Indeed`, `a third.² The`), which belong to the
    sentence they follow, as text copied from encyclopedias and papers sets
    them."""
    name, share = "footnote-markers", 0.0
    help = "a footnote marker after the mark: rare.[3] In / in 1972. [12] Indeed / a third.\u00b2 The"

    def site(self, para, i):
        return bool(WORD_END.search(para[i])) and i + 1 < len(para)

    def rewrite(self, sent, rng):
        form = pick(rng, MARKERS)
        n = rng.randint(1, 60)
        marker = form.replace("%d", str(n), 1).replace("%d", str(n + 1), 1)
        return sent + marker
