#include "core/base/error.h"

namespace fullstop::core {

void fail(ErrorKind kind, const std::string &message) { throw Error(kind, message); }

void check_failed(const char *expr, const char *file, unsigned line, const char *function) {
  throw Error(ErrorKind::internal, std::string(file) + ":" + std::to_string(line) + ": " + function +
                                       ": Assertion `" + expr + "' failed.");
}

}  // namespace fullstop::core
