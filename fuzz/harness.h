// Plumbing shared by the fuzz targets: reporting a disagreement with the
// reference before aborting (which libFuzzer records as a crash, with the
// input saved).  The targets run the detector in-process through its library
// interface (in_process.h), so nothing here touches descriptors or files.
#ifndef FULLSTOP_FUZZ_HARNESS_H
#define FULLSTOP_FUZZ_HARNESS_H

#include <string>
#include <string_view>

namespace harness {

// Sets up what every target shares (once per process): sanitizer reports go
// to the real standard error.
void init();

// Input and other strings for messages: printable, escaped, cut to a size.
std::string show(std::string_view bytes, size_t limit = 400);

// Prints what differs between two outputs and aborts.
[[noreturn]] void mismatch(const char *what, std::string_view input, std::string_view want,
                           std::string_view got);
[[noreturn]] void fail(const std::string &message);

}  // namespace harness

#endif  // FULLSTOP_FUZZ_HARNESS_H
