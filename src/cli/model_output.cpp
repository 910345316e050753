#include "cli/model_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/atomic_file.h"
#include "cli/sinks.h"
#include "core/base/error.h"
#include "core/base/output.h"
#include "core/model/model_file.h"

namespace fullstop::cli {

void write_model_file(const std::string &path, std::string_view header, const std::vector<double> &weights,
                      const std::function<std::string_view(size_t)> &name) {
  auto fill = [&](std::FILE *file) {
    FileSink sink(file);
    core::Output out(sink);
    core::write_model(out, header, weights, name);
    out.flush();
    errno = sink.error();
    return sink.ok();
  };
  if (path != "-") {
    atomic_file::replace(path, fill, atomic_file::Wording::step_and_reason);
    return;
  }
  if (!fill(stdout) || std::fflush(stdout) != 0 || std::ferror(stdout))
    core::fail(core::ErrorKind::output, std::string("standard output: cannot write: ") + std::strerror(errno));
}

}  // namespace fullstop::cli
