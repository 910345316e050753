#!/usr/bin/env python3
"""The house's layout holds: the includes among src/'s files point down and
form no circle, and no file there grows past 800 lines.

The core's rooms (src/core/*) are layered in the order the data flows, over
base: base, text, tokens, model, decide, render, run.  A room includes its
own files and those of the rooms below it, never one above; the core
includes nothing of the programs (src/cli), the C API (src/api) or the
trainer (src/train); the C API and the trainer build on the core alone.

Usage: source_layout_test.py SOURCE_DIR
"""
import os
import re
import sys

LAYERS = ["base", "text", "tokens", "model", "decide", "render", "run"]
ALLOWED = {  # what a top-level folder of src/ may include besides itself
    "core": set(),
    "api": {"core"},
    "train": {"core"},
    "cli": {"core", "train"},
    "hash": set(),
}
MAX_LINES = 800
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def room(path):
    """("core", "tokens") for src/core/tokens/x.h, ("cli", None) for src/cli/x.cpp."""
    parts = path.split("/")
    if parts[0] == "core":
        return "core", parts[1]
    return parts[0], None


def main():
    src = os.path.join(sys.argv[1], "src")
    files = {}
    for folder, _, names in os.walk(src):
        for name in names:
            if name.endswith((".h", ".cpp", ".inc")):
                path = os.path.relpath(os.path.join(folder, name), src)
                with open(os.path.join(src, path), encoding="utf-8") as f:
                    files[path] = f.read()
    problems = []
    graph = {}
    for path, text in sorted(files.items()):
        lines = text.count("\n")
        if lines > MAX_LINES:
            problems.append("%s: %d lines (at most %d)" % (path, lines, MAX_LINES))
        top, layer = room(path)
        edges = []
        for target in INCLUDE.findall(text):
            if target in ("version.h",) or target.startswith("fullstop/"):
                continue  # generated, or the public headers
            resolved = target if target in files else os.path.normpath(os.path.join(os.path.dirname(path), target))
            if resolved not in files:
                problems.append("%s includes %s, which is not in src/" % (path, target))
                continue
            edges.append(resolved)
            to_top, to_layer = room(resolved)
            if to_top != top and to_top not in ALLOWED.get(top, set()):
                problems.append("%s (%s) includes %s (%s)" % (path, top, resolved, to_top))
            if top == to_top == "core" and LAYERS.index(to_layer) > LAYERS.index(layer):
                problems.append("%s (core/%s) includes %s, of core/%s above it" % (path, layer, resolved, to_layer))
        graph[path] = edges
    # A circle of includes: depth-first search with colours.
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in graph.get(node, []):
            if state.get(nxt) == "open":
                problems.append("include circle: " + " -> ".join(trail[trail.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])
    if problems:
        print("\n".join(problems))
        return 1
    print("ok: %d files" % len(files))
    return 0


if __name__ == "__main__":
    sys.exit(main())
