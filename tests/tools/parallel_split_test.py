#!/usr/bin/env python3
"""scripts/parallel-split against one fullstop process, byte for byte, on
the inputs where cutting at blank lines is hardest: nothing but whitespace, a
byte order mark, NULs and zero-width characters before the first token or
after the last (across blocks too), and random mixes of Brown dev sentences,
marks, blank lines, CR, NUL, BOM and Unicode spaces in blocks of a few
bytes.  The model check reads names as the loader does: its record count and
text mode agree with the library's on random model bytes, and names that
differ only after a NUL (or in a CR) are the same name.  Skipped without GNU
parallel.

  parallel_split_test.py FULLSTOP SOURCE_DIR [LIBFULLSTOP_SO]

PARALLEL_SPLIT_FUZZ=N runs N random texts (default 10) and prints the seed.
"""

import ctypes
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

FULLSTOP = os.path.abspath(sys.argv[1])
ROOT = os.path.abspath(sys.argv[2])
sys.path.insert(0, os.path.join(ROOT, "tools"))
from fullstop_tools import parallel_split as split_module  # noqa: E402

SPLIT = os.path.join(ROOT, "scripts", "parallel-split")
MODEL = os.path.join(ROOT, "models", "en.model")
LIBRARY = sys.argv[3] if len(sys.argv) > 3 else os.path.join(os.path.dirname(FULLSTOP), "libfullstop.so")


class Texts(unittest.TestCase):
    """Runs both programs on texts written to a scratch folder."""

    def setUp(self):
        if shutil.which("parallel") is None:
            self.skipTest("GNU parallel is not installed")
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work)

    split_outputs = {}  # GNU parallel starts slowly: each text, form and block is run once

    def outputs(self, text, form, block):
        key = (text, tuple(form), block)
        if key not in self.split_outputs:
            path = os.path.join(self.work, "text")
            with open(path, "wb") as f:
                f.write(text)
            split = subprocess.run([SPLIT, "--fullstop", FULLSTOP, "-m", MODEL, "-j", "2", "--block", block]
                                   + form + [path], capture_output=True)
            self.assertEqual(split.returncode, 0, split.stderr)
            self.split_outputs[key] = split.stdout
        whole = subprocess.run([FULLSTOP, "-m", MODEL] + form, input=text, capture_output=True)
        return whole.stdout, self.split_outputs[key]

    def assert_same(self, text, blocks=("1",)):
        for form in ([], ["-F"]):
            for block in blocks:
                with self.subTest(text=text[:60], form=form, block=block):
                    whole, split = self.outputs(text, form, block)
                    self.assertEqual(split, whole)


class EdgeTexts(Texts):
    def test_ends_of_the_text(self):
        # Block "1" makes every paragraph a block, so a text's first token
        # can lie blocks after its start and its last blocks before its end.
        for text in [b"Hi there. Bye now.\0", b"Hi there. Bye now.\n\0", b"a\0\0",
                     b"Hi.\0\n\nBye.\0\0", b"\0", b"\xef\xbb\xbf\0", b"\xe2\x80\x8b\0",
                     b"\n\n\n\n\0\n\n\xc2\xa0Hi. a\\b \\t\n\n\n\xe2\x80\xa8Bye.\n\n\0\xe2\x80\x8b \n\n \0",
                     b"\xef\xbb\xbf\xef\xbb\xbf\n\nYes. No.\r\n\r\n\xe3\x80\x80\n\n",
                     b"\n\n  Two\tspaced\x0b\x0cwords.  \n\n"]:
            self.assert_same(text)

    def test_blank_texts_print_no_sentence(self):
        # In the Unicode mode a text whose every line is blank (whitespace
        # of any kind, zero-width characters, no NUL) has no sentence.
        for text in BLANK_TEXTS:
            for form, nothing in (([], b"<sentence-list>\n</sentence-list>\n"), (["-F"], b"")):
                with self.subTest(text=text, form=form):
                    self.assertEqual(self.outputs(text, form, "1")[1], nothing)

    def test_blank_texts_as_fullstop_prints_them(self):
        for text in BLANK_TEXTS:
            self.assert_same(text)


BLANK_TEXTS = [b"", b"   ", b"\n\n", b"\xef\xbb\xbf", b"\xef\xbb\xbf \r\n\xc2\x85\n\n\t", b"\xe2\x80\x8b\n\n"]


class RandomTexts(Texts):
    def test_random_mixes(self):
        words = b"Mr. Smith left at 5 p.m. sharp . ! ? ... ; : , ( ) \" ' 1. a) U.S. Dr. -- IT'S ok".split()
        dev = os.path.join(ROOT, "data", "brown", "dev.txt")
        if os.path.exists(dev):
            with open(dev, "rb") as f:
                words += f.read(200000).split()
        odd = [b"\n\n", b"\n\n\n", b"\n", b"\r\n", b"\r", b"\r\n\r\n", b"\0", b"\xef\xbb\xbf", b"\t", b"\\",
               b"\xc2\xa0", b"\xe2\x80\x83", b"\xe3\x80\x80", b"\xc2\x85", b"\xe2\x80\xa8", b"\xe2\x80\xa9",
               b"\xe2\x80\x8b", b"\xc2\xad", b"\xff", b"\xe2\x80\x9c", b"\xe2\x80\xa6", b"\xe2\x80\xa2 "]
        spaces = [b" ", b"\n", b"\n\n", b"\0", b"\xef\xbb\xbf", b"\xe2\x80\x8b", b"\xc2\xa0", b"\t", b"\r\n"]
        count = int(os.environ.get("PARALLEL_SPLIT_FUZZ", "10"))
        seed = random.randrange(1 << 30)
        print("parallel_split_test: seed %d, %d texts" % (seed, count), file=sys.stderr)
        rng = random.Random(seed)
        for _ in range(count):
            # A word at least: blank texts are EdgeTexts' business.
            parts = [b"".join(rng.choice(spaces) for _ in range(rng.randint(0, 4))), rng.choice(words), b" "]
            for _ in range(rng.randint(0, 120)):
                parts.append(rng.choice(words) if rng.random() < 0.7 else rng.choice(odd))
                parts.append(b" " if rng.random() < 0.8 else b"")
            parts.append(b"".join(rng.choice(spaces) for _ in range(rng.randint(0, 4))))
            text = b"".join(parts)
            form = rng.choice([[], ["-F"]])
            block = rng.choice(["1", "64", "300"])
            with self.subTest(seed=seed, text=text, form=form, block=block):
                whole, split = self.outputs(text, form, block)
                self.assertEqual(split, whole)


class ModelNames(unittest.TestCase):
    def test_record_count_and_text_mode_as_the_library_loads(self):
        if not os.path.exists(LIBRARY):
            self.skipTest("no libfullstop.so beside " + FULLSTOP)
        with open(LIBRARY, "rb") as f:
            if b"libasan.so" in f.read():
                self.skipTest("libfullstop.so is built with AddressSanitizer, which Python cannot load")
        lib = ctypes.CDLL(LIBRARY)
        lib.fullstop_model_parse.restype = ctypes.c_void_p
        lib.fullstop_model_parse.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_char_p)]
        lib.fullstop_model_records.restype = ctypes.c_size_t
        lib.fullstop_model_records.argtypes = [ctypes.c_void_p]
        lib.fullstop_model_text_mode.argtypes = [ctypes.c_void_p]
        lib.fullstop_model_free.argtypes = [ctypes.c_void_p]
        pieces = [b"1", b"-2.5", b"0x1p3", b"0X1P-3", b"inf", b"infinity", b"infinit", b"INF", b"-inf", b"infx",
                  b"nan", b"NaN", b"nan(1)", b"1e", b"1e+", b"E-", b"1E5", b"e5", b".5", b".", b"5.", b"1.2.3",
                  b"0", b"00", b"0x", b"0x.", b"0xg", b"0xe", b"0x1.8p", b"+", b"-", b"p", b"e", b"(", b"abc",
                  b"x y", b"\xc3\xa9", b" ", b"\t", b"\n", b"\r", b"\r\n", b"\v", b"\f", b"\0",
                  b"#text-mode=unicode", b"#text-mode=classic", b"#text-mode=x"]
        rng = random.Random(7)
        for _ in range(5000):
            data = b"".join(rng.choice(pieces) for _ in range(rng.randint(0, 14)))
            names = split_module.loaded_names(data)
            mode = next((n[11:] for n in names if n.startswith(b"#text-mode=")), b"classic")
            mode = mode[:-1] if mode.endswith(b"\r") else mode  # read without a CRLF's CR
            error = ctypes.c_char_p()
            model = lib.fullstop_model_parse(data, len(data), ctypes.byref(error))
            with self.subTest(model=data):
                if not model:
                    self.assertNotIn(mode, (b"classic", b"unicode"))
                    continue
                loaded = (lib.fullstop_model_records(model), lib.fullstop_model_text_mode(model))
                lib.fullstop_model_free(model)
                self.assertEqual(loaded, (len(names), int(mode == b"unicode")))

    def test_repeats_as_the_loader_reads_names(self):
        head = b"0\t#text-mode=unicode\n"
        cases = [  # model bytes, the problem expected (None: exact)
            (head + b"1\ttext_2_.\n2\ttext_2_.\0tail\n", "names text_2_. twice"),
            (head + b"1\ttext_2_.\n2\ttext_2_.\r\n", "names text_2_.\r twice"),
            (head + b"1\n  text_2_.\n2 text_2_.\n", "names text_2_. twice"),  # a record over two lines
            (head + b"1\ttext_2_.\n2\ttext_2_. \n", None),  # names keep trailing blanks
            (head + b"1\ttext_2_.\nnot a record\n2\ttext_2_.\n", None),  # loading stopped before
            (b"1\ta\n0\t#text-mode=unicode\n", None),  # the first mode record declares
            (b"oops\n0\t#text-mode=unicode\n", "classic-mode model"),  # never loaded
            (b"0\t#text-mode=unicode\0 junk\n", None),
            (b"0\t#text-mode=latin\n", "text mode 'latin'"),
        ]
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "m.model")
            for data, problem in cases:
                with open(path, "wb") as f:
                    f.write(data)
                with self.subTest(model=data):
                    found = split_module.model_problem(path)[1]
                    if problem is None:
                        self.assertIsNone(found)
                    else:
                        self.assertIn(problem, found or "")

    def test_a_repeated_name_refuses_the_model(self):
        if shutil.which("parallel") is None:
            self.skipTest("GNU parallel is not installed")
        with tempfile.TemporaryDirectory() as work:
            model, text = os.path.join(work, "m.model"), os.path.join(work, "t.txt")
            with open(MODEL, "rb") as f:
                data = f.read()
            with open(model, "wb") as f:
                f.write(data + b"5\ttext_2_.\0different\n")
            with open(text, "wb") as f:
                f.write(b"Hi there. Bye now.\n")
            p = subprocess.run([SPLIT, "--fullstop", FULLSTOP, "-m", model, text], capture_output=True)
            self.assertEqual(p.returncode, 2)
            self.assertIn(b"names text_2_. twice", p.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
