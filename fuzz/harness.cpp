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

namespace {

std::string dir;
int real_out = -1, real_err = -1;  // the process's own descriptors 1 and 2
int mem_out = -1, mem_err = -1;
bool capturing = false;

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz harness: %s: %s\n", what, std::strerror(errno));
    std::abort();
  }
}

std::string drain(int fd) {
  std::string text;
  off_t size = lseek(fd, 0, SEEK_END);
  check(size >= 0, "lseek");
  text.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < text.size()) {
    ssize_t got = pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    check(got > 0, "pread");
    done += static_cast<size_t>(got);
  }
  check(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0, "ftruncate");
  return text;
}

void restore() {
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(real_out, 1);
  dup2(real_err, 2);
  capturing = false;
}

// The code under test ended the process (exit() on an error it thought fatal):
// show its message on the real standard error, where libFuzzer reports it.
void on_exit() {
  if (!capturing) return;
  restore();
  std::string err = drain(mem_err);
  std::fprintf(stderr, "fuzz harness: the code under test exited; its standard error:\n%s\n",
               show(err, 2000).c_str());
}

}  // namespace

void init() {
  if (!dir.empty()) return;
  char pattern[] = "/tmp/fullstop-fuzz-XXXXXX";
  check(mkdtemp(pattern) != nullptr, "mkdtemp");
  dir = pattern;
  real_out = dup(1);
  real_err = dup(2);
  check(real_out >= 0 && real_err >= 0, "dup");
  mem_out = memfd_create("fuzz-stdout", 0);
  mem_err = memfd_create("fuzz-stderr", 0);
  check(mem_out >= 0 && mem_err >= 0, "memfd_create");
  // Sanitizer reports must not vanish into a capture file.
  __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(real_err)));
  std::atexit(on_exit);
}

const std::string &scratch_dir() { return dir; }

void begin_capture() {
  std::fflush(stdout);
  std::fflush(stderr);
  check(dup2(mem_out, 1) == 1 && dup2(mem_err, 2) == 2, "dup2");
  capturing = true;
}

Captured end_capture() {
  restore();
  return Captured{drain(mem_out), drain(mem_err)};
}

void write_file(const std::string &path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  check(fd >= 0, path.c_str());
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
    check(w > 0, "write");
    done += static_cast<size_t>(w);
  }
  close(fd);
}

std::string read_file(const std::string &path) {
  std::string text;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char block[1 << 14];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, got);
  std::fclose(f);
  return text;
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
