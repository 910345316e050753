// Random markdown for the stream and parallel tests: fenced blocks (closed,
// unclosed, of backticks and tildes, indented), inline code spans and lone
// backticks among sentences, line breaks and blank lines, so that windows
// and blocks are cut inside code and around it.
#ifndef FULLSTOP_TESTS_UNIT_MARKDOWN_TEXTS_H
#define FULLSTOP_TESTS_UNIT_MARKDOWN_TEXTS_H

#include <iterator>
#include <random>
#include <string>

inline std::string markdown_text(std::mt19937 &rng, size_t pieces) {
  static const char *const kParts[] = {
      "\n```\n", "\n~~~\n", "\n````sh\n", "\n  ```\n", "```", "`", "``", "`a. b`", " `x` ", "It`s",
      "\n",      "\n",      "\n\n",       "\r\n",      " ",   " ", "The cat sat.", "Go!", "e.g.",  "(",
      ")",       "*",       "1.",         "Run this:", "ls -l. rm x.", "\xE2\x80\xA8", "\xC2\x85", "~"};
  std::string t;
  std::uniform_int_distribution<size_t> pick(0, std::size(kParts) - 1);
  for (size_t i = 0; i < pieces; i++) t += kParts[pick(rng)];
  return t;
}

#endif  // FULLSTOP_TESTS_UNIT_MARKDOWN_TEXTS_H
