#include "core/text/block_classify.h"

#if FULLSTOP_WIDE_BLOCKS
#include <immintrin.h>

namespace fullstop::core {

namespace {

// The SSE2 classifier with 32-byte vectors, for a processor with AVX2 (see
// Tokenizer::wide_blocks): half the vector operations of a block, which is
// about a tenth of a detection run.  Compiled for AVX2 alone, out of line,
// so that nothing else is; a call per 64 bytes is cheap beside the block's
// work.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i in_range32(__m256i v, char lo, char hi) {
  return _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(static_cast<char>(lo - 1))),
                          _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(hi + 1)), v));
}

[[gnu::target("avx2"), gnu::always_inline]] inline uint64_t movemask64_avx2(__m256i lo, __m256i hi) {
  return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(lo))) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(hi))) << 32;
}

}  // namespace

template <bool kUnicode>
[[gnu::target("avx2"), gnu::noinline]] void classify_block_avx2(const char *p, bool sep_before,
                                                                 ClassifiedBlock &b) {
  __m256i v[2], s[2], q[2], n[2];
  for (int k = 0; k < 2; k++) {
    v[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * k));
    n[k] = _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('\n'));
    s[k] = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v[k], _mm256_set1_epi8(' ')),
                                           _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('\t'))),
                           _mm256_or_si256(n[k], _mm256_cmpeq_epi8(v[k], _mm256_setzero_si256())));
    q[k] = _mm256_or_si256(_mm256_or_si256(in_range32(v[k], 33, 47), in_range32(v[k], 58, 64)),
                           _mm256_or_si256(in_range32(v[k], 91, 96), in_range32(v[k], 123, 126)));
  }
  b.sep = movemask64_avx2(s[0], s[1]);
  b.punct = movemask64_avx2(q[0], q[1]);
  b.newline = movemask64_avx2(n[0], n[1]);
  // Before the first half, a vector whose last byte is the separator lane of
  // the byte before the block.
  const __m256i before = _mm256_set_epi64x(sep_before ? static_cast<int64_t>(0xFF00000000000000ull) : 0, 0, 0, 0);
  for (int k = 0; k < 2; k++) {
    // Byte i-1's separator lane at byte i: the lanes shifted by one byte
    // across the 128-bit halves (alignr shifts within each half, so each
    // half takes its first byte from the half before it).
    const __m256i prev = k == 0 ? before : s[0];
    const __m256i joined = _mm256_permute2x128_si256(prev, s[k], 0x21);
    const __m256i prev_sep = _mm256_alignr_epi8(s[k], joined, 15);
    __m256i start = _mm256_or_si256(_mm256_and_si256(q[k], _mm256_set1_epi8(block_flag::punct)),
                                    _mm256_and_si256(prev_sep, _mm256_set1_epi8(block_flag::space_before)));
    __m256i end = _mm256_and_si256(s[k], _mm256_set1_epi8(block_flag::space_after));
    if constexpr (kUnicode) {
      const __m256i bullet = _mm256_or_si256(_mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('*')),
                                             _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('-')));
      const __m256i closer = _mm256_or_si256(_mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('.')),
                                             _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8(')')));
      const __m256i marker = _mm256_set1_epi8(static_cast<char>(block_flag::marker));
      start = _mm256_or_si256(start, _mm256_and_si256(bullet, marker));
      end = _mm256_or_si256(end, _mm256_and_si256(closer, marker));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(b.start_flags + 32 * k), start);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(b.end_flags + 32 * k), end);
  }
}

template void classify_block_avx2<false>(const char *, bool, ClassifiedBlock &);
template void classify_block_avx2<true>(const char *, bool, ClassifiedBlock &);

}  // namespace fullstop::core
#endif

namespace fullstop::core {

bool wide_blocks_supported() {
#if FULLSTOP_WIDE_BLOCKS
  // (The processor's features are read once per process; asking again
  // before they are, as a library's static constructor might, reads them.)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace fullstop::core
