#include "cli/model_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "core/base/error.h"

namespace fullstop::cli {

namespace {

bool is_file(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The folder of the running program, or "" when the system does not say.
std::string program_dir() {
  std::string path(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return "";
  path.resize(static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

void add_unique(std::vector<std::string> &dirs, std::string dir) {
  for (const auto &d : dirs)
    if (d == dir) return;
  dirs.push_back(std::move(dir));
}

}  // namespace

std::vector<std::string> model_search_path() {
  std::vector<std::string> dirs;
  if (const char *env = std::getenv("FULLSTOP_MODEL_PATH")) {
    std::string_view rest = env;
    while (!rest.empty()) {
      size_t colon = rest.find(':');
      std::string_view dir = rest.substr(0, colon);
      if (!dir.empty()) add_unique(dirs, std::string(dir));
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  std::string here = program_dir();
#ifdef FULLSTOP_BUILD_DIR
  char *build_dir = ::realpath(FULLSTOP_BUILD_DIR, nullptr);
  bool in_build_tree = build_dir != nullptr && here == build_dir;
  std::free(build_dir);
#else
  bool in_build_tree = false;
#endif
  // An installed program finds the models beside it even when the installed
  // tree was moved (a staging folder, a package's scratch root).
  if (!here.empty() && !in_build_tree) add_unique(dirs, here + "/../share/fullstop");
#ifdef FULLSTOP_DATA_DIR
  add_unique(dirs, FULLSTOP_DATA_DIR);
#endif
#ifdef FULLSTOP_SOURCE_MODELS
  if (in_build_tree) add_unique(dirs, FULLSTOP_SOURCE_MODELS);
#endif
  return dirs;
}

std::string resolve_model(std::string_view name) {
  std::string path(name);
  if (name.find('/') != std::string_view::npos || is_file(path)) return path;
  if (name.empty()) core::fail(core::ErrorKind::usage, "--model needs a file or a model name");
  std::vector<std::string> dirs = model_search_path();
  for (const auto &dir : dirs) {
    std::string candidate = dir + "/" + path + ".model";
    if (is_file(candidate)) return candidate;
  }
  std::string searched;
  for (const auto &dir : dirs) searched += (searched.empty() ? "" : ", ") + dir;
  core::fail(core::ErrorKind::usage, "no model '" + path + "': no file of that name here and no " + path +
                                         ".model in " + (searched.empty() ? "any model folder" : searched));
}

}  // namespace fullstop::cli
