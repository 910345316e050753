#!/usr/bin/env python3
"""Runs one whole-program golden case of the detector.

A case is a folder holding:
  args                one command-line argument per line (may be absent; a
                      line holding only "" is an empty argument)
  stdin               bytes for standard input (absent: empty input)
  model, *.model ...  any other input files, copied into the working folder
  expected_stdout     exact bytes expected on standard output
  expected_features.def   exact bytes expected in features.def (optional;
                      "-" as its whole content means the file must not exist)
  expected_status     exit status (optional, default 0)
  expected_stderr     exact bytes expected on standard error (optional;
                      the program path is written as PROG)
  expected_stderr_contains  lines that standard error must contain (optional)
The program runs in a fresh temporary folder that holds the case's input files.
"""
import os
import shutil
import subprocess
import sys
import tempfile

RESERVED = {"args", "stdin", "expected_stdout", "expected_features.def", "expected_status",
            "expected_stderr", "expected_stderr_contains"}


def read(path, default=None):
    if not os.path.exists(path):
        return default
    with open(path, "rb") as f:
        return f.read()


def main():
    prog, case = os.path.abspath(sys.argv[1]), sys.argv[2]
    args_raw = read(os.path.join(case, "args"), b"")
    args = ["" if a == '""' else a for a in args_raw.decode().split("\n") if a != ""]
    stdin = read(os.path.join(case, "stdin"), b"")
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for name in os.listdir(case):
            if name not in RESERVED:
                shutil.copy(os.path.join(case, name), os.path.join(work, name))
        proc = subprocess.run([prog] + args, input=stdin, cwd=work, capture_output=True, timeout=120)
        want_out = read(os.path.join(case, "expected_stdout"), b"")
        if proc.stdout != want_out:
            failures.append("stdout differs:\n--- expected\n%r\n--- got\n%r" % (want_out[:3000], proc.stdout[:3000]))
        status = int(read(os.path.join(case, "expected_status"), b"0"))
        if proc.returncode != status:
            failures.append("exit status %d, expected %d" % (proc.returncode, status))
        want_def = read(os.path.join(case, "expected_features.def"))
        got_def = read(os.path.join(work, "features.def"))
        if want_def is not None:
            if want_def.strip() == b"-":
                if got_def is not None:
                    failures.append("features.def was written")
            elif got_def != want_def:
                failures.append("features.def differs:\n--- expected\n%r\n--- got\n%r" % (want_def[:3000], (got_def or b"")[:3000]))
        want_err = read(os.path.join(case, "expected_stderr"))
        err = proc.stderr.replace(prog.encode(), b"PROG")
        if want_err is not None and err != want_err:
            failures.append("stderr differs:\n--- expected\n%r\n--- got\n%r" % (want_err, err))
        contains = read(os.path.join(case, "expected_stderr_contains"))
        if contains is not None:
            for line in contains.decode().splitlines():
                if line and line.encode() not in err:
                    failures.append("stderr lacks %r; got %r" % (line, err))
    if failures:
        print("FAIL %s\n%s" % (case, "\n".join(failures)))
        sys.exit(1)
    print("ok %s" % case)


if __name__ == "__main__":
    main()
