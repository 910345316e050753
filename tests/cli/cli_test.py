#!/usr/bin/env python3
"""The command line of fullstop beyond the classic short options: long
options, --help and --version, usage errors, --model NAME, the --format forms,
the model sanity warnings, a forgotten model, and FILE operands.

  cli_test.py FULLSTOP SOURCE_DIR
"""

import json
import os
import random
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

FULLSTOP = os.path.abspath(sys.argv[1])
ROOT = os.path.abspath(sys.argv[2])
EN = os.path.join(ROOT, "models", "en.model")
GOLDEN = os.path.join(ROOT, "tests", "cli", "golden", "cases")
TEXT = (b'He met Mr. Smith at 10 a.m. today. "Where?" she asked <loudly> & left.\n'
        b"It rained.\n\nTabs\there, a back\\slash and caf\xc3\xa9 \xff.\r\nEnd")


def run(args, stdin=b"", env=None, cwd=None):
    return subprocess.run([FULLSTOP] + args, input=stdin, capture_output=True, timeout=60,
                          env=env, cwd=cwd)


def golden_inputs():
    for name in sorted(os.listdir(GOLDEN)):
        path = os.path.join(GOLDEN, name, "stdin")
        if os.path.exists(path):
            with open(path, "rb") as f:
                yield name, f.read()


def random_inputs(count=16):
    rng = random.Random(20240601)
    alphabet = b"ab. \n\t\r\"<>&\\\x00\x01\x7f\x80\xbf\xc3\xa9\xe2\x80\x94\xed\xa0\xef\xbf\xbe\xf4\x90!?"
    for i in range(count):
        if i % 3 == 0:
            yield "random%d" % i, bytes(rng.randrange(256) for _ in range(rng.randrange(400)))
        else:
            yield "random%d" % i, bytes(rng.choice(alphabet) for _ in range(rng.randrange(400)))


class LongOptions(unittest.TestCase):
    # Each long form must print exactly what its classic form prints.
    SAME = [
        (["--model=" + EN], ["-m", EN]),
        (["--model", EN], ["-m", EN]),
        (["--model", "en"], ["-m", EN]),
        (["--model=en", "--evaluate"], ["-m", EN, "-t"]),
        (["--model=en", "--with-text"], ["-m", EN, "-f"]),
        (["--model=en", "--text-only"], ["-m", EN, "-F"]),
        (["--model=en", "--format=xml"], ["-m", EN]),
        (["--model=en", "--format", "lines"], ["-m", EN, "-F"]),
        (["--mod=en", "--form=lines"], ["-m", EN, "-F"]),  # unambiguous abbreviations
        # The last of -f, -F and --format wins; -f leaves the -F form alone.
        (["-m", EN, "--format=jsonl", "-f"], ["-m", EN, "-f"]),
        (["-m", EN, "--format=tsv", "-F"], ["-m", EN, "-F"]),
        (["-m", EN, "-F", "--format=xml"], ["-m", EN]),
        (["-m", EN, "-F", "-f"], ["-m", EN, "-F"]),
        (["-m", EN, "--format=lines", "-f"], ["-m", EN, "-F"]),
        (["-m", EN, "-f", "--format=text", "-t"], ["-m", EN, "-t"]),
        (["-m", "nowhere", "--model=en"], ["-m", EN]),  # the last model wins
        (["--model=en", "-m", EN, "-x"], ["-m", EN]),  # unknown short options stay ignored
    ]

    def test_long_forms_print_what_short_forms_print(self):
        for long_args, short_args in self.SAME:
            with self.subTest(args=long_args):
                got, want = run(long_args, TEXT), run(short_args, TEXT)
                self.assertEqual((got.returncode, got.stdout), (want.returncode, want.stdout))
                self.assertEqual(got.returncode, 0, got.stderr)

    def test_help_and_version(self):
        for args in (["--help"], ["--he"], ["-m", EN, "--help", "-F"]):
            with self.subTest(args=args):
                r = run(args)
                self.assertEqual((r.returncode, r.stderr), (0, b""))
                self.assertTrue(r.stdout.startswith(b"Usage: fullstop [OPTION]..."), r.stdout)
                for option in (b"--model", b"--format", b"jsonl", b"FULLSTOP_MODEL_PATH"):
                    self.assertIn(option, r.stdout)
        r = run(["--version"])
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertRegex(r.stdout.decode(), r"^fullstop \d+\.\d+\.\d+\n$")

    @unittest.skipUnless(os.path.exists("/dev/full"), "no /dev/full")
    def test_help_and_version_report_a_failed_write(self):
        # The text never arrived: the run must not report success.
        train = os.path.join(os.path.dirname(FULLSTOP), "fullstop-train")
        for program in [FULLSTOP] + ([train] if os.path.exists(train) else []):
            for option in ("--help", "--version"):
                with self.subTest(program=os.path.basename(program), option=option), open("/dev/full", "wb") as full:
                    r = subprocess.run([program, option], stdout=full, stderr=subprocess.PIPE, timeout=60)
                    self.assertEqual(r.returncode, 1)
                    self.assertEqual(r.stderr, os.path.basename(program).encode() +
                                     b": standard output: No space left on device\n")

    def test_usage_errors_exit_2_before_reading_input(self):
        cases = [
            (["--frob"], "unrecognized option '--frob'"),
            (["--format=yaml"], "unknown format 'yaml'"),
            (["--format"], "requires an argument"),
            (["--model"], "requires an argument"),
            (["--help=yes"], "doesn't allow an argument"),
            (["--format=JSONL"], "unknown format 'JSONL'"),
            (["--model=no-such-model"], "no model 'no-such-model'"),
            (["-F", "--model", "", "-t"], "--model needs a file or a model name"),
            # Reading rules are training's, in the Unicode mode, and known.
            (["--model=en", "--reading=-pronoun-i"], "--reading is for training"),
            (["--reading=-pronoun-i"], "--reading needs --text-mode=unicode"),
            (["--text-mode=unicode", "--reading=+accents"], "unknown reading rule 'accents'"),
        ]
        for args, message in cases:
            with self.subTest(args=args), tempfile.TemporaryDirectory() as work:
                # Standard input stays open and empty: a program that read it would hang.
                p = subprocess.Popen([FULLSTOP] + args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, cwd=work)
                try:
                    p.wait(timeout=30)
                finally:
                    p.kill()
                    p.stdin.close()
                out, err = p.stdout.read(), p.stderr.read()
                p.stdout.close()
                p.stderr.close()
                self.assertEqual(p.returncode, 2, err)
                self.assertEqual(out, b"")
                self.assertIn(message.encode(), err)
                self.assertTrue(err.startswith(b"fullstop: "), err)  # not the program's path
                self.assertTrue(err.endswith(b"Try 'fullstop --help'.\n"), err)
                self.assertEqual(os.listdir(work), [])  # no features.def

    def test_model_names_search_the_model_path_first(self):
        with tempfile.TemporaryDirectory() as work:
            one, two = os.path.join(work, "one"), os.path.join(work, "two")
            os.mkdir(one)
            os.mkdir(two)
            with open(os.path.join(two, "en.model"), "w") as f:
                f.write("-5\ttext_2_.\n")  # never splits at a full stop
            with open(os.path.join(one, "dots.model"), "w") as f:
                f.write("5\ttext_2_.\n")
            env = dict(os.environ, FULLSTOP_MODEL_PATH="%s::%s" % (one, two))
            bundled = run(["-m", EN, "-F"], b"So yes. And no. Or maybe.").stdout
            self.assertEqual(run(["--model=en", "-F"], b"So yes. And no. Or maybe.", env).stdout,
                             b"So yes. And no. Or maybe.\n")
            self.assertEqual(run(["--model=dots", "-F"], b"So yes. And no. Or maybe.", env).stdout,
                             b"So yes.\nAnd no.\nOr maybe.\n")
            self.assertEqual(run(["--model=en", "-F"], b"So yes. And no. Or maybe.").stdout, bundled)
            # A file of that name in the working folder comes before any search.
            with open(os.path.join(work, "en"), "w") as f:
                f.write("5\ttext_2_.\n")
            self.assertEqual(run(["--model=en", "-F"], b"So yes. And no. Or maybe.", env, cwd=work).stdout,
                             b"So yes.\nAnd no.\nOr maybe.\n")
            # A name with a slash is a path only, never searched.
            r = run(["--model=./dots"], b"x", env)
            self.assertEqual(r.returncode, 255)
            self.assertIn(b"./dots", r.stderr)

    def test_list_models_shows_what_each_name_finds(self):
        with tempfile.TemporaryDirectory() as work:
            for name, records in (("en", "-5\ttext_2_.\n"), ("zz-mine", "0\t#text-mode=unicode\n"),
                                  ("bad", "0\t#text-mode=klingon\n")):
                with open(os.path.join(work, name + ".model"), "w") as f:
                    f.write(records)
            r = run(["--list-models"], env=dict(os.environ, FULLSTOP_MODEL_PATH=work))
            self.assertEqual(r.returncode, 0, r.stderr)
            rows = {line.split("\t")[0]: line.split("\t")[1:] for line in r.stdout.decode().splitlines()}
            self.assertEqual(list(rows), sorted(rows))
            # The variable's en shadows the bundled one, as --model en would pick it.
            self.assertEqual(rows["en"], ["English", "classic", os.path.join(work, "en.model")])
            self.assertEqual(rows["zz-mine"], ["-", "unicode", os.path.join(work, "zz-mine.model")])
            self.assertEqual(rows["bad"][:2], ["-", "unknown"])
            self.assertIn(b"unknown text mode 'klingon'", r.stderr)
            for name, language in (("de", "German"), ("fr", "French"), ("es", "Spanish"),
                                   ("pt", "Portuguese"), ("nl", "Dutch"), ("en-brown", "English")):
                self.assertEqual(rows[name], [language, "unicode", os.path.join(ROOT, "models", name + ".model")])
            # A name ending in .model is a file, never searched for.
            r = run(["--model=de.model"], b"x", cwd=work)
            self.assertEqual((r.returncode, r.stderr), (255, b"de.model: No such file or directory\n"))


class Formats(unittest.TestCase):
    # The escaped forms must hold for the sentences of either text mode.
    MODES = (["--text-mode=classic"], ["--text-mode=unicode"])

    def check_all_forms(self, text, mode):
        # The bare lines give each sentence's text; jsonl its offsets too.
        lines = run(["-m", EN, "-F"] + mode, text).stdout.split(b"\n")[:-1]
        # jsonl: each line a JSON object; text back to bytes with \udcXX as byte XX.
        jsonl = run(["-m", EN, "--format=jsonl"] + mode, text).stdout.split(b"\n")
        self.assertEqual(jsonl[-1], b"")
        got = []
        for line in jsonl[:-1]:
            obj = json.loads(line.decode("utf-8"))
            self.assertEqual(sorted(obj), ["end", "start", "text"])
            got.append((obj["start"], obj["end"], obj["text"].encode("utf-8", "surrogateescape")))
        self.assertEqual([t for _, _, t in got], lines)
        want = got
        self.assertTrue(all(0 <= s <= e <= len(text) for s, e, _ in want))
        # tsv: three fields, text unescaped gives the bytes back.
        tsv = run(["-m", EN, "--format=tsv"] + mode, text).stdout.split(b"\n")
        unescape = {b"\\\\": b"\\", b"\\t": b"\t", b"\\n": b"\n", b"\\r": b"\r"}
        got = []
        for line in tsv[:-1]:
            start, end, field = line.split(b"\t")
            got.append((int(start), int(end), re.sub(rb"\\.", lambda m: unescape[m.group()], field)))
        self.assertEqual(got, want)
        # text: a well-formed XML document with the same offsets.
        doc = ET.fromstring(run(["-m", EN, "--format=text"] + mode, text).stdout)
        self.assertEqual([(int(s.get("start")), int(s.get("end"))) for s in doc],
                         [(s, e) for s, e, _ in want])

    def test_every_golden_input(self):
        for name, text in golden_inputs():
            for mode in self.MODES:
                with self.subTest(case=name, mode=mode):
                    self.check_all_forms(text, mode)

    def test_random_bytes(self):
        for name, text in random_inputs():
            for mode in self.MODES:
                with self.subTest(case=name, mode=mode):
                    self.check_all_forms(text, mode)

    def test_text_form_escapes(self):
        with tempfile.TemporaryDirectory() as work:
            model = os.path.join(work, "m")
            with open(model, "w") as f:
                f.write("-1\ttext_2_.\n")  # one sentence
            r = run(["-m", model, "--format=text"], b'A "b" <c> & d\x01\xff.\n')
        self.assertEqual(r.stdout, b'<sentence-list>\n<sentence start="0" end="17">A &quot;b&quot; '
                                   b'&lt;c&gt; &amp; d\xef\xbf\xbd\xef\xbf\xbd.</sentence>\n'
                                   b'</sentence-list>\n')
        # The classic text keeps a CR; an XML reader must get it back, not an LF.
        with tempfile.TemporaryDirectory() as work:
            model = os.path.join(work, "m")
            with open(model, "w") as f:
                f.write("-1\ttext_2_.\n")
            r = run(["-m", model, "--format=text"], b"A b.\r\nC\td.\r\n")
        parsed = ET.fromstring(r.stdout).find("sentence").text
        self.assertEqual(parsed, "A b.\r C\td.\r")


class Streaming(unittest.TestCase):
    PAUSE = 3.0  # seconds the writer waits after the first line

    def test_first_output_arrives_during_a_pause(self):
        # The first sentence (or training context) is decided by the words
        # after it: it must come out while the writer pauses, not when the
        # input ends; the rest after the input closes, as the whole input
        # prints it.
        import select
        import time
        first, rest = b"First sentence here. Second one starts now\n", b"and ends here.\n"
        cases = [(["-m", EN, "-F"], b"First sentence here.\n"),
                 ([], b"2\n"),
                 (["--text-mode=unicode"], b"2\n")]
        for args, first_line in cases:
            with self.subTest(args=args), tempfile.TemporaryDirectory() as work:
                whole = run(args, first + rest, cwd=work)
                p = subprocess.Popen([FULLSTOP] + args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, cwd=work)
                try:
                    began = time.monotonic()
                    p.stdin.write(first)
                    p.stdin.flush()
                    ready, _, _ = select.select([p.stdout], [], [], self.PAUSE)
                    self.assertTrue(ready, "nothing printed during the pause")
                    line = p.stdout.readline()
                    self.assertLess(time.monotonic() - began, self.PAUSE)
                    self.assertEqual(line, first_line)
                    p.stdin.write(rest)
                    p.stdin.close()
                    self.assertEqual(line + p.stdout.read(), whole.stdout)
                finally:
                    p.kill()
                    p.wait()
                    p.stdout.close()

    def test_pieces_print_what_the_whole_input_prints(self):
        # Whatever the pipe delivers at a time, and however long it pauses,
        # the bytes are the same (and training's feature list too).
        import threading
        import time
        rng = random.Random(7)
        golden = b"".join(data for _, data in golden_inputs())[:200000]
        brown = os.path.join(ROOT, "data", "brown", "train.lines")
        cases = [(["-m", EN, "-f"], golden), (["-m", EN, "--text-mode=classic"], golden),
                 (["-m", EN, "-t"], golden), ([], golden), (["--text-mode=unicode"], golden)]
        if os.path.exists(brown):
            with open(brown, "rb") as f:
                train = f.read()
            cases += [([], train), (["--text-mode=unicode"], train)]
        for args, text in cases:
            with tempfile.TemporaryDirectory() as work:
                whole = run(args, text, cwd=work)
                whole_def = read_if_there(os.path.join(work, "features.def"))
                os.unlink(os.path.join(work, "features.def")) if whole_def is not None else None
                p = subprocess.Popen([FULLSTOP] + args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, cwd=work)
                def feed():
                    at = 0
                    while at < len(text):
                        n = rng.choice([1, 7, 100, 4096, 70000, 300000])
                        p.stdin.write(text[at:at + n])
                        p.stdin.flush()
                        at += n
                        if rng.random() < 0.02:
                            time.sleep(0.02)  # the reader drains and waits
                    p.stdin.close()
                t = threading.Thread(target=feed)
                t.start()
                out = p.stdout.read()
                t.join()
                p.wait()
                p.stdout.close()
                self.assertEqual(out, whole.stdout, args)
                self.assertEqual(read_if_there(os.path.join(work, "features.def")), whole_def, args)


def read_if_there(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


class ModelWarnings(unittest.TestCase):
    FEATURES_DEF = "0\ttext_0_Hello\n1\tstem_0_hel\n2\ttext_2_.\n"
    SPLIT, WHOLE = b"Hello world.\nThis is it.\n", b"Hello world. This is it.\n"
    CASES = [
        # (model, output, expected warning or None)
        (FEATURES_DEF, SPLIT, "looks like a feature list"),
        ("0\ttext_2_.\n1.5\tstem_0_hel\n", SPLIT, None),
        ("0\ttext_2_.\n", WHOLE, None),  # one record is no list
        ("", WHOLE, "no model records loaded"),
        ("\n\n  \n", WHOLE, "no model records loaded"),
        ("# a comment\n", WHOLE, "loading stopped"),  # said once, by the loader
    ]

    def test_warnings_leave_output_and_status_alone(self):
        with tempfile.TemporaryDirectory() as work:
            model = os.path.join(work, "m")
            for text, output, warning in self.CASES:
                with self.subTest(model=text):
                    with open(model, "w") as f:
                        f.write(text)
                    r = run(["-m", model, "-F"], b"Hello world. This is it.")
                    self.assertEqual((r.returncode, r.stdout), (0, output))
                    lines = r.stderr.decode().splitlines()
                    if warning is None:
                        self.assertEqual(lines, [])
                    else:
                        self.assertEqual(len(lines), 1, lines)
                        self.assertTrue(lines[0].startswith("fullstop: warning: %s" % model))
                        self.assertIn(warning, lines[0])


class MarksAtLineBreaks(unittest.TestCase):
    # In the Unicode mode a mark that a line break follows is decided by its
    # window's weights and its break's together, for a model that names a
    # mark before a line-break marker; any other model decides it as before.
    BASE = "0\t#text-mode=unicode\n2\ttext_7_<nl-short>\n-1.5\ttext_2_:\n"
    TEXT = b"Method:\n1. mix\nYou need: flour. Then:\r\nsalt:\n\nEnd"

    def test_the_break_window_counts_only_for_a_model_that_learnt_it(self):
        cases = [
            # (Short lines end sentences after words, never after ":" alone.)
            ("", [b"Method: 1. mix", b"You need: flour. Then: salt:", b"End"]),
            ("3\ttext_6_:\n", [b"Method:", b"1. mix", b"You need: flour. Then:", b"salt:", b"End"]),
            # The two windows' sum: -1.5 + 2 - 1 stays below zero.
            ("-1\ttext_6_:\n", [b"Method: 1. mix", b"You need: flour. Then: salt:", b"End"]),
        ]
        with tempfile.TemporaryDirectory() as work:
            model = os.path.join(work, "m")
            for extra, want in cases:
                with self.subTest(extra=extra):
                    with open(model, "w") as f:
                        f.write(self.BASE + extra)
                    for jobs in ("1", "2"):
                        r = run(["-m", model, "-F", "--jobs", jobs], self.TEXT)
                        self.assertEqual((r.returncode, r.stdout.splitlines()), (0, want))


class Initials(unittest.TestCase):
    # In the Unicode mode one capital letter before a mark types 7 (an
    # initial) for a model that names the type, and 1, as any capitalised
    # word, for one that does not.
    def test_only_a_model_with_the_type_reads_initials(self):
        base = "0\t#text-mode=unicode\n3\ttype_2_2\n-5\ttype_1_1\n"
        with tempfile.TemporaryDirectory() as work:
            model = os.path.join(work, "m")
            for extra, want in (("", [b"He met J. Smith. Then Q. left."]),
                                ("0.001\ttype_4_7\n", [b"He met J.", b"Smith. Then Q.", b"left."])):
                with self.subTest(extra=extra):
                    with open(model, "w") as f:
                        f.write(base + extra)
                    r = run(["-m", model, "-F"], b"He met J. Smith. Then Q. left.")
                    self.assertEqual((r.returncode, r.stdout.splitlines()), (0, want))


class NoModel(unittest.TestCase):
    # A long-option command line that asks for sentences without a model is
    # refused before reading; one that asks for nothing of detection trains,
    # as the classic command line always does without -m.
    REFUSED = [["--format=jsonl"], ["--text-only"], ["--evaluate"], ["--with-text"],
               ["--text-mode=unicode", "-F"], ["-t", "--text-mode=classic"], ["--jobs=2", "--format", "tsv"]]
    TRAINS = [[], ["-F", "-t"], ["--jobs", "2", "-f"], ["--text-mode=unicode"], ["--text-mode=classic", "--jobs=1"]]

    def test_refused_or_trains(self):
        for args in self.REFUSED + self.TRAINS:
            with self.subTest(args=args), tempfile.TemporaryDirectory() as work:
                r = run(args, TEXT, cwd=work)
                if args in self.REFUSED:
                    option = next(a for a in args if a.startswith(("-t", "-F", "--format", "--text-only",
                                                                     "--evaluate", "--with-text")))
                    self.assertEqual((r.returncode, r.stdout, os.listdir(work)), (2, b"", []))
                    self.assertTrue(r.stderr.startswith(b"fullstop: %s needs a model" % option.split("=")[0].encode()),
                                    r.stderr)
                    self.assertIn(b"--model en", r.stderr)
                    lines = r.stderr.decode().splitlines()
                    self.assertTrue(all(l.startswith("fullstop: ") for l in lines[:-1]), r.stderr)
                else:
                    self.assertEqual((r.returncode, os.listdir(work)), (0, ["features.def"]), r.stderr)


class FileOperands(unittest.TestCase):
    # A long-option command line reads its operands in order, as cat does;
    # the classic one reads standard input and warns about each operand.
    PARTS = ["One. Two \u201cthree.\u201d\n".encode(),
             b"", b"Four?\n\nFive. ", b"Six.\r\nSeven"]

    def test_operands_as_cat_reads_them(self):
        with tempfile.TemporaryDirectory() as work:
            names = []
            for i, part in enumerate(self.PARTS):
                names.append(os.path.join(work, "p%d" % i))
                with open(names[-1], "wb") as f:
                    f.write(part)
            stdin = b"Standard. Input.\n"
            cases = [(names, b"".join(self.PARTS)),
                     (names[:2] + ["-"] + names[2:], b"".join(self.PARTS[:2]) + stdin + b"".join(self.PARTS[2:])),
                     (["-"], stdin), ([], stdin), ([names[1]], b"")]
            for operands, text in cases:
                for form in (["--format=tsv"], ["-F", "--jobs=2"], ["--evaluate"]):
                    with self.subTest(operands=len(operands), form=form):
                        got = run(["--model=en"] + form + operands, stdin)
                        want = run(["-m", EN] + form, text)
                        self.assertEqual((got.returncode, got.stdout, got.stderr), (0, want.stdout, b""))
            # Training reads them too, and writes the list of the whole text.
            def features():
                with open(os.path.join(work, "features.def"), "rb") as f:
                    return f.read()
            got = run(["--text-mode=unicode"] + names, b"", cwd=work)
            got_features = features()
            want = run(["--text-mode=unicode"], b"".join(self.PARTS), cwd=work)
            self.assertEqual((got.stdout, got_features), (want.stdout, features()))
            # The classic command line ignores them, with a warning each.
            r = run(["-m", EN, "-F", names[0]], stdin)
            self.assertEqual((r.returncode, r.stdout), (0, run(["-m", EN, "-F"], stdin).stdout))
            self.assertEqual(r.stderr, b"fullstop: warning: operand '%s' ignored; text is read from standard input\n"
                             % names[0].encode())

    def test_a_fifo_operand_is_read_once_its_writer_writes(self):
        # Checking the operands must not open the FIFO: its writer would
        # then find no reader when it writes.
        with tempfile.TemporaryDirectory() as work:
            fifo = os.path.join(work, "fifo")
            os.mkfifo(fifo)
            writer = subprocess.Popen(["sh", "-c", 'printf "Piped in. Out." > "$1"', "sh", fifo])
            r = run(["--model=en", "-F", "-", fifo], b"First. ")
            self.assertEqual((writer.wait(timeout=60), r.returncode, r.stdout), (0, 0, b"First.\nPiped in.\nOut.\n"))

    def test_a_file_that_cannot_be_read_stops_the_run_before_output(self):
        with tempfile.TemporaryDirectory() as work:
            good = os.path.join(work, "good")
            with open(good, "wb") as f:
                f.write(b"One. Two. " * 1000)
            for bad, reason in ((os.path.join(work, "nope"), "No such file or directory"),
                                (work, "Is a directory")):
                for args in (["--model=en", "-F"], ["--text-mode=unicode"], ["--model=en", "--jobs=2"]):
                    with self.subTest(bad=bad, args=args):
                        r = run(args + [good, bad], cwd=work)
                        self.assertEqual((r.returncode, r.stdout, r.stderr),
                                         (1, b"", ("fullstop: %s: %s\n" % (bad, reason)).encode()))
                        self.assertEqual(sorted(os.listdir(work)), ["good"])  # no features.def


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=1)
