#!/usr/bin/env python3
"""Tests for scripts/augment-brown and scripts/restyle: each transform does
what it says without moving sentence boundaries, runs are repeatable, and
restyled gold offsets fit the restyled text."""

import os
import random
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
from fullstop_tools import augment as ab, paragraphs as text  # noqa: E402
from fullstop_tools.augment import abbreviations, base, conventions, dialogue, languages, lists, marks, pools  # noqa: E402
AUGMENT = os.path.join(HERE, "..", "..", "scripts", "augment-brown")
RESTYLE = os.path.join(HERE, "..", "..", "scripts", "restyle")

SAMPLE = """\
The jury said it found "no evidence" of fraud in the election.
"Only a handful of reports was received," the jury said.
Why did the city wait so long?
It urged that the city "take steps to remedy" this problem.

"Stop the car!" she said.
He asked, "Where are you going?"
The mayor's wife, who was born in Opelika, left in the spring.
Mrs. J. F. Baker and A. Lee met U. S. Grant.

Things went well.
The plan had three parts; the first was a new road, and the second was a bridge.
Costs were low.
Dr. Lee said so.
Two of them voted no.
Taxes rose sharply.
Nobody objected.

"We won't go home," he said.
'Tis the season, she wrote, and they cheered 'em on.
"Really?" he asked, "and then what?"

Road works ahead
The new road opens in May.
The National Guard built its two lanes.
"""


def paragraphs():
    return text.read_paragraphs(SAMPLE)


def only(name, seed=1, window=10):
    """Copies made by one transform at share 1."""
    return ab.augment(paragraphs(), {name: 1.0}, seed=seed, window=window)


def all_copies(name):
    return [c for seed in range(1, 16) for c in only(name, seed)]


MARKER = re.compile(r"^(?:\(?(?:\d+|[a-zA-Z]|[ivx]+|[IVX]+)(?:\.\)|[.)])"
                    r"|[\u2022\-*\u25e6\u25aa\u2023\u00b7\u2043]) \S")
ABBREVIATIONS = re.compile(r"U\.S\.|U\.K\.|[ap]\.m\.|[AP]\.M\.|Inc\.|Ltd\.|Co\.|Corp\.|etc\.|Jr\.")


class Transforms(unittest.TestCase):
    # name, what every copy must show
    CLAIMS = [
        ("quote-convention", lambda t: re.search(r"[\"'][.,]", t) and not re.search(r"[a-z],\"", t)),
        ("typographic", lambda t: "\u201c" in t and '"' not in t and "'" not in t),
        ("doubled-marks", lambda t: re.search(r"[?!]{2,}", t)),
        ("ellipsis", lambda t: re.search(r"\.\.\.|\u2026|\. \. \.", t)),
        ("abbreviations", lambda t: ABBREVIATIONS.search(t)),
        ("quoted-questions", lambda t: re.search(r"\w[?!]\" [a-z]", t)),
        ("quoted-statements", lambda t: re.search(r"\w\.\" [a-z]", t)),
        ("french", lambda t: "\u00ab" in t or re.search(r"\w[ \u00a0\u202f][?!;:]", t)),
        ("parentheses", lambda t: re.search(r"\(.+\)", t)),
        ("short-lists", lambda t: len(re.findall(r"^" + MARKER.pattern[1:], t, re.M)) >= 2),
        ("inline-lists", lambda t: re.search(r"(?:\(?[0-9a-z]+[.)] \S.*){2}\.$", t, re.M)),
        ("dialogue", lambda t: re.search(r'^"[^"]+[?!]"(?: [A-Za-z][a-z]*(?: [a-zA-Z]+)*\.)?$', t, re.M)),
        ("french-dialogue", lambda t: re.search("^\u00ab.+[?!]\\s\u00bb(?: [^ ].*\\.)?$", t, re.M)),
        ("inner-marks", lambda t: re.search(r"\w[.?:@/]\w|[A-Za-z.] (?:\d+|[A-Z])\b", t)),
        ("initialisms", lambda t: re.search(r"(?:\b[A-Za-z]{1,2}\.){2,}|\b(?:St|Dr|Mr|Inc|Co|Jr)\.", t)),
        # Every run of initials before a name closed up, and nothing else.
        ("unspaced-initials", lambda t: "J.F. Baker and A. Lee met U.S. Grant" in t
         and not re.search(r"\b[A-Z]\. [A-Z]\.", t)),
        ("citations", lambda t: re.search(r"\w(?: \[\d+(?:[-, ]+\d+)?\]\.|\.\[\d+(?:[-, ]+\d+)?\](?:\[\d+\])?"
                                          r"|(?: \(\w+(?: et al\.)?, \d{4}\)\.))$", t, re.M)),
        # Marks that open and close words (or a lead-in), or a heading after "#".
        ("markdown", lambda t: re.search(r"(?:^|[ \"'(])(\*\*|__|[*_`])[A-Za-z][^\n]*?[\w:]\1(?:[ .,;:?!'\")]|$)"
                                         r"|^#{1,3} [^\n]+\u2028$", t, re.M)),
        ("ms-title", lambda t: "Ms. J. F. Baker" in t and "Mrs." not in t),
        # A plural title before two names; the singular is gone from there.
        ("plural-titles", lambda t: re.search(r"\b(?:Drs|Messrs|Profs|Gens|Sens|Reps|Govs|Revs)\. "
                                              r"(?:[A-Z]\. )*[A-Z][a-z]+ and [A-Z][a-z]+", t)),
        # Every initial before a name in a run of two or three closed up.
        ("closed-initials", lambda t: re.search(r"\b(?:[A-Z]\.){2,3} Baker and (?:[A-Z]\.){2,3} Lee", t)
         and not re.search(r"(?<![A-Z.])[A-Z]\. [A-Z]", t)),
        # A sentence ends in a run of closed-up capitals.
        ("initialism-ends", lambda t: re.search(r" (?:[A-Z]\.){2,4}$", t, re.M)),
        # The initials keep their shape and the names; no letter is drawn as I.
        ("redrawn-initials", lambda t: re.search(r"Mrs\. [A-Z]\. [A-Z]\. Baker and [A-Z]\. Lee met [A-Z]\. [A-Z]\. Grant", t)
         and not re.search(r"\bI\.", t)),
        # Casual text: a sentence after the first starting in lower case,
        # but never one after a closing quote, where a lower-case word is a
        # speech tag going on with the sentence.
        ("lower-starts", lambda t: re.search(r"\n[\"'(]*[a-z]", t)
         and not re.search(r"[.?!][\"']+\n[\"'(]*[a-z]", t)),
        ("emoticons", lambda t: re.search(r"(?:[:;=][-']?[()DP/]|XD|<3|\^\^|[\u2600-\u27bf\U0001f300-\U0001faff]\ufe0f?)$",
                                          t, re.M)),
        ("mark-runs", lambda t: re.search(r"(?:[!?]{3,}|\.\.|!!)[\"')]*$", t, re.M)),
        ("shouting", lambda t: re.search(r"^[^a-z\n]*[A-Z][^a-z\n]*$", t, re.M)),
        ("address-ends", lambda t: re.search(r", [a-z ]*(?:at|to|see|from|via|is|details:) \S*\w[./@:]\w", t)),
        ("tags", lambda t: re.search(r"(?:^@\w+ |#\w+)", t, re.M)),
        # The text's lines end before the sign-off or the signature.
        ("letter", lambda t: re.search(r"\u2028$", t, re.M)),
        ("quoted-reply", lambda t: re.search(r"^>{1,2} ?\S", t, re.M)),
        # A word joiner opens the line of a sentence glued to a word's mark,
        # and only such a line.
        ("glued", lambda t: re.search(r"[a-z][.?!]+\n\u2060[A-Z][a-z]+\b", t)
         and not re.search(r"(?:^|[^.?!]\n)\u2060|\u2060(?![A-Z][a-z])", t)),
        ("titles-after-initialisms", lambda t: re.search(
            r"(?:^|\n|[ap]\.m\. |U\.S\. )(?:Dr|Mr|Mrs|Ms|Prof|Gen|Sen|Gov|Rev|Capt|Sgt|Lt|Col|Rep|Pres|St)\. [A-Z]",
            t)),
        ("pronoun-i", lambda t: re.search(r"\bI\.$|\b[A-Z][a-z]+ I\. [A-Z][a-z]+", t, re.M)),
        ("bracketed-ellipses", lambda t: re.search(r"\[(?:\.\.\.|\u2026|\. \. \.)\]", t)),
        ("ellipsis-starts", lambda t: re.search(r"(?:^|: )(?:\.\.\.|\u2026|\. \. \. )\S", t, re.M)),
        ("spaced-ellipses", lambda t: re.search(r"\w(?: \. \. \.|\.\.\.|\u2026| \.\.\.) (?:I |[a-z'])", t)),
        ("footnote-markers", lambda t: re.search(r"\.(?: ?\[[^\]]+\]+|[\u00b2\u00b3\u00b9\u2074])", t)),
        # A rank or an office written short before a name, never the common
        # title it took the place of.
        ("rare-titles", lambda t: re.search(r"(?:^|\. |[a-z,] )(?:%s) (?:[A-Z]\. )*[A-Z][a-z]" % "|".join(
            re.escape(title) for title in abbreviations.RARE_TITLES), t, re.M)),
        # A word of a name written short before the rest of the name.
        ("name-abbreviations", lambda t: re.search(r"(?:%s) [A-Z0-9]" % "|".join(
            re.escape(short) for short in abbreviations.NAME_SHORT), t)),
        # A sentence ending in a noun and the letter it names, or its number.
        ("letter-labels", lambda t: re.search(r" (?:%s) (?:[A-Z]|[Nn]o\. \d+)\.$" % "|".join(
            n for noun, _ in abbreviations.LETTER_LABEL_NOUNS for n in (noun, noun.capitalize())), t, re.M)),
        ("numbered-references", lambda t: re.search(r"\b(?:No|no|Art|Sec|sec|Fig|fig|p|pp|Vol|vol|Ch|ch|ver|Op|Par"
                                                    r"|Eq|Ex)\. \d|\b(?:Item|Table|Section|Rule) \d"
                                                    r"|(?:N[\u00b0\u00ba]\.?|\u2116) \d", t)),
        ("spaced-marks", lambda t: re.search(r"\w [.?!]+[\"')]*$", t, re.M)),
        # Inside the sentence: a bracket or a reference between two words in
        # lower case.
        ("inner-citations", lambda t: re.search(r"[a-z] (?:(?:\[[^\]\n]+\])+|\([A-Z][a-z]+(?: et al\.)?, \d{4}\)) [a-z]", t)),
        # A sentence after another opening with its count in digits.
        ("number-starts", lambda t: re.search(r"[.?!][\"')]*\n\d+ [a-z%]", t)),
        # A unit or day written short: inside the sentence before a
        # lower-case word or a number, or ending it.
        ("unit-abbreviations", lambda t: re.search(r"(?:\d[ -][a-z]{1,4}\.|[A-Z][a-z]{2,3}\.-[A-Z][a-z]{2,3}\.)"
                                                   r"(?: [a-z\d]|$)", t, re.M)),
        # Inside the sentence: a lower-case abbreviation before a word in
        # lower case.
        ("inner-abbreviations", lambda t: re.search(r"(?:^|[ (])[a-z]{2,6}\. [a-z]", t, re.M)),
        # Inside the sentence: the initialism's name follows it.
        ("initialism-names", lambda t: re.search(r"\b(?:U\.S|U\.N|U\.K|E\.U|D\.C)\. [A-Z][a-z]", t)),
        # A line of at most 80 characters, broken where a space was.
        ("hard-wrap", lambda t: "\u2028" in t and all(
            len(line) <= 80 or " " not in line for line in re.split("[\u2028\n]", t))),
        ("headings", lambda t: re.match("^[^\n.?!]+\u2028\n", t)),
    ]

    def test_each_transform_does_what_it_claims(self):
        for name, claim in self.CLAIMS:
            with self.subTest(transform=name):
                if ab.BY_NAME[name] in ab.LAYOUTS:
                    # Laid out in place: the paragraphs it changed.
                    copies = [(p, "\n", name) for seed in range(1, 16)
                              for p in ab.lay_out(paragraphs(), {name: 1.0}, seed)
                              if p not in paragraphs()]
                else:
                    copies = all_copies(name)
                self.assertTrue(copies)
                for sents, eol, made_by in copies:
                    self.assertEqual((eol, made_by), ("\n", name))
                    self.assertTrue(claim("\n".join(sents)), sents)

    def test_numbered_references_hold_long_numbers_too(self):
        # With short numbers alone (`No. 12.3`) the model learnt that a long
        # one after the abbreviation (`No. 1026.253.553`) opens a sentence.
        text = "\n".join("\n".join(sents) for sents, _, _ in all_copies("numbered-references"))
        numbers = re.findall(r"\b(?:No|Art|Sec|Fig|Vol|Ch|Item|Table|Section|Rule)\.? (\d+(?:\.\d+)*)", text)
        firsts = [len(n.split(".")[0]) for n in numbers]
        parts = [len(part) for n in numbers for part in n.split(".")[1:]]
        self.assertTrue(min(firsts) <= 2 and max(firsts) >= 4, firsts)
        self.assertTrue(min(parts) == 1 and max(parts) == 3, parts)
        # Text from other languages writes the number sign its own ways.
        self.assertRegex(text, "(?:N[\u00b0\u00ba]|\u2116) \\d")

    def test_number_starts_open_with_counts_and_years_and_keep_the_rest(self):
        # Counts alone taught nothing of `in 1945. 1946 was`; and a copy
        # must change only the sentence's first word, never what follows.
        opened = []
        for sents, _, _ in all_copies("number-starts"):
            for sent in sents:
                m = re.match(r"(\d+) (.*)", sent)
                if m:
                    opened.append(len(m.group(1)))
                    self.assertTrue(any(p.endswith(" " + m.group(2)) or p == m.group(2)
                                        for para in paragraphs() for p in para), sent)
        self.assertTrue(min(opened) <= 2 and 4 in opened, opened)

    def test_english_transforms_off_by_default_add_copies_beside_the_others(self):
        # Each transform draws from a stream of its own: turning one on adds
        # its copies and changes no other's, so a recipe that leaves it off
        # (en-brown's) builds the same text as before it came.
        shares = {t.name: t.share for t in ab.TRANSFORMS}
        base = ab.augment(paragraphs(), shares, seed=3)
        for name in ("initialism-names", "spaced-marks", "numbered-references", "inner-citations",
                     "number-starts", "unit-abbreviations", "inner-abbreviations",
                     "quoted-statements", "closed-initials", "plural-titles", "initialism-ends",
                     "rare-titles", "name-abbreviations", "letter-labels"):
            with self.subTest(transform=name):
                self.assertEqual(shares[name], 0.0)
                on = ab.augment(paragraphs(), dict(shares, **{name: 1.0}), seed=3)
                self.assertIn(name, [made_by for _, _, made_by in on])
                self.assertEqual([c for c in on if c[2] != name], base)

    def test_sentence_count_is_kept(self):
        # Everything but lists, short-start and the e-mail layouts (which add
        # greetings, signatures and attribution lines) rewrites sentences in
        # place.
        rng = random.Random(3)
        for t in ab.TRANSFORMS:
            if t.name in ("lists", "short-start", "short-lists", "letter", "quoted-reply"):
                continue
            for para in paragraphs():
                with self.subTest(transform=t.name, para=para[0]):
                    out = t.apply(para, t.sites(para), rng)
                    if out is None:  # no copy of this paragraph
                        continue
                    self.assertEqual(len(out), len(para))
                    if t.name == "hard-wrap":  # only spaces become line breaks
                        self.assertEqual([s.rstrip(text.LINE_BREAK).replace(text.LINE_BREAK, " ") for s in out], para)
                    for s in out:
                        self.assertTrue(s.strip() and "\n" not in s and "\r" not in s)

    def test_inserted_abbreviations_keep_the_sentence_and_its_end(self):
        # The abbreviation transforms splice text into a sentence of the
        # corpus, whose line end is its label: every word of the sentence
        # must survive in order, the line must still end in one period, and
        # no spliced period may stand before a capital, which would teach a
        # sentence end labelled as none.
        words = lambda s: re.findall(r"[\w']+", s)
        rng = random.Random(5)
        for name in ("cut-abbreviations", "inner-abbreviations", "unit-abbreviations"):
            t = ab.BY_NAME[name]
            t.phrases = pools.noun_phrases(paragraphs())
            changed = 0
            for _ in range(4):
                for para in paragraphs():
                    out = t.apply(para, t.sites(para), rng) or para
                    for before, after in zip(para, out):
                        if before == after:
                            continue
                        changed += 1
                        with self.subTest(transform=name, sentence=after):
                            rest = iter(words(after))
                            self.assertTrue(all(w in rest for w in words(before)))
                            self.assertEqual(after[-1:] == ".", before[-1:] == ".")
                            self.assertNotIn("..", after.replace("...", ""))
                            self.assertNotIn(before + " ", after)  # its own end inside the line
                            self.assertEqual(len(re.findall(r"\. [A-Z]", after)), len(re.findall(r"\. [A-Z]", before)))
            self.assertGreater(changed, 10, name)

    def test_lists(self):
        layouts = set()
        for sents, _, _ in all_copies("lists"):
            with self.subTest(copy=sents):
                # Either all on one line or each on its own: a line break
                # (U+2028) ends every line of the copy but the last.
                breaks = [s.endswith(text.LINE_BREAK) for s in sents]
                self.assertIn(breaks, ([False] * len(sents), [True] * (len(sents) - 1) + [False]))
                layouts.add(breaks[0])
                sents = [s.rstrip(text.LINE_BREAK) for s in sents]
                items = [s for s in sents if MARKER.match(s)]
                self.assertGreaterEqual(len(items), 2)
                self.assertLessEqual(len(items), 7)
                # An intro, if any, comes first and ends in a colon.
                self.assertIn(len(sents) - len(items), (0, 1))
                if len(sents) > len(items):
                    self.assertTrue(sents[0].endswith(":"))
                    self.assertTrue(MARKER.match(sents[1]))
                markers = [s.split(" ", 1)[0] for s in items]
                self.assertEqual(len(set(markers)), 1 if markers[0] in dict(lists.BULLETS) else len(markers))
        self.assertEqual(layouts, {False, True})

    def test_short_lists(self):
        for sents, _, _ in all_copies("short-lists"):
            with self.subTest(copy=sents):
                items = [s for s in sents if MARKER.match(s)]
                self.assertTrue(2 <= len(items) <= 8)
                # A heading or a sentence may come before the items and one
                # sentence of running text after them.
                first = sents.index(items[0])
                self.assertLessEqual(first, 1)
                self.assertEqual(sents[first:first + len(items)], items)
                self.assertLessEqual(len(sents) - first - len(items), 1)
                for item in items:
                    self.assertLessEqual(len(item.split()), 12)

    INNER = [(k, seed) for k in range(10) for seed in (1, 2)]

    def test_inner_tokens_keep_their_marks_inside(self):
        for kind, seed in self.INNER:
            with self.subTest(kind=kind, seed=seed):
                rng = random.Random(seed)
                rng.randint = (lambda real: lambda a, b: kind if (a, b) == (0, 9) else real(a, b))(rng.randint)
                x = pools.inner_token(rng, ["new road", "city budget"])
                self.assertNotRegex(x, r"\s")
                self.assertRegex(x, r"\w[.?:@/&=#]\w")
                self.assertRegex(x, r"\w$")

    def test_speech_tags_follow_the_mark(self):
        for mark, seed in [(m, s) for m in "?!" for s in range(6)]:
            with self.subTest(mark=mark, seed=seed):
                tag = dialogue.speech_tag(random.Random(seed), mark)
                self.assertRegex(tag, r"^[A-Za-z][\w ]*\.$")
                verbs = dialogue.ASK_VERBS if mark == "?" else dialogue.SHOUT_VERBS
                self.assertTrue(set(tag[:-1].split()) & set(verbs))

    def test_initialisms_end_only_before_a_capital(self):
        t = ab.BY_NAME["initialisms"]
        for para in paragraphs():
            for i in t.sites(para):
                with self.subTest(sentence=para[i]):
                    self.assertRegex(para[i + 1], base.STARTS_CAPITAL)

    # A mark inside the sentence with the sentence going on after it.
    GOES_ON = re.compile(r"(?:[.?!]+[\"')]*|\u2026) (?:[a-z0-9(]|I )")

    def test_continuations_only_add_marks_the_sentence_goes_on_after(self):
        for name in ("continuations", "cut-abbreviations"):
            self.goes_on_after_every_added_mark(ab.BY_NAME[name])

    def goes_on_after_every_added_mark(self, t):
        t.phrases = pools.noun_phrases(paragraphs())
        words = lambda s: [w.strip(",.\u2026") for w in s.split()]  # noqa: E731
        for seed in range(25):
            rng = random.Random(seed)
            for para in paragraphs() + [["Well, I suppose we were in the wrong."]]:
                for i in t.sites(para):
                    sent = para[i]
                    out = t.rewrite(sent, rng)
                    with self.subTest(sent=sent, out=out):
                        self.assertEqual(out[-2:], sent[-2:])
                        self.assertGreater(len(self.GOES_ON.findall(out)),
                                           len(self.GOES_ON.findall(sent)))
                        rest = iter(words(out))
                        self.assertTrue(all(w in rest for w in words(sent)))

    def test_noun_phrases(self):
        got = pools.noun_phrases([["The jury, in the new city hall, heard the mayor."]])
        self.assertEqual(got, ["jury", "new city hall", "mayor"])

    def test_short_start_and_crlf_keep_the_text(self):
        text = SAMPLE.replace("\n\n", "\n")
        openers = {s for s, _ in marks.SHORT_STARTS}
        for name, eol in (("short-start", "\n"), ("crlf", "\r\n")):
            for sents, got_eol, _ in all_copies(name):
                with self.subTest(transform=name, copy=sents):
                    self.assertEqual(got_eol, eol)
                    if name == "short-start":
                        self.assertIn(sents[0], openers)
                        sents = sents[1:]
                    self.assertIn("\n".join(sents) + "\n", text)


class Conventions(unittest.TestCase):
    QUOTES_OUTSIDE = [
        ('He said, "Go home."', 'He said, "Go home".'),
        ('"Yes," he said.', '"Yes", he said.'),
        ("He called it 'fine,' then left.", "He called it 'fine', then left."),
        ('"He said, \'go home.\'" Then', '"He said, \'go home\'". Then'),
        ('"Why?" he asked.', '"Why?" he asked.'),
        ('"The whole sentence."', '"The whole sentence."'),
        ('He wrote "Reading, Pa."', 'He wrote "Reading, Pa."'),
        ('It said "made in the U.S."', 'It said "made in the U.S."'),
        ('She said "No."', 'She said "No".'),
    ]
    TYPOGRAPHIC = [
        ('"Don\'t," he said.', "\u201cDon\u2019t,\u201d he said."),
        ("She said, 'go home.'", "She said, \u2018go home.\u2019"),
        ("In the '60s they cheered 'em on.", "In the \u201960s they cheered \u2019em on."),
        ('The "blue law" (or "rule")', "The \u201cblue law\u201d (or \u201crule\u201d)"),
        ('"\'Tis," he said', "\u201c\u2019Tis,\u201d he said"),
    ]

    def test_quotes_outside(self):
        for src, want in self.QUOTES_OUTSIDE:
            with self.subTest(src=src):
                self.assertEqual(conventions.quotes_outside(src), want)

    def test_typographic(self):
        for src, want in self.TYPOGRAPHIC:
            with self.subTest(src=src):
                self.assertEqual(conventions.typographic(src), want)


    def test_lower_first(self):
        vocabulary = base.ordinary_words([["We saw visitors and the school today."],
                                        ["Then Atlanta voted, and atlanta fans cheered."]])
        for src, want in [("The jury met.", "the jury met."),
                          ("Visitors came.", "visitors came."),
                          ("Atlanta voted.", "Atlanta voted."),
                          ("Fulton County said.", "Fulton County said."),
                          ("U.S. officials met.", "U.S. officials met.")]:
            with self.subTest(src=src):
                self.assertEqual(base.lower_first(src, vocabulary), want)


    def test_attach_markers(self):
        # A lone label joins the sentence after it, across a paragraph end.
        paras = [["Is it loud?", "2."], ["Is it late?", "b)", "Go now."], ["iv."]]
        self.assertEqual(ab.attach_markers(paras),
                         [["Is it loud?"], ["2. Is it late?", "b) Go now."], ["iv."]])
        self.assertEqual(ab.attach_markers([["In 1960.", "Mr.", "Now."]]),
                         [["In 1960.", "Mr.", "Now."]])


DUTCH = """\
Hij zei het al jaren.
Wij hebben er genoeg van.
Het moet anders.
Waarom wacht de stad zo lang?
Daarna ging hij naar huis.
De raad besloot niets!
Het werd laat.
"""


class DetachedQuotes(unittest.TestCase):
    def copies(self):
        paras = languages.chunk(text.read_paragraphs(DUTCH))
        return [c for seed in range(1, 40) for c in ab.augment(
            paras, {"detached-quotes": 1.0}, seed=seed, transforms=languages.transforms("nl"))]

    def test_quotes_close_where_the_sentence_ends(self):
        sents = set(DUTCH.splitlines())
        copies = self.copies()
        self.assertTrue(copies)
        for sentences, _, _ in copies:
            with self.subTest(copy=sentences):
                opened = 0
                for line in sentences:
                    # An opening quote starts the line or follows a colon
                    # that joined two sentences; a closing one ends the
                    # line after a mark; none stands between sentences
                    # inside a line.
                    opens = len(re.findall(r'(?:^|: )(?:" |\u00ab )', line))
                    closes = len(re.findall(r'[.?!] (?:"|\u00bb)$', line))
                    self.assertEqual(opens + closes, len(re.findall('"|\u00ab|\u00bb', line)))
                    opened += opens - closes
                    self.assertIn(opened, (0, 1))
                    bare = re.sub(r'^(?:" |\u00ab )| (?:"|\u00bb)$', "", line)
                    head, colon, tail = bare.partition(': " ')
                    if not colon:
                        head, colon, tail = bare.partition(": \u00ab ")
                    self.assertIn(head + "." if colon else bare, sents)
                    if colon:
                        self.assertIn(tail, sents)
                self.assertEqual(opened, 0)
        # Each shape the transform writes turns up.
        joined = "\n".join("\n".join(c[0]) for c in copies)
        for shape in (r'^" \S', r'\. "\n[A-Z]', r': " [A-Z]', r'\. "\n" ', "\u00ab "):
            self.assertRegex(joined, re.compile(shape, re.M))

    def test_off_by_default_and_other_copies_unchanged(self):
        paras = languages.chunk(text.read_paragraphs(DUTCH + "\n" + SAMPLE))
        for lang in sorted(languages.LANGUAGES):
            with self.subTest(lang=lang):
                every = languages.transforms(lang)
                shares = {t.name: t.share for t in every}
                self.assertEqual(shares["detached-quotes"], 0.0)
                others = [t for t in every if t.name != "detached-quotes"]
                self.assertEqual(ab.augment(paras, shares, seed=3, transforms=every),
                                 ab.augment(paras, shares, seed=3, transforms=others))


class Runs(unittest.TestCase):
    def run_script(self, *args, input_text=SAMPLE):
        return subprocess.run([sys.executable, AUGMENT] + list(args) + ["-"],
                              input=input_text.encode(), capture_output=True, check=True).stdout

    def test_same_seed_same_output(self):
        a = self.run_script("--seed", "7", "--share-lists", "1", "--share-crlf", "0.5")
        self.assertEqual(a, self.run_script("--seed", "7", "--share-lists", "1", "--share-crlf", "0.5"))
        self.assertNotEqual(a, self.run_script("--seed", "8", "--share-lists", "1", "--share-crlf", "0.5"))

    def test_output_layout(self):
        shares = [a for t in ab.TRANSFORMS for a in ("--share-" + t.name, "1" if t not in ab.LAYOUTS else "0")]
        full = self.run_script(*shares).decode()
        self.assertTrue(full.startswith(SAMPLE + "\n"))
        copies = ab.augment(paragraphs(), {t.name: 1.0 for t in ab.TRANSFORMS})
        only = self.run_script("--only-augmented", *shares).decode()
        self.assertEqual(full, SAMPLE + "\n" + only)
        # Read back, the output holds exactly the copies' sentences.
        self.assertEqual(text.read_paragraphs(only), [c[0] for c in copies])
        self.assertIn("\r\n\r\n", only)

    def test_rounds_follow_each_other(self):
        one = self.run_script("--seed", "4", "--only-augmented").decode()
        five = self.run_script("--seed", "5", "--only-augmented").decode()
        both = self.run_script("--seed", "4", "--rounds", "2", "--only-augmented").decode()
        self.assertEqual(text.read_paragraphs(both), text.read_paragraphs(one) + text.read_paragraphs(five))

    def test_help_names_every_share(self):
        # A transform's help with a % in it once made --help itself fail.
        out = subprocess.run([sys.executable, AUGMENT, "--help"], capture_output=True, check=True).stdout.decode()
        for t in ab.TRANSFORMS + [t for lang in languages.LANGUAGES for t in languages.transforms(lang)]:
            self.assertIn("--share-" + t.name, out)

    def test_bad_share_is_refused(self):
        proc = subprocess.run([sys.executable, AUGMENT, "--share-lists", "2", "-"],
                              input=b"", capture_output=True)
        self.assertEqual(proc.returncode, 2)


class Restyle(unittest.TestCase):
    def test_gold_slices_restyled_text(self):
        with tempfile.TemporaryDirectory() as tmp:
            with open(os.path.join(tmp, "dev.lines"), "w") as f:
                f.write(SAMPLE)
            for style, eol in (("quotes-outside", "\n"), ("typographic", "\n"), ("crlf", "\r\n"),
                               ("wrapped", "\n")):
                with self.subTest(style=style):
                    out = os.path.join(tmp, "dev-" + style)
                    subprocess.run([sys.executable, RESTYLE, "--style", style, "--in",
                                    os.path.join(tmp, "dev"), "--out", out],
                                   check=True, capture_output=True)
                    with open(out + ".lines", "rb") as f:
                        lines = f.read().decode()
                    with open(out + ".txt", "rb") as f:
                        txt = f.read()
                    with open(out + ".gold") as f:
                        gold = [tuple(map(int, l.split())) for l in f]
                    paras = [p.split(eol) for p in lines[:-len(eol)].split(eol * 2)]
                    want = [(s, i) for i, p in enumerate(paras) for s in p]
                    self.assertEqual(len(want), 21)
                    # The wrapped text breaks its lines where .lines has U+2028.
                    want_text = [(s.rstrip("\u2028").replace("\u2028", "\n"), p) for s, p in want]
                    self.assertEqual([(txt[a:b].decode(), p) for a, b, p in gold], want_text)
                    for a, b, p in gold:
                        self.assertTrue(txt[b:b + 1] in (b" ", b"\n") or txt[b:b + len(eol)] == eol.encode())
                    if style == "wrapped":
                        self.assertIn("Road works ahead\u2028\n", lines)
                        self.assertIn("new road,\u2028and the second", lines)
                        self.assertTrue(all(len(line) <= 72 for line in txt.decode().split("\n")))
                    self.assertTrue(txt.endswith(eol.encode()))
                    if eol == "\r\n":
                        for data in (txt, lines.encode()):
                            self.assertIsNone(re.search(rb"(?<!\r)\n", data))
                    else:
                        self.assertNotIn(b"\r", txt)
                    if style == "typographic":
                        self.assertNotIn('"', lines)
                    if style == "quotes-outside":
                        self.assertIn('"Only a handful of reports was received", the jury', lines)


if __name__ == "__main__":
    unittest.main()
