"""fullstop as an NLTK sentence tokenizer.

Code written for nltk.sent_tokenize or Punkt switches with one line:

    from fullstop.nltk import sent_tokenize      # instead of nltk's
    tokenizer = fullstop.nltk.SentenceTokenizer()  # instead of PunktSentenceTokenizer()
"""

from typing import Iterator, List, Optional, Tuple

from nltk.tokenize.api import TokenizerI

from . import Splitter

__all__ = ["SentenceTokenizer", "sent_tokenize"]


class SentenceTokenizer(TokenizerI):
    """NLTK's TokenizerI over a fullstop Splitter.

    `model` is a model path, a Splitter, or None for the bundled English
    model.  Spans are stripped of surrounding whitespace and empty sentences
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


_default: Optional[SentenceTokenizer] = None


def sent_tokenize(text: str, language: str = "english") -> List[str]:
    """Like nltk.sent_tokenize, with the bundled English model (`language`
    is accepted for compatibility; only English is bundled)."""
    global _default
    if language != "english":
        raise ValueError(f"fullstop bundles an English model only, not {language!r}")
    if _default is None:
        _default = SentenceTokenizer()
    return _default.tokenize(text)
