// Open addressing with linear probing: the slots of the house's indexes
// (feature names, a model's names by word and by stem, the names a
// detection run meets that its model lacks).
//
// The table holds plain slots, a power of two of them, and knows nothing of
// what a slot means: a slot whose bytes are all zero is empty, and each
// index says how a slot is found (probe's `stop`) and where a slot belongs
// when the table grows (rehash's `home`).  The indexes keep their tables at
// most half full (three quarters for the largest), so a probe always meets
// an empty slot and ends.
#ifndef FULLSTOP_CORE_BASE_PROBE_TABLE_H
#define FULLSTOP_CORE_BASE_PROBE_TABLE_H

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "core/base/memory.h"

namespace fullstop::core {

template <typename Slot>
class ProbeTable {
  static_assert(std::is_trivially_copyable_v<Slot>);

 public:
  ProbeTable() = default;
  ProbeTable(ProbeTable &&) noexcept = default;
  ProbeTable &operator=(ProbeTable &&) noexcept = default;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t mask() const { return size_ - 1; }
  Slot &operator[](size_t i) { return slots_.get()[i]; }
  const Slot &operator[](size_t i) const { return slots_.get()[i]; }

  // `slots` empty slots (a power of two), in place of the table.
  void reset(size_t slots) {
    const size_t bytes = slots * sizeof(Slot);
    slots_.reset();
    slots_.reset(static_cast<Slot *>(xrealloc(nullptr, bytes)));
    if (bytes >= (size_t{4} << 20)) advise_huge_pages(slots_.get(), bytes);
    std::uninitialized_fill_n(slots_.get(), slots, Slot{});
    size_ = slots;
  }
  void release() {
    slots_.reset();
    size_ = 0;
  }
  // Empties every slot, in the memory the table has.
  void clear() {
    if (size_ != 0) std::memset(static_cast<void *>(slots_.get()), 0, size_ * sizeof(Slot));
  }

  // The first slot from `home` on (wrapping around) for which `stop` holds;
  // `stop` must hold for an empty slot.
  template <typename Stop>
  [[gnu::always_inline]] inline Slot &probe(size_t home, Stop &&stop) {
    Slot *const slots = slots_.get();
    const size_t mask = size_ - 1;
    for (size_t s = home & mask;; s = (s + 1) & mask)
      if (stop(slots[s])) return slots[s];
  }
  template <typename Stop>
  [[gnu::always_inline]] inline const Slot &probe(size_t home, Stop &&stop) const {
    const Slot *const slots = slots_.get();
    const size_t mask = size_ - 1;
    for (size_t s = home & mask;; s = (s + 1) & mask)
      if (stop(slots[s])) return slots[s];
  }

  // Moves the slots for which `used` holds into a fresh table of `slots`
  // slots, each into the first empty slot from `home(slot)` on, in the
  // order of the old table.
  template <typename Used, typename Home>
  void rehash(size_t slots, Used &&used, Home &&home) {
    ProbeTable old = std::move(*this);
    reset(slots);
    for (size_t i = 0; i < old.size_; i++) {
      const Slot &e = old[i];
      if (!used(e)) continue;
      probe(home(e), [&](const Slot &s) { return !used(s); }) = e;
    }
  }

 private:
  std::unique_ptr<Slot, FreeDeleter> slots_;
  size_t size_ = 0;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_BASE_PROBE_TABLE_H
