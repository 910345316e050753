#!/usr/bin/env python3
"""Runs fullstop and fullstop-train on bad and extreme inputs and outputs.

  run_matrix.py FULLSTOP FULLSTOP_TRAIN [CASE ...]    (default: every case)
  run_matrix.py --list                               (the case names)

Every case must end with the documented result: either the defined output, or
a message on standard error that names the file (or stream) at fault and the
reason, with a non-zero status.  Never a crash (death by a signal or a
sanitizer report), a hang, a partial model file or silently truncated output.
"""
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

if sys.argv[1:] == ["--list"]:
    FULLSTOP = TRAIN = None
    ONLY = []
else:
    FULLSTOP, TRAIN = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    ONLY = sys.argv[3:]

TEXT = b"Hello world. This is it.\n"
ONE_RECORD = b"1\ttext_2_.\n"

TRAINING_TEXT = b"""He met Mr. Smith today.
It rained.
Dr. Watson arrived at 10 a.m. on Monday.
He had been expected since the previous week.
"Where were you?" asked Mrs. Hudson.
He said nothing; the mail was late.

Prices rose 4.5% in Jan. and fell in Feb.
She wrote: "Come at once." He came.
Is it 1.5 or 1,5?
The answer: neither.
WHO said THAT?
The U.N. did.
"""


def binary_is_sanitized(path):
    with open(path, "rb") as f:
        return b"__asan_init" in f.read()


SANITIZED = FULLSTOP is not None and binary_is_sanitized(FULLSTOP)


class Result:
    def __init__(self, status, out, err):
        self.status, self.out, self.err = status, out, err


def run(argv, cwd, stdin=b"", stdout="pipe", timeout=60, limits=(), env=None):
    """Runs argv in cwd.

    stdin: bytes, a path to open (a file or a folder), or None for a closed
    descriptor 0.
    stdout: "pipe", "closed", or a path to write to (such as /dev/full).
    limits: (resource, value) pairs; SIGXFSZ is ignored so that passing the
    file size limit is a write error, as it is for any other full device.
    """
    def child_setup():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        for which, value in limits:
            resource.setrlimit(which, (value, value))
        if stdin is None:
            os.close(0)
        if stdout == "closed":
            os.close(1)

    in_file = out_file = None
    try:
        if isinstance(stdin, str):
            in_file = os.open(stdin, os.O_RDONLY)
            stdin_arg, data = in_file, None
        elif stdin is None:
            stdin_arg, data = subprocess.DEVNULL, None
        else:
            stdin_arg, data = subprocess.PIPE, stdin
        if stdout == "pipe":
            stdout_arg = subprocess.PIPE
        elif stdout == "closed":
            stdout_arg = subprocess.DEVNULL
        else:
            out_file = open(stdout, "wb")
            stdout_arg = out_file
        proc = subprocess.Popen(argv, cwd=cwd, stdin=stdin_arg, stdout=stdout_arg,
                                stderr=subprocess.PIPE, preexec_fn=child_setup,
                                env=dict(os.environ, **(env or {})))
        try:
            out, err = proc.communicate(data, timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
            raise AssertionError("no result after %d s (hang?)" % timeout)
        return Result(proc.returncode, out or b"", err)
    finally:
        if in_file is not None:
            os.close(in_file)
        if out_file:
            out_file.close()


def check(cond, message):
    if not cond:
        raise AssertionError(message)


def no_crash(r):
    check(r.status >= 0, "killed by signal %d; stderr: %r" % (-r.status, r.err[-2000:]))
    check(b"Sanitizer" not in r.err and b"runtime error:" not in r.err,
          "sanitizer report:\n" + r.err.decode(errors="replace")[-3000:])


def fails_with(r, *patterns, status=None):
    """A failure: non-zero status (or exactly `status`), nothing but the
    message on standard error, matching every pattern."""
    no_crash(r)
    if status is None:
        check(r.status != 0, "status 0, expected a failure; stderr: %r" % r.err)
    else:
        check(r.status == status, "status %d, expected %d; stderr: %r" % (r.status, status, r.err))
    text = r.err.decode(errors="replace")
    for p in patterns:
        check(re.search(p, text), "stderr %r does not match %r" % (text, p))


def succeeds(r, stderr=b""):
    no_crash(r)
    check(r.status == 0, "status %d; stderr: %r" % (r.status, r.err))
    if stderr is not None:
        check(r.err == stderr, "stderr %r, expected %r" % (r.err, stderr))


# An empty model loads no record, which fullstop points out; output and
# status are those of any model.
EMPTY_MODEL_WARNING = b"fullstop: warning: empty.model: no model records loaded; sentences end only at blank lines\n"


def offsets(*spans):
    body = b"".join(b'<sentence start="%d" end="%d"/>\n' % s for s in spans)
    return b"<sentence-list>\n" + body + b"</sentence-list>\n"


def well_formed_offsets(out, size):
    """Offsets output: ascending, non-overlapping spans, the last one ending
    at the end of the input."""
    check(out.startswith(b"<sentence-list>\n") and out.endswith(b"</sentence-list>\n"),
          "output is not a whole sentence list: %r ... %r" % (out[:80], out[-80:]))
    spans = [(int(a), int(b)) for a, b in re.findall(rb'<sentence start="(\d+)" end="(\d+)"/>', out)]
    check(len(spans) == out.count(b"\n") - 2, "a line of the output is not a sentence")
    previous_end = 0
    for start, end in spans:
        check(previous_end <= start <= end, "span %d-%d after %d" % (start, end, previous_end))
        previous_end = end
    check(spans and spans[-1][1] == size, "the last sentence ends at %s, not %d" %
          (spans[-1][1] if spans else None, size))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def leftovers(directory):
    """Temporary files of an all-or-nothing write left behind."""
    return [n for n in os.listdir(directory) if ".tmp-" in n]


# --------------------------------------------------------------------------
# The detector


def detect(d, model_path, text=TEXT, mode=()):
    return run([FULLSTOP, "-m", model_path, *mode], d, stdin=text)


def case_model_missing(d):
    path = os.path.join(d, "missing.model")
    r = detect(d, path)
    fails_with(r, "^%s: No such file or directory\n$" % re.escape(path), status=255)
    check(r.out == b"", "output before the model failed: %r" % r.out)
    check(not os.path.exists(os.path.join(d, "features.def")), "features.def written")


def case_model_dangling_symlink(d):
    link = os.path.join(d, "link.model")
    os.symlink(os.path.join(d, "nowhere", "x.model"), link)
    r = detect(d, link)
    fails_with(r, "^%s: No such file or directory\n$" % re.escape(link), status=255)
    check(r.out == b"", "output: %r" % r.out)


def case_model_directory(d):
    # A directory opens but holds no model: it fails as a missing model does.
    os.mkdir(os.path.join(d, "dir.model"))
    r = detect(d, "dir.model")
    fails_with(r, "^dir\\.model: Is a directory\n$", status=255)
    check(r.out == b"", "output: %r" % r.out)


def case_model_empty(d):
    write(os.path.join(d, "empty.model"), b"")
    r = detect(d, "empty.model")
    succeeds(r, stderr=EMPTY_MODEL_WARNING)
    check(r.out == offsets((0, len(TEXT))), "output: %r" % r.out)


def case_model_malformed_midway(d):
    # The third record would turn the decision round (a later record of a
    # name wins), so loading must really stop at the second line.
    write(os.path.join(d, "bad.model"), ONE_RECORD + b"not a record\n-5\ttext_2_.\n")
    write(os.path.join(d, "good.model"), ONE_RECORD)
    r = detect(d, "bad.model")
    succeeds(r, stderr=None)
    check(re.search(rb"^fullstop: warning: bad\.model:2: .*1 features loaded\n$", r.err),
          "no warning naming the file and line 2: %r" % r.err)
    want = detect(d, "good.model").out
    check(want == offsets((0, 12), (13, 25)), "reference output: %r" % want)
    check(r.out == want, "output %r, expected as with the first record only: %r" % (r.out, want))


def case_model_binary(d):
    rng = random.Random(7)
    write(os.path.join(d, "binary.model"), b"\0" + bytes(rng.randrange(256) for _ in range(20000)))
    r = detect(d, "binary.model")
    succeeds(r, stderr=None)
    check(re.search(rb"^fullstop: warning: binary\.model:1: ", r.err), "warning: %r" % r.err)
    check(r.out == offsets((0, len(TEXT))), "output: %r" % r.out)


def case_model_endless_device(d):
    # The first record does not scan, so loading stops there: the rest of an
    # endless model is never needed.  The limits keep a program that reads
    # on regardless from taking the machine's memory.
    limits, env = (), {}
    if SANITIZED:
        env = {"ASAN_OPTIONS": "allocator_may_return_null=1:max_allocation_size_mb=1024"}
    else:
        limits = ((resource.RLIMIT_AS, 2 << 30),)
    r = run([FULLSTOP, "-m", "/dev/zero"], d, stdin=TEXT, limits=limits, env=env, timeout=30)
    succeeds(r, stderr=None)
    check(re.search(rb"^fullstop: warning: /dev/zero:1: ", r.err), "stderr: %r" % r.err)
    check(r.out == offsets((0, len(TEXT))), "output: %r" % r.out)


def case_input_binary(d):
    # A quarter MiB reaches every byte value in every token position many
    # times over; more only slowed the sanitized run to a minute.
    data = random.Random(11).randbytes(1 << 18)
    write(os.path.join(d, "m"), ONE_RECORD)
    for mode in ((), ("-t",), ("-F",)):
        r = detect(d, "m", text=data, mode=mode)
        succeeds(r)
        if not mode:
            well_formed_offsets(r.out, len(data))
    r = run([FULLSTOP], d, stdin=data)
    succeeds(r)
    check(b"\0" not in read(os.path.join(d, "features.def")), "a NUL byte in a feature name")


def case_input_nul_laden(d):
    data = b"\0A\0B. \0\0C.\n\0\0\n" * 20000 + b"\0"
    write(os.path.join(d, "m"), ONE_RECORD)
    r = detect(d, "m", text=data)
    succeeds(r)
    well_formed_offsets(r.out, len(data))
    r = run([FULLSTOP], d, stdin=data)
    succeeds(r)
    names = read(os.path.join(d, "features.def"))
    check(names and b"\0" not in names, "features.def empty or with a NUL byte")


def case_input_100mb_line(d):
    # One line of 100 MiB, most of it one token, which stands in the window
    # of the only candidate: its feature name is 100 MiB long.
    size = 100 << 20
    path = os.path.join(d, "long.txt")
    with open(path, "wb") as f:
        f.write(b"x y ")
        f.write(b"a" * (size - 9))
        f.write(b". z w")
    write(os.path.join(d, "empty.model"), b"")
    r = run([FULLSTOP, "-m", "empty.model"], d, stdin=path, timeout=300)
    succeeds(r, stderr=EMPTY_MODEL_WARNING)
    check(r.out == offsets((0, size)), "output: %r" % r.out[:300])
    r = run([FULLSTOP], d, stdin=path, timeout=300)
    succeeds(r)
    check(r.out.startswith(b"2\n0 20 ") and r.out.endswith(b"\n1 0\n") and r.out.count(b"\n") == 3,
          "not one context: %r" % r.out[:300])
    names = os.path.getsize(os.path.join(d, "features.def"))
    check(names > size, "features.def has %d bytes, lacks the long name" % names)


def case_input_no_newline(d):
    text = b"One two. Three four. Five six"
    write(os.path.join(d, "m"), ONE_RECORD)
    r = detect(d, "m", text=text)
    succeeds(r)
    check(r.out == offsets((0, 8), (9, 20), (21, 29)), "output: %r" % r.out)
    r = detect(d, "m", text=text, mode=("-t",))
    succeeds(r)
    check(b"tested 2 sites\n" in r.out and b"ntrue_negatives = 0\n" in r.out
          and b"nfalse_positives = 2\n" in r.out, "evaluation: %r" % r.out)
    r = run([FULLSTOP], d, stdin=text)
    succeeds(r)
    check(r.out.count(b"2\n0 20 ") == 2, "training contexts: %r" % r.out)


def case_stdin_directory(d):
    write(os.path.join(d, "m"), ONE_RECORD)
    r = run([FULLSTOP, "-m", "m"], d, stdin=d)
    fails_with(r, r"^fullstop: standard input: Is a directory\n$")
    check(r.out == b"", "output: %r" % r.out)


def case_stdin_closed(d):
    write(os.path.join(d, "m"), ONE_RECORD)
    r = run([FULLSTOP, "-m", "m"], d, stdin=None)
    fails_with(r, r"^fullstop: standard input: Bad file descriptor\n$")


def case_features_def_directory(d):
    os.mkdir(os.path.join(d, "features.def"))
    r = run([FULLSTOP], d, stdin=TEXT)
    fails_with(r, r"^fullstop: features\.def: Is a directory\n$")


def case_features_def_cwd_removed(d):
    # As root, permission bits do not stop a write; a removed folder does.
    gone = os.path.join(d, "gone")
    os.mkdir(gone)
    r = run(["sh", "-c", 'rmdir "$PWD" && exec "$0"', FULLSTOP], gone, stdin=TEXT)
    fails_with(r, r"^fullstop: features\.def: No such file or directory\n$")


def case_features_def_full_device(d):
    os.symlink("/dev/full", os.path.join(d, "features.def"))
    r = run([FULLSTOP], d, stdin=TEXT)
    fails_with(r, r"^fullstop: features\.def: No space left on device\n$")


def distinct_text(size):
    """Text of distinct tokens: a long feature list, a slow write."""
    rng = random.Random(size)
    out = bytearray()
    while len(out) < size:
        out += bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(8)) + b". "
    return bytes(out) + b"\n"


def interrupted_write(argv, d, stdin_path, sig):
    """Runs argv until a temporary file of an all-or-nothing write shows up in
    d, then sends it `sig` (stopped meanwhile, so the write cannot finish
    first).  Returns the Result."""
    def child_setup():
        for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(s, signal.SIG_DFL)  # a background shell may ignore SIGINT
    with open(stdin_path, "rb") as stdin:
        proc = subprocess.Popen(argv, cwd=d, stdin=stdin, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, preexec_fn=child_setup)
    deadline = time.monotonic() + 120
    while not leftovers(d):
        if proc.poll() is not None or time.monotonic() > deadline:
            proc.kill()
            proc.communicate()
            raise AssertionError("no temporary file seen while the run lasted")
        time.sleep(0.0002)
    proc.send_signal(signal.SIGSTOP)
    proc.send_signal(sig)
    proc.send_signal(signal.SIGCONT)
    _, err = proc.communicate(timeout=60)
    return Result(proc.returncode, b"", err)


SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


def case_features_def_signal_during_write(d):
    write(os.path.join(d, "big.txt"), distinct_text(1500000))
    for sig in SIGNALS:
        write(os.path.join(d, "features.def"), b"0\told\n")
        r = interrupted_write([FULLSTOP], d, os.path.join(d, "big.txt"), sig)
        check(r.status == -sig, "status %d after signal %d; stderr %r" % (r.status, sig, r.err))
        check(not leftovers(d), "temporary files left after signal %d: %r" % (sig, leftovers(d)))
        check(read(os.path.join(d, "features.def")) == b"0\told\n", "features.def changed")


def case_features_def_symlink_replaces_target(d):
    write(os.path.join(d, "real.def"), b"0\told\n")
    old_inode = os.stat(os.path.join(d, "real.def")).st_ino
    os.symlink("real.def", os.path.join(d, "features.def"))
    r = run([FULLSTOP], d, stdin=TEXT)
    succeeds(r)
    # Replaced by a rename (a new file), not rewritten in place, where two
    # runs at once could interleave their lists.
    check(os.stat(os.path.join(d, "real.def")).st_ino != old_inode, "the target was written in place")
    check(os.path.islink(os.path.join(d, "features.def")), "the link was replaced")
    check(read(os.path.join(d, "real.def")).startswith(b"0\ttext_0_"), "the target was not written")
    check(not leftovers(d), "temporary files left: %r" % leftovers(d))


def case_features_def_dangling_symlink(d):
    os.mkdir(os.path.join(d, "sub"))
    os.symlink("sub/new.def", os.path.join(d, "features.def"))
    r = run([FULLSTOP], d, stdin=TEXT)
    succeeds(r)
    check(os.path.islink(os.path.join(d, "features.def")), "the link was replaced")
    check(read(os.path.join(d, "sub", "new.def")).startswith(b"0\ttext_0_"), "the target was not created")
    check(not leftovers(d) and not leftovers(os.path.join(d, "sub")), "temporary files left")


def case_memory_distinct_tokens(d):
    # Detection keeps no record for the names the model lacks, only (when the
    # model repeats a name, so growth points matter) a compact set of them,
    # and a small record per distinct token: 3 MB of distinct tokens once
    # took over 200 MB.
    if SANITIZED:
        return  # the sanitizers' shadow memory says nothing about the program's
    write(os.path.join(d, "big.txt"), distinct_text(3000000))
    # A fresh, small interpreter starts the run: a child's peak memory
    # counts its parent's at the fork.
    helper = ("import os, sys\n"
              "pid = os.fork()\n"
              "if pid == 0:\n"
              "    os.dup2(os.open('big.txt', os.O_RDONLY), 0)\n"
              "    os.dup2(os.open(os.devnull, os.O_WRONLY), 1)\n"
              "    os.execv(sys.argv[1], [sys.argv[1], '-m', 'm'])\n"
              "_, status, usage = os.wait4(pid, 0)\n"
              "print(os.waitstatus_to_exitcode(status), usage.ru_maxrss)\n")
    for model, limit_mib in ((ONE_RECORD, 60), (ONE_RECORD * 2, 100)):
        write(os.path.join(d, "m"), model)
        r = run([sys.executable, "-c", helper, FULLSTOP], d)
        check(r.status == 0, "helper failed: %r" % r.err)
        status, maxrss = map(int, r.out.split())
        check(status == 0, "status %d; stderr %r" % (status, r.err))
        check(maxrss <= limit_mib * 1024, "peak memory %d KiB for 3 MB of distinct tokens with model %r" %
              (maxrss, model))


def case_operand_is_not_input(d):
    write(os.path.join(d, "m"), ONE_RECORD)
    write(os.path.join(d, "text.txt"), b"Other text. Here.\n")
    r = run([FULLSTOP, "-m", "m", "text.txt"], d, stdin=TEXT)
    succeeds(r, stderr=b"fullstop: warning: operand 'text.txt' ignored; text is read from standard input\n")
    check(r.out == detect(d, "m").out, "the operand changed the output")


def case_terminal_input_notice(d):
    # Reading a terminal, the run says, once, that it awaits text: with no
    # operand, and when an operand "-" (after a file) names standard input.
    import pty
    write(os.path.join(d, "m"), ONE_RECORD)
    write(os.path.join(d, "first.txt"), b"Zero.\n")
    for args in (["-m", "m"], ["--model=m", "first.txt", "-"]):
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(d)
            os.execv(FULLSTOP, [FULLSTOP] + args)
        os.write(fd, b"One. Two.\n\x04")
        seen = b""
        while True:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        _, status = os.waitpid(pid, 0)
        check(os.waitstatus_to_exitcode(status) == 0, "%r: status %r" % (args, status))
        check(seen.count(b"fullstop: reading text from standard input") == 1, "%r: terminal shows %r" % (args, seen))
        check(b"<sentence-list>" in seen, "%r: no sentences: %r" % (args, seen))


DETECT_MODES = ((), ("-m", "m"), ("-m", "m", "-f"), ("-m", "m", "-F"), ("-m", "m", "-t"))


def case_stdout_closed(d):
    write(os.path.join(d, "m"), ONE_RECORD)
    for mode in DETECT_MODES:
        r = run([FULLSTOP, *mode], d, stdin=TEXT, stdout="closed")
        fails_with(r, r"^fullstop: standard output: Bad file descriptor\n$")


def case_stdout_full(d):
    write(os.path.join(d, "m"), ONE_RECORD)
    for mode in DETECT_MODES:
        r = run([FULLSTOP, *mode], d, stdin=TEXT, stdout="/dev/full")
        fails_with(r, r"^fullstop: standard output: No space left on device\n$")


def case_stdout_file_size_limit(d):
    # Output larger than the buffer, cut short by the file size limit.
    write(os.path.join(d, "m"), ONE_RECORD)
    text = TEXT * 20000
    r = run([FULLSTOP, "-m", "m", "-f"], d, stdin=text, stdout=os.path.join(d, "out"),
            limits=((resource.RLIMIT_FSIZE, 100000),))
    fails_with(r, r"^fullstop: standard output: File too large\n$")


def case_option_without_argument(d):
    # Defined: getopt's message, the option is ignored, so this is training.
    r = run([FULLSTOP, "-m"], d, stdin=TEXT)
    succeeds(r, stderr=None)
    check(re.search(rb"option requires an argument -- 'm'", r.err), "stderr: %r" % r.err)
    check(r.out.startswith(b"2\n") and os.path.exists(os.path.join(d, "features.def")),
          "not a training run: %r" % r.out)


# --------------------------------------------------------------------------
# The trainer


def training_files(d, text=TRAINING_TEXT):
    """Writes d/ctx and d/features.def as fullstop makes them."""
    with open(os.path.join(d, "ctx"), "wb") as out:
        r = subprocess.run([FULLSTOP], cwd=d, input=text, stdout=out, stderr=subprocess.PIPE)
    check(r.returncode == 0, "fullstop failed to make training files: %r" % r.stderr)


def train(d, *args, stdin=b"", stdout="pipe", limits=()):
    return run([TRAIN, *args], d, stdin=stdin, stdout=stdout, limits=limits)


def no_model(d, name="out.model"):
    check(not os.path.exists(os.path.join(d, name)), "a model file was written")
    check(not leftovers(d), "temporary files left: %r" % leftovers(d))


def train_fails(d, args, *patterns, **kw):
    r = train(d, *args, **kw)
    fails_with(r, *[r"^fullstop-train: " + patterns[0]] + list(patterns[1:]))
    check(r.err.count(b"\n") == 1, "more than the one message: %r" % r.err)
    return r


def case_train_contexts_missing(d):
    training_files(d)
    train_fails(d, ["-o", "out.model", "none.ctx"], r"none\.ctx: cannot open: No such file or directory\n$")
    no_model(d)


def case_train_contexts_directory(d):
    training_files(d)
    os.mkdir(os.path.join(d, "dir"))
    train_fails(d, ["-o", "out.model", "dir"], r"dir: cannot read: Is a directory\n$")
    no_model(d)


def case_train_contexts_malformed(d):
    training_files(d)
    lines = read(os.path.join(d, "ctx")).split(b"\n")
    lines[4] = b"7" + lines[4][1:]
    write(os.path.join(d, "bad.ctx"), b"\n".join(lines))
    train_fails(d, ["-o", "out.model", "bad.ctx"], r"bad\.ctx:5: label must be 0 or 1, found 7\n$")
    no_model(d)


def case_train_contexts_truncated(d):
    training_files(d)
    data = read(os.path.join(d, "ctx"))
    write(os.path.join(d, "cut.ctx"), data[: len(data) // 2 + 3])
    train_fails(d, ["-o", "out.model", "cut.ctx"], r"cut\.ctx:\d+: ")
    no_model(d)


def case_train_contexts_binary(d):
    training_files(d)
    rng = random.Random(5)
    write(os.path.join(d, "bin.ctx"), bytes(rng.randrange(256) for _ in range(5000)) + b"\n")
    train_fails(d, ["-o", "out.model", "bin.ctx"], r"bin\.ctx:1: ")
    no_model(d)


def case_train_contexts_empty(d):
    training_files(d)
    write(os.path.join(d, "empty.ctx"), b"")
    train_fails(d, ["-o", "out.model", "empty.ctx"], r"empty\.ctx: no contexts")
    no_model(d)


def case_train_stdin_closed(d):
    training_files(d)
    train_fails(d, ["-o", "out.model"], r"<stdin>: cannot read: Bad file descriptor\n$", stdin=None)
    no_model(d)


def case_train_features_def_missing(d):
    training_files(d)
    os.remove(os.path.join(d, "features.def"))
    train_fails(d, ["-o", "out.model", "ctx"], r"features\.def: cannot open: No such file or directory\n$")
    no_model(d)


def case_train_features_def_directory(d):
    training_files(d)
    os.mkdir(os.path.join(d, "names"))
    train_fails(d, ["-d", "names", "-o", "out.model", "ctx"], r"names: cannot read: Is a directory\n$")
    no_model(d)


def case_train_features_def_malformed(d):
    training_files(d)
    lines = read(os.path.join(d, "features.def")).split(b"\n")
    lines[3] = b"three\tname"
    write(os.path.join(d, "bad.def"), b"\n".join(lines))
    train_fails(d, ["-d", "bad.def", "-o", "out.model", "ctx"], r"bad\.def:4: ")
    no_model(d)


def case_train_features_def_names_the_detector_cannot_read(d):
    # The detector reads a record's name as a C string, after the whitespace
    # that follows the weight: such names would come back as other names.
    training_files(d)
    lines = read(os.path.join(d, "features.def")).split(b"\n")
    for bad, reason in ((b"\vtext_0_He", r"starts with whitespace"), (b"text_0_H\0e", r"contains a NUL byte")):
        changed = list(lines)
        changed[2] = b"2\t" + bad
        write(os.path.join(d, "bad.def"), b"\n".join(changed))
        train_fails(d, ["-d", "bad.def", "-o", "out.model", "ctx"], r"bad\.def:3: feature name .* " + reason)
        no_model(d)


def case_train_features_def_stale(d):
    training_files(d)
    lines = read(os.path.join(d, "features.def")).split(b"\n")
    write(os.path.join(d, "short.def"), b"\n".join(lines[:10]) + b"\n")
    train_fails(d, ["-d", "short.def", "-o", "out.model", "ctx"],
                r"ctx:\d+: feature id \d+ is not defined in short\.def")
    no_model(d)


def case_train_output_full_device(d):
    training_files(d)
    train_fails(d, ["-o", "/dev/full", "ctx"], r"/dev/full: cannot write: No space left on device\n$")


def case_train_output_stdout_full(d):
    training_files(d)
    train_fails(d, ["-o", "-", "ctx"], r"standard output: cannot write: No space left on device\n$",
                stdout="/dev/full")


def case_train_output_stdout_closed(d):
    training_files(d)
    train_fails(d, ["-o", "-", "ctx"], r"standard output: cannot write: Bad file descriptor\n$",
                stdout="closed")


def case_train_output_missing_directory(d):
    training_files(d)
    train_fails(d, ["-o", "nodir/out.model", "ctx"],
                r"nodir/out\.model: cannot create a temporary file beside it: No such file or directory\n$")
    check(not os.path.exists(os.path.join(d, "nodir")), "the folder was created")


def case_train_output_is_directory(d):
    training_files(d)
    os.mkdir(os.path.join(d, "out.model"))
    train_fails(d, ["-o", "out.model", "ctx"], r"out\.model: is a directory\n$")
    check(os.listdir(os.path.join(d, "out.model")) == [], "something was written into the folder")
    check(not leftovers(d), "temporary files left: %r" % leftovers(d))


def case_train_output_file_size_limit(d):
    # The write fails part way (an L2 model has every feature): the old model
    # stays whole and the temporary file goes.
    training_files(d)
    write(os.path.join(d, "out.model"), b"old model\n")
    train_fails(d, ["-s", "l2", "-o", "out.model", "ctx"], r"out\.model: cannot write: File too large\n$",
                limits=((resource.RLIMIT_FSIZE, 2048),))
    check(read(os.path.join(d, "out.model")) == b"old model\n", "the old model was changed")
    check(not leftovers(d), "temporary files left: %r" % leftovers(d))


def case_train_failure_keeps_old_model(d):
    training_files(d)
    write(os.path.join(d, "out.model"), b"old model\n")
    write(os.path.join(d, "bad.ctx"), b"2\n1 1 0 1\n1 0\n")
    train_fails(d, ["-o", "out.model", "bad.ctx"], r"bad\.ctx:3: ")
    check(read(os.path.join(d, "out.model")) == b"old model\n", "the old model was changed")
    check(not leftovers(d), "temporary files left: %r" % leftovers(d))


def case_train_crlf_text_round_trip(d):
    # Text with CRLF line ends gives tokens ending in a carriage return; the
    # trainer must take the names the detector wrote, and the detector must
    # read them back from the model.
    training_files(d, TRAINING_TEXT.replace(b"\n", b"\r\n"))
    check(b"\r\n" in read(os.path.join(d, "features.def")), "no name with a carriage return")
    r = train(d, "-s", "l2", "-o", "out.model", "ctx")
    succeeds(r, stderr=None)
    model = read(os.path.join(d, "out.model"))
    check(b"\r\n" in model, "the model lost the names with a carriage return")
    r = run([FULLSTOP, "-m", "out.model"], d, stdin=TRAINING_TEXT.replace(b"\n", b"\r\n"))
    succeeds(r)


def case_train_cost_overflows(d):
    training_files(d)
    write(os.path.join(d, "out.model"), b"old model\n")
    train_fails(d, ["-c", "1e308", "-o", "out.model", "ctx"], r"the fit failed: its objective is not finite")
    check(read(os.path.join(d, "out.model")) == b"old model\n", "the old model was changed")
    check(not leftovers(d), "temporary files left: %r" % leftovers(d))


def case_train_features_def_from_another_run(d):
    training_files(d)
    os.rename(os.path.join(d, "features.def"), os.path.join(d, "mine.def"))
    training_files(d, TRAINING_TEXT.replace(b"Mr.", b"Sir").replace(b"It rained.", b"Rain fell hard."))
    train_fails(d, ["-d", "mine.def", "-o", "out.model", "ctx"],
                r"ctx:\d+: feature \d+ '.*' \(from mine\.def\) is a second .* name at window position \d: "
                r"the names are not from the same run\n$")
    write(os.path.join(d, "long.def"), b"".join(b"%d\tf%d\n" % (i, i) for i in range(5000)))
    train_fails(d, ["-d", "long.def", "-o", "out.model", "ctx"],
                r"long\.def: lists 5000 features but ctx uses only \d+ of them")
    no_model(d)


def case_train_output_symlink_replaces_target(d):
    training_files(d)
    write(os.path.join(d, "real.model"), b"old model\n")
    os.symlink("real.model", os.path.join(d, "out.model"))
    succeeds(train(d, "-o", "out.model", "ctx"), stderr=None)
    check(os.path.islink(os.path.join(d, "out.model")), "the link was replaced")
    check(read(os.path.join(d, "real.model")) != b"old model\n", "the target was not replaced")
    check(not leftovers(d), "temporary files left: %r" % leftovers(d))


def case_train_output_dangling_symlink(d):
    training_files(d)
    os.mkdir(os.path.join(d, "models"))
    os.symlink("models/new.model", os.path.join(d, "out.model"))
    succeeds(train(d, "-o", "out.model", "ctx"), stderr=None)
    check(os.path.islink(os.path.join(d, "out.model")), "the link was replaced by a file")
    check(b"\t" in read(os.path.join(d, "models", "new.model")), "the target was not created")


def case_train_signal_during_model_write(d):
    # An L2 fit keeps every feature: a long model, a slow write.
    training_files(d, distinct_text(400000))
    for sig in SIGNALS:
        write(os.path.join(d, "out.model"), b"old model\n")
        r = interrupted_write([TRAIN, "-s", "l2", "-e", "1000", "-o", "out.model", "ctx"], d,
                              os.path.join(d, "ctx"), sig)
        check(r.status == -sig, "status %d after signal %d; stderr %r" % (r.status, sig, r.err))
        check(not leftovers(d), "temporary files left after signal %d: %r" % (sig, leftovers(d)))
        check(read(os.path.join(d, "out.model")) == b"old model\n", "the old model was changed")


# --------------------------------------------------------------------------


def main():
    cases = [(name[5:], f) for name, f in sorted(globals().items()) if name.startswith("case_")]
    if FULLSTOP is None:
        print("\n".join(n for n, _ in cases))
        return 0
    if ONLY:
        unknown = set(ONLY) - {n for n, _ in cases}
        if unknown:
            print("no such case: %s" % ", ".join(sorted(unknown)), file=sys.stderr)
            return 2
        cases = [(n, f) for n, f in cases if n in ONLY]
    failed = []
    for name, f in cases:
        d = tempfile.mkdtemp(prefix="fullstop-bad-input-")
        try:
            f(d)
            print("ok   %s" % name)
        except AssertionError as e:
            failed.append(name)
            print("FAIL %s: %s" % (name, e))
        finally:
            shutil.rmtree(d, ignore_errors=True)
    print("%d of %d cases failed" % (len(failed), len(cases)) if failed else "all %d cases pass" % len(cases))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
