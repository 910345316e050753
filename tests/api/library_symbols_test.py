#!/usr/bin/env python3
"""Only fullstop_ and fullstop:: names leave the library.

libfullstop.a: every defined global symbol is a fullstop_ function, names
something of namespace fullstop (its functions and templates' instances, and
the vtables, type information and guard variables of its types), is a weak
instance of a standard library template that the library's code
instantiates, or is the compiler's reference to a type's information for
exception handling (DW.ref.).  Hidden visibility does not keep a name out of
a static library, so a global Input or die() would meet the program's own
there.  libfullstop.so: the dynamic symbols it defines are the C API's alone
(and the version node of its version script).

Usage: library_symbols_test.py LIBFULLSTOP.a LIBFULLSTOP.so
"""
import re
import subprocess
import sys

OURS = ("fullstop::", "vtable for fullstop::", "typeinfo for fullstop::", "typeinfo name for fullstop::",
        "guard variable for fullstop::", "VTT for fullstop::", "construction vtable for ")
STANDARD = ("std::", "__gnu_cxx::", "void std::", "bool std::", "char* std::", "char const* std::",
            "unsigned long std::", "long std::", "int std::", "double std::", "vtable for std::",
            "typeinfo for std::", "typeinfo name for std::", "guard variable for std::")

# The same by the mangled name: a name in std:: or __gnu_cxx:: (whatever its
# return type reads as once demangled).
STANDARD_MANGLED = re.compile(r"_Z(N[KVrRO]*)?(St|9__gnu_cxx)")
# <new>'s inline placement new and delete, out of line in an unoptimised build.
PLACEMENT = ("_ZnwmPv", "_ZnamPv", "_ZdlPvS_", "_ZdaPvS_")


def symbols(args):
    out = subprocess.run(["nm"] + args, check=True, capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1] not in ("U", "w", "v"):
            found.append((parts[1], parts[2]))
    return found


def entity(readable):
    """The qualified name a demangled symbol defines, without its return type,
    parameters and template arguments: "fullstop::core::f" for
    "void fullstop::core::f<true>(int)"."""
    depth, cut = 0, len(readable)
    for i, c in enumerate(readable):
        if c == "<":
            depth += 1
        elif c == ">":
            depth -= 1
        elif c == "(" and depth == 0:
            cut = i
            break
    head = readable[:cut]
    while True:
        stripped = re.sub(r"<[^<>]*>", "", head)
        if stripped == head:
            break
        head = stripped
    return head.split(" ")[-1]


def demangle(names):
    if not names:
        return []
    out = subprocess.run(["c++filt"], input="\n".join(names), check=True, capture_output=True, text=True)
    return out.stdout.splitlines()


def main():
    static, shared = sys.argv[1], sys.argv[2]
    bad = []
    found = [(kind, name) for kind, name in symbols(["-g", "--defined-only", static]) if kind != "N"]
    for (kind, name), readable in zip(found, demangle([n for _, n in found])):
        if name.startswith("fullstop_") or readable.startswith(OURS) or entity(readable).startswith(("fullstop::",
                                                                                                   "fullstop_")):
            continue
        if name.startswith("DW.ref."):
            continue
        # A weak instance of a standard template (a vector of our records).
        # A weak instance of a standard template (a vector of our records;
        # an unoptimised build keeps many more of them out of line).
        if kind in ("W", "V", "u") and (readable.startswith(STANDARD) or STANDARD_MANGLED.match(name)
                                        or name in PLACEMENT):
            continue
        bad.append("%s %s  (%s)" % (kind, name, readable))
    for kind, name in symbols(["-D", "--defined-only", shared]):
        if not name.startswith("fullstop_") and not (kind == "A" and name.startswith("FULLSTOP_")):
            bad.append("libfullstop.so exports %s %s" % (kind, name))
    if bad:
        print("names outside fullstop_ and fullstop:: in the library:\n  " + "\n  ".join(sorted(set(bad))))
        return 1
    print("ok: %d global symbols in %s" % (len(found), static))
    return 0


if __name__ == "__main__":
    sys.exit(main())
