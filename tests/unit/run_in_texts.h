// Random paragraphs for the stream and parallel tests of run-in headings:
// one to forty words each, opening with capitalised words or not, some
// hard-wrapped, so that windows and blocks begin inside paragraphs whose
// first words are candidates only as the whole text counts them.
#ifndef FULLSTOP_TESTS_UNIT_RUN_IN_TEXTS_H
#define FULLSTOP_TESTS_UNIT_RUN_IN_TEXTS_H

#include <iterator>
#include <random>
#include <string>

inline std::string run_in_text(std::mt19937 &rng, int paragraphs) {
  static const char *const kWords[] = {"Merger", "proposed", "However", "the", "jury", "said", "so.",
                                       "Kay",    "Mann",     "07:17",   "AM",  "Will", "you",  "The", "04/26/2001"};
  std::string t;
  for (int p = 0; p < paragraphs; p++) {
    const unsigned n = 1 + rng() % 40;
    for (unsigned w = 0; w < n; w++) {
      t += kWords[rng() % std::size(kWords)];
      t += rng() % 5 == 0 ? "\n" : " ";
    }
    t += "\n\n";
  }
  return t;
}

#endif  // FULLSTOP_TESTS_UNIT_RUN_IN_TEXTS_H
