#include "util.h"

#include "keyed_hash.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

void die(const std::string &message) {
  std::fprintf(stderr, "fullstop: %s\n", message.c_str());
  std::exit(1);
}

void out_of_memory() {
  std::fputs("fullstop: out of memory\n", stderr);
  std::exit(1);
}

void *xrealloc(void *p, size_t bytes) {
  void *q = std::realloc(p, bytes == 0 ? 1 : bytes);
  if (q == nullptr) out_of_memory();
  return q;
}

void advise_huge_pages(void *p, size_t bytes) {
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  uintptr_t to = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
  if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
}

namespace {

constexpr size_t kOutCapacity = 1 << 16;
char out_buffer[kOutCapacity];
size_t out_used = 0;

void write_all(const char *bytes, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(1, bytes, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      die(std::string("standard output: ") + std::strerror(errno));
    }
    bytes += w;
    n -= static_cast<size_t>(w);
  }
}

}  // namespace

void out_flush() {
  if (out_used > 0) write_all(out_buffer, out_used);
  out_used = 0;
}

void out_discard() { out_used = 0; }

void out_write(const char *bytes, size_t n) {
  if (n > kOutCapacity - out_used) {
    out_flush();
    if (n >= kOutCapacity) {
      write_all(bytes, n);
      return;
    }
  }
  std::memcpy(out_buffer + out_used, bytes, n);
  out_used += n;
}

char *out_reserve(size_t n) {
  if (n > kOutCapacity - out_used) out_flush();
  return out_buffer + out_used;
}

void out_commit(char *end) { out_used = static_cast<size_t>(end - out_buffer); }

char *format_uint(char *p, uint32_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  int digits = 1;
  for (uint32_t bound = 10; digits < 10 && value >= bound; bound *= 10) digits++;
  char *end = p + digits, *q = end;
  while (value >= 100) {
    uint32_t pair = value % 100;
    value /= 100;
    q -= 2;
    std::memcpy(q, kPairs + 2 * pair, 2);
  }
  if (value >= 10) {
    std::memcpy(q - 2, kPairs + 2 * value, 2);
  } else {
    q[-1] = static_cast<char>('0' + value);
  }
  return end;
}

void out_char(char c) {
  if (out_used == kOutCapacity) out_flush();
  out_buffer[out_used++] = c;
}

void out_int(int64_t value) {
  char *p = out_reserve(24);
  if (value >= 0 && value <= UINT32_MAX) {
    out_commit(format_uint(p, static_cast<uint32_t>(value)));
    return;
  }
  out_commit(std::to_chars(p, p + 24, value).ptr);
}

void append_int(std::string &s, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  s.append(digits, result.ptr);
}

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
