#include "core/text/unicode_map.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fullstop::core {

namespace {

struct UpperRange {
  uint32_t lo, hi;
};
#include "unicode_tables.inc"

// Decodes the UTF-8 character at p[0, n): its code point and length, or a
// length of 0 when the bytes are not a well-formed character (overlong forms,
// surrogates and values past U+10FFFF included).
struct Decoded {
  uint32_t cp;
  size_t len;
};

Decoded decode(const unsigned char *p, size_t n) {
  unsigned char c = p[0];
  if (c < 0x80) return {c, 1};
  auto cont = [&](size_t i) { return i < n && (p[i] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) {
    if (cont(1)) return {(c & 0x1Fu) << 6 | (p[1] & 0x3Fu), 2};
  } else if (c >= 0xE0 && c <= 0xEF) {
    if (cont(1) && cont(2)) {
      uint32_t cp = (c & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
      if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) return {cp, 3};
    }
  } else if (c >= 0xF0 && c <= 0xF4) {
    if (cont(1) && cont(2) && cont(3)) {
      uint32_t cp = (c & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
      if (cp >= 0x10000 && cp <= 0x10FFFF) return {cp, 4};
    }
  }
  return {0, 0};
}

bool is_unicode_space(uint32_t cp) {
  return cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

// The ASCII text a non-ASCII character reads as, or nullptr for a character
// that stays as it is.  Every replacement is shorter than the character's
// UTF-8 form or as long, so mapping never lengthens the text.
const char *replacement(uint32_t cp) {
  if (is_unicode_space(cp)) return " ";
  // Superscript digits are footnote markers ("as shown.² The"): they
  // read as the mark "^", so one after a sentence's mark joins its token
  // (".^") and the sentence ends after the marker, as after ".[2]".
  if (cp == 0xB9 || cp == 0xB2 || cp == 0xB3 || cp == 0x2070 || (cp >= 0x2074 && cp <= 0x2079)) return "^";
  // Emoji and pictographs read as the emoticon ":)", which they stand for:
  // a mark, so one that ends a sentence ("Best pizza in town 😀 Go") is a
  // candidate.  (Not the dingbats' circled numbers and arrows, U+2776 on.)
  if ((cp >= 0x1F300 && cp <= 0x1F64F) || (cp >= 0x1F680 && cp <= 0x1F6FF) ||
      (cp >= 0x1F900 && cp <= 0x1F9FF) || (cp >= 0x1FA70 && cp <= 0x1FAFF) ||
      (cp >= 0x2600 && cp <= 0x2775))
    return ":)";
  switch (cp) {
    case 0x85:  // NEL
    case 0x2028:  // line separator
      return "\n";
    case 0x2029:  // paragraph separator: a blank line
      return "\n\n";
    case 0xAD:    // soft hyphen
    case 0x200B:  // zero-width space, non-joiner, joiner
    case 0x200C:
    case 0x200D:
    case 0x2060:  // word joiner
    case 0xFEFF:  // zero-width no-break space (a byte order mark inside text)
    case 0xFE0E:  // variation selectors: text or emoji form of the character before
    case 0xFE0F:
      return "";  // never splits a word
    case 0x2018: case 0x2019: case 0x201A: case 0x201B:  // ‘ ’ ‚ ‛
    case 0x2039: case 0x203A:                            // ‹ ›
    case 0x2032: case 0x2035:                            // ′ ‵
    case 0xFF07:                                         // fullwidth '
      return "'";
    case 0x201C: case 0x201D: case 0x201E: case 0x201F:  // “ ” „ ‟
    case 0xAB: case 0xBB:                                // « »
    case 0x2033: case 0x2036:                            // ″ ‶
    case 0xFF02:                                         // fullwidth "
      return "\"";
    case 0x2026:  // …
      return "...";
    case 0x2010: case 0x2011: case 0x2012: case 0x2013:  // hyphens, figure and en dash
    case 0x2212: case 0xFE63: case 0xFF0D:               // minus signs
      return "-";
    case 0x2014: case 0x2015: case 0xFE58:  // em dash, horizontal bar
      return "--";
    // The ideographic marks end a clause with no space after them, since the
    // scripts that use them put none between words: they read as the mark
    // and a space, or no candidate would ever end a sentence there.
    case 0xFF01: return "! ";  // ！
    case 0xFF1F: return "? ";  // ？
    case 0x3002: case 0xFF61: return ". ";  // 。 ｡
    case 0xA1: return "!";  // ¡
    case 0xBF: return "?";  // ¿
    case 0xFF0E: return ".";  // ．
    case 0x203D: return "?!";  // ‽
    case 0x203C: return "!!";  // ‼
    case 0x2047: return "??";  // ⁇
    case 0x2048: return "?!";  // ⁈
    case 0x2049: return "!?";  // ⁉
    case 0xFF0C: case 0x3001: return ",";  // ， 、
    case 0xFF1A: return ":";
    case 0xFF1B: return ";";
    case 0xFF08: return "(";
    case 0xFF09: return ")";
    // A bullet stands apart from what follows it: "•9. Mix" is the list
    // item "9. Mix" as "• 9. Mix" is, and a label is only read as one after
    // a space.  The dots that also join words ("l·l") stay a plain "*".
    case 0x2022: case 0x2023: case 0x2043: case 0x25E6:  // • ‣ ⁃ ◦
    case 0x25AA: case 0x25CF: case 0x25A0:               // ▪ ● ■
      return "* ";
    case 0xB7: case 0x2219:  // · ∙
      return "*";
    default:
      return nullptr;
  }
}

// The length of the run at p[0, n) of bytes that map to themselves: ASCII
// other than CR, VT and FF.  Text is mostly such runs, so map_unicode()
// copies them whole; 16 bytes are classified at a time where SSE2 is there.
// map_unicode() agrees with the plain character-by-character reference
// (unicode_test, unicode_fuzzer) whichever way this is computed.
size_t plain_run(const unsigned char *p, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  // A byte's sign bit is set when it is to be mapped.  '\v', '\f' and '\r'
  // are the bytes 11 to 13: those are the bytes whose difference from 11,
  // taken unsigned, is at most 2 (three operations where comparing with
  // each of the three takes five).
  static_assert('\v' == 11 && '\f' == 12 && '\r' == 13);
  auto odd16 = [p](size_t at) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at));
    __m128i d = _mm_sub_epi8(v, _mm_set1_epi8('\v'));
    __m128i ctl = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(2)), d);
    return _mm_or_si128(v, ctl);
  };
  // Most text (all of an ASCII text with LF line ends) has nothing to map:
  // 64 bytes are tested with one mask, and only a block that holds
  // something is searched 16 bytes at a time below.
  for (; i + 64 <= n; i += 64) {
    __m128i any = _mm_or_si128(_mm_or_si128(odd16(i), odd16(i + 16)), _mm_or_si128(odd16(i + 32), odd16(i + 48)));
    if (_mm_movemask_epi8(any) != 0) break;
  }
  for (; i + 16 <= n; i += 16) {
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(odd16(i)));
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < n && p[i] < 0x80 && p[i] != '\r' && p[i] != '\v' && p[i] != '\f') i++;
  return i;
}

// Whether the closing guillemet that ends at text[at] ends its word: the
// text ends there, or a space, line end or mark follows.
bool ends_word(const unsigned char *text, size_t at, size_t len) {
  if (at >= len) return true;
  const unsigned char c = text[at];
  if (c < 0x80) return c <= ' ' || ((c < '0' || c > '9') && (c < 'A' || c > 'Z') && (c < 'a' || c > 'z'));
  const Decoded d = decode(text + at, len - at);
  return d.len != 0 && (is_unicode_space(d.cp) || d.cp == 0x2028 || d.cp == 0x2029 || d.cp == 0x85);
}

// With spaced guillemets: takes back the spaces that end out[0, o) after a
// sentence mark (with the segments of those that were no-break spaces), so
// that the guillemet about to be mapped joins the mark; returns where the
// spaces began, or o when nothing is taken back.
size_t take_back_spaces(const char *out, size_t o, std::vector<MapSegment> &segs) {
  size_t k = o;
  while (k > 0 && out[k - 1] == ' ') k--;
  if (k == o || k == 0 || (out[k - 1] != '.' && out[k - 1] != '?' && out[k - 1] != '!')) return o;
  size_t keep = segs.size();
  while (keep > 0 && segs[keep - 1].mapped >= static_cast<int32_t>(k)) keep--;
  // The mark must be a character's whole mapping ("！" maps to "! ", whose
  // space cannot be taken from it).
  if (keep > 0 && segs[keep - 1].mapped + segs[keep - 1].mapped_len > static_cast<int32_t>(k)) return o;
  segs.resize(keep);
  return k;
}

}  // namespace

bool needs_mapping(const char *text, size_t len) {
  return plain_run(reinterpret_cast<const unsigned char *>(text), len) != len;
}

size_t map_unicode(const char *text, size_t len, char *out, OffsetMap &map, bool sentence_lines, MapRules rules) {
  std::vector<MapSegment> &segs = map.segments();
  segs.clear();
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  size_t i = 0, o = 0;
  auto changed = [&](size_t orig_len, std::string_view with) {
    size_t n = with.size();
    std::memcpy(out + o, with.data(), n);
    if (n != orig_len)
      segs.push_back(MapSegment{static_cast<int32_t>(o), static_cast<int32_t>(i),
                                static_cast<int32_t>(n), static_cast<int32_t>(orig_len)});
    o += n;
    i += orig_len;
  };
  if (len >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) changed(3, "");
  while (i < len) {
    size_t run = plain_run(p + i, len - i);
    std::memcpy(out + o, p + i, run);
    o += run;
    i += run;
    if (i == len) break;
    unsigned char c = p[i];
    if (c < 0x80) {
      if (c == '\r') {
        changed(i + 1 < len && p[i + 1] == '\n' ? 2 : 1, "\n");
      } else {
        out[o++] = (c == '\v' || c == '\f') ? ' ' : static_cast<char>(c);
        i++;
      }
      continue;
    }
    // The letters of the Latin, Greek and Cyrillic scripts with accents
    // (U+00C0 to U+07FF: two bytes, lead C3 to DF) map to themselves, and
    // most non-ASCII characters of European text are such letters: copied
    // without decoding them or asking for a replacement.
    if (c >= 0xC3 && c <= 0xDF && i + 1 < len && (p[i + 1] & 0xC0) == 0x80) {
      out[o] = static_cast<char>(c);
      out[o + 1] = static_cast<char>(p[i + 1]);
      o += 2;
      i += 2;
      continue;
    }
    Decoded d = decode(p + i, len - i);
    if (d.len == 0) {  // not UTF-8: a word byte
      out[o++] = static_cast<char>(c);
      i++;
      continue;
    }
    if (rules.spaced_guillemets && d.cp == 0xBB && ends_word(p, i + d.len, len)) {
      const size_t k = take_back_spaces(out, o, segs);
      if (k < o) {
        // The spaces and the guillemet become one '"' after the mark: its
        // segment runs from the first space's original offset.
        const int32_t first = segs.empty() ? static_cast<int32_t>(k)
                                           : segs.back().orig + segs.back().orig_len +
                                                 (static_cast<int32_t>(k) - segs.back().mapped - segs.back().mapped_len);
        segs.push_back(MapSegment{static_cast<int32_t>(k), first, 1, static_cast<int32_t>(i + d.len) - first});
        out[k] = '"';
        o = k + 1;
        i += d.len;
        continue;
      }
    }
    if ((rules.inverted_openers && (d.cp == 0xBF || d.cp == 0xA1)) || (rules.guillemet_openers && d.cp == 0xAB)) {
      changed(d.len, "`");
    } else if (sentence_lines && (d.cp == 0x2028 || (d.cp == 0x2060 && rules.glued_sentences))) {
      // A line break of the text, not a sentence's end: a separator that is
      // no line end (see map_unicode in unicode_map.h); or a glued
      // sentence's sign (see MapRules), read where it opens a line.
      changed(d.len, std::string_view("\0", 1));
    } else if (const char *with = replacement(d.cp)) {
      changed(d.len, with);
    } else {
      std::memcpy(out + o, p + i, d.len);
      o += d.len;
      i += d.len;
    }
  }
  map.index(static_cast<int32_t>(o));
  return o;
}

void OffsetMap::index(int32_t mapped_len) {
  first_.clear();
  if (segments_.empty()) return;
  const size_t buckets = (static_cast<size_t>(std::max(mapped_len, segments_.back().mapped)) >> kBucketShift) + 2;
  first_.resize(buckets);
  size_t k = 0;
  for (size_t b = 0; b < buckets; b++) {
    const auto from = static_cast<int64_t>(b) << kBucketShift;
    while (k < segments_.size() && segments_[k].mapped < from) k++;
    first_[b] = static_cast<uint32_t>(k);
  }
}

void OffsetMap::clear() {
  segments_.clear();
  first_.clear();
}

const MapSegment *OffsetMap::segment_before(int32_t m) const {
  // Segments are in mapped order; several may share a mapped offset when
  // characters mapped to nothing, and the last of those is the one wanted:
  // the first segment after m, less one.  Every segment before m's bucket
  // lies before m, every one from the next bucket on after it.
  auto lo = segments_.begin(), hi = segments_.end();
  const auto b = static_cast<size_t>(m) >> kBucketShift;
  if (m >= 0 && b + 1 < first_.size()) {
    lo = segments_.begin() + first_[b];
    hi = segments_.begin() + first_[b + 1];
  }
  auto it = std::upper_bound(lo, hi, m, [](int32_t x, const MapSegment &s) { return x < s.mapped; });
  return it == segments_.begin() ? nullptr : &*(it - 1);
}

int32_t OffsetMap::start(int32_t m) const {
  const MapSegment *s = segment_before(m);
  if (s == nullptr) return m;
  if (m < s->mapped + s->mapped_len) return s->orig;
  return s->orig + s->orig_len + (m - s->mapped - s->mapped_len);
}

int32_t OffsetMap::end(int32_t e) const {
  int32_t b = e - 1;
  // A segment of no mapped bytes at b lies before byte b, and counts.
  const MapSegment *s = segment_before(b);
  if (s == nullptr) return e;
  if (b < s->mapped + s->mapped_len) return s->orig + s->orig_len;
  return s->orig + s->orig_len + (b - s->mapped - s->mapped_len) + 1;
}

bool starts_upper(const char *text, size_t len) {
  if (len == 0) return false;
  unsigned char c = static_cast<unsigned char>(text[0]);
  if (c < 0x80) return c >= 'A' && c <= 'Z';
  Decoded d = decode(reinterpret_cast<const unsigned char *>(text), len);
  if (d.len == 0) return false;
  auto it = std::upper_bound(std::begin(kUpperRanges), std::end(kUpperRanges), d.cp,
                             [](uint32_t cp, const UpperRange &r) { return cp < r.lo; });
  return it != std::begin(kUpperRanges) && d.cp <= (it - 1)->hi;
}

size_t unicode_space_length(const char *text, size_t len) {
  if (len == 0) return 0;
  unsigned char c = static_cast<unsigned char>(text[0]);
  if (c < 0x80) return (c == ' ' || (c >= '\t' && c <= '\r')) ? 1 : 0;
  Decoded d = decode(reinterpret_cast<const unsigned char *>(text), len);
  if (d.len == 0) return 0;
  return (is_unicode_space(d.cp) || d.cp == 0x85 || d.cp == 0x2028 || d.cp == 0x2029) ? d.len : 0;
}

}  // namespace fullstop::core
