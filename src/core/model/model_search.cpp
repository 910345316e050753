#include "core/model/model_search.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/base/error.h"

namespace fullstop::core {

namespace {

bool ends_with_suffix(std::string_view name) {
  return name.size() > kModelSuffix.size() && name.substr(name.size() - kModelSuffix.size()) == kModelSuffix;
}

}  // namespace

bool is_model_file(const std::string &path) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool is_model_path(std::string_view name) {
  return name.find('/') != std::string_view::npos || ends_with_suffix(name);
}

void add_folders(std::vector<std::string> &folders, std::string_view list) {
  while (!list.empty()) {
    size_t colon = list.find(':');
    std::string folder(list.substr(0, colon));
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(std::move(folder));
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
}

std::vector<std::string> model_folders(std::string_view own) {
  std::vector<std::string> folders;
  if (const char *env = std::getenv(kModelPathVariable)) add_folders(folders, env);
  add_folders(folders, own);
#ifdef FULLSTOP_DATA_DIR
  add_folders(folders, FULLSTOP_DATA_DIR);
#endif
  return folders;
}

std::string find_model_in(std::string_view name, const std::vector<std::string> &folders) {
  for (const auto &folder : folders) {
    std::string candidate = folder + "/" + std::string(name) + std::string(kModelSuffix);
    if (is_model_file(candidate)) return candidate;
  }
  return "";
}

std::string missing_model_message(std::string_view name, const std::vector<std::string> &folders,
                                  bool looked_here) {
  std::string searched;
  for (const auto &folder : folders) searched += (searched.empty() ? "" : ", ") + folder;
  std::string n(name);
  return "no model '" + n + "': " + (looked_here ? "no file of that name here and " : "") + "no " + n +
         std::string(kModelSuffix) + " in " + (searched.empty() ? "any model folder" : searched);
}

std::string find_model(std::string_view name, const std::vector<std::string> &folders) {
  if (is_model_path(name)) return std::string(name);
  if (name.empty()) fail(ErrorKind::argument, "model name is empty");
  std::string found = find_model_in(name, folders);
  if (found.empty()) fail(ErrorKind::model_access, missing_model_message(name, folders, false));
  return found;
}

std::vector<FoundModel> list_models(const std::vector<std::string> &folders) {
  std::vector<FoundModel> found;
  for (const auto &folder : folders) {
    std::error_code ec;
    std::vector<std::string> names;
    for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
      std::string file = it->path().filename().string();
      if (!ends_with_suffix(file)) continue;
      std::string name = file.substr(0, file.size() - kModelSuffix.size());
      if (!is_model_path(name)) names.push_back(name);  // else no name finds it
    }
    std::sort(names.begin(), names.end());
    for (const auto &name : names) {
      bool seen = std::any_of(found.begin(), found.end(), [&](const FoundModel &m) { return m.name == name; });
      std::string path = folder + "/" + name + std::string(kModelSuffix);
      if (!seen && is_model_file(path)) found.push_back({name, path});
    }
  }
  std::sort(found.begin(), found.end(), [](const FoundModel &a, const FoundModel &b) { return a.name < b.name; });
  return found;
}

}  // namespace fullstop::core
