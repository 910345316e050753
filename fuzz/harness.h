// Plumbing shared by the fuzz targets: capturing what the detector writes to
// file descriptors 1 and 2, a private scratch folder, and reporting a
// disagreement with the reference before aborting (which libFuzzer records as
// a crash, with the input saved).
#ifndef FULLSTOP_FUZZ_HARNESS_H
#define FULLSTOP_FUZZ_HARNESS_H

#include <string>
#include <string_view>

namespace harness {

// Creates the scratch folder and the capture files, once per process.
void init();

// The scratch folder (no trailing slash).
const std::string &scratch_dir();

// Between begin_capture() and end_capture(), file descriptors 1 and 2 are
// memory files; end_capture() restores the real ones and returns what was
// written.  Sanitizer reports still reach the real standard error, and if the
// code under test exits the process, the real standard error is put back
// first and what the code had written to it is shown.
void begin_capture();
struct Captured {
  std::string out;
  std::string err;
};
Captured end_capture();

// Replaces the file at path with bytes.
void write_file(const std::string &path, std::string_view bytes);
std::string read_file(const std::string &path);

// Input and other strings for messages: printable, escaped, cut to a size.
std::string show(std::string_view bytes, size_t limit = 400);

// Prints what differs between two outputs and aborts.
[[noreturn]] void mismatch(const char *what, std::string_view input, std::string_view want,
                           std::string_view got);
[[noreturn]] void fail(const std::string &message);

}  // namespace harness

#endif  // FULLSTOP_FUZZ_HARNESS_H
