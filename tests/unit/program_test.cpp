// The program's own pieces: the allocator setup (the blocks allocated after
// it, the model first, must come from huge pages wherever the heap happened
// to start), and errors turned into messages and exit statuses.
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

#include "cli/allocator.h"
#include "cli/exit_status.h"
#include "core/base/error.h"

namespace {

using fullstop::cli::tune_allocator_for_streaming;
using fullstop::core::Error;
using fullstop::core::ErrorKind;

constexpr uintptr_t kHuge = uintptr_t{2} << 20;

// The first number on the line of `file` that starts with `key` (0: none).
long field(const char *file, const std::string &key) {
  std::ifstream f(file);
  for (std::string line; std::getline(f, line);)
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

// The AnonHugePages (kB) of the mapping that holds p, or -1.
long huge_kb_at(const void *p) {
  std::ifstream f("/proc/self/smaps");
  const auto at = reinterpret_cast<uintptr_t>(p);
  bool inside = false;
  for (std::string line; std::getline(f, line);) {
    unsigned long lo = 0, hi = 0;
    char dash = 0;
    if (std::istringstream(line) >> std::hex >> lo >> dash >> hi && dash == '-') inside = lo <= at && at < hi;
    if (inside && line.rfind("AnonHugePages:", 0) == 0) return std::atol(line.c_str() + 14);
  }
  return -1;
}

enum : int { kHugeOk, kSmallPages, kSkipped };  // the child's exit status

// In a child: moves the heap's top to `offset` bytes below a 2 MiB boundary,
// sets the allocator up, then writes a block as the model would.  A block
// larger than the top is taken from the top's start as the heap grows, so
// the next begins at its end (glibc: a 16-byte header before each block).
int run_case(uintptr_t offset) {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // keep both in the heap (32 MiB: the most it takes)
  constexpr size_t kBig = size_t{8} << 20;
  void *big = std::malloc(kBig);
  const uintptr_t top = reinterpret_cast<uintptr_t>(big) + kBig + 16;
  void *filler = std::malloc(((top + kHuge - 1) & ~(kHuge - 1)) + kHuge - offset - top);
  void *held = tune_allocator_for_streaming();
  if (held == nullptr) return kSkipped;  // no sbrk heap (a sanitizer, valgrind)
  const long fallbacks = field("/proc/vmstat", "thp_fault_fallback ");
  constexpr size_t kBlock = size_t{256} << 10;
  auto *block = static_cast<char *>(std::malloc(kBlock));
  std::memset(block, 1, kBlock);
  const long huge = huge_kb_at(block);
  if (huge <= 0 && field("/proc/vmstat", "thp_fault_fallback ") != fallbacks) return kSkipped;
  std::free(block);
  std::free(held);
  std::free(filler);
  std::free(big);
  return huge > 0 ? kHugeOk : kSmallPages;
}

// Offsets of the heap's top below a boundary: the 1 MiB probe the setup
// allocates ends past the boundary, or before it.
class TuneAllocator : public ::testing::TestWithParam<uintptr_t> {};

TEST_P(TuneAllocator, LaterBlocksComeFromHugePages) {
  std::ifstream enabled("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string mode;
  std::getline(enabled, mode);
  if (mode.empty() || mode.find("[never]") != std::string::npos ||
      field("/sys/kernel/mm/transparent_hugepage/hpage_pmd_size", "") != static_cast<long>(kHuge))
    GTEST_SKIP() << "no transparent huge pages of 2 MiB";
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

// Each kind of error as the programs print it and exit with it: what the
// golden cases, the bad-input matrix and scripts read.
TEST(ExitStatus, EachKindHasItsMessageAndStatus) {
  struct Case {
    ErrorKind kind;
    const char *message, *printed;
    int status;
  };
  const Case cases[] = {
      {ErrorKind::usage, "bad number of jobs 'x'", "prog: bad number of jobs 'x'\nTry 'prog --help'.\n", 2},
      {ErrorKind::usage, "", "Try 'prog --help'.\n", 2},
      {ErrorKind::usage_alone, "unknown text mode 'x'", "prog: unknown text mode 'x'\n", 2},
      {ErrorKind::input, "Is a directory", "prog: standard input: Is a directory\n", 1},
      {ErrorKind::model_access, "m.model: No such file or directory", "m.model: No such file or directory\n", 255},
      {ErrorKind::model, "m.model: unknown text mode 'x'", "prog: m.model: unknown text mode 'x'\n", 1},
      {ErrorKind::output, "standard output: No space left on device",
       "prog: standard output: No space left on device\n", 1},
      {ErrorKind::data, "ctx:2: label must be 0 or 1", "prog: ctx:2: label must be 0 or 1\n", 1},
      {ErrorKind::argument, "model is NULL", "prog: model is NULL\n", 1},
  };
  for (const Case &c : cases) {
    testing::internal::CaptureStderr();
    const int status = fullstop::cli::exit_status(Error(c.kind, c.message), "prog");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.printed);
    EXPECT_EQ(status, c.status) << c.printed;
  }
}

}  // namespace
