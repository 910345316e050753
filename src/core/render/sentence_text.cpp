#include "core/render/sentence_text.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/text/unicode_map.h"

namespace fullstop::core {

namespace {

// The first byte in [p, e) that normalising would change: a newline, or a
// space right after a space.  Most sentences have none, and are printed
// straight from the input.
const char *first_irregular(const char *p, const char *e) {
  if (p == e) return e;
  if (*p == '\n') return p;
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' '), newline = _mm_set1_epi8('\n');
  for (const char *q = p + 1; q < e; q += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
    __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q - 1));
    __m128i odd = _mm_or_si128(_mm_cmpeq_epi8(v, newline),
                               _mm_and_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(before, space)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(odd));
    if (mask != 0) {
      const char *hit = q + __builtin_ctz(mask);
      return hit < e ? hit : e;
    }
  }
  return e;
#else
  for (const char *q = p + 1; q < e; q++)
    if (*q == '\n' || (*q == ' ' && q[-1] == ' ')) return q;
  return e;
#endif
}

}  // namespace

std::string_view normalised_text(const char *data, int32_t start, int32_t end, std::string &scratch) {
  const char *p = data + start, *e = data + end;
  const char *odd = first_irregular(p, e);
  if (odd == e) {
    // Nothing to change but a single trailing space.
    std::string_view text(p, static_cast<size_t>(e - p));
    if (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
  }
  // The bytes before `odd` stay as they are.  From there: newlines read as
  // spaces, a space after a space is dropped, and every other byte (tabs and
  // carriage returns too) is kept.
  scratch.resize(static_cast<size_t>(e - p));
  char *d = scratch.data() + (odd - p);
  std::memcpy(scratch.data(), p, static_cast<size_t>(odd - p));
  for (; odd < e; odd++) {
    char c = *odd == '\n' ? ' ' : *odd;
    if (c == ' ' && d > scratch.data() && d[-1] == ' ') continue;
    *d++ = c;
  }
  while (d > scratch.data() && d[-1] == ' ') d--;
  scratch.resize(static_cast<size_t>(d - scratch.data()));
  return scratch;
}

size_t unicode_plain_prefix_bytewise(const char *text, size_t len) {
  size_t i = 0;
  for (; i < len; i++) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80 || (c >= '\t' && c <= '\r') || (c == ' ' && (i + 1 == len || text[i + 1] == ' ')))
      break;
  }
  return i;
}

// Sixteen bytes at a time while a whole block and the byte after it lie in
// the text (so the scan reads nothing past it, and "a space ends the text"
// cannot arise inside a block), then the last byte as the reference does.
// Printing sentence text spent a quarter of -F's time in the plain loop.
size_t unicode_plain_prefix(const char *text, size_t len) {
  size_t i = 0;
#if defined(__SSE2__)
  // Bit k: text[p + k] stops the prefix.  Reads text[p, p + 17).
  auto stops = [text](size_t p) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + p + 1));
    // Signed compares: bytes of 0x80 and above are negative, found by their
    // sign bit instead.
    const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('\t' - 1)),
                                          _mm_cmplt_epi8(v, _mm_set1_epi8('\r' + 1)));
    const __m128i doubled = _mm_and_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(next, space));
    return static_cast<unsigned>(_mm_movemask_epi8(v)) |
           static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(control, doubled)));
  };
  for (; i + 17 <= len; i += 16)
    if (unsigned odd = stops(i)) return i + static_cast<size_t>(__builtin_ctz(odd));
  // The rest but its last byte, as one more block that overlaps the ones
  // before (their bytes were clean, so only the new ones can stop it); the
  // last byte, whose "next" lies past the text, by the plain loop.
  if (len >= 17 && i < len - 1) {
    if (unsigned odd = stops(len - 17)) return len - 17 + static_cast<size_t>(__builtin_ctz(odd));
    i = len - 1;
  }
#endif
  return i + unicode_plain_prefix_bytewise(text + i, len - i);
}

std::string_view unicode_sentence_text(const char *text, size_t len, std::string &scratch) {
  // Most sentences hold single ASCII spaces only: print them straight.
  size_t i = unicode_plain_prefix(text, len);
  if (i == len) return {text, len};
  if (i > 0 && text[i - 1] == ' ') i--;  // the space opens the run that follows
  scratch.assign(text, i);
  bool space = false;  // a whitespace run is pending
  while (i < len) {
    size_t n = unicode_space_length(text + i, len - i);
    if (n > 0) {
      space = true;
      i += n;
      continue;
    }
    if (space) scratch.push_back(' ');
    space = false;
    scratch.push_back(text[i++]);
  }
  return scratch;
}

}  // namespace fullstop::core
