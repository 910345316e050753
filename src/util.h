// Shared plumbing: errors, checked allocation, growable plain arrays and the
// buffered output that every mode prints through.
#ifndef FULLSTOP_UTIL_H
#define FULLSTOP_UTIL_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

namespace fullstop {

// What the core reports instead of ending the process.  The programs print
// "fullstop: MESSAGE" (or, with `raw`, the message alone) on standard error and
// exit with `status`; with `abort_process`, they abort, as a failed internal
// check always has.  The library's functions turn it into an error message
// (the C API) or a fullstop::Error (the C++ API).
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string &message, int status = 1, bool raw = false,
                   bool abort_process = false)
      : std::runtime_error(message), status_(status), raw_(raw), abort_(abort_process) {}
  int status() const { return status_; }
  bool raw() const { return raw_; }
  bool abort_process() const { return abort_; }

 private:
  int status_;
  bool raw_;
  bool abort_;
};

}  // namespace fullstop

// Throws fullstop::Failure(message): the programs print "fullstop: MESSAGE" and
// exit with status 1.
[[noreturn]] void die(const std::string &message);
// Throws std::bad_alloc: the programs print "fullstop: out of memory" and exit
// with status 1.
[[noreturn]] void out_of_memory();

void *xrealloc(void *p, size_t bytes);
// Asks for huge pages for the whole 2 MiB pages inside [p, p + bytes): large
// arrays then cost far fewer page faults, where the system grants them.
void advise_huge_pages(void *p, size_t bytes);
// Memory for a large array that is filled at once (not zeroed; released
// with std::free).  From 1 MiB on it is whole 2 MiB pages, aligned, with huge
// pages asked for: advise_huge_pages() on an unaligned block leaves its ends
// and any block under 4 MiB in 4 KiB pages, each a page fault, and on this
// kind of machine 6 MiB in 4 KiB pages took 3.4-4.5 ms to fault in, against
// 0.7-1.0 ms in huge pages.
void *alloc_large(size_t bytes);
// Owns a block from malloc or alloc_large: std::unique_ptr<char, FreeDeleter>.
struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};

// Sets up the C library's allocator for a program that streams text for its
// whole life (the fullstop program calls it first thing; the library never
// does: its callers own their process).  Each fresh 4 KiB page costs a page
// fault when first written, some 10 us on this kind of virtual machine, and
// the allocator's defaults hand out fresh pages again and again: every block
// from 128 KiB on is mapped anew and unmapped when freed (a block's output,
// a table that doubles), and the top of the heap goes back to the system
// as soon as it is free.  So: one heap for every thread, kept once grown,
// blocks up to 32 MiB taken from it, the heap grown 64 MiB at a time and
// that stretch backed by huge pages where the system grants them.  On
// 20 MiB of text this took a third of the page faults and 12-15% of the
// time of a run; RSS stays a few MiB above what the text in flight needs.
// Returns a block to keep unused while the program runs (or null): it fills
// the heap up to the first whole huge page.  Does nothing outside glibc.
void *tune_allocator_for_streaming();

// The processor the calling thread runs on, or -1 where that is unknown.
int current_cpu();
// Moves `thread`, just started by a thread running on `cpu`, to another
// processor the process may use, and then lets it run anywhere again.  The
// kernel queues a new thread on its creator's processor, and on these
// virtual machines left it there, time-sharing with its creator in 4 ms
// slices, for up to 13 ms while the other processor idled: a fifth of a
// --jobs 2 run over 20 MB.  Narrowing a queued thread's processors moves it
// at once, and widening them again does not move it back.  Does nothing
// with one processor, or when `cpu` is -1.
void move_off_cpu(std::thread &thread, int cpu);

// A zero-filled block for a large table that is written only where it is
// used.  From 1 MiB on its pages come from the kernel (mmap), zero already,
// in whole 2 MiB pages with huge pages asked for: a page never touched costs
// nothing, where filling the table with zeros made the kernel clear every
// page on its first write and the program write it again (training's table
// of ids spent a tenth of its run there).  Smaller blocks are calloc's.
class ZeroedBlock {
 public:
  ZeroedBlock() = default;
  explicit ZeroedBlock(size_t bytes);
  ZeroedBlock(ZeroedBlock &&other) noexcept
      : p_(other.p_), mapped_(other.mapped_) {
    other.p_ = nullptr;
    other.mapped_ = 0;
  }
  ZeroedBlock &operator=(ZeroedBlock &&other) noexcept {
    ZeroedBlock moved(std::move(other));
    std::swap(p_, moved.p_);
    std::swap(mapped_, moved.mapped_);
    return *this;
  }
  ~ZeroedBlock();
  void *get() const { return p_; }

 private:
  void *p_ = nullptr;
  size_t mapped_ = 0;  // bytes mapped, or 0 for calloc's
};

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

// Where buffered output goes when the buffer fills or is flushed.
class Sink {
 public:
  virtual ~Sink() = default;
  // Takes all n bytes or throws fullstop::Failure.
  virtual void put(const char *bytes, size_t n) = 0;
};

// Writes to a file descriptor.  A failed write throws an Error naming
// standard output and the system's reason, so output is never silently
// truncated.
class FdSink : public Sink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  void put(const char *bytes, size_t n) override;

 private:
  int fd_;
};

// Appends to a string.
class StringSink : public Sink {
 public:
  void put(const char *bytes, size_t n) override { text.append(bytes, n); }
  std::string text;
};

// Buffered writes to a sink.  Output that a run prints goes through here in
// chunks of up to 64 KiB.
class Output {
 public:
  static constexpr size_t kCapacity = 1 << 16;
  explicit Output(Sink &sink) : sink_(&sink), buffer_(new char[kCapacity]) {}
  Output(const Output &) = delete;
  Output &operator=(const Output &) = delete;

  void write(const char *bytes, size_t n);
  void write(std::string_view s) { write(s.data(), s.size()); }
  void put(char c) {
    if (used_ == kCapacity) flush();
    buffer_[used_++] = c;
  }
  void integer(int64_t value);
  void flush();
  // Direct writing into the buffer: reserve(n) returns room for at least n
  // bytes (n at most 4096); commit(end) keeps what was written up to end.
  char *reserve(size_t n) {
    if (n > kCapacity - used_) flush();
    return buffer_.get() + used_;
  }
  void commit(char *end) { used_ = static_cast<size_t>(end - buffer_.get()); }
  // Drops buffered output without writing it.
  void discard() { used_ = 0; }

 private:
  Sink *sink_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

// Writes the decimal form of value at p and returns the end.  It may write
// up to ten bytes at p (as many as the longest value has digits), past the
// end it returns.
char *format_uint(char *p, uint32_t value);
// The same for any 64-bit value (at most 20 digits).
char *format_uint64(char *p, uint64_t value);

// Appends the decimal form of value to s.
void append_int(std::string &s, int64_t value);

#endif  // FULLSTOP_UTIL_H
