// A sentence's text as the output forms print it, formed from its bytes:
// whitespace runs collapsed, trailing whitespace dropped, the front kept.
// Each mode has its rule; the 16-byte scans are checked against their plain
// loops (tests/unit).
#ifndef FULLSTOP_CORE_RENDER_SENTENCE_TEXT_H
#define FULLSTOP_CORE_RENDER_SENTENCE_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/text/text_mode.h"

namespace fullstop::core {

// The classic mode's text of the sentence data[start, end): newlines read as
// spaces, runs of spaces become one, trailing spaces are dropped, the front
// is not trimmed.  Points into `data` or into scratch.  Reads up to 16 bytes
// past `end`: the text must be padded (see TextBuffer).
std::string_view normalised_text(const char *data, int32_t start, int32_t end, std::string &scratch);

// The Unicode mode's text of a sentence: the original bytes, with every run
// of whitespace (ASCII blanks and line ends, NEL, Unicode spaces, U+2028,
// U+2029) turned into one space and trailing whitespace dropped; the front
// is not trimmed.  Points into text or into scratch.
std::string_view unicode_sentence_text(const char *text, size_t len, std::string &scratch);

// How many bytes at the start of text[0, len) a sentence prints as they are:
// up to the first byte of 0x80 or above, tab, line end, VT or FF, or space
// that another space or the end follows.  The plain loop is the reference
// the 16-byte scan must agree with.
size_t unicode_plain_prefix(const char *text, size_t len);
size_t unicode_plain_prefix_bytewise(const char *text, size_t len);

// The text of the sentence text[0, len) in `mode`.
inline std::string_view sentence_text(TextMode mode, const char *text, size_t len, std::string &scratch) {
  return mode == TextMode::unicode ? unicode_sentence_text(text, len, scratch)
                                   : normalised_text(text, 0, static_cast<int32_t>(len), scratch);
}

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RENDER_SENTENCE_TEXT_H
