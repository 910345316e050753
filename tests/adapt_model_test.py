#!/usr/bin/env python3
"""Tests for scripts/adapt-model without training: argument and list errors
stop it before any data is touched, and the synthetic uses of abbreviations
are repeatable and hold the entry where they say."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from script_module import load_script  # noqa: E402

am = load_script("scripts/adapt-model", "adapt_model")
ADAPT = os.path.join(HERE, "..", "scripts", "adapt-model")

PARAS = [
    ["The committee met in the old hall on a cold morning.",
     "Members argued about the budget for several hours.",
     "Nobody expected the vote to pass so easily."],
    ["Farmers planted the lower fields early this year.",
     "The rain came late and the river stayed low."],
]
ENTRIES = ["sp.", "et al.", "Sav. & Loan Assn.", "gen. nov."]


class ErrorsTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def write(self, name, text):
        path = os.path.join(self.dir.name, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def run_adapt(self, *args):
        # --data points nowhere: none of these may get as far as preparing it.
        r = subprocess.run([sys.executable, ADAPT, "--data", os.path.join(self.dir.name, "none")]
                           + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           text=True)
        self.assertFalse(os.path.exists(os.path.join(self.dir.name, "none")))
        return r.returncode, r.stderr

    def test_usage_errors(self):
        ok = self.write("ok.abbrev", "cf.\n")
        for args, words in [
            ((), "OUT.model"),
            (("a.model", "b.model"), "one OUT.model"),
            (("--bogus", "a.model"), "--bogus"),
            (("--abbreviations",), "needs a value"),
            (("--add", ok + ":0", "a.model"), "weight"),
            (("--add", ok + ":two", "a.model"), "weight"),
            (("--uses", "0", "a.model"), "--uses"),
            (("-c",), "needs a value"),
        ]:
            with self.subTest(args=args):
                status, err = self.run_adapt(*args)
                self.assertEqual(status, 2, err)
                self.assertTrue(err.startswith("fullstop-adapt: "), err)
                self.assertIn(words, err)

    def test_list_errors_name_the_file_and_line(self):
        for text, where in [
            ("# legal\ncf.\n\nspp\n", ":4:"),
            ("  et al.\nsp. nov\n", ":2:"),
            ("", "no entries"),
            ("# only comments\n\n   \n", "no entries"),
            (None, "cannot read"),
        ]:
            with self.subTest(text=text):
                path = (self.write("l.abbrev", text) if text is not None
                        else os.path.join(self.dir.name, "missing.abbrev"))
                status, err = self.run_adapt("--abbreviations", path, "out.model")
                self.assertEqual(status, 1, err)
                self.assertTrue(err.startswith("fullstop-adapt: " + path), err)
                self.assertIn(where, err)

    def test_unreadable_added_text(self):
        status, err = self.run_adapt("--add", os.path.join(self.dir.name, "no.lines:3"), "o.model")
        self.assertEqual(status, 1, err)
        self.assertIn("no.lines: cannot read", err)

    def test_list_parsing(self):
        path = self.write("l.abbrev", "# c\n\n  et   al.  \nFig.\n# Eq.\n")
        self.assertEqual(am.read_abbreviations(path), ["et al.", "Fig."])

    def test_add_weight_and_trainer_options(self):
        self.assertEqual(am.parse_add("my.lines:3"), ("my.lines", 3))
        self.assertEqual(am.parse_add("my.lines"), ("my.lines", 1))
        self.assertEqual(
            am.merge_train_options(["--text-mode=unicode", "-s", "l1", "-c", "10"],
                                   ["-c", "4", "--text-mode=classic", "-v"]),
            ["--text-mode=classic", "-s", "l1", "-c", "4", "-v"])


class SyntheticUsesTest(unittest.TestCase):
    def test_repeatable_per_seed(self):
        a = am.synthetic_uses(ENTRIES, PARAS, seed=3, uses=5)
        self.assertEqual(a, am.synthetic_uses(ENTRIES, PARAS, seed=3, uses=5))
        self.assertNotEqual(a, am.synthetic_uses(ENTRIES, PARAS, seed=4, uses=5))
        # An entry's uses depend on the others in the list only through the
        # entries its chains pick.
        n = len(am.KINDS) * 5
        alone = am.synthetic_uses(ENTRIES[1:2], PARAS, seed=3, uses=5)
        kinds = [k for k in am.KINDS for _ in range(5)]
        self.assertEqual([u for k, u in zip(kinds, alone) if k != "chain"],
                         [u for k, u in zip(kinds, a[n:2 * n]) if k != "chain"])

    def test_every_use_holds_the_entry(self):
        uses = 6
        for entry in ENTRIES:
            with self.subTest(entry=entry):
                out = am.synthetic_uses([entry], PARAS, seed=1, uses=uses)
                self.assertEqual(len(out), len(am.KINDS) * uses)
                for kind, para in zip([k for k in am.KINDS for _ in range(uses)], out):
                    first = para[0]
                    self.assertIn(" " + entry, first)
                    if kind == "end":
                        # Ends the sentence, and a real sentence follows.
                        self.assertTrue(first.endswith(" " + entry), first)
                        self.assertEqual(len(para), 2)
                        self.assertTrue(para[1][:1].isupper())
                    else:
                        after = first.split(" " + entry + " ", 1)[1]
                        if kind == "chain":
                            # Another abbreviation: the entry itself here, or an initial.
                            self.assertTrue(after.startswith(entry + " ") or
                                            re.match(r"[A-Z]\. ", after), first)
                            continue
                        test = {"lower": str.islower, "number": lambda w: w[0].isdigit(),
                                "name": lambda w: w[0].isupper()}[kind]
                        self.assertTrue(test(after.split()[0]), (kind, first))

    def test_no_sites_is_an_error(self):
        with self.assertRaises(am.Failure):
            am.synthetic_uses(["cf."], [["Short one."]], uses=1)


if __name__ == "__main__":
    unittest.main()
