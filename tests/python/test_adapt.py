"""fullstop.adapt(): the domain adapter from Python, returning a Splitter."""

import os

import pytest

import fullstop

from conftest import PROGRAM, ROOT

TRAIN = os.path.join(ROOT, "data", "brown", "train.lines")


@pytest.fixture(autouse=True)
def programs(monkeypatch):
    # The adapter trains with the programs this test run was built with.
    monkeypatch.setenv("FULLSTOP_BIN", PROGRAM)
    monkeypatch.setenv("FULLSTOP_TRAIN", os.path.join(os.path.dirname(PROGRAM), "fullstop-train"))


@pytest.mark.parametrize("entries, line", [(["v.", "Cal"], 2), (["cf.", "", "sp"], 3),
                                           (["v. [inside]", "sp. [often]"], 2)])
def test_a_malformed_entry_names_its_line(entries, line):
    with pytest.raises(fullstop.AdaptError, match=r":%d:|line %d" % (line, line)):
        fullstop.adapt(abbreviations=entries)


@pytest.mark.skipif(not os.path.exists(TRAIN) and os.environ.get("CI") != "true",
                    reason="no Brown data in data/brown (scripts/brown-data needs npm)")
@pytest.mark.parametrize("base, entries", [
    # A list without marks teaches each entry both ways alike, and the
    # base's own reading of a period before a capital decides an unseen name.
    ("en-brown", ["v.", "Cal.", "App."]),
    # en, trained on text where that reading ends more sentences, gets the
    # name right from a list that marks what never ends a sentence.
    ("en", ["v. [inside]", "Cal.", "App. [inside]"])])
def test_adapted_model_reads_the_domain(tmp_path, base, entries):
    out = tmp_path / "legal.model"
    text = "The rule in Smith v. Jones controls. It was decided in 1994."
    splitter = fullstop.adapt(abbreviations=entries, out=str(out), base=base)
    assert out.exists() and splitter.text_mode == "unicode"
    assert splitter.split(text) == ["The rule in Smith v. Jones controls.", "It was decided in 1994."]
