"""Quotations with speech tags: questions and exclamations in quotes, and
the French way of setting them."""

import re

from .base import WORD_END, Transform, words
from .pools import FIRST_NAMES, fill, pick

SPEECH_VERBS = ("said", "says", "asked", "cried", "added", "replied", "shouted",
                "answered", "declared", "explained", "continued", "told", "went",
                "insisted", "called", "remarked", "yelled", "whispered", "snapped")
SAID_PATTERN = re.compile(
    r"(?<=\w),([\"'])( (?:[A-Za-z.]+ ){0,2}(?:%s)\b)" % "|".join(SPEECH_VERBS))
QUESTION_WORDS = {"why", "what", "how", "who", "where", "when", "is", "are", "do",
                  "did", "can", "could", "will", "would", "should", "have", "has",
                  "was", "were", "does", "shall", "may"}


class QuotedQuestions(Transform):
    name, share = "quoted-questions", 0.5
    help = '"...," he said. -> "...?" he asked. / "...!" he shouted.'

    def site(self, para, i):
        return bool(SAID_PATTERN.search(para[i]))

    def rewrite(self, sent, rng):
        def change(m):
            opener = sent.rfind(m.group(1), 0, m.start())
            quoted = sent[opener + 1:m.start()].split()
            question = bool(quoted) and quoted[0].lower() in QUESTION_WORDS
            mark = "?" if question or rng.random() < 0.4 else "!"
            tail = m.group(2)
            if " said" in tail and rng.random() < 0.6:
                tail = tail.replace(" said", " asked" if mark == "?" else
                                    rng.choice((" shouted", " cried")), 1)
            return mark + m.group(1) + tail
        return SAID_PATTERN.sub(change, sent, count=1)


class QuotedStatements(Transform):
    """A statement quoted with its own period before a speech tag in lower
    case, as informal writing sets it: the tag goes on with the sentence,
    whatever the mark inside the quote."""
    name, share = "quoted-statements", 0.0
    help = '"...," he said. -> "...." he said.'

    def site(self, para, i):
        return bool(SAID_PATTERN.search(para[i]))

    def rewrite(self, sent, rng):
        return SAID_PATTERN.sub(lambda m: "." + m.group(1) + m.group(2), sent, count=1)


PRONOUNS = ["I", "he", "she", "we", "they"]
ASK_VERBS = ["asked", "wondered", "inquired", "demanded", "whispered", "said", "cried"]
SHOUT_VERBS = ["shouted", "cried", "yelled", "exclaimed", "said", "called", "screamed", "snapped"]
SPEAKERS = ["the child", "the old man", "the driver", "his mother", "the boy", "the girl",
            "the doctor", "the clerk", "my father", "the stranger", "the captain", "her aunt"]
LISTENERS = ["her father", "his wife", "the guard", "me", "the others", "nobody in particular",
             "the teacher", "his friend", "again", "softly", "at last", "quietly"]
QUESTION_START = re.compile(r"^(?:%s)\b" % "|".join(w.capitalize() for w in QUESTION_WORDS))


def speech_tag(rng, mark):
    verb = rng.choice(ASK_VERBS if mark == "?" else SHOUT_VERBS)
    kind = rng.random()
    if kind < 0.35:
        who = rng.choice(PRONOUNS)
        tag = who + " " + verb
    elif kind < 0.6:
        tag = rng.choice(FIRST_NAMES) + " " + verb
    elif kind < 0.8:
        tag = verb + " " + rng.choice(FIRST_NAMES + SPEAKERS)
    else:
        tag = rng.choice(SPEAKERS) + " " + verb
    if rng.random() < 0.3:
        tag += " " + rng.choice(LISTENERS)
    return tag + "."


class Dialogue(Transform):
    name, share = "dialogue", 0.15
    help = '"...?" I asked. / "...!" asked Mary. on one line, and quoted sentences before new ones'

    def site(self, para, i):
        s = para[i]
        return s[:1].isupper() and '"' not in s and (
            bool(re.search(r"\w[?!]$", s)) or (bool(WORD_END.search(s)) and len(words(s)) <= 14))

    def rewrite(self, sent, rng):
        body = sent[:-1]
        mark = sent[-1]
        if mark == ".":
            mark = "?" if QUESTION_START.match(sent) else pick(rng, [("!", 2), ("?", 1)])
        quoted = '"' + body + mark + '"'
        if rng.random() < 0.8:
            return quoted + " " + speech_tag(rng, mark)
        return quoted  # a quotation standing as the sentence: the next one is new


FRENCH_TAGS = ["demanda-t-il", "demanda-t-elle", "dit-il", "dit-elle", "r\u00e9pondit-il",
               "cria-t-elle", "murmura-t-il", "s'exclama-t-elle", "fit-il", "ajouta-t-elle",
               "reprit-il", "s'\u00e9cria-t-il", "lui demanda {first}", "dit {first}",
               "r\u00e9pondit {first}", "he asked", "she cried", "asked {first}"]


class FrenchDialogue(Transform):
    name, share = "french-dialogue", 0.2
    help = "\u00ab ... ? \u00bb demanda-t-il. and \u00ab ... ! \u00bb dit-elle. as one sentence"

    def site(self, para, i):
        return Dialogue.site(self, para, i)

    def rewrite(self, sent, rng):
        sp = pick(rng, [(" ", 6), ("\u00a0", 3), ("\u202f", 2)])
        mark = sent[-1]
        if mark == ".":
            mark = "?" if QUESTION_START.match(sent) else pick(rng, [("!", 2), ("?", 1)])
        quoted = "\u00ab" + sp + sent[:-1] + sp + mark + sp + "\u00bb"
        if rng.random() < 0.8:
            return quoted + " " + fill(rng.choice(FRENCH_TAGS), rng) + "."
        return quoted
