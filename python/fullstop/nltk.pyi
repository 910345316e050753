from typing import Dict, Iterator, List, Optional, Tuple, Union
import os

from nltk.tokenize.api import TokenizerI

from . import Splitter

LANGUAGES: Dict[str, str]

class SentenceTokenizer(TokenizerI):
    splitter: Splitter
    def __init__(self, model: Optional[Union[str, os.PathLike[str], Splitter]] = ...) -> None: ...
    def span_tokenize(self, s: str) -> Iterator[Tuple[int, int]]: ...
    def tokenize(self, s: str) -> List[str]: ...

def sent_tokenize(text: str, language: str = ...) -> List[str]: ...
