#include "core/base/keyed_hash.h"

#include <ctime>
#include <sys/random.h>
#include <unistd.h>

namespace fullstop::core {

const HashKey &hash_key() {
  static const HashKey key = [] {
    uint64_t words[3] = {0, 0, 0};
    if (getrandom(words, sizeof words, 0) != static_cast<ssize_t>(sizeof words)) {
      // No kernel randomness (very old kernels, seccomp): the clock, the
      // process id and the stack address still differ from run to run.
      uint64_t seed = static_cast<uint64_t>(time(nullptr)) ^ (static_cast<uint64_t>(getpid()) << 32) ^
                      reinterpret_cast<uintptr_t>(&words);
      for (uint64_t &w : words) {
        seed += 0x9E3779B97F4A7C15ull;
        uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        w = z ^ (z >> 31);
      }
    }
    return HashKey{words[0], words[1] | 1, words[2]};
  }();
  return key;
}

}  // namespace fullstop::core
