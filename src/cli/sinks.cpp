#include "cli/sinks.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/base/error.h"

namespace fullstop::cli {

void FdSink::put(const char *bytes, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd_, bytes, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      core::fail(core::ErrorKind::output, std::string("standard output: ") + std::strerror(errno));
    }
    bytes += w;
    n -= static_cast<size_t>(w);
  }
}

void flush_stdout() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    core::fail(core::ErrorKind::output, std::string("standard output: ") + std::strerror(errno != 0 ? errno : EIO));
}

void FileSink::put(const char *bytes, size_t n) {
  if (error_ != 0) return;
  if (std::fwrite(bytes, 1, n, file_) != n) error_ = errno != 0 ? errno : EIO;
}

}  // namespace fullstop::cli
