// The program's allocator setup: the blocks allocated after it (the model
// first) must come from huge pages wherever the heap happened to start.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "util.h"

namespace {

constexpr uintptr_t kHuge = uintptr_t{2} << 20;

// Transparent huge pages of 2 MiB (the size the setup assumes) granted to
// advised memory ("always" or "madvise").
bool huge_pages_on() {
  std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
  std::ifstream size("/sys/kernel/mm/transparent_hugepage/hpage_pmd_size");
  std::string line;
  unsigned long bytes = 0;
  return std::getline(f, line) && line.find("[never]") == std::string::npos && size >> bytes &&
         bytes == kHuge;
}

long vmstat(const std::string &name) {
  std::ifstream f("/proc/vmstat");
  std::string key;
  long value = 0;
  while (f >> key >> value)
    if (key == name) return value;
  return 0;
}

// The AnonHugePages of the mapping that holds p, in kB (-1: not found).
long huge_kb_at(const void *p) {
  std::ifstream f("/proc/self/smaps");
  std::string line;
  const auto at = reinterpret_cast<uintptr_t>(p);
  bool inside = false;
  while (std::getline(f, line)) {
    unsigned long lo = 0, hi = 0;
    char dash = 0;
    std::istringstream head(line);
    if (head >> std::hex >> lo >> dash >> hi && dash == '-') {
      inside = lo <= at && at < hi;
    } else if (inside && line.rfind("AnonHugePages:", 0) == 0) {
      return std::stol(line.substr(14));
    }
  }
  return -1;
}

// Exit statuses of the child that runs one case.
enum : int { kHugeOk = 0, kSmallPages = 1, kSkipped = 2 };

// In a child: moves the heap's top to `offset` bytes before a 2 MiB
// boundary, sets the allocator up, then writes a block as the model would.
int run_case(uintptr_t offset) {
  // A block larger than the heap's top is taken from the top's start as the
  // heap grows, so the next one begins at its end (glibc's layout: a 16-byte
  // header before each block).  Both stay in the heap, unmapped blocks
  // being mapped on their own from 128 KiB up by default.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  constexpr size_t kBig = size_t{8} << 20;
  void *big = std::malloc(kBig);
  const uintptr_t top = reinterpret_cast<uintptr_t>(big) + kBig + 16;
  const uintptr_t target = ((top + kHuge - 1) & ~(kHuge - 1)) + kHuge - offset;
  void *filler = std::malloc(target - top);
  void *held = tune_allocator_for_streaming();
  if (held == nullptr) return kSkipped;  // no sbrk heap (a sanitizer, valgrind)
  const long fallbacks = vmstat("thp_fault_fallback");
  constexpr size_t kBlock = size_t{256} << 10;
  auto *block = static_cast<char *>(std::malloc(kBlock));
  std::memset(block, 1, kBlock);
  const long huge = huge_kb_at(block);
  if (huge <= 0 && vmstat("thp_fault_fallback") != fallbacks) return kSkipped;  // none to give
  std::free(block);
  std::free(held);
  std::free(filler);
  std::free(big);
  return huge > 0 ? kHugeOk : kSmallPages;
}

// Where the heap's top lies below a 2 MiB boundary: the probe the setup
// allocates (1 MiB) ends past the boundary, or before it.
class TuneAllocator : public ::testing::TestWithParam<uintptr_t> {};

TEST_P(TuneAllocator, LaterBlocksComeFromHugePages) {
  if (!huge_pages_on()) GTEST_SKIP() << "no transparent huge pages of 2 MiB";
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(run_case(GetParam()));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kSkipped) GTEST_SKIP() << "no sbrk heap, or no huge page to give";
  EXPECT_EQ(WEXITSTATUS(status), kHugeOk) << "the block after the setup is in 4 KiB pages";
}

INSTANTIATE_TEST_SUITE_P(HeapTops, TuneAllocator,
                         ::testing::Values(uintptr_t{256} << 10, uintptr_t{768} << 10,
                                           uintptr_t{1280} << 10, uintptr_t{1792} << 10));

}  // namespace
