"""fullstop: fast sentence-boundary detection.

    >>> import fullstop
    >>> fullstop.Splitter().split("Hello there. How are you?")
    ['Hello there.', 'How are you?']

A Splitter holds one model, loaded once and never changed: share it between
threads (splitting releases the GIL), or pickle it to other processes (the
pickle carries the model's bytes, so unpickling reads no file).
"""

import os
import warnings
from typing import Iterable, Iterator, List, Optional, Tuple, Union

from . import _fullstop
from ._version import __version__

__all__ = ["Splitter", "ModelWarning", "AdaptError", "adapt", "default_model_path", "find_model",
           "model_search_path", "__version__"]


class ModelWarning(UserWarning):
    """A model file stopped loading early: the features before the bad record are used."""


# The bundled models ship inside the package, beside this file.
_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))


def default_model_path() -> str:
    """Where the bundled English model (en.model, sentences ending where a
    reader ends them) lives inside the package.  The Brown-convention model,
    en-brown.model (sentences ending at ';' and ':' too), and the German,
    French, Spanish, Portuguese and Dutch ones (de, fr, es, pt, nl) lie
    beside it."""
    return os.path.join(_PACKAGE_DIR, "en.model")


def find_model(name: str) -> str:
    """The file a model name ("en", "de", "en-brown") names, as `fullstop
    --model NAME` and the C library find it: a name holding a slash or
    ending in ".model" is a path and is returned as it is; any other NAME is
    NAME.model in the first folder of model_search_path() that holds one.
    Raises FileNotFoundError, naming the folders searched, when none does."""
    # The package's own models come before the library's build-time folder:
    # they are the ones this build was made and tested with.
    return _fullstop.find_model(name, _PACKAGE_DIR)


def model_search_path() -> List[str]:
    """The folders find_model searches, in order: those of
    FULLSTOP_MODEL_PATH (colon-separated), then the package's own folder
    (and the library's data folder, when it was built with one)."""
    joined = _fullstop.model_search_path(_PACKAGE_DIR)
    return joined.split(":") if joined else []


class Splitter:
    """Splits text into sentences with one model.

    Splitter() uses the bundled English model; Splitter("de") the model of
    that name (see find_model: "en", "en-brown", "de", "fr", "es", "pt",
    "nl", or a NAME.model of FULLSTOP_MODEL_PATH); Splitter(path) any model
    file (a str that is an existing file is taken as one, as the program
    takes it); Splitter.from_bytes(data) the bytes of one.  The text mode (classic or
    unicode) is the one the model declares.  A model file that cannot be
    opened raises FileNotFoundError or another OSError; one whose records stop
    loading early warns with ModelWarning, as the program does.
    """

    __slots__ = ("_model", "_data", "_name")

    def __init__(self, model: Optional[Union[str, os.PathLike]] = None) -> None:
        if model is None:
            path = default_model_path()
        elif isinstance(model, str) and not os.path.isfile(model):
            path = find_model(model)
        else:
            path = os.fspath(model)
        with open(path, "rb") as f:
            data = f.read()
        self._setup(data, os.fsdecode(path), warn=True)

    @classmethod
    def from_bytes(cls, data: bytes, name: str = "model") -> "Splitter":
        """A splitter from the bytes of a model file; `name` labels its warnings."""
        self = cls.__new__(cls)
        self._setup(bytes(data), name, warn=True)
        return self

    def _setup(self, data: bytes, name: str, warn: bool) -> None:
        self._data = data
        self._name = name
        self._model = _fullstop.Model.parse(data)
        message = self.warning
        if warn and message is not None:
            warnings.warn(message, ModelWarning, stacklevel=3)

    # The pickle holds the model's bytes and text mode; loading it reads no
    # file and does not repeat a warning the original already gave.
    def __getstate__(self):
        return {"data": self._data, "name": self._name, "text_mode": self.text_mode}

    def __setstate__(self, state) -> None:
        self._setup(state["data"], state["name"], warn=False)
        if self.text_mode != state["text_mode"]:
            raise ValueError("pickled splitter: the model's text mode does not match")

    def __reduce__(self):
        return (_unpickle, (self.__getstate__(),))

    def __repr__(self) -> str:
        return f"Splitter({self._name!r}, text_mode={self.text_mode!r})"

    @property
    def text_mode(self) -> str:
        """"unicode" or "classic": the text mode the model declares."""
        return "unicode" if self._model.unicode else "classic"

    @property
    def name(self) -> str:
        """The model's file name (or the name given to from_bytes)."""
        return self._name

    @property
    def model_bytes(self) -> bytes:
        """The bytes of the model file."""
        return self._data

    @property
    def warning(self) -> Optional[str]:
        """Why loading stopped early, or None."""
        message = self._model.warning
        # The library names a model from bytes "model"; the program names the file.
        if message is not None and message.startswith("model:"):
            message = self._name + message[len("model"):]
        return message

    def spans(self, text: Union[str, bytes], jobs: int = 1) -> List[Tuple[int, int]]:
        """(start, end) of each sentence, in order.

        For a str, character indices into it; for bytes (or any bytes-like
        object), byte offsets.  The sentences are those `fullstop -m MODEL`
        prints for the UTF-8 encoding of the text (a lone surrogate, which
        UTF-8 cannot hold, is encoded as its three bytes, "surrogatepass").
        Empty or blank text (whitespace and zero-width characters only) has
        no sentence with a model of the Unicode text mode (the bundled ones):
        spans("") == []; a classic-mode model gives it one empty sentence,
        (0, 0), as the program prints.

        jobs: threads to split a long text on (0: every CPU), as
        `fullstop --jobs`; the spans are the same for any number.

        Text of any length is split: past 2 GiB (2147483583 bytes) it is
        read in windows of whole lines, as the program reads a stream, with
        the same spans.  Only a single line longer than that raises
        ValueError ("input larger than 2147483583 bytes in one piece").
        """
        return self._model.spans(text, _jobs(jobs))

    def split(self, text: Union[str, bytes], jobs: int = 1) -> List:
        """The sentences of text, stripped, without empty ones (jobs: as for
        spans).  A str gives str; any bytes-like object gives bytes (a
        bytearray, bytearrays).

        Each piece is the text's own slice: a line break inside a sentence
        stays in it, where `fullstop -F` prints every run of whitespace as
        one space.  text_lines gives the -F form byte for byte.
        """
        if isinstance(text, (str, bytes)):
            return self._model.split(text, _jobs(jobs))
        view = text if isinstance(text, memoryview) else None
        pieces = ((bytes(view[a:b]) if view is not None else text[a:b]).strip()
                  for a, b in self._model.spans(text, _jobs(jobs)))
        return [s for s in pieces if s]

    def split_lines(self, lines: Iterable[str]) -> Iterator[str]:
        """The sentences of split("".join(lines)), yielded as they are decided.

        The strings are joined as given (keep their line ends) and split as
        a stream: a sentence is yielded once the lines after it settle it,
        without waiting for the end of the input.
        """
        stream = self._model.stream()
        pending = bytearray()  # the bytes from stream offset `base` on
        base = 0
        for chunk in lines:
            if not isinstance(chunk, str):
                raise TypeError(f"split_lines: expected str, got {type(chunk).__name__}")
            data = chunk.encode("utf-8", "surrogatepass")
            pending += data
            base = yield from self._decided(stream.feed(data) + stream.pump(), pending, base)
        yield from self._decided(stream.finish(), pending, base)

    @staticmethod
    def _decided(spans, pending: bytearray, base: int):
        """Yields the sentences of decided byte spans, and returns the new
        base once the bytes before the last one's end are dropped."""
        for a, b in spans:
            s = bytes(pending[a - base:b - base]).decode("utf-8", "surrogatepass").strip()
            if s:
                yield s
        if spans:
            end = spans[-1][1]
            del pending[:end - base]
            base = end
        return base

    def text_lines(self, data: bytes, jobs: int = 1) -> bytes:
        """What `fullstop -m MODEL -F` writes for these bytes: a sentence a line."""
        return self._model.text_lines(bytes(data), _jobs(jobs))


_MAX_JOBS = 2**31 - 1  # the C int the library takes; it uses at most 1024


def _jobs(jobs: int) -> int:
    """jobs as the library takes it, or ValueError naming it."""
    if not isinstance(jobs, int):
        raise TypeError(f"jobs must be an int, not {type(jobs).__name__}")
    if not 0 <= jobs <= _MAX_JOBS:
        raise ValueError(f"jobs must be from 0 (every CPU) to {_MAX_JOBS}, not {jobs}")
    return jobs


def _unpickle(state) -> Splitter:
    self = Splitter.__new__(Splitter)
    self.__setstate__(state)
    return self


class AdaptError(RuntimeError):
    """fullstop-adapt refused its input or failed; the message is its own."""


def _adapt_command() -> List[str]:
    """fullstop-adapt: $FULLSTOP_ADAPT, an installed one, or the checkout's."""
    import shutil
    from ._version import SOURCE_TREE

    found = os.environ.get("FULLSTOP_ADAPT") or shutil.which("fullstop-adapt")
    if not found:
        script = os.path.join(SOURCE_TREE, "scripts", "adapt-model")
        if os.path.isfile(script):
            found = script
    if not found:
        raise AdaptError("fullstop-adapt not found: install the fullstop programs or set FULLSTOP_ADAPT")
    return [found]


def adapt(abbreviations: Optional[Iterable[str]] = None,
          add: Optional[Iterable[Union[str, Tuple[str, int]]]] = None,
          out: Optional[str] = None, seed: int = 1,
          trainer_options: Iterable[str] = (), base: str = "en") -> "Splitter":
    """Trains a model like a bundled one, taught your domain, and returns its Splitter.

    base: the bundled model to adapt, "en" (sentences end where a reader
    ends them) or "en-brown" (at ';' and ':' too, as the Brown Corpus ends
    them); abbreviations: entries such as "v.", "et al.", "Sav. & Loan Assn." (each
    ending in a period), as lines of an abbreviation list: "v. [inside]" marks
    an entry that never ends a sentence, and once any entry is marked the
    others are taken to be able to end one (see fullstop-adapt --help);
    add: sentence-per-line files of your own, as paths or (path, weight)
    pairs; out: where to keep the model (default: a temporary file, read
    into the Splitter and removed).  Runs fullstop-adapt, which
    needs the Brown data (prepared once and cached) and the fullstop programs.
    A malformed entry raises AdaptError with fullstop-adapt's message.
    """
    import subprocess
    import tempfile

    with tempfile.TemporaryDirectory(prefix="fullstop-adapt.") as work:
        cmd = _adapt_command() + ["--base", base, "--seed", str(seed)]
        if abbreviations is not None:
            path = os.path.join(work, "domain.abbrev")
            with open(path, "w", encoding="utf-8") as f:
                for entry in abbreviations:
                    f.write(entry.strip() + "\n")
            cmd += ["--abbreviations", path]
        for item in add or ():
            path, weight = (item, 1) if isinstance(item, str) else item
            cmd += ["--add", "%s:%d" % (os.fspath(path), weight)]
        target = out if out is not None else os.path.join(work, "adapted.model")
        cmd += list(trainer_options) + [target]
        done = subprocess.run(cmd, capture_output=True, text=True)
        if done.returncode != 0:
            raise AdaptError(done.stderr.strip() or "fullstop-adapt failed (status %d)" % done.returncode)
        with open(target, "rb") as f:
            return Splitter.from_bytes(f.read())
