// Writing a model file (fullstop-train): all or nothing, or to standard output.
#ifndef FULLSTOP_CLI_MODEL_OUTPUT_H
#define FULLSTOP_CLI_MODEL_OUTPUT_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fullstop::cli {

// Writes the model (core::write_model: `header`, then the records of the
// non-zero weights, named by `name`) to `path`, "-" being standard output.
// A file is replaced all or nothing (atomic_file::replace): a failure never
// leaves a partial model or clobbers an existing one.  A symbolic link stays
// and its target is replaced (or created, for a dangling link); a device or
// pipe (/dev/stdout, a FIFO) is simply written to.  A failure fails
// (core::Error of kind output) as "PATH: STEP: REASON".
void write_model_file(const std::string &path, std::string_view header, const std::vector<double> &weights,
                      const std::function<std::string_view(size_t)> &name);

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_MODEL_OUTPUT_H
