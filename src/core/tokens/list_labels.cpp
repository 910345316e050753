#include "core/tokens/list_labels.h"

#include "core/text/byte_class.h"
#include "core/tokens/english.h"

namespace fullstop::core {

namespace {

// 1 for ".", 2 for ")", 3 for ".)" at p when that ends its word, else 0.
// The text ends at `end`, which ends a word too: a borrowed text has nothing
// after its last byte to read.
int label_closer(const char *p, const char *end) {
  auto ends = [end](const char *q) { return q >= end || is_separator_byte(static_cast<unsigned char>(*q)); };
  if (p >= end) return 0;
  if ((p[0] == '.' || p[0] == ')') && ends(p + 1)) return p[0] == '.' ? 1 : 2;
  return p[0] == '.' && p + 1 < end && p[1] == ')' && ends(p + 2) ? 3 : 0;
}

// The bit of a label value in LineLabels' bits, or -1 for none (below 0).
int label_bit(int number, int letter, int roman, bool upper) {
  if (number >= 0) return number;
  if (letter >= 0) return 1000 + letter;
  if (roman >= 1) return 1026 + (upper ? 40 : 0) + roman - 1;
  return -1;
}

}  // namespace

ListLabelShape list_label_of(const char *s, int32_t len, bool roman_numerals) {
  ListLabelShape shape;
  if (len < 1 || len > 4) return shape;
  bool digits = len <= 3;
  int value = 0;
  for (int32_t i = 0; i < len && digits; i++) {
    digits = s[i] >= '0' && s[i] <= '9';
    value = value * 10 + (s[i] - '0');
  }
  if (digits) {
    shape.number = value;
    return shape;
  }
  if (len == 1) {
    if (s[0] < 'a' || s[0] > 'z') return shape;
    shape.letter = s[0] - 'a';
  }
  // A lone capital never gets this far.
  if (roman_numerals) {
    bool upper = false;
    const int roman = roman_numeral(s, len, &upper);
    if (roman >= 0) {
      shape.roman = roman;
      shape.upper = upper;
    }
  }
  return shape;
}

LineLabels::Reading LineLabels::read(const char *text, int32_t text_len, int32_t start, int32_t len,
                                     const Token *prev, const Token *before, bool roman_numerals,
                                     bool sequence_in_position) {
  const char *text_end = text + text_len;
  int closer = label_closer(text + start + len, text_end);
  if (closer == 0) return {false, false};
  ListLabelShape shape = list_label_of(text + start, len, roman_numerals);
  if (!shape.any()) return {false, false};
  uint64_t(&seen)[kWords] = seen_[closer - 1];
  auto has = [&](int bit) { return bit >= 0 && ((seen[bit >> 6] >> (bit & 63)) & 1) != 0; };
  // A label that ends its line opens no item there: Brown sets "2." apart as
  // a sentence of its own, mostly at the end of the paragraph before its
  // item.  It still counts for the sequence.
  const char *after = text + start + len + (closer == 3 ? 2 : 1);
  while (after < text_end && (*after == ' ' || *after == '\t')) after++;
  bool position = false;
  if (after < text_end && *after != '\n' && *after != '\0') {
    position = prev == nullptr || prev->boundary || prev->edge;
    if (!position && prev->punct) {
      // After ":", or after a bullet: "*" (as Unicode bullets read) standing
      // alone, or "-" alone opening its line.
      const char *p = text + prev->start;
      bool line_first = before == nullptr || before->boundary || before->edge;
      position = p[prev->len - 1] == ':' ||
                 (prev->len == 1 && prev->space_before && prev->space_after &&
                  (p[0] == '*' || (p[0] == '-' && line_first)));
    }
    // The next label of a sequence begun earlier on the line.
    position = position || has(label_bit(shape.number - 1, -1, -1, false)) ||
               has(label_bit(-1, shape.letter - 1, -1, false)) ||
               has(label_bit(-1, -1, shape.roman - 1, shape.upper));
  }
  // A sequence continues only from a label in list position where asked:
  // "vom 2. Juli bis zum 3. Oktober" is no list.
  if (sequence_in_position && !position) return {true, false};
  for (int bit : {label_bit(shape.number, -1, -1, false), label_bit(-1, shape.letter, -1, false),
                  label_bit(-1, -1, shape.roman, shape.upper)})
    if (bit >= 0) seen[bit >> 6] |= uint64_t{1} << (bit & 63);
  any_ = true;
  return {true, position};
}

}  // namespace fullstop::core
