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
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
from fullstop_tools import adapt as am  # noqa: E402
ADAPT = os.path.join(HERE, "..", "..", "scripts", "adapt-model")

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

    def test_a_list_beyond_the_limit_is_refused_before_any_work(self):
        # Stopped before the data is prepared (run_adapt checks), with what
        # to do about it: fewer uses, or a shorter list.
        n = am.MAX_USES // (len(am.KINDS) * 30) + 1
        path = self.write("long.abbrev", "".join("Ab%d.\n" % i for i in range(n)))
        status, err = self.run_adapt("--abbreviations", path, "out.model")
        self.assertEqual(status, 1, err)
        self.assertIn("%d abbreviations" % n, err)
        self.assertIn("--uses %d or fewer" % (am.MAX_USES // (n * len(am.KINDS))), err)
        status, err = self.run_adapt("--abbreviations", path, "--uses", "1000000", "out.model")
        self.assertIn("--uses", err)
        huge = self.write("huge.abbrev", "".join("Ab%d.\n" % i for i in range(am.MAX_USES)))
        status, err = self.run_adapt("--abbreviations", huge, "out.model")
        self.assertEqual(status, 1, err)
        self.assertIn("split the list", err)

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

    def test_markers(self):
        # (lists, entries, markers) or (lists, error fragment): a list that
        # marks any entry sorts the rest as able to end a sentence.
        for lists, want in [
            ((["cf.", "sp."],), (["cf.", "sp."], {})),
            ((["v.  [inside]", "Inc.", "  e.g.[ inside ]  "],),
             (["v.", "Inc.", "e.g."], {"v.": "inside", "Inc.": "end", "e.g.": "inside"})),
            ((["et al.", "cf."], ["cf. [inside]", "sp."]),
             (["et al.", "cf.", "sp."], {"cf.": "inside", "sp.": "end"})),
            ((["cf. [inside]", "Ltd."], ["Ltd.", "cf."]),
             (["cf.", "Ltd."], {"cf.": "inside", "Ltd.": "end"})),
            ((["# c", "v. [inside]", "sp. [often]"],), ":3: unknown marker [often]"),
            ((["v. [Inside]"],), ":1: unknown marker [Inside]"),
            ((["v. []"],), ":1: unknown marker []"),
            ((["[inside]"],), ":1:"),
            ((["Cal [inside]"],), ":1: 'Cal' does not end with a period"),
        ]:
            with self.subTest(lists=lists):
                paths = [self.write("l%d.abbrev" % n, "\n".join(lines) + "\n")
                         for n, lines in enumerate(lists)]
                if isinstance(want, str):
                    with self.assertRaises(am.Failure) as caught:
                        am.merge_lists(paths)
                    self.assertIn(want, str(caught.exception))
                else:
                    self.assertEqual(am.merge_lists(paths), want)

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

    def test_marked_entries_never_end_or_end_before_varied_capitals(self):
        paras = PARAS + [["The rain stopped early.", s] for s in
                         ["Forbs grew in the plots.", "Voucher notes were kept.",
                          "It was a dry year."] + ["The grass dried out."] * 6]
        uses = 60
        for marker in ("inside", "end", None):
            with self.subTest(marker=marker):
                out = am.synthetic_uses(["sp."], paras, seed=2, uses=uses, markers={"sp.": marker})
                kinds = [k for k in am.kinds_of(marker) for _ in range(uses)]
                ends = [p for k, p in zip(kinds, out) if k == "end"]
                if marker == "inside":
                    self.assertEqual(ends, [])
                    for k, para in zip(kinds, out):
                        if k == "capital":
                            after = para[0].split(" sp. ", 1)[1]
                            self.assertTrue(after[:1].isupper(), para)
                    continue
                self.assertEqual(len(ends), uses)
                firsts = [p[1].split()[0] for p in ends]
                # Picked by their first word, The is one start of six, not
                # seven sites of twelve.
                share = firsts.count("The") / uses
                self.assertLess(share, 0.35) if marker == "end" else self.assertGreater(share, 0.35)

    def test_linear_in_the_list(self):
        # The chains' partners are made once per call, not once per use
        # (which made a list of n entries cost n * n), and merging lists
        # keeps the entries seen in a set.
        class Counted(list):
            copies = 0

            def __add__(self, other):
                Counted.copies += 1
                return list.__add__(self, other)
        am.synthetic_uses(Counted(ENTRIES), PARAS, seed=1, uses=20)
        self.assertEqual(Counted.copies, 1)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "l.abbrev")
            with open(path, "w") as f:
                f.write("".join("A%d.\n" % (i % 1500) for i in range(3000)))
            entries, _ = am.merge_lists([path, path])
        self.assertEqual(entries, ["A%d." % i for i in range(1500)])

    def test_progress_on_long_lists(self):
        self.assertIsNone(am.progress_line(am.PROGRESS_FROM - 1))
        report = am.progress_line(2000)
        import contextlib
        import io
        err = io.StringIO()
        with contextlib.redirect_stderr(err):
            for done in range(1, 2001):
                report(done)
        lines = err.getvalue().splitlines()
        self.assertEqual(len(lines), 10)
        self.assertEqual(lines[-1], "fullstop-adapt: writing uses: 2000 of 2000 abbreviations")

    def test_uses_in_another_language(self):
        # German sentences: ends after words with umlauts, capitals of any
        # script after them, names taken from the text's own capitalised
        # words, plain numbers.
        paras = [["Die Kinder spielten lange im großen Garten hinter dem Haus.",
                  "Über Nacht fiel der erste Schnee auf die Dächer.",
                  "Österreich meldete am Morgen starke Stürme aus den Bergen.",
                  "Die Straßen blieben in vielen Dörfern gesperrt."]]
        inside, end = am.use_sites(paras, "de")
        self.assertEqual(end, [(0, 0), (0, 1), (0, 2)])
        self.assertEqual(am.use_sites(paras)[1], [])  # read as English: none
        out = am.synthetic_uses(["z. B."], paras, seed=1, uses=10, markers={"z. B.": "inside"},
                                language="de")
        names = set(am.language_names(paras))
        self.assertLessEqual({"Garten", "Haus", "Nacht"}, names)
        for k, para in zip([k for k in am.kinds_of("inside") for _ in range(10)], out):
            after = para[0].split(" z. B. ", 1)[1].split()[0]
            if k == "name":
                self.assertIn(after, names)
            if k == "number":
                self.assertRegex(after, r"^[0-9]")
                self.assertNotRegex(after, r"(th|d)$")

    def test_no_sites_is_an_error(self):
        with self.assertRaises(am.Failure):
            am.synthetic_uses(["cf."], [["Short one."]], uses=1)


if __name__ == "__main__":
    unittest.main()
