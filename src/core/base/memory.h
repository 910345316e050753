// Memory for large arrays: checked allocation, huge pages where the system
// grants them, zero-filled blocks whose untouched pages cost nothing, and a
// growable array of plain records.
#ifndef FULLSTOP_CORE_BASE_MEMORY_H
#define FULLSTOP_CORE_BASE_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace fullstop::core {

// Throws std::bad_alloc: the programs print "fullstop: out of memory" and
// exit with status 1, the library returns "out of memory".
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
  ZeroedBlock(ZeroedBlock &&other) noexcept : p_(other.p_), mapped_(other.mapped_) {
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

// A growable array of plain records, which it owns.  Growth goes through
// realloc, which for large blocks remaps pages instead of copying, so a huge
// array never needs twice its size in memory while it grows.
template <typename T>
struct PodArray {
  static_assert(std::is_trivially_copyable_v<T>);
  T *ptr = nullptr;
  size_t n = 0;
  size_t cap = 0;

  PodArray() = default;
  PodArray(const PodArray &) = delete;
  PodArray &operator=(const PodArray &) = delete;
  ~PodArray() { std::free(ptr); }

  size_t size() const { return n; }
  bool empty() const { return n == 0; }
  T &operator[](size_t i) { return ptr[i]; }
  const T &operator[](size_t i) const { return ptr[i]; }
  T &back() { return ptr[n - 1]; }
  const T &back() const { return ptr[n - 1]; }
  T *begin() { return ptr; }
  T *end() { return ptr + n; }
  const T *begin() const { return ptr; }
  const T *end() const { return ptr + n; }
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

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_BASE_MEMORY_H
