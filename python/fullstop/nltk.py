"""fullstop as an NLTK sentence tokenizer.

Code written for nltk.sent_tokenize or Punkt switches with one line:

    from fullstop.nltk import sent_tokenize      # instead of nltk's
    tokenizer = fullstop.nltk.SentenceTokenizer()  # instead of PunktSentenceTokenizer()
"""

from typing import Dict, Iterator, List, Tuple

from nltk.tokenize.api import TokenizerI

from . import Splitter

__all__ = ["LANGUAGES", "SentenceTokenizer", "sent_tokenize"]


class SentenceTokenizer(TokenizerI):
    """NLTK's TokenizerI over a fullstop Splitter.

    `model` is a model name ("de"), a model path, a Splitter, or None for
    the bundled English model.  Spans are stripped of surrounding whitespace and empty sentences
    are dropped, so [text[a:b] for a, b in span_tokenize(text)] == tokenize(text).
    """

    def __init__(self, model=None) -> None:
        self.splitter = model if isinstance(model, Splitter) else Splitter(model)

    def span_tokenize(self, s: str) -> Iterator[Tuple[int, int]]:
        for a, b in self.splitter.spans(s):
            piece = s[a:b]
            stripped = piece.lstrip()
            if not stripped:
                continue
            a += len(piece) - len(stripped)
            b = a + len(stripped.rstrip())
            yield a, b

    def tokenize(self, s: str) -> List[str]:
        return self.splitter.split(s)


# NLTK's language names for the languages a model is bundled for.
LANGUAGES = {
    "dutch": "nl",
    "english": "en",
    "french": "fr",
    "german": "de",
    "portuguese": "pt",
    "spanish": "es",
}

_tokenizers: Dict[str, SentenceTokenizer] = {}


def sent_tokenize(text: str, language: str = "english") -> List[str]:
    """Like nltk.sent_tokenize: the sentences of text, with the bundled model
    of `language`, one of NLTK's names for it ("english", "german", "french",
    "spanish", "portuguese", "dutch").  Any other language raises ValueError
    naming the known ones."""
    tokenizer = _tokenizers.get(language)
    if tokenizer is None:
        code = LANGUAGES.get(language)
        if code is None:
            raise ValueError("fullstop has no model for language %r (known: %s)"
                             % (language, ", ".join(sorted(LANGUAGES))))
        tokenizer = _tokenizers[language] = SentenceTokenizer(code)
    return tokenizer.tokenize(text)
