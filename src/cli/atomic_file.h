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
#ifndef FULLSTOP_CLI_ATOMIC_FILE_H
#define FULLSTOP_CLI_ATOMIC_FILE_H

#include <cstdio>
#include <functional>
#include <string>

namespace fullstop::cli::atomic_file {

// How a failure is worded: "PATH: REASON" (the fullstop program's), or
// "PATH: STEP: REASON" with the step that failed ("cannot write", "cannot
// create a temporary file beside it"; fullstop-train's).
enum class Wording { reason, step_and_reason };

// Writes `path` with `fill`, which writes the content to the stream and
// returns false when a write failed (errno set).  A failure removes the
// temporary file and fails (core::Error of kind output, worded as asked);
// an exception from `fill` removes it and passes on.
void replace(const std::string &path, const std::function<bool(std::FILE *)> &fill, Wording wording);

// The file a write to `path` lands in: the end of its chain of symbolic
// links (which need not exist), or `path` itself.
std::string final_target(const std::string &path);

}  // namespace fullstop::cli::atomic_file

#endif  // FULLSTOP_CLI_ATOMIC_FILE_H
