// Checks the fuzzers' reference model against the golden whole-program cases,
// so that a disagreement found while fuzzing is the program's and not the
// reference's.
//   reference_check GOLDEN_CASES_DIR      checks every case
//   reference_check --run [-m MODEL] [-t] [-f] [-F] < TEXT
//                                         runs the reference like the program
//                                         (training writes ./features.def)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "reference.h"

namespace fs = std::filesystem;

namespace {

bool read_file(const fs::path &path, std::string &out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int run_like_the_program(int argc, char **argv) {
  std::string model_name;
  bool test = false, text = false, bare = false;
  for (int i = 2; i < argc; i++) {
    std::string arg = argv[i];
    if (arg == "-m" && i + 1 < argc) model_name = argv[++i];
    else if (arg == "-t") test = true;
    else if (arg == "-f") text = true;
    else if (arg == "-F") bare = true;
  }
  std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  ref::Mode mode = ref::Mode::train;
  ref::Model model;
  if (!model_name.empty()) {
    std::string bytes;
    if (!read_file(model_name, bytes)) {
      std::perror(model_name.c_str());
      return 255;
    }
    model = ref::load_model(bytes);
    mode = test ? ref::Mode::eval : bare ? ref::Mode::bare : text ? ref::Mode::text : ref::Mode::offsets;
  }
  ref::Result result = ref::run(input, mode, model.records);
  std::cout << result.out;
  if (mode == ref::Mode::train) std::ofstream("features.def", std::ios::binary) << result.features_def;
  return 0;
}

int main(int argc, char **argv) {
  if (argc >= 2 && std::string(argv[1]) == "--run") return run_like_the_program(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s GOLDEN_CASES_DIR\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> cases;
  std::error_code error;
  for (const auto &entry : fs::directory_iterator(argv[1], error))
    if (entry.is_directory()) cases.push_back(entry.path());
  if (cases.empty()) {
    std::fprintf(stderr, "%s: no cases found\n", argv[1]);
    return 1;
  }
  int checked = 0, failed = 0;
  for (const fs::path &dir : cases) {
    std::string args_text, input, expected, status;
    read_file(dir / "args", args_text);
    read_file(dir / "stdin", input);
    read_file(dir / "expected_stdout", expected);
    // Failing runs (no readable model) are the bad-input tests' business.
    if (read_file(dir / "expected_status", status)) continue;
    std::istringstream lines(args_text);
    std::string arg, model_name;
    bool test = false, text = false, bare = false, want_model = false;
    bool unicode = false;  // the Unicode mode has a reference of its own (unicode_fuzzer)
    while (std::getline(lines, arg)) {
      if (arg.rfind("--text-mode", 0) == 0) unicode = true;
      if (want_model) {
        model_name = arg;
        want_model = false;
      } else if (arg == "-m") {
        want_model = true;
      } else if (arg == "-t") {
        test = true;
      } else if (arg == "-f") {
        text = true;
      } else if (arg == "-F") {
        bare = true;
      }
    }
    ref::Mode mode = ref::Mode::train;
    ref::Model model;
    if (!model_name.empty()) {
      std::string bytes;
      if (fs::is_directory(dir / model_name) || !read_file(dir / model_name, bytes)) continue;
      if (bytes.find("\t#text-mode=unicode") != std::string::npos) unicode = true;
      model = ref::load_model(bytes);
      mode = test ? ref::Mode::eval : bare ? ref::Mode::bare : text ? ref::Mode::text : ref::Mode::offsets;
    }
    if (unicode) continue;
    ref::Result got = ref::run(input, mode, model.records);
    std::string expected_def;
    bool def_differs = mode == ref::Mode::train && read_file(dir / "expected_features.def", expected_def) &&
                       got.features_def != expected_def;
    checked++;
    if (got.out != expected || def_differs) {
      failed++;
      std::fprintf(stderr, "reference disagrees with golden case %s (%s)\n", dir.filename().c_str(),
                   got.out != expected ? "stdout" : "features.def");
    }
  }
  std::printf("reference model: %d golden cases checked, %d disagree\n", checked, failed);
  return failed == 0 ? 0 : 1;
}
