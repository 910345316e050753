#include "core/tokens/sites.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/tokens/list_labels.h"

namespace fullstop::core {

bool list_marker_at(const Token *window, const char *text, bool roman_numerals) {
  const Token &a = window[3], &b = window[4];
  if (window[2].edge || a.edge || b.edge || !a.space_before) return false;
  const char *s = text + a.start;
  // A bullet: "*" (what the Unicode bullets read as) anywhere, a hyphen only
  // at the start of a line, since " - " inside a line is mostly a dash.  A
  // bullet stands alone: "*" that opens a word is emphasis ("a *real*
  // drill"), "-" a sign ("-5 degrees").
  if (a.punct) return a.len == 1 && a.space_after && (s[0] == '*' || (s[0] == '-' && window[2].boundary));
  if (a.space_after || !b.punct || !b.space_after) return false;
  const char *t = text + b.start;
  bool closes = (b.len == 1 && (t[0] == '.' || t[0] == ')')) || (b.len == 2 && t[0] == '.' && t[1] == ')');
  return closes && list_label_of(s, a.len, roman_numerals).any();
}

bool short_line_before(const TextBuffer &text, int32_t end, int32_t limit) {
  const int32_t at = text.original_end(end);
  const int32_t from = at > limit ? at - limit : 0;
  // (A line that begins at the start of the text is as long as `at`.)
  return line_begins_within(text.original_data(), from, at, text.sentence_lines()) || at < limit;
}

bool line_begins_within_bytewise(const char *bytes, int32_t from, int32_t at, bool sentence_lines) {
  const auto *text = reinterpret_cast<const unsigned char *>(bytes);
  for (int32_t i = at - 1; i >= from; i--) {
    const unsigned char c = text[i];
    // U+2028 and U+2029 end in A8 and A9 after E2 80; NEL is C2 85.
    const bool separator = (c == 0xA8 || c == 0xA9) && i >= 2 && text[i - 1] == 0x80 && text[i - 2] == 0xE2;
    if (sentence_lines) {
      if (separator) return true;
      if (c == '\n' && i > 0 && (text[i - 1] == '\n' || (text[i - 1] == '\r' && i > 1 && text[i - 2] == '\n')))
        return true;
    } else if (separator || c == '\n' || c == '\r' || (c == 0x85 && i >= 1 && text[i - 1] == 0xC2)) {
      return true;
    }
  }
  return false;
}

// Every line begins after a '\n', a '\r' or a byte above 0x7F (the last of
// a NEL, U+2028 or U+2029), so a stretch without one, as the kShortLine
// bytes before nearly every line break of hard-wrapped ASCII text are, is
// passed 16 bytes at a time; otherwise the plain loop decides.
bool line_begins_within(const char *text, int32_t from, int32_t at, bool sentence_lines) {
#if defined(__SSE2__)
  if (at - from >= 16) {
    auto odd = [text](int32_t p) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + p));
      const __m128i ends =
          _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
      return _mm_movemask_epi8(_mm_or_si128(ends, v)) != 0;  // (a byte's sign bit: above 0x7F)
    };
    bool any = false;
    for (int32_t p = from; p + 16 <= at && !any; p += 16) any = odd(p);
    if (!any && !odd(at - 16)) return false;
  }
#endif
  return line_begins_within_bytewise(text, from, at, sentence_lines);
}

}  // namespace fullstop::core
