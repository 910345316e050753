#include "core/base/memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace fullstop::core {

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

}  // namespace fullstop::core
