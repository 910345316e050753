#include "cli/input_files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/base/error.h"

namespace fullstop::cli {

namespace {

constexpr const char *kStdinName = "standard input";

bool is_stdin(const std::string &name) { return name == "-"; }

[[noreturn]] void fail_errno(int error) { core::fail(core::ErrorKind::input, std::strerror(error)); }

}  // namespace

InputFiles::InputFiles(std::vector<std::string> names) : names_(std::move(names)) {
  if (names_.empty()) names_.push_back("-");
}

InputFiles::~InputFiles() { close_current(); }

bool InputFiles::reads_stdin() const {
  for (const auto &name : names_)
    if (is_stdin(name)) return true;
  return false;
}

void InputFiles::check() {
  for (const auto &name : names_) {
    if (is_stdin(name)) continue;
    current_ = name;
    struct stat st;
    if (::stat(name.c_str(), &st) != 0) fail_errno(errno);
    if (S_ISDIR(st.st_mode)) fail_errno(EISDIR);
    // A FIFO is only asked whether it may be read: opening it here would
    // let its writer's open return, and closing it again would leave the
    // writer with no reader.
    if (!S_ISREG(st.st_mode)) {
      if (::access(name.c_str(), R_OK) != 0) fail_errno(errno);
      continue;
    }
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail_errno(errno);
    ::close(fd);
  }
  current_ = kStdinName;
}

bool InputFiles::open_next() {
  if (next_ >= names_.size()) return false;
  const std::string &name = names_[next_++];
  if (is_stdin(name)) {
    current_ = kStdinName;
    // Typed text ends only at Ctrl-D: a run that waits for it says so
    // rather than look hung.
    if (::isatty(0)) std::fputs("fullstop: reading text from standard input (end it with Ctrl-D)\n", stderr);
    fd_ = 0;
    own_ = false;
    return true;
  }
  current_ = name;
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) fail_errno(errno);
  own_ = true;
  return true;
}

void InputFiles::close_current() {
  if (fd_ >= 0 && own_) ::close(fd_);
  fd_ = -1;
}

bool InputFiles::would_wait() {
  if (fd_ < 0 && !open_next()) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

size_t InputFiles::read(char *buf, size_t n) {
  if (fd_ < 0 && !open_next()) return 0;
  for (;;) {
    ssize_t got = ::read(fd_, buf, n);
    if (got > 0) return static_cast<size_t>(got);
    if (got == 0) {
      close_current();
      return 0;
    }
    if (errno != EINTR) fail_errno(errno);
  }
}

}  // namespace fullstop::cli
