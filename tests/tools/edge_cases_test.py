#!/usr/bin/env python3
"""Tests for bench/edge_cases: the comparison rule, reading fullstop's output,
the report, and the validity of tests/data/edge_cases/cases.jsonl."""

import collections
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
from fullstop_tools import edge_cases as ec  # noqa: E402


class Comparison(unittest.TestCase):
    NORMALISE = [
        ("plain", "Hi there.", "Hi there."),
        ("strip", "  \t Hi. \n", "Hi."),
        ("inner runs", "a  b\t\tc", "a b c"),
        ("CRLF inside", "This is\r\nwrapped.", "This is wrapped."),
        ("bare CR", "one\rtwo", "one two"),
        ("Unicode spaces", "a\u00a0b\u2003c\u2028d\u2029e", "a b c d e"),
        ("only space", " \r\n\u3000 ", ""),
        ("zero-width joiner is no space", "a\u200db", "a\u200db"),
    ]

    def test_normalise(self):
        for name, raw, want in self.NORMALISE:
            with self.subTest(name=name):
                self.assertEqual(ec.normalise(raw), want)

    # (name, text, byte spans, sentences)
    SPANS = [
        ("multibyte offsets", "Émile left. Дмитрий stayed.",
         [(0, 12), (13, 35)], ["Émile left.", "Дмитрий stayed."]),
        ("span with trailing CRLF", "One.\r\nTwo.\r\n", [(0, 6), (6, 12)], ["One.", "Two."]),
        ("whitespace-only span dropped", "One.\r\n\r\nTwo.", [(0, 4), (4, 8), (8, 12)],
         ["One.", "Two."]),
        ("fullwidth marks", "すごい！ありがとう。", [(0, 12), (12, 30)], ["すごい！", "ありがとう。"]),
        ("text outside every span is lost", "Hi. There.", [(0, 3)], ["Hi."]),
    ]

    def test_span_sentences(self):
        for name, text, spans, want in self.SPANS:
            with self.subTest(name=name):
                self.assertEqual(ec.span_sentences(text.encode("utf-8"), spans), want)

    def test_expected_normalised_the_same_way(self):
        case = {"sentences": [" One\r\nline. ", "", "Two."]}
        self.assertEqual(ec.expected_sentences(case), ["One line.", "Two."])

    def test_fullstop_offsets_parsed(self):
        out = (b'<sentence-list>\n<sentence start="0" end="4"/>\n'
               b'<sentence start="5" end="12">text</sentence>\n</sentence-list>\n')
        self.assertEqual([(int(a), int(b)) for a, b in ec.FULLSTOP_SPAN.findall(out)],
                         [(0, 4), (5, 12)])

    def test_tally(self):
        cases = [{"id": "a-1", "category": "a", "sentences": ["X.", "Y."]},
                 {"id": "a-2", "category": "a", "sentences": ["Z."]},
                 {"id": "b-1", "category": "b", "sentences": ["W."]}]
        results = {"s": {"a-1": ["X.", "Y."], "a-2": ["Z", "."], "b-1": None}}
        counts, failed = ec.tally(cases, results, ["s"])
        self.assertEqual(list(counts), ["a", "b", "total"])
        self.assertEqual((counts["a"]["s"], counts["b"]["s"], counts["total"]["s"]), (1, 0, 1))
        self.assertEqual(counts["total"]["cases"], 3)
        self.assertEqual(failed["s"], ["a-2", "b-1"])


class CaseFile(unittest.TestCase):
    """Every case can be read, is complete, and its expected sentences are
    pieces of its text in order (after normalising both)."""

    cases = ec.load_cases(ec.DEFAULT_CASES)

    def test_enough_cases_in_every_category(self):
        per = collections.Counter(c["category"] for c in self.cases)
        self.assertGreaterEqual(len(self.cases), 220)
        for cat, n in per.items():
            with self.subTest(category=cat):
                self.assertGreaterEqual(n, 12)

    # The languages' suites, each of at least 30 cases in at least five
    # categories.
    LANGUAGES = ("de", "fr", "es", "pt", "nl")
    by_language = {lang: ec.load_cases(os.path.join(os.path.dirname(ec.DEFAULT_CASES),
                                                    lang + ".jsonl")) for lang in LANGUAGES}

    def test_enough_cases_in_every_language(self):
        for lang, cases in self.by_language.items():
            with self.subTest(lang=lang):
                self.assertGreaterEqual(len(cases), 30)
                self.assertGreaterEqual(len({c["category"] for c in cases}), 5)
                self.assertTrue(all(c["id"].startswith(lang + "-") for c in cases))

    def test_ids_unique(self):
        ids = [c["id"] for c in self.cases + sum(self.by_language.values(), [])]
        self.assertEqual(len(ids), len(set(ids)))

    def test_cases_valid(self):
        for c in self.cases + sum(self.by_language.values(), []):
            with self.subTest(id=c.get("id")):
                self.assertLessEqual({"id", "category", "text", "sentences"}, set(c))
                want = ec.expected_sentences(c)
                self.assertGreaterEqual(len(want), 1)
                self.assertEqual(len(want), len(c["sentences"]), "empty expected sentence")
                text, pos = ec.normalise(c["text"]), 0
                for s in want:
                    i = text.find(s, pos)
                    self.assertGreaterEqual(i, 0, "%r not found in order" % s)
                    pos = i + len(s)


if __name__ == "__main__":
    unittest.main()
