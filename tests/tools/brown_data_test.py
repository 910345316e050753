#!/usr/bin/env python3
"""Tests for scripts/brown-data: detokenising, the split rule and offsets."""

import io
import os
import subprocess
import sys
import tarfile
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "brown-data")


sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
from fullstop_tools import brown as bd  # noqa: E402


def sentences(tagged):
    """Convert a snippet and flatten it to its sentences."""
    return [s for para in bd.convert(tagged) for s in para]


def read_split(folder, split):
    """A split's sentence lines (text), raw text (bytes) and gold spans (text)."""
    base = os.path.join(folder, split)
    with open(base + ".lines", encoding="utf-8") as f:
        lines_text = f.read()
    with open(base + ".txt", "rb") as f:
        txt = f.read()
    with open(base + ".gold", encoding="utf-8") as f:
        gold = f.read()
    return lines_text, txt, gold


def check_offsets(test, lines_text, txt, gold):
    """Every gold span must be exactly the sentence of the matching line, and
    the paragraph numbers must follow the blank lines."""
    paras = [p.split("\n") for p in lines_text.rstrip("\n").split("\n\n")]
    expected = [(s, i) for i, p in enumerate(paras) for s in p]
    rows = [tuple(map(int, l.split())) for l in gold.splitlines()]
    test.assertEqual(len(rows), len(expected))
    for (start, end, para), (sent, want_para) in zip(rows, expected):
        test.assertEqual(txt[start:end].decode("utf-8"), sent)
        test.assertEqual(para, want_para)
    prev_end = 0
    prev_para = 0
    for start, end, para in rows:
        gap = txt[prev_end:start]
        if start:
            test.assertEqual(gap, b"\n\n" if para != prev_para else b" ")
        prev_end, prev_para = end, para
    test.assertEqual(txt[prev_end:], b"\n")


class SplitRule(unittest.TestCase):
    def test_split_of(self):
        cases = [
            ("ca01", "train"), ("ca05", "dev"), ("ca10", "test"),
            ("cn29", "train"), ("cj75", "dev"), ("cb20", "test"),
            ("cr00", "test"), ("cg15", "dev"), ("cf44", "train"),
            ("package/cp30", "test"),
        ]
        for name, split in cases:
            with self.subTest(name=name):
                self.assertEqual(bd.split_of(name), split)

    def test_rejects_other_files(self):
        for name in ("README", "cats.txt", "ca1", "cz01", "ca012"):
            with self.subTest(name=name):
                with self.assertRaises(ValueError):
                    bd.split_of(name)


class Detokenise(unittest.TestCase):
    CASES = [
        # name, tagged sentence(s), expected sentences
        ("double quotes",
         "\tThe/at jury/nn found/vbd ``/`` no/at evidence/nn ''/'' of/in fraud/nn ./.",
         ['The jury found "no evidence" of fraud.']),
        ("period moves inside quotes",
         "It/pps said/vbd ``/`` go/vb home/nn ''/'' ./.",
         ['It said "go home."']),
        ("comma moves inside quotes",
         "``/`` Yes/rb ''/'' ,/, he/pps said/vbd ./.",
         ['"Yes," he said.']),
        ("question mark moves inside quotes",
         "He/pps asked/vbd ,/, ``/`` Why/wrb ''/'' ?/. ?/.",
         ['He asked, "Why?"']),
        ("semicolon stays outside quotes",
         "He/pps said/vbd ``/`` no/rb ''/'' ;/. ;/.",
         ['He said "no";']),
        ("no second period after a quoted question",
         "I/ppss saw/vbd ``/`` Fiorello/np !/. ''/'' ./.",
         ['I saw "Fiorello!"']),
        ("clitics",
         "John/np 's/$ dog/nn do/do n't/* bark/vb and/cc we/ppss 're/ber glad/jj ./.",
         ["John's dog don't bark and we're glad."]),
        ("clitic-like word keeps its space",
         "Give/vb 'em/ppo hell/nn ./.",
         ["Give 'em hell."]),
        ("brackets",
         "He/pps came/vbd (/( at/in last/ap )/) to/in the/at [/( old/jj ]/) house/nn ./.",
         ["He came (at last) to the [old] house."]),
        ("slash joins",
         "The/at gallium/nn //in germanium/nn ratio/nn ./.",
         ["The gallium/germanium ratio."]),
        ("dashes keep their spaces",
         "It/pps was/bedz --/-- so/ql to/in speak/vb --/-- odd/jj ./.",
         ["It was -- so to speak -- odd."]),
        ("abbreviation takes the final period",
         "It/pps was/bedz won/vbn by/in Ivan/np Allen/np Jr./np ./.",
         ["It was won by Ivan Allen Jr."]),
        ("abbreviation before a closing quote",
         "He/pps wrote/vbd ``/`` Reading/np ,/, Pa./np ''/'' ./.",
         ['He wrote "Reading, Pa."']),
        ("doubled final marks",
         "Why/wrb ?/. ?/.\nStop/vb !/. !/.\nFirst/od ;/. ;/.\nas/cs follows/vbz :/. :/.\n"
         "Must/md-hl it/pps-hl ?/.-hl ?/.-hl",
         ["Why?", "Stop!", "First;", "as follows:", "Must it?"]),
        ("single final colon kept",
         "They/ppss are/ber :/:",
         ["They are:"]),
        ("stray doubled comma",
         "In/in World/nn War/nn 1/cd ,/, ,/, we/ppss won/vbd ./.",
         ["In World War 1, we won."]),
        ("single quotes inside double quotes",
         "``/`` He/pps said/vbd ,/, '/' go/vb home/nn '/' ''/'' ./.",
         ['"He said, \'go home.\'"']),
        ("single quote opened mid sentence",
         "the/at '/' national/jj list/nn '/' was/bedz long/jj ./.",
         ["the 'national list' was long."]),
        ("single quote spans sentences",
         "He/pps said/vbd ,/, '/' Go/vb ./.\nNow/rb '/' ./.",
         ["He said, 'Go.", "Now.'"]),
        ("headline without final mark",
         "Merger/nn-hl proposed/vbn-hl \nHowever/wrb ,/, it/pps failed/vbd ./.",
         ["Merger proposed", "However, it failed."]),
        ("lone closing bracket joins the previous sentence",
         "(/( Quotations/nns follow/vb ./.\n)/)",
         ["(Quotations follow.)"]),
        ("closing quote starting a line closes the previous one",
         "They/ppss shouted/vbd ,/, ``/`` Pas/fw-* !/. !/.\n''/'' (/( Not/* one/cd !/. !/.\n)/) ./.",
         ['They shouted, "Pas!"', "(Not one!)."]),
        ("opening quote ending a line opens the next",
         "He/pps wrote/vbd :/: ``/``\n\n\tTo/to escape/vb ./. ''/''",
         ["He wrote:", '"To escape."']),
        ("mixed punctuation line is split both ways",
         "It/pps reads/vbz :/: ``/`` chain/nn bridges/nns\n``/`` ./.\nInformation/nn is/bez given/vbn ''/'' ./.",
         ['It reads: "chain bridges.', '"Information is given."']),
        ("lone semicolon is not repeated",
         "Value/nn $150/nns ;/. ;/.\n;/. ;/.\nRose/np was/bedz worth/jj $400/nns ./.",
         ["Value $150;", "Rose was worth $400."]),
        ("lone period paragraph joins the previous paragraph",
         "and/cc Bob/np Skinner/np \n\n\n./.\n\n\n\tBill/np came/vbd ./.",
         ["and Bob Skinner.", "Bill came."]),
    ]

    def test_cases(self):
        for name, tagged, want in self.CASES:
            with self.subTest(name=name):
                self.assertEqual(sentences(tagged), want)

    def test_paragraphs(self):
        tagged = ("\n\n\tOne/cd ./.\nTwo/cd ./.\n\n\n\tThree/cd ./.\n\n\n\n"
                  "Head/nn-hl \nFour/cd ./.\n")
        self.assertEqual(bd.convert(tagged),
                         [["One.", "Two."], ["Three."], ["Head", "Four."]])

    def test_tag_split_uses_last_slash(self):
        self.assertEqual(sentences("1/2/cd cup/nn ./."), ["1/2 cup."])


class Render(unittest.TestCase):
    PARAS = [["One sentence.", "Two; three"], ["Para two."], ["\"Q?\"", "(x)."]]

    def test_layout(self):
        lines, txt, gold = bd.render(self.PARAS)
        self.assertEqual(lines, "One sentence.\nTwo; three\n\nPara two.\n\n\"Q?\"\n(x).\n")
        self.assertEqual(txt, b"One sentence. Two; three\n\nPara two.\n\n\"Q?\" (x).\n")
        self.assertEqual(gold.splitlines()[:3], ["0 13 0", "14 24 0", "26 35 1"])

    def test_offsets_consistent(self):
        check_offsets(self, *bd.render(self.PARAS))

    def test_offsets_are_bytes(self):
        lines, txt, gold = bd.render([["Caf\u00e9 ol\u00e9.", "Next."]])
        self.assertEqual(gold.splitlines(), ["0 11 0", "12 17 0"])
        check_offsets(self, lines, txt, gold)


def make_tarball(path, files):
    with tarfile.open(path, "w:gz") as tar:
        for name, text in files.items():
            data = text.encode("utf-8")
            info = tarfile.TarInfo("package/" + name)
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))


class EndToEnd(unittest.TestCase):
    """Run the script on a small fake package, as it runs on the real one."""

    FILES = {
        "README": "not a corpus file\n",
        "cats.txt": "ca01 news\n",
        "ca01": "\n\n\tThe/at jury/nn said/vbd ``/`` no/at ''/'' ./.\nWhy/wrb ?/. ?/.\n\n\n"
                "\tIt/pps ended/vbd ;/. ;/.\nthen/rb rain/nn ./.\n",
        "ca05": "\n\n\tDev/nn text/nn by/in Smith/np Jr./np ./.\n",
        "cb10": "\n\n\tTest/nn one/cd ./.\n\n\n\tTest/nn (/( two/cd ./.\n)/)\n",
        "cb11": "\n\n\tMore/ap train/nn !/. !/.\n",
    }

    def test_run(self):
        with tempfile.TemporaryDirectory() as tmp:
            tgz = os.path.join(tmp, "pkg.tgz")
            make_tarball(tgz, self.FILES)
            out = os.path.join(tmp, "out")
            proc = subprocess.run(
                [sys.executable, SCRIPT, "--tarball", tgz, "--out", out],
                capture_output=True, text=True, check=True)
            self.assertIn("train", proc.stderr)
            want = {
                "train": ['The jury said "no."', "Why?", "", "It ended;", "then rain.",
                          "", "More train!"],
                "dev": ["Dev text by Smith Jr."],
                "test": ["Test one.", "", "Test (two.)"],
            }
            for split, lines in want.items():
                with self.subTest(split=split):
                    lines_text, txt, gold = read_split(out, split)
                    self.assertEqual(lines_text.splitlines(), lines)
                    check_offsets(self, lines_text, txt, gold)


DATA = os.path.join(HERE, "..", "..", "data", "brown")


@unittest.skipUnless(os.path.exists(os.path.join(DATA, "dev.gold")),
                     "data/brown not built")
class BuiltData(unittest.TestCase):
    """When the real data is there, check it too."""

    def test_offsets_and_marks(self):
        for split in ("train", "dev", "test"):
            with self.subTest(split=split):
                lines_text, txt, gold = read_split(DATA, split)
                check_offsets(self, lines_text, txt, gold)
                for mark in (b";;", b"??", b"!!", b"::", b"..", b" ."):
                    self.assertNotIn(mark, txt)


if __name__ == "__main__":
    unittest.main()
