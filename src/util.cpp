#include "util.h"

#include "keyed_hash.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

void die(const std::string &message) { throw fullstop::Failure(message); }

void out_of_memory() { throw std::bad_alloc(); }

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

void *tune_allocator_for_streaming() {
#ifdef __GLIBC__
  constexpr size_t kPad = size_t{64} << 20;
  // One arena: a thread's own arena is a mapping of its own, which the
  // advice below would not reach.  The threads allocate little once
  // running, so they hardly ever wait on each other for it.
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_TOP_PAD, static_cast<int>(kPad));
  // A block the heap's top cannot hold makes it grow by the pad: then the
  // whole 2 MiB pages of the stretch up to the new break are advised.
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  constexpr size_t kProbe = size_t{1} << 20;
  void *probe = std::malloc(kProbe);
  if (probe == nullptr) return nullptr;
  void *brk_end = sbrk(0);
  if (brk_end == reinterpret_cast<void *>(-1) || brk_end <= probe) {
    std::free(probe);  // not from the heap's top (no sbrk): leave it
    return nullptr;
  }
  advise_huge_pages(probe, static_cast<size_t>(static_cast<char *>(brk_end) - static_cast<char *>(probe)));
  // The stretch from the probe up to the first whole huge page stays in
  // 4 KiB pages, and the next blocks would come from it (the model, loaded
  // first, faulted in some 300 pages there): a block that fills it is the
  // caller's to keep.  Its pages are never written, so it costs no memory.
  // The stretch ends at the first huge page past the probe's end, not its
  // start: growing the heap for the probe wrote the top's header just past
  // the probe, before the advice, and a 2 MiB page that already holds a
  // 4 KiB page is never made a huge page when first touched.  Where the
  // heap's (random) start lies less than 1 MiB below a 2 MiB boundary, half
  // the runs, that page would be the model's: 240 more page faults, 2-4 ms
  // of a run on empty input.
  const auto at = reinterpret_cast<uintptr_t>(probe);
  const uintptr_t head = ((at + kProbe + kHuge) & ~(kHuge - 1)) - at;
  std::free(probe);
  return head > 2 * sizeof(size_t) ? std::malloc(head - 2 * sizeof(size_t)) : nullptr;
#else
  return nullptr;
#endif
}

int current_cpu() { return sched_getcpu(); }

void move_off_cpu(std::thread &thread, int cpu) {
  cpu_set_t allowed;
  if (cpu < 0 || sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  if (CPU_COUNT(&allowed) < 2 || cpu >= CPU_SETSIZE || !CPU_ISSET(cpu, &allowed)) return;
  cpu_set_t others = allowed;
  CPU_CLR(cpu, &others);
  if (pthread_setaffinity_np(thread.native_handle(), sizeof others, &others) == 0)
    pthread_setaffinity_np(thread.native_handle(), sizeof allowed, &allowed);
}

void *alloc_large(size_t bytes) {
  constexpr size_t kHuge = size_t{2} << 20;
  void *p;
  if (bytes < kHuge / 2) {
    p = std::malloc(bytes == 0 ? 1 : bytes);
  } else {
    bytes = (bytes + kHuge - 1) & ~(kHuge - 1);
    p = std::aligned_alloc(kHuge, bytes);
    if (p != nullptr) madvise(p, bytes, MADV_HUGEPAGE);
  }
  if (p == nullptr) out_of_memory();
  return p;
}

namespace {

// Writes a zero into every 4 KiB page of a zero-filled block.  Left
// untouched, a slot that is read before it is written maps the shared zero
// page, and the write that follows must replace that mapping: with several
// threads in the process (--jobs), each such fault interrupts the other cores
// to flush their TLBs, which cost more than the page clearing it saves.  A
// first write to an untouched page takes a fresh zeroed page (a huge one
// where the kernel can) and flushes nothing.
void touch_pages(void *p, size_t bytes) {
  for (size_t at = 0; at < bytes; at += 4096) static_cast<volatile char *>(p)[at] = 0;
}

}  // namespace

ZeroedBlock::ZeroedBlock(size_t bytes) {
  constexpr size_t kHuge = size_t{2} << 20;
  if (bytes < kHuge / 2) {
    p_ = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (p_ == nullptr) out_of_memory();
    touch_pages(p_, bytes);  // calloc maps fresh pages for blocks from 128 KiB on
    return;
  }
  // A mapping 2 MiB longer than the whole huge pages wanted, trimmed to an
  // aligned run of them (mmap aligns to 4 KiB only).
  size_t want = (bytes + kHuge - 1) & ~(kHuge - 1);
  void *map = mmap(nullptr, want + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) out_of_memory();
  auto base = reinterpret_cast<uintptr_t>(map);
  uintptr_t aligned = (base + kHuge - 1) & ~uintptr_t{kHuge - 1};
  if (aligned > base) munmap(map, aligned - base);
  uintptr_t end = base + want + kHuge;
  if (end > aligned + want) munmap(reinterpret_cast<void *>(aligned + want), end - (aligned + want));
  p_ = reinterpret_cast<void *>(aligned);
  mapped_ = want;
  madvise(p_, want, MADV_HUGEPAGE);
  touch_pages(p_, want);
}

ZeroedBlock::~ZeroedBlock() {
  if (mapped_ != 0) {
    munmap(p_, mapped_);
  } else {
    std::free(p_);
  }
}

void FdSink::put(const char *bytes, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd_, bytes, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      die(std::string("standard output: ") + std::strerror(errno));
    }
    bytes += w;
    n -= static_cast<size_t>(w);
  }
}

void Output::flush() {
  size_t n = used_;
  used_ = 0;  // a failing sink leaves nothing to write again
  if (n > 0) sink_->put(buffer_.get(), n);
}

void Output::write(const char *bytes, size_t n) {
  if (n > kCapacity - used_) {
    flush();
    if (n >= kCapacity) {
      sink_->put(bytes, n);
      return;
    }
  }
  std::memcpy(buffer_.get() + used_, bytes, n);
  used_ += n;
}

namespace {

// The eight decimal digits of value (below 10^8, leading zeros included) as
// ASCII in one 64-bit word, the first digit in the low byte (see
// store_digits).  The value is split into two four-digit halves in 32-bit
// lanes, each lane into two-digit quarters in 16-bit lanes and each of
// those into digits in bytes, every step a multiply by a reciprocal and a
// shift that keeps each lane's quotient in its own bits: four independent
// divisions in the time of one, where dividing off one pair at a time from
// the end was a chain of dependent ones.  (x * 5243) >> 19 is x / 100 for
// x < 43,699 and (x * 103) >> 10 is x / 10 for x < 1,029; the lanes hold
// values below 10,000 and 100.
inline uint64_t eight_digits(uint32_t value) {
  const uint64_t halves = uint64_t{value / 10000} | uint64_t{value % 10000} << 32;
  const uint64_t hundreds = ((halves * 5243) >> 19) & 0x0000007F0000007Full;
  const uint64_t quarters = hundreds | (halves - hundreds * 100) << 16;
  const uint64_t tens = ((quarters * 103) >> 10) & 0x000F000F000F000Full;
  const uint64_t digits = tens | (quarters - tens * 10) << 8;
  return digits | 0x3030303030303030ull;
}

// Stores the last `count` (1 to 8) of eight_digits' digits at p, in order,
// and then anything up to eight bytes in all: the leading zeros dropped.
inline void store_digits(char *p, uint64_t word, int count) {
  if constexpr (std::endian::native == std::endian::little) {
    word >>= 8 * (8 - count);  // the leading zeros, in the low bytes, fall off
  } else {
    word = __builtin_bswap64(word) << 8 * (8 - count);
  }
  std::memcpy(p, &word, 8);
}

}  // namespace

// The digits are counted from the value's bit width (log10(2) ~ 1233/4096)
// and one compare with a power of ten, rather than a loop of compares: the
// offsets printed for every sentence have six to eight digits.  A value
// below 10^8 is then written as eight digits at once (eight_digits), shifted
// so that its leading zeros fall off; the store writes eight bytes however
// many digits there are, so callers leave room for ten.  std::to_chars is
// the reference (FormatUint.AgreesWithToChars).
char *format_uint(char *p, uint32_t value) {
  // kPow10[0] is 0 so that 0 counts one digit.
  static constexpr uint32_t kPow10[10] = {0,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};
  const int bits = std::bit_width(value | 1u);
  const int t = (bits * 1233) >> 12;
  const int digits = t + (value >= kPow10[t] ? 1 : 0);
  if (digits > 8) {
    // Ten or nine digits: the first one or two, then eight.
    const uint32_t high = value / 100000000;
    if (high >= 10) *p++ = static_cast<char>('0' + high / 10);
    *p++ = static_cast<char>('0' + high % 10);
    store_digits(p, eight_digits(value % 100000000), 8);
    return p + 8;
  }
  store_digits(p, eight_digits(value), digits);
  return p + digits;
}

char *format_uint64(char *p, uint64_t value) {
  if (value <= UINT32_MAX) return format_uint(p, static_cast<uint32_t>(value));
  return std::to_chars(p, p + 20, value).ptr;
}

void Output::integer(int64_t value) {
  char *p = reserve(24);
  if (value >= 0 && value <= UINT32_MAX) {
    commit(format_uint(p, static_cast<uint32_t>(value)));
    return;
  }
  commit(std::to_chars(p, p + 24, value).ptr);
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
