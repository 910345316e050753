#include "harness.h"

#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace harness {

void init() {
  // Sanitizer reports must reach the real standard error whatever a target
  // does with its descriptors.
  static bool done = false;
  if (done) return;
  done = true;
  __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(2)));
}

std::string show(std::string_view bytes, size_t limit) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < limit; i++) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') {
      out += "\\n\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (bytes.size() > limit) out += "...(" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

void mismatch(const char *what, std::string_view input, std::string_view want,
              std::string_view got) {
  size_t at = 0;
  while (at < want.size() && at < got.size() && want[at] == got[at]) at++;
  size_t from = at > 200 ? at - 200 : 0;
  std::fprintf(stderr,
               "\n==== %s differs from the reference at byte %zu ====\n"
               "---- input (%zu bytes):\n%s\n"
               "---- expected from byte %zu:\n%s\n"
               "---- got from byte %zu:\n%s\n",
               what, at, input.size(), show(input).c_str(), from,
               show(want.substr(std::min(from, want.size()))).c_str(), from,
               show(got.substr(std::min(from, got.size()))).c_str());
  std::abort();
}

void fail(const std::string &message) {
  std::fprintf(stderr, "\n==== %s\n", message.c_str());
  std::abort();
}

}  // namespace harness

// Shorter allocation stacks in sanitizer reports: recording thirty frames for
// every allocation costs a good part of each run.  ASAN_OPTIONS overrides it.
extern "C" const char *__asan_default_options() { return "malloc_context_size=10"; }
