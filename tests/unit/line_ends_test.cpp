// LineEnds' searches, which pass over bytes 16 at a time, against the
// definition they must keep: a line starts at 0 and wherever starts_line
// says, and line_start, last_start and next_start are the nearest such
// offsets at or before, last in and first in their ranges.
#include "core/text/line_ends.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace fullstop::core {
namespace {

std::string random_text(std::mt19937 &rng, int pieces) {
  // Line ends of every kind, their last bytes in other characters ("é" is
  // C3 A9, "è" C3 A8), and runs long enough to fill whole 16-byte blocks.
  static const char *const kPieces[] = {"\n",       "\r",       "\r\n",     "\xC2\x85", "\xE2\x80\xA8",
                                        "\xE2\x80\xA9", "\xC3\xA9", "\xC3\xA8", "\x85",     "a",
                                        " ",        "word ",    "a longer run of plain text "};
  std::string s;
  for (int i = 0; i < pieces; i++) s += kPieces[rng() % std::size(kPieces)];
  return s;
}

TEST(LineEnds, SearchesFindTheLineStartsOfTheDefinition) {
  std::mt19937 rng(31);
  for (int round = 0; round < 400; round++) {
    const std::string text = random_text(rng, 1 + round % 60);
    const size_t len = text.size();
    for (TextMode mode : {TextMode::classic, TextMode::unicode}) {
      for (bool sentence_lines : {false, true}) {
        const LineEnds ends(mode, sentence_lines);
        std::vector<bool> starts(len + 1);
        for (size_t pos = 0; pos <= len; pos++) starts[pos] = ends.starts_line(text.data(), pos, len);
        size_t before = 0;
        for (size_t pos = 0; pos <= len; pos++) {
          if (starts[pos]) before = pos;
          ASSERT_EQ(ends.line_start(text.data(), pos, len), before) << "at " << pos << " of " << text;
        }
        for (size_t from = 0; from <= len; from++) {
          size_t last = 0, first = 0;
          for (size_t pos = from + 1; pos <= len; pos++) {
            if (!starts[pos]) continue;
            last = pos;
            if (first == 0) first = pos;
          }
          ASSERT_EQ(ends.last_start(text.data(), from, len), last) << "from " << from << " of " << text;
          ASSERT_EQ(ends.next_start(text.data(), from, len), first) << "from " << from << " of " << text;
        }
      }
    }
  }
}

}  // namespace
}  // namespace fullstop::core
