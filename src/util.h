// Shared plumbing: fatal errors, checked allocation, growable plain arrays and
// the buffered standard output that every mode prints through.
#ifndef FULLSTOP_UTIL_H
#define FULLSTOP_UTIL_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

// Prints "fullstop: MESSAGE" on standard error and exits with status 1.
[[noreturn]] void die(const std::string &message);
// Prints "fullstop: out of memory" on standard error and exits with status 1.
[[noreturn]] void out_of_memory();

void *xrealloc(void *p, size_t bytes);
// Asks for huge pages for the whole 2 MiB pages inside [p, p + bytes): large
// arrays then cost far fewer page faults, where the system grants them.
void advise_huge_pages(void *p, size_t bytes);

// A growable array of plain records.  Growth goes through realloc, which for
// large blocks remaps pages instead of copying, so a huge array never needs
// twice its size in memory while it grows.
template <typename T>
struct PodArray {
  static_assert(std::is_trivially_copyable_v<T>);
  T *ptr = nullptr;
  size_t n = 0;
  size_t cap = 0;

  size_t size() const { return n; }
  bool empty() const { return n == 0; }
  T &operator[](size_t i) { return ptr[i]; }
  const T &operator[](size_t i) const { return ptr[i]; }
  T &back() { return ptr[n - 1]; }
  T *begin() { return ptr; }
  T *end() { return ptr + n; }
  void reserve(size_t want) {
    if (want <= cap) return;
    size_t grown = cap + cap / 2 + 64;
    if (grown < want) grown = want;
    ptr = static_cast<T *>(xrealloc(ptr, grown * sizeof(T)));
    cap = grown;
    if (grown * sizeof(T) >= (size_t{4} << 20)) advise_huge_pages(ptr, grown * sizeof(T));
  }
  void push_back(const T &value) {
    if (n == cap) reserve(n + 1);
    ptr[n++] = value;
  }
  void clear() { n = 0; }
  void release() {
    std::free(ptr);
    ptr = nullptr;
    n = cap = 0;
  }
};

// Buffered writes to standard output (file descriptor 1).  A failed write ends
// the run with a message naming standard output and the system's reason, so
// output is never silently truncated.
void out_write(const char *bytes, size_t n);
inline void out_write(std::string_view s) { out_write(s.data(), s.size()); }
void out_char(char c);
void out_int(int64_t value);
void out_flush();
// Direct writing into the output buffer: out_reserve(n) returns room for at
// least n bytes (n at most 4096); out_commit(end) keeps what was written up
// to end.
char *out_reserve(size_t n);
void out_commit(char *end);
// Writes the decimal form of value at p and returns the end.
char *format_uint(char *p, uint32_t value);
// Drops buffered output without writing it (for tests that reset state).
void out_discard();

// Appends the decimal form of value to s.
void append_int(std::string &s, int64_t value);

#endif  // FULLSTOP_UTIL_H
