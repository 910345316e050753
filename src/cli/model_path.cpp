#include "cli/model_path.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "core/base/error.h"
#include "core/model/model_file.h"
#include "core/model/model_search.h"

namespace fullstop::cli {

namespace {

// The folder of the running program, or "" when the system does not say.
std::string program_dir() {
  std::string path(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return "";
  path.resize(static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

// The models that came with this program: the source tree's for a program
// run from its build folder, else those installed beside it.  Both come
// before the data folder fixed at build time, so that a program never picks
// up another build's or another install's model of the same name.
std::string own_models() {
  std::string here = program_dir();
#ifdef FULLSTOP_BUILD_DIR
  char *build_dir = ::realpath(FULLSTOP_BUILD_DIR, nullptr);
  bool in_build_tree = build_dir != nullptr && here == build_dir;
  std::free(build_dir);
#else
  bool in_build_tree = false;
#endif
#ifdef FULLSTOP_SOURCE_MODELS
  if (in_build_tree) return FULLSTOP_SOURCE_MODELS;
#endif
  // An installed program finds the models beside it even when the installed
  // tree was moved (a staging folder, a package's scratch root).
  if (!here.empty() && !in_build_tree) return here + "/../share/fullstop";
  return "";
}

// The language of a model, from its name: the bundled models are named by
// the ISO 639-1 code of their language, and variants add "-SOMETHING" to it
// (en-brown).  A model of one's own may be called anything: "-".
std::string_view language_of(std::string_view name) {
  static constexpr std::pair<std::string_view, std::string_view> kLanguages[] = {
      {"de", "German"}, {"en", "English"}, {"es", "Spanish"}, {"fr", "French"}, {"nl", "Dutch"}, {"pt", "Portuguese"},
  };
  std::string_view code = name.substr(0, name.find('-'));
  for (const auto &[c, language] : kLanguages)
    if (c == code) return language;
  return "-";
}

}  // namespace

std::vector<std::string> model_search_path() { return core::model_folders(own_models()); }

std::string resolve_model(std::string_view name) {
  std::string path(name);
  // A file of that name in the current folder comes first, as it would for -m.
  if (core::is_model_path(name) || core::is_model_file(path)) return path;
  if (name.empty()) core::fail(core::ErrorKind::usage, "--model needs a file or a model name");
  std::vector<std::string> dirs = model_search_path();
  std::string found = core::find_model_in(name, dirs);
  if (found.empty()) core::fail(core::ErrorKind::usage, core::missing_model_message(name, dirs, true));
  return found;
}

std::string model_list(const std::function<void(const std::string &)> &warn) {
  std::string out;
  for (const auto &found : core::list_models(model_search_path())) {
    std::string mode = "unreadable";
    try {
      core::LoadedModel model;
      core::load_model_file(model, found.path.c_str());
      if (model.declared.mode_problem.empty()) {
        mode = core::text_mode_name(model.declared.mode);
      } else {
        mode = "unknown";
        warn(found.path + ": " + model.declared.mode_problem);
      }
    } catch (const core::Error &e) {
      warn(e.what());
    }
    out += found.name + "\t" + std::string(language_of(found.name)) + "\t" + mode + "\t" + found.path + "\n";
  }
  return out;
}

}  // namespace fullstop::cli
