#!/usr/bin/env python3
"""Inputs an attacker would send, and ordinary inputs of the same shape.

  bench/hostile_inputs.py KIND SIZE_BYTES > FILE

KIND:
  feature-collide  tokens W+W with |W| = 25: in the classic string hash bytes
                   25 positions apart cancel, so every text_P_ name of one
                   position lands in one bucket
  feature-plain    random 50-letter tokens, same count and layout
  word-collide     8-byte tokens whose unkeyed multiplicative hash (the word
                   table's former hash) is one value
  word-plain       random 8-byte tokens, same count and layout
  distinct         "abcdefgh. " records: one distinct token per 10 bytes
  repeated         the same layout with one token throughout (distinct's twin)

Every token stands next to a '.', so it lies in candidate windows.
The output is the same for the same arguments (fixed random seed).
"""
import random
import sys

PUNCT = set(range(33, 48)) | set(range(58, 65)) | set(range(91, 97)) | set(range(123, 127))
SEPARATORS = {0, 9, 10, 32}
LETTERS = b"abcdefghijklmnopqrstuvwxyz"
MUL = 0x9E3779B97F4A7C15
MUL_INVERSE = pow(MUL, -1, 1 << 64)


def word_collisions(rng):
    """8-byte word-class tokens t with ((t ^ (35 << 40)) * MUL) >> 32 fixed:
    35 is the length-and-spacing tag of a standalone 8-byte token."""
    target = 0x5EED
    while True:
        product = (target << 32) | rng.getrandbits(32)
        key = (product * MUL_INVERSE) % (1 << 64)
        token = (key ^ (35 << 40)).to_bytes(8, "little")
        if all(b not in PUNCT and b not in SEPARATORS for b in token):
            yield token


def tokens(kind, rng):
    if kind == "feature-collide":
        while True:
            w = bytes(rng.choice(LETTERS) for _ in range(25))
            yield w + w
    if kind == "feature-plain":
        while True:
            yield bytes(rng.choice(LETTERS) for _ in range(50))
    if kind == "word-collide":
        yield from word_collisions(rng)
    if kind == "repeated":
        while True:
            yield b"abcdefgh"
    if kind in ("word-plain", "distinct"):
        while True:
            yield bytes(rng.choice(LETTERS) for _ in range(8))
    raise SystemExit("unknown kind " + kind)


def main():
    kind, size = sys.argv[1], int(sys.argv[2])
    rng = random.Random(20240611)
    out = bytearray()
    for i, t in enumerate(tokens(kind, rng)):
        if len(out) >= size:
            break
        if kind in ("distinct", "repeated"):
            out += t + b". "
        else:
            out += t + (b" . " if i % 2 else b" ")
        if i % 8 == 7:
            out += b"\n"
    out += b"\n"
    sys.stdout.buffer.write(out)


if __name__ == "__main__":
    main()
