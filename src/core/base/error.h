// The one error type of the house: what kind of thing went wrong and a
// message that names the input at fault.
//
// The core and the trainer throw it and never end the process.  Only the
// programs (src/cli) turn it into a message on standard error and an exit
// status, and only the C API (src/api) into a message for its caller: the
// kind tells them how (see cli/exit_status.h).  Running out of memory stays
// the language's std::bad_alloc.
#ifndef FULLSTOP_CORE_BASE_ERROR_H
#define FULLSTOP_CORE_BASE_ERROR_H

#include <cstdint>
#include <stdexcept>
#include <string>

namespace fullstop::core {

enum class ErrorKind : uint8_t {
  // A bad command line.  The program points to --help after the message
  // (an empty message: the option parser has said what was wrong).
  usage,
  // The same, but the message stands alone: scripts may match it whole.
  usage_alone,
  // A library call's argument is unusable (a null pointer, a negative count).
  argument,
  // The text cannot be read, or it passes a limit of the detector.  The
  // message does not say where the text came from: the program, which reads
  // standard input, says so in front of it.
  input,
  // A model file that cannot be opened or read: "PATH: REASON".
  model_access,
  // A model whose records declare what this version cannot read.
  model,
  // Malformed training material (contexts, a feature list).
  data,
  // The trainer's fit failed or would give a useless model.
  fit,
  // Output could not be written.
  output,
  // The system refused a resource (a thread); or a table passed its size.
  resource,
  // An internal check failed: a fault of the program, not of its input.
  internal,
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string &message) : std::runtime_error(message), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

[[noreturn]] void fail(ErrorKind kind, const std::string &message);

// A failed internal check, worded as the C library's assert words it
// ("FILE:LINE: FUNCTION: Assertion `EXPR' failed."), in every build type.
[[noreturn]] void check_failed(const char *expr, const char *file, unsigned line, const char *function);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_BASE_ERROR_H
