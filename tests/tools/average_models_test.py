#!/usr/bin/env python3
"""Tests for scripts/average-models: the mean model and what it refuses."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "average-models")
CLASSIC = os.path.join(HERE, "..", "data", "brown_conformance.model")


class AverageModels(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, text):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(text)
        return path

    def run_script(self, out, *models, options=()):
        return subprocess.run([sys.executable, SCRIPT, *options, "-o", out, *models],
                              capture_output=True)

    def test_mean_keeps_order_drops_zero_and_writes_the_mode_record_once(self):
        # \xff: names are bytes, not necessarily UTF-8.
        a = self.write("a", b"0\t#text-mode=unicode\n1.5\ttext_0_a\n-0.5\tstem_1_\xff\n0.25\ttype_2_1\n")
        b = self.write("b", b"0\t#text-mode=unicode\n0.5\tstem_1_\xff\n0.1\ttext_3_b\n")
        out = os.path.join(self.dir.name, "out")
        r = self.run_script(out, a, b)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(out, "rb") as f:
            self.assertEqual(f.read(), b"0\t#text-mode=unicode\n0.75\ttext_0_a\n"
                                       b"0.125\ttype_2_1\n0.05\ttext_3_b\n")

    def test_min_weight_leaves_out_small_means_of_either_sign(self):
        a = self.write("a", b"0\t#text-mode=unicode\n1.5\ttext_0_a\n-0.5\tstem_1_x\n0.25\ttype_2_1\n")
        b = self.write("b", b"0\t#text-mode=unicode\n0.5\tstem_1_x\n-0.3\ttext_3_b\n")
        out = os.path.join(self.dir.name, "out")
        r = self.run_script(out, a, b, options=("--min-weight", "0.15"))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(out, "rb") as f:
            self.assertEqual(f.read(), b"0\t#text-mode=unicode\n0.75\ttext_0_a\n-0.15\ttext_3_b\n")
        for bad in ("-1", "nan", "inf"):
            r = self.run_script(out, a, b, options=("--min-weight", bad))
            self.assertEqual(r.returncode, 2, bad)

    def test_a_model_averaged_with_itself_is_the_same_file(self):
        # The trainer's weights are in shortest round-trip form too, so any
        # digit lost or added in reading and writing shows here.
        out = os.path.join(self.dir.name, "out")
        r = self.run_script(out, CLASSIC, CLASSIC)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(out, "rb") as f, open(CLASSIC, "rb") as g:
            self.assertEqual(f.read(), g.read())

    def test_refusals_name_the_file_and_leave_the_output_alone(self):
        good = self.write("good", b"0\t#text-mode=unicode\n1\ttext_0_a\n")
        cases = [
            ("other text mode", b"1\ttext_0_a\n", "differ"),
            ("named twice", b"0\t#text-mode=unicode\n1\ttext_0_a\n2\ttext_0_a\n",
             "line 3: text_0_a is named twice"),
            ("no tab", b"0\t#text-mode=unicode\n1 text_0_a\n", "line 2"),
            ("not a number", b"0\t#text-mode=unicode\nx\ttext_0_a\n", "line 2"),
            ("not finite", b"0\t#text-mode=unicode\nnan\ttext_0_a\n", "line 2"),
        ]
        for what, text, message in cases:
            with self.subTest(what):
                bad = self.write("bad", text)
                out = self.write("out", b"kept\n")
                r = self.run_script(out, good, bad)
                self.assertEqual(r.returncode, 1)
                self.assertIn(bad, r.stderr.decode())
                self.assertIn(message, r.stderr.decode())
                with open(out, "rb") as f:
                    self.assertEqual(f.read(), b"kept\n")
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["bad", "good", "out"])


if __name__ == "__main__":
    unittest.main()
