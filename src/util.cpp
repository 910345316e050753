#include "util.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <unistd.h>

void die(const std::string &message) {
  std::fprintf(stderr, "fullstop: %s\n", message.c_str());
  std::exit(1);
}

void out_of_memory() {
  std::fputs("out of memory\n", stderr);
  std::exit(1);
}

void *xrealloc(void *p, size_t bytes) {
  void *q = std::realloc(p, bytes == 0 ? 1 : bytes);
  if (q == nullptr) out_of_memory();
  return q;
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

void out_char(char c) {
  if (out_used == kOutCapacity) out_flush();
  out_buffer[out_used++] = c;
}

void out_int(int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out_write(digits, static_cast<size_t>(result.ptr - digits));
}

void append_int(std::string &s, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  s.append(digits, result.ptr);
}
