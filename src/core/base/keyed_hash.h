// A keyed string hash for the detector's own indexes (feature names, words).
//
// The text being split is untrusted: with a fixed, public hash anyone can
// send tokens that all land in one bucket and turn every lookup into a scan.
// These hashes mix a secret key drawn once per process, so colliding inputs
// cannot be prepared in advance.  Each 8-byte chunk is folded in with a
// 64x64->128-bit multiply of key-masked operands (high half xor low half),
// which spreads every input bit over the result.
#ifndef FULLSTOP_CORE_BASE_KEYED_HASH_H
#define FULLSTOP_CORE_BASE_KEYED_HASH_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fullstop::core {

struct HashKey {
  uint64_t k0, k1, k2;
};

// The process's key: random (from the kernel) and fixed after the first call.
const HashKey &hash_key();

inline uint64_t hash_fold(uint64_t a, uint64_t b) {
  unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
  return static_cast<uint64_t>(p) ^ static_cast<uint64_t>(p >> 64);
}

// Mixes one more 8-byte chunk into h.
inline uint64_t hash_step(const HashKey &key, uint64_t h, uint64_t chunk) {
  return hash_fold(chunk ^ key.k0 ^ h, key.k1 ^ (h >> 1));
}

// The final mix, so that low bits (used as table positions) depend on all
// of h.
inline uint64_t hash_finish(const HashKey &key, uint64_t h) {
  return hash_fold(h ^ key.k2, key.k0 ^ 0x9E3779B97F4A7C15ull);
}

// The keyed hash of n bytes.
inline uint64_t keyed_hash(const char *p, size_t n) {
  const HashKey &key = hash_key();
  uint64_t h = hash_fold(n ^ key.k2, key.k1);
  while (n >= 8) {
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    h = hash_step(key, h, chunk);
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    uint64_t chunk = 0;
    std::memcpy(&chunk, p, n);
    h = hash_step(key, h, chunk);
  }
  return hash_finish(key, h);
}

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_BASE_KEYED_HASH_H
