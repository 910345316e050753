// Writing a file all or nothing, shared by fullstop and fullstop-train.
//
// The content goes to a temporary sibling of the file, is flushed to disk
// (fsync) and renamed over the file, so a reader sees the old content or the
// new, never a mix or a truncated file, and two runs writing the same file at
// once leave one run's content whole.  A symbolic link stays a link: the file
// it points to is replaced the same way, and a dangling link gets its target
// created.  Devices and FIFOs (/dev/null, /dev/stdout, a pipe) are written in
// place, as renaming would replace the device node itself.
//
// While a temporary file exists, SIGINT, SIGTERM and SIGHUP remove it and
// then end the process as the signal would have (signals the process
// ignores stay ignored).
#ifndef FULLSTOP_ATOMIC_FILE_H
#define FULLSTOP_ATOMIC_FILE_H

#include <cstdio>
#include <functional>
#include <string>

namespace atomic_file {

// What went wrong: the step, as a short phrase, and the system's error
// number.
struct Failure {
  const char *step = nullptr;  // nullptr: no failure
  int error = 0;
  explicit operator bool() const { return step != nullptr; }
};

// Writes `path` with `fill`, which writes the content to the stream and
// returns false when a write failed (errno set).  An exception from `fill`
// removes the temporary file and passes on.
Failure replace(const std::string &path, const std::function<bool(std::FILE *)> &fill);

// The file a write to `path` lands in: the end of its chain of symbolic
// links (which need not exist), or `path` itself.
std::string final_target(const std::string &path);

}  // namespace atomic_file

#endif  // FULLSTOP_ATOMIC_FILE_H
