#include "core/tokens/sites.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/text/byte_class.h"
#include "core/text/unicode_map.h"
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

namespace {
bool lower_letter(char c) { return is_lower_byte(static_cast<unsigned char>(c)); }
bool separator(char c) { return is_separator_byte(static_cast<unsigned char>(c)); }
// How far the glued-sentence shapes look into the words on either side.
constexpr int32_t kGluedReach = 32;
}  // namespace

// Whether [start, start + len) is a word of two or more letters, lower
// case but perhaps the first ("Thanks.See you"), with nothing before it in
// its whitespace word that a domain, a file name, an abbreviation or a
// version has ("e.g.", "www.example", "v2.late").
bool glued_left(const char *data, int32_t start, int32_t len) {
  if (len < 2) return false;
  for (int32_t i = start + is_upper_byte(static_cast<unsigned char>(data[start])); i < start + len; i++)
    if (!lower_letter(data[i])) return false;
  for (int32_t i = start - 1; i >= 0 && i >= start - kGluedReach && !separator(data[i]); i--)
    if (std::strchr("./@:_\\", data[i]) != nullptr || is_digit_byte(static_cast<unsigned char>(data[i]))) return false;
  return true;
}

// Whether a word at `start` is a capital and one or more lower-case
// letters, not a domain's ending, the rest of its whitespace word holding
// no more word after a mark and nothing of code ("Google.com", "Method()";
// "Then," and "He's" pass).
bool glued_right(const char *data, int32_t data_len, int32_t start) {
  if (start >= data_len || !is_upper_byte(static_cast<unsigned char>(data[start]))) return false;
  int32_t i = start + 1;
  while (i < data_len && lower_letter(data[i])) i++;
  if (i == start + 1) return false;
  // A domain's ending written with a capital ("Newsfeed.Com") opens no
  // sentence.
  const std::string_view word(data + start, static_cast<size_t>(i - start));
  for (std::string_view tld : {"Com", "Net", "Org", "Edu", "Gov", "Info", "Biz"})
    if (word == tld) return false;
  // The word run ends here: a capital, a digit or a byte of another
  // script after the lower-case letters is CamelCase or code.
  if (i < data_len && !separator(data[i]) && !is_punct_byte(static_cast<unsigned char>(data[i]))) return false;
  for (const int32_t end = std::min(data_len, i + kGluedReach); i < end && !separator(data[i]); i++) {
    if (std::strchr("(/@_\\=<>[{", data[i]) != nullptr) return false;
    if ((data[i - 1] == '.' || data[i - 1] == ':') && !is_punct_byte(static_cast<unsigned char>(data[i])))
      return false;
  }
  return true;
}

// One period, or a run of "?" and "!".  A closed-up ellipsis ("dead...Long",
// "And......You") is a pause inside a sentence more often than its end in
// web text; read as spaced, it taught the model that a spaced run of dots
// ends nothing either ("home......... Julie").
bool glued_marks(const char *data, int32_t start, int32_t len) {
  if (len == 1 && data[start] == '.') return true;
  for (int32_t i = start; i < start + len; i++)
    if (data[i] != '?' && data[i] != '!') return false;
  return len > 0;
}

namespace {
bool digit_at(const char *text, int32_t text_len, int32_t at) {
  return at < text_len && is_digit_byte(static_cast<unsigned char>(text[at]));
}

// Digits, from one to `most`, at `at`: where they end, or -1.
int32_t digits_at(const char *text, int32_t text_len, int32_t at, int most) {
  int32_t end = at;
  while (end - at < most && digit_at(text, text_len, end)) end++;
  return end == at || digit_at(text, text_len, end) ? -1 : end;
}

// "4/26/2001", "10/08/99": one or two digits, a slash, one or two, a slash,
// two to four, and then no more of a number or a path.
bool slashed_date(const char *text, int32_t text_len, int32_t at) {
  for (int part = 0; part < 2; part++) {
    at = digits_at(text, text_len, at, 2);
    if (at < 0 || at >= text_len || text[at] != '/') return false;
    at++;
  }
  const int32_t end = digits_at(text, text_len, at, 4);
  if (end - at < 2) return false;
  // (Not "4/5/67.8", nor a path's "12/12/12/").
  return end == text_len || (text[end] != '/' && !(text[end] == '.' && digit_at(text, text_len, end + 1)));
}
}  // namespace

bool run_in_shape(const Token *window, const char *text, int32_t text_len, bool dates) {
  const Token &t = window[2], &next = window[3];
  constexpr uint8_t kWord = token_flag::punct | token_flag::space_after | token_flag::para_break | token_flag::edge;
  constexpr uint8_t kNext = token_flag::punct | token_flag::space_before | token_flag::edge;
  if ((flags_of(t) & kWord) != token_flag::space_after || (flags_of(next) & kNext) != token_flag::space_before ||
      window[4].edge)
    return false;
  // On the Brown and web training text, 20 of 6,000 sites at such short
  // words were boundaries, and they were two fifths of all sites.
  if (t.len <= 3 && is_lower_byte(static_cast<unsigned char>(text[t.start]))) return false;
  return starts_upper(text + next.start, static_cast<size_t>(next.len)) ||
         (dates && slashed_date(text, text_len, next.start));
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
