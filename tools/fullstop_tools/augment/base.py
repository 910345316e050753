"""What every transform shares: the Transform interface, the shapes of
sentence ends and openings the transforms look for, and small helpers."""

import re

# Sentence-final mark, optionally followed by closing quotes and brackets.
FINAL = re.compile(r"([.?!])([\"')\]]*)$")
# A sentence ending in a period after an ordinary lower-case word, so the
# period is the sentence's own and not an abbreviation's ("Jr.", "Ala.").
WORD_END = re.compile(r"(?<![\w.])(?!(?:etc|al|viz|cf|vs|approx|ibid|ca|pp|ft|ed)\.)[a-z]{2,}\.$")
STARTS_CAPITAL = re.compile(r"^[\"'(]?[A-Z]")


def ends_before_capital(para, i):
    """Whether para[i] ends in an ordinary word's period and the paragraph's
    next sentence opens with a capital: where a transform can end the
    sentence in something else and still show the boundary before it."""
    return bool(WORD_END.search(para[i])) and i + 1 < len(para) \
        and bool(STARTS_CAPITAL.match(para[i + 1]))


def words(s):
    return s.split()


def insert_before(sent, gap, text):
    """sent with text and a space put in at gap, a match of a space before
    the word it goes in front of."""
    return sent[:gap.start()] + " " + text + sent[gap.start():]


def lower_first(s, vocabulary=()):
    """Lower-case a sentence's first word unless it is a name, so the sentence
    can follow a phrase put in front of it.  A word is taken for an ordinary
    one if it is a common opener or vocabulary holds its lower-case form."""
    first = s.split(" ", 1)[0]
    if first in COMMON_OPENERS or (first[:1].isupper() and first[1:].islower()
                                   and first.lower() in vocabulary):
        return first.lower() + s[len(first):]
    return s


def ordinary_words(paras):
    """Words seen in lower case inside sentences and never capitalised there:
    the ones that are capitalised only because they open a sentence."""
    lower, capital = set(), set()
    for para in paras:
        for sent in para:
            for w in sent.split()[1:]:
                w = w.strip("\"'(),;:.?!")
                if w.islower():
                    lower.add(w)
                elif w[:1].isupper():
                    capital.add(w.lower())
    return lower - capital

COMMON_OPENERS = {
    "The", "A", "An", "It", "He", "She", "They", "We", "This", "That", "These",
    "Those", "There", "His", "Her", "Its", "Their", "Our", "Some", "Most",
    "Many", "All", "Such", "One", "Each", "Both", "Other", "No", "In", "On",
    "At", "For", "With", "But", "And", "Yet", "So", "If", "When", "As",
}

# A gap before a preposition or conjunction, where a phrase can be put in.
PHRASE_GAP = re.compile(r"(?<=[a-z]) (?=(?:for|in|on|to|with|and|but|when|after|before) [a-z])")

# Transforms.  Each has
#   sites(para) -> indices of sentences it can rewrite
#   apply(window, sites, rng) -> new list of sentences, or None
# and is applied to a window holding at least one site.


class Transform:
    name = ""
    share = 0.0
    help = ""

    def site(self, para, i):
        return False

    def sites(self, para):
        return [i for i in range(len(para)) if self.site(para, i)]

    def apply(self, window, sites, rng):
        out = list(window)
        for i in sites:
            out[i] = self.rewrite(out[i], rng)
        return out

    def rewrite(self, sent, rng):
        return sent
