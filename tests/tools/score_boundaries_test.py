#!/usr/bin/env python3
"""Tests for scripts/score-boundaries: input parsing and the arithmetic."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "score-boundaries")


sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
from fullstop_tools import scoring as sb  # noqa: E402

def spans(*pairs):
    return [(s, e, None) for s, e in pairs]


class Arithmetic(unittest.TestCase):
    # text "One. Two. Three.\n\nFour. Five.\n"
    #       0    5    10         18    24     30 (len)
    T = b"One. Two. Three.\n\nFour. Five.\n"
    G = [(0, 4, 0), (5, 9, 0), (10, 16, 0), (18, 23, 1), (24, 29, 1)]
    # gold boundaries: 5, 10 (within), 18 (paragraph break), 24 (within)

    CASES = [
        # name, system spans, (tp, sys, gold), (tp_w, sys_w, gold_w)
        ("perfect", spans((0, 4), (5, 9), (10, 16), (18, 23), (24, 29)),
         (4, 4, 4), (3, 3, 3)),
        ("trailing whitespace and newlines ignored",
         spans((0, 5), (5, 10), (10, 18), (18, 24), (24, 30)),
         (4, 4, 4), (3, 3, 3)),
        ("one sentence: no boundaries", spans((0, 30)),
         (0, 0, 4), (0, 0, 3)),
        ("missed within-paragraph boundary", spans((0, 9), (10, 16), (18, 23), (24, 29)),
         (3, 3, 4), (2, 2, 3)),
        ("extra boundary", spans((0, 4), (5, 7), (8, 9), (10, 16), (18, 23), (24, 29)),
         (4, 5, 4), (3, 4, 3)),
        ("paragraph break only", spans((0, 16), (18, 29)),
         (1, 1, 4), (0, 0, 3)),
        ("missed paragraph break", spans((0, 4), (5, 9), (10, 23), (24, 29)),
         (3, 3, 4), (3, 3, 3)),
        ("unsorted and duplicated spans", spans((24, 29), (0, 4), (5, 9), (5, 9), (10, 16), (18, 23)),
         (4, 4, 4), (3, 3, 3)),
        ("end of text is no boundary", spans((0, 4), (5, 29)),
         (1, 1, 4), (1, 1, 3)),
        ("offsets past the end are clamped", spans((0, 4), (5, 99)),
         (1, 1, 4), (1, 1, 3)),
    ]

    def test_cases(self):
        for name, system, (tp, ns, ng), (tpw, nsw, ngw) in self.CASES:
            with self.subTest(name=name):
                res = sb.score(self.T, self.G, system)
                c = res["counts"]
                self.assertEqual((c["correct"], c["system"], c["gold"]), (tp, ns, ng))
                self.assertEqual((c["correct_within"], c["system_within"], c["gold_within"]),
                                 (tpw, nsw, ngw))
                self.assertEqual(c["paragraph_breaks"], 1)
                self.assertEqual(c["false_positives"], ns - tp)
                self.assertEqual(c["false_negatives"], ng - tp)
                p, r, f = sb.prf(tp, ns, ng)
                self.assertAlmostEqual(res["all_p"], p)
                self.assertAlmostEqual(res["all_r"], r)
                self.assertAlmostEqual(res["all_f1"], f)

    def test_prf(self):
        cases = [
            ((3, 4, 6), (0.75, 0.5, 0.6)),
            ((0, 0, 0), (1.0, 1.0, 1.0)),
            ((0, 0, 5), (0.0, 0.0, 0.0)),
            ((0, 3, 0), (0.0, 1.0, 0.0)),
            ((2, 2, 2), (1.0, 1.0, 1.0)),
        ]
        for args, want in cases:
            with self.subTest(args=args):
                for got, exp in zip(sb.prf(*args), want):
                    self.assertAlmostEqual(got, exp)

    def test_extra_boundary_numbers(self):
        res = sb.score(self.T, self.G,
                       spans((0, 4), (5, 7), (8, 9), (10, 16), (18, 23), (24, 29)))
        self.assertAlmostEqual(res["all_p"], 0.8)
        self.assertAlmostEqual(res["all_r"], 1.0)
        self.assertAlmostEqual(res["all_f1"], 2 * 0.8 / 1.8)
        self.assertAlmostEqual(res["para_p"], 0.75)
        self.assertAlmostEqual(res["para_r"], 1.0)

    def test_gold_order_does_not_matter(self):
        system = spans((0, 16), (18, 29))
        want = sb.score(self.T, self.G, system)["counts"]
        got = sb.score(self.T, list(reversed(self.G)), system)["counts"]
        self.assertEqual(got, want)

    def test_gold_without_paragraphs(self):
        gold = [(s, e, None) for s, e, _ in self.G]
        res = sb.score(self.T, gold, spans((0, 16), (18, 29)))
        self.assertEqual(res["counts"]["paragraph_breaks"], 0)
        self.assertEqual(res["counts"]["gold_within"], 4)
        self.assertEqual(res["counts"]["correct_within"], 1)


class Kinds(unittest.TestCase):
    def test_errors_by_what_the_boundary_follows(self):
        text = b'Yes. "Go!" Stop; now Hi, there Hello world Last one'
        #         ^5    ^11   ^17       ^25    ^32         ^44
        gold = [(0, 4, 0), (5, 10, 0), (11, 16, 0), (17, 24, 0), (25, 31, 0), (32, 43, 0),
                (44, 52, 0)]
        system = [(0, 4, None), (5, 43, None), (44, 52, None), (1, 2, None)]  # one false boundary at 2
        res = sb.score(text, gold, system)
        got = sb.kinds(res, text)
        self.assertEqual(got, {"after . ? ! (and runs of them)": [1, 0], "after ; or :": [1, 0],
                               "after , - or another mark": [1, 0],
                               "after no mark (a word, a number, a symbol)": [1, 1]})


class Parsing(unittest.TestCase):
    CASES = [
        ("self-closing elements in a list",
         b'<sentence-list>\n<sentence start="0" end="4"/>\n<sentence start="5" end="9"/>\n'
         b'</sentence-list>\n',
         [(0, 4, None), (5, 9, None)]),
        ("elements with text",
         b'<sentence start="0" end="4">One.</sentence>\n'
         b'<sentence start="5" end="9">Two\nlines.</sentence>\n',
         [(0, 4, None), (5, 9, None)]),
        ("attribute order and quoting",
         b"<sentence end='4' start='0' />\n<sentence  start = \"5\"  end=\"9\"/>",
         [(0, 4, None), (5, 9, None)]),
        ("plain pairs", b"0 4\n5 9\n", [(0, 4, None), (5, 9, None)]),
        ("gold triples, blank and comment lines", b"# gold\n0 4 0\n\n5 9 1\n",
         [(0, 4, 0), (5, 9, 1)]),
        ("empty", b"", []),
    ]

    def test_cases(self):
        for name, data, want in self.CASES:
            with self.subTest(name=name):
                self.assertEqual(sb.parse_spans(data), want)

    def test_errors(self):
        for data in (b"0\n", b"zero four\n", b'<sentence start="0"/>', b'<sentence start="a" end="4"/>'):
            with self.subTest(data=data):
                with self.assertRaises(ValueError):
                    sb.parse_spans(data)


class CommandLine(unittest.TestCase):
    def run_script(self, system, *extra):
        with tempfile.TemporaryDirectory() as tmp:
            paths = {}
            for name, data in (("text", Arithmetic.T),
                               ("gold", b"".join(b"%d %d %d\n" % g for g in Arithmetic.G)),
                               ("system", system)):
                paths[name] = os.path.join(tmp, name)
                with open(paths[name], "wb") as f:
                    f.write(data)
            return subprocess.run(
                [sys.executable, SCRIPT, "--text", paths["text"], "--gold", paths["gold"],
                 "--system", paths["system"]] + list(extra),
                capture_output=True, text=True, check=True).stdout

    def test_json(self):
        out = json.loads(self.run_script(
            b'<sentence-list>\n<sentence start="0" end="9"/>\n<sentence start="10" end="29"/>\n'
            b"</sentence-list>\n", "--json"))
        self.assertAlmostEqual(out["all_p"], 1.0)
        self.assertAlmostEqual(out["all_r"], 0.25)
        self.assertAlmostEqual(out["para_r"], 1 / 3)
        self.assertEqual(out["counts"]["correct"], 1)
        for key in ("all_f1", "para_p", "para_f1"):
            self.assertIn(key, out)

    def test_report_lists_errors(self):
        out = self.run_script(b"0 4\n5 7\n8 29\n", "--show", "5")
        self.assertIn("in paragraph", out)
        self.assertIn("false positives (first 1)", out)
        self.assertIn("false negatives (first 3)", out)


if __name__ == "__main__":
    unittest.main()
