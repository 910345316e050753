import pytest

nltk_api = pytest.importorskip("nltk.tokenize.api")

import fullstop  # noqa: E402
import fullstop.nltk  # noqa: E402
from conftest import CLASSIC_MODEL, NON_ASCII, SMALL_TEXTS  # noqa: E402

TEXTS = [*SMALL_TEXTS.values(), NON_ASCII, "  Padded sentence.   Another one.  \n\n  Third.  "]


@pytest.mark.parametrize("text", TEXTS)
def test_span_tokenize_agrees_with_tokenize(text):
    tokenizer = fullstop.nltk.SentenceTokenizer()
    spans = list(tokenizer.span_tokenize(text))
    assert [text[a:b] for a, b in spans] == tokenizer.tokenize(text)
    assert all(text[a:b] == text[a:b].strip() and a < b for a, b in spans)
    assert tokenizer.tokenize(text) == fullstop.Splitter().split(text)


def test_it_is_an_nltk_tokenizer():
    assert isinstance(fullstop.nltk.SentenceTokenizer(CLASSIC_MODEL), nltk_api.TokenizerI)
    tokenizer = fullstop.nltk.SentenceTokenizer()
    texts = ["It rained. We stayed in.", "Did it stop? Yes!"]
    # TokenizerI's own helpers, built on tokenize and span_tokenize.
    assert tokenizer.tokenize_sents(texts) == [["It rained.", "We stayed in."], ["Did it stop?", "Yes!"]]
    assert list(tokenizer.span_tokenize_sents(texts)) == [[(0, 10), (11, 24)], [(0, 12), (13, 17)]]


def test_sent_tokenize_is_a_drop_in():
    text = "Mr. Smith went to Washington. He arrived at 5 p.m. on Monday."
    assert fullstop.nltk.sent_tokenize(text) == fullstop.Splitter().split(text)
    assert fullstop.nltk.sent_tokenize(text, language="english") == fullstop.nltk.sent_tokenize(text)
    with pytest.raises(ValueError):
        fullstop.nltk.sent_tokenize(text, language="german")
    splitter = fullstop.Splitter()
    assert fullstop.nltk.SentenceTokenizer(splitter).splitter is splitter
