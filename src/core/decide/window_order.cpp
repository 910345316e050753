#include "core/decide/window_order.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fullstop::core {

bool order_distinct_window_ids_plain(const int32_t *ids, int32_t *sorted) {
  for (int i = 0; i < kWindowIds; i++) {
    int32_t v = ids[i];
    int j = i;
    for (; j > 0 && sorted[j - 1] > v; j--) sorted[j] = sorted[j - 1];
    sorted[j] = v;
  }
  for (int i = 1; i < kWindowIds; i++)
    if (sorted[i - 1] == sorted[i]) return false;
  return true;
}

#if defined(__SSE2__)

// Rank sort: an id's place is how many of the twenty are smaller.  The ids
// sit in five vectors of four (one per window position); each vector is
// compared with every vector in all four lane rotations, 100 four-lane
// comparisons whose masks (-1 for "greater") are summed into the ranks,
// all unrolled.
// Equal ids get equal ranks, so they leave some place unfilled: the places
// taken, as bits, are all twenty exactly when the ids are distinct.
//
// SSE2's comparison overwrites its first operand, so each of the hundred
// comparisons also copies a vector; where the processor has AVX, a second
// build of this function (chosen once, when the program loads) uses the
// three-operand forms of the same instructions and needs no copies.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__)
__attribute__((target_clones("avx", "default")))
#endif
bool order_distinct_window_ids(const int32_t *ids, int32_t *sorted) {
  __m128i v[5], acc[5];
#pragma GCC unroll 5
  for (int p = 0; p < 5; p++) {
    v[p] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(ids + 4 * p));
    acc[p] = _mm_setzero_si128();
  }
  // One vector and its rotations at a time against all five: the five
  // vectors, five sums and four rotations fit in the sixteen registers.
#pragma GCC unroll 5
  for (int q = 0; q < 5; q++) {
    __m128i r0 = v[q];
    __m128i r1 = _mm_shuffle_epi32(r0, _MM_SHUFFLE(0, 3, 2, 1));
    __m128i r2 = _mm_shuffle_epi32(r0, _MM_SHUFFLE(1, 0, 3, 2));
    __m128i r3 = _mm_shuffle_epi32(r0, _MM_SHUFFLE(2, 1, 0, 3));
    // A lane compared with itself (p == q, no rotation) adds nothing: it
    // is kept to spare a branch.
#pragma GCC unroll 5
    for (int p = 0; p < 5; p++) {
      __m128i a = _mm_add_epi32(_mm_cmpgt_epi32(v[p], r0), _mm_cmpgt_epi32(v[p], r1));
      __m128i b = _mm_add_epi32(_mm_cmpgt_epi32(v[p], r2), _mm_cmpgt_epi32(v[p], r3));
      acc[p] = _mm_add_epi32(acc[p], _mm_add_epi32(a, b));
    }
  }
  alignas(16) int32_t rank[kWindowIds];
  // The masks are -1 per smaller id: the rank is minus their sum.
#pragma GCC unroll 5
  for (int p = 0; p < 5; p++)
    _mm_store_si128(reinterpret_cast<__m128i *>(rank + 4 * p), _mm_sub_epi32(_mm_setzero_si128(), acc[p]));
  uint32_t taken = 0;
#pragma GCC unroll 20
  for (int i = 0; i < kWindowIds; i++) {
    sorted[rank[i]] = ids[i];
    taken |= 1u << rank[i];
  }
  return taken == (1u << kWindowIds) - 1;
}

#else

bool order_distinct_window_ids(const int32_t *ids, int32_t *sorted) {
  return order_distinct_window_ids_plain(ids, sorted);
}

#endif

}  // namespace fullstop::core
