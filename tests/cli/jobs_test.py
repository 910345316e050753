#!/usr/bin/env python3
"""fullstop --jobs: with 2 and 3 threads the program writes the bytes (and
features.def, status and standard error) it writes with one, on every golden
case and on the Brown dev texts in every output form and evaluation; a bad
value is a usage error before any input is read.

  jobs_test.py FULLSTOP SOURCE_DIR
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

FULLSTOP = os.path.abspath(sys.argv[1])
ROOT = os.path.abspath(sys.argv[2])
GOLDEN = os.path.join(ROOT, "tests", "cli", "golden", "cases")
BROWN = os.path.join(ROOT, "data", "brown")
MODELS = [os.path.join(ROOT, "models", "en.model"), os.path.join(ROOT, "tests", "data", "brown_conformance.model")]
FORMS = [[], ["-f"], ["-F"], ["--format=text"], ["--format=jsonl"], ["--format=tsv"], ["-t"]]


def run(args, stdin=b"", cwd=None):
    p = subprocess.run([FULLSTOP] + args, input=stdin, capture_output=True, timeout=300, cwd=cwd)
    features = None
    if cwd is not None and os.path.exists(os.path.join(cwd, "features.def")):
        with open(os.path.join(cwd, "features.def"), "rb") as f:
            features = f.read()
        os.unlink(os.path.join(cwd, "features.def"))
    return p.returncode, p.stdout, p.stderr, features


class SameOutput(unittest.TestCase):
    def test_golden_cases(self):
        for name in sorted(os.listdir(GOLDEN)):
            case = os.path.join(GOLDEN, name)
            args_path, stdin_path = os.path.join(case, "args"), os.path.join(case, "stdin")
            args = open(args_path).read().split("\n") if os.path.exists(args_path) else []
            args = ["" if a == '""' else a for a in args if a]  # as run_golden.py reads them
            stdin = open(stdin_path, "rb").read() if os.path.exists(stdin_path) else b""
            with tempfile.TemporaryDirectory() as work:
                for f in os.listdir(case):
                    if os.path.isfile(os.path.join(case, f)) and f not in ("args", "stdin") \
                            and not f.startswith("expected"):
                        shutil.copy(os.path.join(case, f), work)
                want = run(args, stdin, work)
                for jobs in ("2", "3"):
                    with self.subTest(case=name, jobs=jobs):
                        self.assertEqual(run(args + ["--jobs", jobs], stdin, work), want)

    def test_brown_dev(self):
        texts = [os.path.join(BROWN, n) for n in ("dev.txt", "dev.lines", "dev-typographic.txt")]
        if not all(os.path.exists(t) for t in texts):
            self.skipTest("no Brown data (scripts/brown-data)")
        for text in texts:
            data = open(text, "rb").read()
            for model in MODELS:
                for form in FORMS:
                    want = run(["-m", model] + form, data)
                    self.assertEqual(want[0], 0)
                    with self.subTest(text=os.path.basename(text), model=os.path.basename(model), form=form):
                        self.assertEqual(run(["-m", model, "--jobs=2"] + form, data), want)


class BadValues(unittest.TestCase):
    BAD = ["", "-1", "x", "2x", " 2", "1.5", "+2", "0x2", "1025", "99999", "18446744073709551617"]

    def test_usage_errors(self):
        for value in self.BAD:
            for args in (["--jobs", value], ["--jobs=" + value]):
                with self.subTest(args=args):
                    # Input that would never be read: a usage error comes first.
                    code, out, err, _ = run(["-m", MODELS[0]] + args, b"Never read.")
                    self.assertEqual((code, out), (2, b""))
                    self.assertIn(b"'%s' for --jobs" % value.encode(), err)
                    self.assertTrue(err.endswith(b"Try 'fullstop --help'.\n"), err)
        code, _, err, _ = run(["-m", MODELS[0], "--jobs"])
        self.assertEqual(code, 2, err)

    def test_good_values(self):
        for value in ("0", "1", "01", "1024"):
            self.assertEqual(run(["-m", MODELS[0], "--jobs=" + value, "-F"], b"One. Two.\n")[:2],
                             (0, b"One.\nTwo.\n"), value)
        self.assertIn(b"--jobs=N", run(["--help"])[1])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
