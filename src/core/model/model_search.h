// Finding a model file by name: the one rule that `fullstop --model NAME`,
// the C and C++ APIs and the Python package share, so that a name means the
// same file whichever of them a user asks.
//
// A name holding a slash or ending in ".model" is a path and is used as it
// is.  Any other NAME stands for NAME.model in the first folder that holds
// one: the folders of FULLSTOP_MODEL_PATH (colon-separated), then the
// caller's own (an installed program's share/fullstop, the Python package's
// folder), then the data folder fixed when the library was built.
#ifndef FULLSTOP_CORE_MODEL_MODEL_SEARCH_H
#define FULLSTOP_CORE_MODEL_MODEL_SEARCH_H

#include <string>
#include <string_view>
#include <vector>

namespace fullstop::core {

inline constexpr const char *kModelPathVariable = "FULLSTOP_MODEL_PATH";
inline constexpr std::string_view kModelSuffix = ".model";

// Whether `name` is a path rather than the name of a model.
bool is_model_path(std::string_view name);

// Whether `path` names something that can be opened as a file: it exists
// and is not a folder.
bool is_model_file(const std::string &path);

// Appends the non-empty folders of a colon-separated list to `folders`,
// skipping those already there.
void add_folders(std::vector<std::string> &folders, std::string_view list);

// The folders a model name is looked for in, in order, each once: those of
// FULLSTOP_MODEL_PATH, then `own` (colon-separated), then the data folder
// fixed at build time (when the build fixed one).
std::vector<std::string> model_folders(std::string_view own);

// The first FOLDER/NAME.model that is a file (not a folder), or "" when none is.
std::string find_model_in(std::string_view name, const std::vector<std::string> &folders);

// Why `name` names no model: "no model 'NAME': no NAME.model in F1, F2"
// ("in any model folder" when there are none).  `looked_here` says that a
// file NAME in the current folder was tried first, as the program does.
std::string missing_model_message(std::string_view name, const std::vector<std::string> &folders,
                                  bool looked_here);

// The file a model name names: the name itself when it is a path, else what
// find_model_in finds.  Fails (kind model_access) with missing_model_message,
// or (kind argument) for an empty name.
std::string find_model(std::string_view name, const std::vector<std::string> &folders);

// A model found in the folders: its name and its file.
struct FoundModel {
  std::string name, path;
};
// Every NAME.model file in the folders that NAME finds (the first of each
// name), sorted by name.  Folders that cannot be read are passed over.
std::vector<FoundModel> list_models(const std::vector<std::string> &folders);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_MODEL_MODEL_SEARCH_H
