#include "cli/allocator.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <unistd.h>

#include "core/base/memory.h"

namespace fullstop::cli {

using core::advise_huge_pages;

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

}  // namespace fullstop::cli
