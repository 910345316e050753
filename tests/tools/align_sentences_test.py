#!/usr/bin/env python3
"""Tests for bench/align_sentences.py: printed sentences mapped back to byte
offsets when the text has CRLF line ends or typographic quotes, which is how
the peers are scored on the restyled Brown copies."""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # no __pycache__ left in bench/
sys.path.insert(0, os.path.join(HERE, "..", "..", "bench"))
from align_sentences import align  # noqa: E402


class Align(unittest.TestCase):
    def test_crlf_text(self):
        text = b"One line\r\nwrapped. Two.\r\n\r\nThree.\r\n"
        spans, skipped = align(text, [b"One line wrapped.", b"Two.", b"", b"Three."])
        self.assertEqual(spans, [(0, 18), (19, 23), (27, 33)])
        self.assertEqual(skipped, 0)

    def test_crlf_in_printed_lines(self):
        # A splitter that keeps the CR prints it at the end of its lines.
        text = b"One.\r\nTwo.\r\n"
        spans, skipped = align(text, b"One.\r\nTwo.\r\n\r\n".split(b"\n"))
        self.assertEqual(spans, [(0, 4), (6, 10)])
        self.assertEqual(skipped, 0)

    def test_typographic_quotes_are_bytes_of_the_words(self):
        text = "\u201cGo home.\u201d It\u2019s late.\n".encode("utf-8")
        spans, _ = align(text, ["\u201cGo home.\u201d".encode("utf-8"),
                                "It\u2019s late.".encode("utf-8")])
        self.assertEqual([text[a:b].decode("utf-8") for a, b in spans],
                         ["\u201cGo home.\u201d", "It\u2019s late."])

    def test_word_missing_from_the_text(self):
        with self.assertRaises(ValueError):
            align(b"One. Two.", [b"One.", b"Three."])


if __name__ == "__main__":
    unittest.main()
