// Finding a model by name: which folder wins, what counts as a path, what a
// missing name says, and what a listing holds.
#include "core/model/model_search.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/base/error.h"

namespace {

namespace fs = std::filesystem;
using namespace fullstop::core;

// Two model folders, a and b, in a fresh temporary folder:
//   a/x.model, a/z.model/ (a folder), a/w.model.model
//   b/x.model, b/y.model
class ModelSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("model_search." + std::to_string(::getpid()));
    fs::remove_all(root_);
    for (const char *dir : {"a", "b", "a/z.model"}) fs::create_directories(root_ / dir);
    for (const char *file : {"a/x.model", "a/w.model.model", "b/x.model", "b/y.model"}) std::ofstream(root_ / file);
    ::unsetenv(kModelPathVariable);
  }
  void TearDown() override {
    ::unsetenv(kModelPathVariable);
    fs::remove_all(root_);
  }
  std::string at(const std::string &rel) const { return rel.empty() ? "" : (root_ / rel).string(); }
  // "a:b" with each folder made absolute, empty entries kept.
  std::string folders(const std::string &rels) const {
    std::string out;
    for (size_t start = 0;;) {
      size_t colon = rels.find(':', start);
      std::string one = rels.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      out += (start > 0 ? ":" : "") + at(one);
      if (colon == std::string::npos) return out;
      start = colon + 1;
    }
  }
  fs::path root_;
};

TEST_F(ModelSearch, NamesAndPaths) {
  struct Case {
    const char *env;  // FULLSTOP_MODEL_PATH, or nullptr for unset
    const char *own;  // the caller's folders
    const char *name;
    const char *want;  // the file, relative to the root, or "!" + part of the error
  };
  const Case cases[] = {
      {"a:b", "", "x", "a/x.model"},         // the first folder that holds it
      {"b:a", "", "x", "b/x.model"},
      {"a", "b", "x", "a/x.model"},          // the variable before the caller's folders
      {"a", "b", "y", "b/y.model"},          // and the caller's when it lacks the name
      {"::a::", "b", "y", "b/y.model"},      // empty entries are skipped
      {nullptr, "a:b", "y", "b/y.model"},
      {"a:b", "", "z", "!no model 'z': no z.model in "},  // a folder is no model
      {"a:b", "", "w.model", "=w.model"},    // a .model ending is a path, never searched
      {"a:b", "", "b/y", "=b/y"},            // and so is a slash, existing or not
      {"a", "", "nosuch", "!no model 'nosuch': no nosuch.model in "},
      {"a:b", "", "", "!model name is empty"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.env ? c.env : "(unset)") + " | " + c.own + " | " + c.name);
    if (c.env != nullptr) ::setenv(kModelPathVariable, folders(c.env).c_str(), 1);
    else ::unsetenv(kModelPathVariable);
    const std::string want = c.want;
    try {
      std::string got = find_model(c.name, model_folders(folders(c.own)));
      if (want[0] == '=') EXPECT_EQ(got, want.substr(1));
      else EXPECT_EQ(got, at(want));
    } catch (const Error &e) {
      ASSERT_EQ(want[0], '!') << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(want.substr(1), 0), 0u) << e.what();
    }
  }
}

TEST_F(ModelSearch, FolderOrderAndMessages) {
  ::setenv(kModelPathVariable, folders("b::a").c_str(), 1);
  std::vector<std::string> want = {at("b"), at("a")};
#ifdef FULLSTOP_DATA_DIR
  want.push_back(FULLSTOP_DATA_DIR);  // the build-time folder comes last
#endif
  EXPECT_EQ(model_folders(folders("a")), want);  // each folder once, first place kept
  EXPECT_EQ(missing_model_message("q", {at("a"), at("b")}, false),
            "no model 'q': no q.model in " + at("a") + ", " + at("b"));
  EXPECT_EQ(missing_model_message("q", {}, true),
            "no model 'q': no file of that name here and no q.model in any model folder");
}

TEST_F(ModelSearch, ListingKeepsTheFileEachNameFinds) {
  std::vector<FoundModel> got = list_models({at("a"), at("missing"), at("b")});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].name, "x");
  EXPECT_EQ(got[0].path, at("a/x.model"));
  EXPECT_EQ(got[1].name, "y");
  EXPECT_EQ(got[1].path, at("b/y.model"));
}

}  // namespace
