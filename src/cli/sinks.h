// The programs' sinks: standard output, and files.
#ifndef FULLSTOP_CLI_SINKS_H
#define FULLSTOP_CLI_SINKS_H

#include <cstdio>

#include "core/base/output.h"

namespace fullstop::cli {

// Writes to a file descriptor (standard output).  A failed write fails
// (core::Error of kind output) naming standard output and the system's
// reason, so output is never silently truncated.
class FdSink : public core::Sink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  void put(const char *bytes, size_t n) override;

 private:
  int fd_;
};

// Writes to a stream.  A failed write is kept, not thrown, and what comes
// after it is dropped: the writer of the file says what failed, and how
// (see atomic_file.h).
class FileSink : public core::Sink {
 public:
  explicit FileSink(std::FILE *file) : file_(file) {}
  void put(const char *bytes, size_t n) override;
  // Whether every write succeeded (else errno is the first failure's).
  bool ok() const { return error_ == 0; }
  int error() const { return error_; }

 private:
  std::FILE *file_;
  int error_ = 0;
};

// Flushes what was printed to standard output through stdio (--help,
// --version); a write that failed fails as FdSink's does, so a run whose
// output was lost never reports success.
void flush_stdout();

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_SINKS_H
