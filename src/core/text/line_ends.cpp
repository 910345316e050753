#include "core/text/line_ends.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fullstop::core {

namespace {

// The last byte of a line end of the Unicode mode: LF, CR, and the last
// bytes of NEL (C2 85), U+2028 (E2 80 A8) and U+2029 (E2 80 A9).  Those
// three are continuation bytes, which the UTF-8 reading never takes apart
// from their lead byte, so the bytes before them tell whether they end one.
inline bool may_end_line(unsigned char c) { return c == '\n' || c == '\r' || c == 0x85 || c == 0xA8 || c == 0xA9; }

constexpr size_t kNone = static_cast<size_t>(-1);

#if defined(__SSE2__)
// The bytes of 16 at p that may end a line, as bits.
inline unsigned may_end_mask(const unsigned char *p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  const __m128i a = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
  const __m128i b = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0x85))),
                                 _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xA8))));
  const __m128i c = _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xA9)));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), c)));
}
#endif

// The last i in [from, to) whose byte may end a line, or kNone.  A line of
// text in a language with accents or curly quotes can run to a whole
// document (a paragraph per line, or none at all), and a stream looks back
// to its start at every window: 16 bytes at a time, not a test per byte.
size_t last_may_end(const unsigned char *p, size_t from, size_t to) {
#if defined(__SSE2__)
  for (; to - from >= 16; to -= 16)
    if (const unsigned bits = may_end_mask(p + to - 16)) return to - 16 + static_cast<size_t>(31 - __builtin_clz(bits));
#endif
  while (to > from)
    if (may_end_line(p[--to])) return to;
  return kNone;
}

// The first i in [from, to) whose byte may end a line, or kNone.
size_t first_may_end(const unsigned char *p, size_t from, size_t to) {
#if defined(__SSE2__)
  for (; to - from >= 16; from += 16)
    if (const unsigned bits = may_end_mask(p + from)) return from + static_cast<size_t>(__builtin_ctz(bits));
#endif
  for (; from < to; from++)
    if (may_end_line(p[from])) return from;
  return kNone;
}

}  // namespace

bool LineEnds::starts_line(const char *text, size_t pos, size_t len) const {
  if (pos == 0) return true;
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  switch (p[pos - 1]) {
    case '\n':
      return true;
    case '\r':
      return unicode_ && pos < len && p[pos] != '\n';
    case 0x85:
      return unicode_ && pos >= 2 && p[pos - 2] == 0xC2;
    case 0xA8:
      if (!separator_) return false;
      [[fallthrough]];
    case 0xA9:
      return unicode_ && pos >= 3 && p[pos - 3] == 0xE2 && p[pos - 2] == 0x80;
    default:
      return false;
  }
}

size_t LineEnds::line_start(const char *text, size_t pos, size_t len) const {
  if (!unicode_) {
    const void *nl = pos > 0 ? memrchr(text, '\n', pos) : nullptr;
    return nl == nullptr ? 0 : static_cast<size_t>(static_cast<const char *>(nl) - text) + 1;
  }
  // A line starts only after a byte that may end one (see may_end_line).
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  for (size_t i = last_may_end(p, 0, pos); i != kNone; i = last_may_end(p, 0, i))
    if (starts_line(text, i + 1, len)) return i + 1;
  return 0;
}

size_t LineEnds::last_start(const char *text, size_t from, size_t len) const {
  if (len <= from) return 0;
  if (!unicode_) {
    const void *nl = memrchr(text + from, '\n', len - from);
    return nl == nullptr ? 0 : static_cast<size_t>(static_cast<const char *>(nl) - text) + 1;
  }
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  for (size_t i = last_may_end(p, from, len); i != kNone; i = last_may_end(p, from, i))
    if (starts_line(text, i + 1, len)) return i + 1;
  return 0;
}

size_t LineEnds::next_start(const char *text, size_t from, size_t len) const {
  if (len <= from) return 0;
  if (!unicode_) {
    const void *nl = std::memchr(text + from, '\n', len - from);
    return nl == nullptr ? 0 : static_cast<size_t>(static_cast<const char *>(nl) - text) + 1;
  }
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  for (size_t i = first_may_end(p, from, len); i != kNone; i = first_may_end(p, i + 1, len))
    if (starts_line(text, i + 1, len)) return i + 1;
  return 0;
}

}  // namespace fullstop::core
