// The programs' side of errors: a core::Error turned into a message on
// standard error and an exit status, the only place that does so.
#ifndef FULLSTOP_CLI_EXIT_STATUS_H
#define FULLSTOP_CLI_EXIT_STATUS_H

#include <string_view>

#include "core/base/error.h"

namespace fullstop::cli {

// Prints the error for `program` ("fullstop", "fullstop-train") and returns
// the exit status:
//  - usage: "PROGRAM: MESSAGE" (unless empty) and "Try 'PROGRAM --help'.",
//    status 2; usage_alone the message alone, status 2;
//  - input: "PROGRAM: standard input: MESSAGE", status 1 (the programs read
//    their text from standard input);
//  - model_access: the message as it is ("PATH: REASON", as perror words
//    it), status 255;
//  - internal: "PROGRAM: MESSAGE", then the process aborts, as a failed
//    assertion does;
//  - every other kind: "PROGRAM: MESSAGE", status 1.
int exit_status(const core::Error &error, std::string_view program);
// "PROGRAM: out of memory", status 1.
int out_of_memory_status(std::string_view program);

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_EXIT_STATUS_H
