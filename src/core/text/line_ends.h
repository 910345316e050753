// Line ends as a stream may cut text at them.
//
// A stream (and each block of --jobs) reads its text in windows that begin
// just after a line end: there a text mode's mapping and tokenizer begin
// afresh, so a window reads as that stretch of the whole text does.  Text
// whose lines never end where a window may be cut is held whole, however
// long.  So every line end the reading knows must count:
//
//   classic: LF only (a CR is a byte like any other);
//   unicode: LF, CR, CRLF (after the LF only: a CR then LF in two windows
//   would read as two line ends, a blank line), NEL (U+0085) and the
//   paragraph separator (U+2029), which the mapping reads as line ends;
//   the line separator (U+2028) too, except where lines are sentences
//   (evaluation, training), which read it as a break inside a line.
//
// A CR that is the last byte known may still be followed by an LF, so it
// ends a line only once the next byte has come.
#ifndef FULLSTOP_CORE_TEXT_LINE_ENDS_H
#define FULLSTOP_CORE_TEXT_LINE_ENDS_H

#include <cstddef>
#include <cstdint>

#include "core/text/text_mode.h"

namespace fullstop::core {

class LineEnds {
 public:
  LineEnds(TextMode mode, bool sentence_lines)
      : unicode_(mode == TextMode::unicode), separator_(!sentence_lines) {}

  // Whether text[pos] begins a line: pos is 0, or a line end ends just
  // before it (0 < pos <= len), as far as text[0, len) tells.
  bool starts_line(const char *text, size_t pos, size_t len) const;
  // The line start at or before `pos`.
  size_t line_start(const char *text, size_t pos, size_t len) const;
  // The last line start in (from, len], or 0 when there is none.
  size_t last_start(const char *text, size_t from, size_t len) const;
  // The first line start in (from, len], or 0 when there is none.
  size_t next_start(const char *text, size_t from, size_t len) const;

 private:
  bool unicode_;    // the Unicode mode's line ends, not only LF
  bool separator_;  // U+2028 ends a line
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TEXT_LINE_ENDS_H
