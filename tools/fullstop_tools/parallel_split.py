"""Split text into sentences on many cores or machines with GNU parallel.

  parallel-split -m MODEL [-F] [--block SIZE] [-j N] [-S LOGIN]... FILE > OUT
  parallel-split -m MODEL [-F] --each --out-dir DIR [-j N] [-S LOGIN]... FILE...

One big FILE: GNU parallel cuts it into blocks of about SIZE bytes that end at
a blank line (--pipepart --recend '\\n\\n'), sends each block on standard input
to `fullstop -m MODEL` on a free core or host, and the outputs are joined in
order: the offsets form (default) with every block's offsets moved by the
block's starting byte, or with -F the bare lines.  The result is byte for byte
what `fullstop -m MODEL [-F] < FILE` prints, for a model of the Unicode text
mode that names no feature twice (the bundled model): in that mode a blank
line ends every sentence and no candidate's window reaches across it, so a
block's sentences do not depend on the text of other blocks.  A classic-mode
model does read across blank lines (a candidate's five-token window spans
them, and the first and last two tokens of every block would lose their
candidacy), and the answer of a name a model repeats depends on all text
read before; such models are refused unless --inexact is given.

Each block reaches fullstop framed by a one-letter paragraph on either side
(the first block only after it), which prints a sentence of its own that is
dropped: so a block's first sentence starts at its first token and its last
ends at its last token, as inside the whole text, and the closing one gives
the block's length.  The text's first sentence then takes what precedes it
and its last what follows it, as in one run; a text without a token is one
sentence if it holds a NUL, else (every line blank) none.

--each: one job per FILE, `fullstop -m MODEL [-F] < FILE > DIR/NAME` (NAME:
the file's base name).  Exact for any model.

-S/--sshlogin passes hosts to parallel (`-S 8/node1 -S node2 -S :`, `:` is
this machine).  Every host needs fullstop (--fullstop PATH) and the model at
the same path; blocks travel over ssh, while --each reads and writes FILE and
DIR on the host, so those need a shared file system.
"""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys

BOM = b"\xef\xbb\xbf"


def fail(message, status=2):
    print("parallel-split: " + message, file=sys.stderr)
    sys.exit(status)


# --- the model, as fullstop loads it -----------------------------------------
# fullstop reads a model's records as fscanf's "%lf\t%[^\n]\n" reads them
# (glibc, C locale), keeps each name up to its first NUL and stops at the
# first record that does not scan.  Which names repeat, and which text mode
# the model declares, must be judged on exactly those names: a name that
# differs from another only after a NUL, or a record that spans lines, is the
# same name to the program.

C_SPACE = b" \t\n\v\f\r"
DIGITS = b"0123456789"
HEX_DIGITS = b"0123456789abcdefABCDEF"


def skip_space(data, i):
    while i < len(data) and data[i] in C_SPACE:
        i += 1
    return i


def scan_weight(data, i):
    """Where %lf's conversion of the number at data[i] ends (whitespace
    already skipped), or None where it fails: glibc's scanner, which takes
    the longest run of the number's characters and converts it with strtod."""
    n = len(data)
    sign = 1 if i < n and data[i] in b"+-" else 0
    i += sign
    if i == n:
        return None
    word = data[i:i + 8].lower()
    if word.startswith(b"n"):
        return i + 3 if word.startswith(b"nan") else None
    if word.startswith(b"i"):
        if not word.startswith(b"inf"):
            return None
        if i + 3 < n and data[i + 3] in b"iI":  # "inf" then "inity" or nothing
            return i + 8 if word == b"infinity" else None
        return i + 3
    start, hexa, digit, exponent, dot = i, False, False, False, False
    if data[i] == ord("0"):
        i += 1
        if i < n and data[i] in b"xX":
            i, hexa = i + 1, True
        else:
            digit = True
    exp_chars = b"pP" if hexa else b"eE"
    while i < n:
        c = data[i]
        if c in DIGITS or (hexa and not exponent and c in HEX_DIGITS):
            digit = True
        elif exponent and data[i - 1] in exp_chars and c in b"+-":
            pass
        elif digit and not exponent and c in exp_chars:
            exponent = dot = True
        elif not dot and c == ord("."):
            dot = True
        else:
            break
        i += 1
    if hexa:  # strtod reads at least the 0 of "0x" once anything follows it
        return i if i > start + 2 else None
    return i if digit else None


def loaded_names(data):
    """The names of the records fullstop loads from model bytes, in order,
    each cut at its first NUL."""
    names, i, n = [], 0, len(data)
    while True:
        i = skip_space(data, i)
        if i == n:
            return names
        i = scan_weight(data, i)
        if i is None:
            return names
        i = skip_space(data, i)
        if i == n:
            return names  # a weight without a name
        newline = data.find(b"\n", i)
        end = n if newline < 0 else newline
        names.append(data[i:end].split(b"\0", 1)[0])
        i = end


TEXT_MODE = b"#text-mode="


def model_problem(path):
    """Whether the model is of the Unicode mode, and why splitting at blank
    lines would not be exact with it (or None)."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        fail("%s: %s (the model must be readable here too)" % (path, e.strerror), 1)
    names = loaded_names(data)
    # The first record naming a mode declares it; a classic model keeps a
    # CR that ends a name, a Unicode-mode one drops it, so names that differ
    # only so count as one (at worst a model is refused that need not be).
    mode = next((name[len(TEXT_MODE):] for name in names if name.startswith(TEXT_MODE)), b"classic")
    mode = mode[:-1] if mode.endswith(b"\r") else mode  # as fullstop reads a CRLF model's records
    if mode != b"unicode":
        if mode != b"classic":
            return False, "%s declares the text mode '%s', which fullstop does not know" % (
                path, mode.decode("utf-8", "replace"))
        return False, "%s is a classic-mode model, whose windows read across blank lines" % path
    seen = set()
    for name in names:
        key = name.rstrip(b"\r")
        if key in seen:
            return True, "%s names %s twice" % (path, name.decode("utf-8", "replace"))
        seen.add(key)
    return True, None


# --- sentence text in the Unicode mode ---------------------------------------
# A sentence's text is its bytes with every run of whitespace as one space and
# none at the end; NULs, zero-width characters and bytes that are not UTF-8
# stay.  Whitespace: ASCII space, tab to CR, and as UTF-8 NEL, NBSP, U+1680,
# U+2000-U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.
WHITESPACE = re.compile(rb"(?:[\t-\r ]|\xc2[\x85\xa0]|\xe1\x9a\x80|\xe2\x80[\x80-\x8a\xa8\xa9\xaf]"
                        rb"|\xe2\x81\x9f|\xe3\x80\x80)+")


def spaced(data):
    return WHITESPACE.sub(b" ", data)


def sentence_text(data):
    text = spaced(data)
    return text[:-1] if text.endswith(b" ") else text


def read_range(path, start, end):
    with open(path, "rb") as f:
        f.seek(start)
        return f.read(end - start)


# --- running the jobs --------------------------------------------------------

def parallel_base(args):
    command = ["parallel", "--halt", "now,fail=1", "-k"]
    if args.jobs:
        command += ["-j", args.jobs]
    for login in args.sshlogin:
        command += ["-S", login]
    return command


def run_each(args):
    if not args.out_dir:
        fail("--each needs --out-dir DIR")
    os.makedirs(args.out_dir, exist_ok=True)
    form = " -F" if args.text_only else ""
    job = "%s -m %s%s < {} > %s/{/}" % (shlex.quote(args.fullstop), shlex.quote(args.model), form,
                                        shlex.quote(args.out_dir))
    return subprocess.run(parallel_base(args) + [job, ":::"] + args.files).returncode


# The job, run by a shell on some host: frames the block and splits it.  {#}
# is the block's number (1: the file's start, sent without the opening
# frame).  It prints "B FRAME" (the bytes of the opening frame) and then
# fullstop's output: offsets, or TSV records (start, end, text) for -F, whose
# offsets the script needs for the text's first and last sentences.
JOB = r"""if [ {#} -eq 1 ]; then p=0; else p=3; fi; echo "B $p"
{ [ $p -eq 0 ] || printf 'X\n\n'; cat; printf '\n\nX'; } | %(fullstop)s -m %(model)s %(form)s"""

OFFSETS = re.compile(rb'<sentence start="(\d+)" end="(\d+)"/>$')
TSV_ESCAPE = re.compile(rb"\\(.)")
TSV_CHARS = {b"\\": b"\\", b"t": b"\t", b"n": b"\n", b"r": b"\r"}


def job_sentences(p, text_only):
    """(start, end, text) of every sentence of the blocks, by the file's
    offsets, without the framing sentences (text is None in the offsets
    form), then ("length", the blocks' length, None).  Exits with parallel's
    status if a job failed."""
    base, frame, held = 0, None, None
    for line in p.stdout:
        if line.startswith(b"B "):
            if held is not None:  # the previous block's closing sentence: its length
                base += held[1] - 3 - frame
            frame, held = int(line[2:]), None
            continue
        if text_only:
            start, end, text = line.rstrip(b"\n").split(b"\t", 2)
            sentence = (int(start), int(end), TSV_ESCAPE.sub(lambda m: TSV_CHARS[m.group(1)], text))
        else:
            match = OFFSETS.match(line)
            if match is None:
                continue  # <sentence-list> and its end
            sentence = (int(match.group(1)), int(match.group(2)), None)
        if held is not None and held[0] >= frame:  # not the opening frame's sentence
            yield base + held[0] - frame, base + held[1] - frame, held[2]
        held = sentence
    if held is not None:
        base += held[1] - 3 - frame
    status = p.wait()
    if status != 0:
        sys.stdout.flush()
        sys.exit(status)
    yield "length", base, None


def whole_text_sentences(sentences, path, size, head):
    """The sentences of one run over the whole file, from the blocks': the
    first takes the bytes before it, the last those after it."""
    first, held = True, None
    for start, end, text in sentences:
        if start == "length":
            if end != size:
                fail("blocks add up to %d bytes, not the file's %d" % (end, size), 1)
            break
        if first:  # the text's first sentence takes what precedes it
            first = False
            if start > head and text is not None:
                text = spaced(read_range(path, head, start)) + text
            start = head
        if held is not None:
            yield held
        held = (start, end, text)
    if held is None:
        # No token: one sentence of the bytes after a byte order mark, unless
        # every line is blank (no NUL), which makes none.
        rest = read_range(path, head, size)
        if b"\0" in rest:
            yield head, size, sentence_text(rest)
        return
    start, end, text = held
    if end < size and text is not None:
        text += sentence_text(b"X" + read_range(path, end, size))[1:]
    yield start, size, text


def run_unicode_blocks(args, path, size, head):
    form = "--format=tsv" if args.text_only else ""
    job = JOB % {"fullstop": shlex.quote(args.fullstop), "model": shlex.quote(args.model), "form": form}
    if size > 0:
        command = parallel_base(args) + ["--pipepart", "-a", path, "--block", args.block,
                                         "--recend", r"\n\n", job]
        sentences = job_sentences(subprocess.Popen(command, stdout=subprocess.PIPE), args.text_only)
    else:
        sentences = [("length", 0, None)]  # parallel would start no job
    sentences = whole_text_sentences(sentences, path, size, head)
    out = sys.stdout.buffer
    if args.text_only:
        for _, _, text in sentences:
            out.write(text + b"\n")
        return 0
    out.write(b"<sentence-list>\n")
    for start, end, _ in sentences:
        out.write(b'<sentence start="%d" end="%d"/>\n' % (start, end))
    out.write(b"</sentence-list>\n")
    return 0


# The classic mode (--inexact): no framing, since there a one-letter
# paragraph would join the sentence after it; each block is read as a text
# of its own, and its last sentence ends at its end.
CLASSIC_JOB = r"""%(fullstop)s -m %(model)s%(form)s | %(filter)s"""
CLASSIC_OFFSETS_FILTER = r"""awk 'match($0, /start="[0-9]+" end="[0-9]+"/) {
  split(substr($0, RSTART, RLENGTH), a, "\""); n++; s[n] = a[2]; e[n] = a[4] }
END { for (i = 1; i <= n; i++) print "S", s[i], e[i]; print "L", e[n] }'"""


def run_classic_blocks(args, path, size, head):
    form = " -F" if args.text_only else ""
    if size == 0:  # parallel would start no job
        with open(path, "rb") as f:
            return subprocess.run([args.fullstop, "-m", args.model] + (["-F"] if form else []),
                                  stdin=f).returncode
    fill = {"fullstop": shlex.quote(args.fullstop), "model": shlex.quote(args.model), "form": form}
    job = CLASSIC_JOB % dict(fill, filter="cat" if args.text_only else CLASSIC_OFFSETS_FILTER)
    command = parallel_base(args) + ["--pipepart", "-a", path, "--block", args.block,
                                     "--recend", r"\n\n", job]
    if args.text_only:
        return subprocess.run(command).returncode
    p = subprocess.Popen(command, stdout=subprocess.PIPE)
    out = sys.stdout.buffer
    out.write(b"<sentence-list>\n")
    base, held = 0, None
    for line in p.stdout:
        kind, *numbers = line.split()
        if kind == b"L":
            base += int(numbers[0])
            continue
        start, end = base + int(numbers[0]), base + int(numbers[1])
        if held is None:  # the text's first sentence takes what precedes it
            start = head
        else:
            out.write(b'<sentence start="%d" end="%d"/>\n' % held)
        held = (start, end)
    status = p.wait()
    if held is not None:  # the last sentence takes the trailing whitespace
        out.write(b'<sentence start="%d" end="%d"/>\n' % (held[0], size))
    out.write(b"</sentence-list>\n")
    if status == 0 and base != size:
        fail("blocks add up to %d bytes, not the file's %d" % (base, size), 1)
    return status


def run_blocks(args):
    if len(args.files) != 1:
        fail("give one FILE (or --each for one job per file)")
    path = args.files[0]
    unicode_mode, problem = model_problem(args.model)
    if problem and not args.inexact:
        fail(problem + "; cutting at blank lines would not be exact (--inexact to go on, or --each)")
    try:
        size = os.path.getsize(path)
        with open(path, "rb") as f:
            head = 3 if f.read(3) == BOM else 0
    except OSError as e:
        fail("%s: %s" % (path, e.strerror), 1)
    if unicode_mode:
        return run_unicode_blocks(args, path, size, head)
    return run_classic_blocks(args, path, size, head)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog=__doc__.split("\n\n", 1)[1])
    ap.add_argument("-m", "--model", required=True, help="model file (same path on every host)")
    ap.add_argument("-F", "--text-only", action="store_true", help="bare lines instead of offsets")
    ap.add_argument("--block", default="20M", help="block size for one big file (parallel's --block)")
    ap.add_argument("-j", "--jobs", help="jobs per host (parallel's -j)")
    ap.add_argument("-S", "--sshlogin", action="append", default=[], help="host for parallel (repeatable)")
    ap.add_argument("--fullstop", default="fullstop", help="the fullstop program on the hosts")
    ap.add_argument("--each", action="store_true", help="one job per FILE, output in --out-dir")
    ap.add_argument("--out-dir", help="with --each: where DIR/NAME goes")
    ap.add_argument("--inexact", action="store_true",
                    help="cut at blank lines even when the model reads across them")
    ap.add_argument("files", nargs="+", metavar="FILE")
    args = ap.parse_args()
    if shutil.which("parallel") is None:
        fail("GNU parallel is not installed (Debian: apt-get install parallel)", 1)
    try:
        status = run_each(args) if args.each else run_blocks(args)
    except BrokenPipeError:  # the reader went away (| head): no traceback
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        status = 1
    sys.exit(status)

