"""Shared fixtures: the program to compare with, the models and the texts.

FULLSTOP_BIN names the built program (scripts/test sets it); without it the
tests look for build/fullstop in the source tree.
"""

import os
import re
import subprocess

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PROGRAM = os.environ.get("FULLSTOP_BIN", os.path.join(ROOT, "build", "fullstop"))
EN_MODEL = os.path.join(ROOT, "models", "en.model")
CLASSIC_MODEL = os.path.join(ROOT, "tests", "data", "brown_conformance.model")
BROWN_DEV = os.path.join(ROOT, "data", "brown", "dev.txt")

# Text the Unicode mode maps: typographic quotes and dashes, ellipses,
# ideographic and fullwidth marks, NEL, Unicode spaces and separators, CRLF,
# combining marks, emoji (four-byte UTF-8), NUL and a blank-looking NUL line.
NON_ASCII = (
    "„Grüß Gott“, sagte Frau Dr. Müller… Dann ging sie.\u00a0Wirklich?\r\n\r\n"
    "“Yes,” he said—“it’s 3.5 km.” She left.\u2028Then: nothing.\u2029Next para.\n"
    "日本語の文です。これも文です！\u3000次は？ 終わり。\n\n"
    "Ｆｕｌｌｗｉｄｔｈ．Ｙｅｓ！ e\u0301te\u0301. Emoji 🎉 here. Done 👍🏽.\x85Tail."
    "\n\x00\n\tTab\tled. \u2022 Bullet one. \u2022 Bullet two.\n   \n \u200b Zero width. End"
)
SMALL_TEXTS = {
    "empty": "",
    "spaces": " \n\t \n",
    "ascii": "Hello there. How are you?  Mr. Smith went to Washington D.C. yesterday.\n\nNew one.",
    "non_ascii": NON_ASCII,
    "one_char": "é",
}


def run_program(model, data, *options):
    """The program's output for these bytes."""
    return subprocess.run([PROGRAM, "-m", model, *options], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=True)


_SENTENCE = re.compile(rb'<sentence start="(\d+)" end="(\d+)"')


def program_spans(model, data):
    return [(int(a), int(b)) for a, b in _SENTENCE.findall(run_program(model, data).stdout)]


def brown_dev():
    if not os.path.exists(BROWN_DEV):
        pytest.skip("no Brown data (scripts/brown-data makes it)")
    with open(BROWN_DEV, "rb") as f:
        return f.read()


@pytest.fixture(scope="session")
def program():
    if not os.access(PROGRAM, os.X_OK):
        pytest.fail(f"{PROGRAM}: not built (or set FULLSTOP_BIN)")
    return PROGRAM


@pytest.fixture(scope="session")
def splitter():
    import fullstop
    return fullstop.Splitter()


@pytest.fixture(params=["unicode", "classic"])
def model_path(request):
    return EN_MODEL if request.param == "unicode" else CLASSIC_MODEL


def text_bytes(name):
    """A named test text as bytes: the Brown dev text or one of SMALL_TEXTS."""
    if name == "brown_dev":
        return brown_dev()
    return SMALL_TEXTS[name].encode("utf-8")


TEXT_NAMES = ["brown_dev", *SMALL_TEXTS]
