// Inputs built to collide under unkeyed hashes (shared by the tests and the
// fuzz targets).  bench/hostile_inputs.py makes the same kinds at scale.
#ifndef FULLSTOP_TESTS_HOSTILE_INPUTS_H
#define FULLSTOP_TESTS_HOSTILE_INPUTS_H

#include <cstdint>
#include <random>
#include <string>

namespace hostile {

// W+W with |W| = 25: the classic string hash xors each byte in at a shift
// that repeats every 25 positions, so the two halves cancel and every
// "text_P_" + token name of one position gets one bucket.
inline std::string doubled_token(std::mt19937_64 &rng) {
  std::string w;
  for (int i = 0; i < 25; i++) w.push_back(static_cast<char>('a' + rng() % 26));
  return w + w;
}

// An 8-byte token (word bytes only) whose unkeyed multiplicative hash,
// high half of (bytes ^ tag << 40) * kMul with the tag 35 of a standalone
// 8-byte token, is the same for all: pick the product, multiply back.
inline constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
inline constexpr uint64_t kMulInverse = 0xF1DE83E19937733Dull;
inline uint64_t unkeyed_word_hash(uint64_t bytes) { return ((bytes ^ (uint64_t{35} << 40)) * kMul) >> 32; }

inline bool word_byte(unsigned char c) {
  bool punct = (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
  return !punct && c != 0 && c != ' ' && c != '\t' && c != '\n';
}

inline std::string colliding_word(std::mt19937_64 &rng) {
  for (;;) {
    uint64_t product = uint64_t{0x5EED} << 32 | (rng() & 0xFFFFFFFFu);
    uint64_t bytes = (product * kMulInverse) ^ (uint64_t{35} << 40);
    std::string token(8, '\0');
    bool ok = true;
    for (int i = 0; i < 8; i++) {
      token[i] = static_cast<char>(bytes >> (8 * i));
      ok = ok && word_byte(static_cast<unsigned char>(token[i]));
    }
    if (ok) return token;
  }
}

// `count` tokens made by `make`, each beside a '.', so all stand in windows.
template <typename Make>
std::string text_of(int count, Make make, uint64_t seed = 1) {
  std::mt19937_64 rng(seed);
  std::string text;
  for (int i = 0; i < count; i++) {
    text += make(rng);
    text += i % 2 ? " . " : " ";
    if (i % 8 == 7) text += '\n';
  }
  return text + "\n";
}

}  // namespace hostile

#endif  // FULLSTOP_TESTS_HOSTILE_INPUTS_H
