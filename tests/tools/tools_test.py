#!/usr/bin/env python3
"""Tests for the recipes (models/settings), the training text a recipe makes,
and the converter to the reader's convention, which must join exactly what
scoring joins."""

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
from fullstop_tools import brown, convention, locations, scoring, settings, trainset  # noqa: E402


def recipe_file(text):
    f = tempfile.NamedTemporaryFile("w", suffix=".recipe", delete=False)
    f.write(text)
    f.close()
    return f.name


class Recipes(unittest.TestCase):
    def test_every_shipped_recipe_loads(self):
        # Recipes have no extension; the abbreviation lists they name
        # (LANG.abbrev) lie beside them.
        names = sorted(n for n in os.listdir(locations.SETTINGS) if "." not in n)
        self.assertIn("en", names)
        for name in names:
            with self.subTest(recipe=name):
                r = settings.load(name)
                self.assertTrue(r.sources and r.fit and r.seeds)
                self.assertTrue(os.path.exists(os.path.join(locations.MODELS, name + ".model")))
                for s in r.sources:
                    self.assertRegex(s.name, r"^(brown|ud)/[\w-]+$")

    def test_a_recipe_read(self):
        path = recipe_file("# comment\ntrain brown/train reader weight=2  # why\n"
                           "train ud/x-train augment=no\naugment --rounds 2\n"
                           "fit --text-mode=unicode -c 1.5\nseeds 1 3\nscore brown/dev 'merge=;:'\n")
        r = settings.load(path)
        self.assertEqual([(s.name, s.reader, s.weight, s.augment) for s in r.sources],
                         [("brown/train", True, 2, True), ("ud/x-train", False, 1, False)])
        self.assertEqual((r.augment, r.fit, r.seeds, r.scores),
                         (["--rounds", "2"], ["--text-mode=unicode", "-c", "1.5"], [1, 3],
                          [("brown/dev", ";:")]))
        self.assertNotEqual(r.training_key(1), r.training_key(3))

    BAD = [
        ("unknown keyword", "trian brown/train\nfit -c 1\nseeds 1\n", ":1: unknown keyword"),
        ("bad weight", "train brown/train weight=0\nfit -c 1\nseeds 1\n", ":1: weight=N"),
        ("unknown option", "train brown/train heavy\nfit -c 1\nseeds 1\n", ":1: unknown option"),
        ("no fit", "train brown/train\nseeds 1\n", "needs train, fit and seeds"),
        ("bad seed", "train brown/train\nfit -c 1\nseeds one\n", ":3: seeds takes"),
        ("bad prune", "train brown/train\nfit -c 1\nseeds 1\nprune -1\n", ":4: prune takes"),
        ("unclosed quote", "train brown/train\nfit '-c 1\nseeds 1\n", ":2: No closing"),
    ]

    def test_bad_recipes_name_file_and_line(self):
        for name, text, message in self.BAD:
            with self.subTest(name):
                path = recipe_file(text)
                with self.assertRaises(settings.RecipeError) as e:
                    settings.load(path)
                self.assertIn(path, str(e.exception))
                self.assertIn(message, str(e.exception))

    def test_training_text_weights_and_order(self):
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "a.lines"), "w") as f:
                f.write("First one.\nIt ends here:\nthe rest.\n\nSecond.\n")
            with open(os.path.join(d, "b.lines"), "w") as f:
                f.write("Plain text.\n")
            r = settings.load(recipe_file("train ud/b augment=no\ntrain ud/a reader weight=2\n"
                                          "fit -c 1\nseeds 1\n"))
            got = trainset.blocks(r, 1, {"ud": d})
        a = [["First one.", "It ends here: the rest."], ["Second."]]
        self.assertEqual(got, [(p, "\n") for p in a + a + [["Plain text."]]])


class ReaderConvention(unittest.TestCase):
    CASES = [
        ("semicolon", [["A b; c d.", "E."]], [["A b; c d.", "E."]]),
        ("joined at ;", [["He came;", "he went.", "Then."]], [["He came; he went.", "Then."]]),
        ("a run", [["One:", "two;", "three."]], [["One: two; three."]]),
        ("behind quotes", [['He said, "as follows:"', "We go."]], [['He said, "as follows:" We go.']]),
        ("behind a bracket", [["(see:)", "It."]], [["(see:) It."]]),
        ("paragraph end stays", [["Notes:"], ["First."]], [["Notes:"], ["First."]]),
        ("other marks stay", [["Why?", "Go!", "Stop.", "Headline", "Next."]],
         [["Why?", "Go!", "Stop.", "Headline", "Next."]]),
        ("a colon inside", [["At 10:30 we left.", "Then."]], [["At 10:30 we left.", "Then."]]),
    ]

    def test_joins(self):
        for name, paras, want in self.CASES:
            with self.subTest(name):
                self.assertEqual(convention.reader(paras), want)

    def test_joins_what_scoring_merges(self):
        """The converted text's gold is the scorer's merged gold, boundary for
        boundary, on every case above and on a slice of Brown dev."""
        samples = [paras for _, paras, _ in self.CASES]
        dev = os.path.join(locations.DATA["brown"], "dev.lines")
        if os.path.exists(dev):
            with open(dev, encoding="utf-8") as f:
                samples.append(trainset.read_paragraphs(f.read())[:400])
        for paras in samples:
            _, txt, gold = brown.render(paras)
            _, txt2, gold2 = brown.render(convention.reader(paras))
            self.assertEqual(txt, txt2)
            merged = scoring.merge_gold(txt, scoring.parse_spans(gold.encode()), b";:")
            self.assertEqual(merged, scoring.parse_spans(gold2.encode()))


if __name__ == "__main__":
    unittest.main()
