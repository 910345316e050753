// List labels: "2." and "b)" and "iv." that open a list item.
//
// A token of list-label shape that a closer (".", ")" or ".)") ending its
// word follows is a label in list position when it opens its line, follows
// ":" or a bullet, or continues the sequence of a label earlier on its line
// ("1." ... "2.").  Such a token interns as a word of its own (type 6), and
// the token before a list item's marker is a candidate (see sites.h).
#ifndef FULLSTOP_CORE_TOKENS_LIST_LABELS_H
#define FULLSTOP_CORE_TOKENS_LIST_LABELS_H

#include <cstdint>

#include "core/tokens/token.h"

namespace fullstop::core {

// What a token of list-label shape is: one to three ASCII digits (`number`
// 0..999), one lower-case letter (`letter` 0..25), or (with roman numerals,
// see english.h) a roman numeral up to xxxix in one case, of two letters or
// more in upper case (`roman` 1..39, `upper`); "i", "v" and "x" are both
// letters and numerals.  A capital letter alone is far more often an
// initial ("John F. Kennedy") than a label, and words such as "mix" or "did"
// spelt with a numeral's letters are no numerals.
struct ListLabelShape {
  int number = -1, letter = -1, roman = -1;
  bool upper = false;
  bool any() const { return number >= 0 || letter >= 0 || roman >= 0; }
};
ListLabelShape list_label_of(const char *bytes, int32_t len, bool roman_numerals);

// The list labels seen so far on the current line, so that "2." after "1."
// on one line is known as the next item's label.  One bit per closer ('.',
// ')', ".)") and label value; cleared at every line start, so that a
// window that begins at a line start (a stream's) sees what a reading of
// the whole text sees.
class LineLabels {
 public:
  bool any() const { return any_; }
  void clear() { *this = LineLabels{}; }

  struct Reading {
    bool shape, position;
  };
  // Whether the token text[start, start + len), a word that a space
  // precedes and punctuation follows, has a list label's shape and a
  // closer after it (`shape`), and whether it is a list label in list
  // position (`position`); records it when it has the shape.  `prev` and
  // `before` are the two tokens before it (or null), whose flags are final.
  // The text after the token is whole (a stream's window ends after a
  // newline); nothing at or after text_len is read.  With
  // `sequence_in_position`, only a label in list position is recorded, so
  // that only such a label begins a sequence.
  Reading read(const char *text, int32_t text_len, int32_t start, int32_t len, const Token *prev,
               const Token *before, bool roman_numerals, bool sequence_in_position = false);

 private:
  static constexpr int kBits = 1000 + 26 + 40 + 40;
  static constexpr int kWords = (kBits + 63) / 64;
  uint64_t seen_[3][kWords] = {};
  bool any_ = false;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_LIST_LABELS_H
