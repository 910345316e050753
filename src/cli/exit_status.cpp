#include "cli/exit_status.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fullstop::cli {

namespace {

void say(std::string_view program, std::string_view message) {
  std::string line(program);
  line += ": ";
  line += message;
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

}  // namespace

int exit_status(const core::Error &error, std::string_view program) {
  const std::string_view message = error.what();
  switch (error.kind()) {
    case core::ErrorKind::usage:
      if (!message.empty()) say(program, message);
      std::fprintf(stderr, "Try '%.*s --help'.\n", static_cast<int>(program.size()), program.data());
      return 2;
    case core::ErrorKind::usage_alone:
      say(program, message);
      return 2;
    case core::ErrorKind::input:
      say(program, "standard input: " + std::string(message));
      return 1;
    case core::ErrorKind::model_access:
      std::fprintf(stderr, "%s\n", error.what());
      return 255;
    case core::ErrorKind::internal:
      say(program_invocation_short_name, message);
      std::abort();
    default:
      say(program, message);
      return 1;
  }
}

int out_of_memory_status(std::string_view program) {
  say(program, "out of memory");
  return 1;
}

}  // namespace fullstop::cli
