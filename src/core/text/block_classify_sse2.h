// The block classifier with SSE2 (see block_classify.h): inline, since the
// scanner's loop calls it for every 64 bytes.
#ifndef FULLSTOP_CORE_TEXT_BLOCK_CLASSIFY_SSE2_H
#define FULLSTOP_CORE_TEXT_BLOCK_CLASSIFY_SSE2_H

#include <emmintrin.h>

#include <cstdint>

#include "core/text/block_classify.h"

namespace fullstop::core {

inline uint64_t movemask64_sse2(__m128i a, __m128i b, __m128i c, __m128i d) {
  return static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(a))) |
         static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(b))) << 16 |
         static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(c))) << 32 |
         static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(d))) << 48;
}

inline void classify16_sse2(const char *p, __m128i &sep, __m128i &punct, __m128i &newline) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  newline = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
  sep = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                  _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                     _mm_or_si128(newline, _mm_cmpeq_epi8(v, _mm_setzero_si128())));
  // Signed compares: bytes 0x80-0xFF are negative and fall in no range.
  auto in = [&](char lo, char hi) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1))),
                         _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1))));
  };
  punct = _mm_or_si128(_mm_or_si128(in(33, 47), in(58, 64)), _mm_or_si128(in(91, 96), in(123, 126)));
}

// Classifies the block at p; `sep_before` says whether the byte before it is
// a separator (the previous block's last byte, or the start of the text).
template <bool kUnicode>
inline void classify_block_sse2(const char *p, bool sep_before, ClassifiedBlock &b) {
  __m128i s[4], q[4], n[4];
  for (int k = 0; k < 4; k++) classify16_sse2(p + 16 * k, s[k], q[k], n[k]);
  b.sep = movemask64_sse2(s[0], s[1], s[2], s[3]);
  b.punct = movemask64_sse2(q[0], q[1], q[2], q[3]);
  b.newline = movemask64_sse2(n[0], n[1], n[2], n[3]);
  for (int k = 0; k < 4; k++) {
    // Byte i-1's separator lane at byte i.
    const __m128i carry = k == 0 ? _mm_cvtsi32_si128(sep_before ? 0xFF : 0) : _mm_srli_si128(s[k - 1], 15);
    const __m128i prev_sep = _mm_or_si128(_mm_slli_si128(s[k], 1), carry);
    __m128i start = _mm_or_si128(_mm_and_si128(q[k], _mm_set1_epi8(block_flag::punct)),
                                 _mm_and_si128(prev_sep, _mm_set1_epi8(block_flag::space_before)));
    __m128i end = _mm_and_si128(s[k], _mm_set1_epi8(block_flag::space_after));
    if constexpr (kUnicode) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
      const __m128i bullet =
          _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('*')), _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
      const __m128i closer =
          _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('.')), _mm_cmpeq_epi8(v, _mm_set1_epi8(')')));
      const __m128i marker = _mm_set1_epi8(static_cast<char>(block_flag::marker));
      start = _mm_or_si128(start, _mm_and_si128(bullet, marker));
      end = _mm_or_si128(end, _mm_and_si128(closer, marker));
    }
    _mm_store_si128(reinterpret_cast<__m128i *>(b.start_flags + 16 * k), start);
    _mm_store_si128(reinterpret_cast<__m128i *>(b.end_flags + 16 * k), end);
  }
}

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TEXT_BLOCK_CLASSIFY_SSE2_H
