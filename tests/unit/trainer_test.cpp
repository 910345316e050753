#include "train/trainer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/atomic_file.h"
#include "cli/model_output.h"
#include "core/base/error.h"

namespace fs = std::filesystem;
using namespace fullstop::train;
using fullstop::cli::write_model_file;
using fullstop::core::Error;
using fullstop::core::ErrorKind;

namespace {

// A scratch directory, removed with everything in it.
struct TempDir {
  fs::path path;
  TempDir() {
    std::string name = (fs::temp_directory_path() / "trainer_test.XXXXXX").string();
    if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
    path = name;
  }
  ~TempDir() { fs::remove_all(path); }
  std::string file(const std::string &name) const { return (path / name).string(); }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(path)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

void write_text(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string error_of(const std::function<void()> &action) {
  try {
    action();
  } catch (const Error &e) {
    return e.what();
  }
  return "(no error)";
}

// Builds a context stream: one {label, {id, id, ...}} per context, each feature counted once.
std::string stream(const std::vector<std::pair<int, std::vector<int>>> &contexts) {
  std::string text;
  for (const auto &[label, ids] : contexts) {
    text += "2\n" + std::to_string(label) + " " + std::to_string(ids.size());
    for (int id : ids) text += " " + std::to_string(id) + " 1";
    text += "\n" + std::to_string(1 - label) + " 0\n";
  }
  return text;
}

FeatureNames names_of(const std::vector<std::string> &names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) text += std::to_string(i) + "\t" + names[i] + "\n";
  return parse_feature_names(text, "features.def");
}

// ---------------------------------------------------------------------------------------------
// The context stream

TEST(ContextStream, ParsesLabelsFeaturesAndCounts) {
  Contexts c = parse_contexts(
      "2\n1 2 3 1 17 4\n0 0\n"
      "2\n0 0\n1 0\n"
      "2\n0 1 4294967295 1\n1 0\n",
      "ctx");
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c.labels, (std::vector<std::uint8_t>{1, 0, 0}));
  EXPECT_EQ(c.starts, (std::vector<std::size_t>{0, 2, 2, 3}));
  ASSERT_EQ(c.features.size(), 3u);
  EXPECT_EQ(c.features[0].id, 3u);
  EXPECT_EQ(c.features[0].count, 1u);
  EXPECT_EQ(c.features[1].id, 17u);
  EXPECT_EQ(c.features[1].count, 4u);
  EXPECT_EQ(c.features[2].id, 4294967295u);
}

TEST(ContextStream, RejectsMalformedInputNamingTheLine) {
  const std::string good = "2\n1 1 5 1\n0 0\n";  // lines 1-3
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", "ctx: no contexts"},
      {good + "3\n0 0\n1 0\n", "ctx:4: the context header announces 3 event lines; expected 2"},
      {good + "two\n", "ctx:4: expected the context header '2', found 'two'"},
      {good + "\n", "ctx:4: expected the context header '2', found an empty line"},
      {good + "2\r\n0 0\r\n1 0\r\n", "ctx:4: expected the context header '2', found '2\\x0d'"},
      {good + "2\n2 0\n", "ctx:5: label must be 0 or 1, found 2"},
      {good + "2\nx 0\n", "ctx:5: expected a label, found 'x'"},
      {good + "2\n0 -1\n", "ctx:5: expected the number of (id, count) pairs, found '-1'"},
      {good + "2\n0 1 99999999999 1\n", "ctx:5: a feature id '99999999999' is out of range"},
      {good + "2\n0 2 4 1\n", "ctx:5: the line announces 2 (id, count) pairs but has only 1"},
      {good + "2\n0 1 4 1 6 1\n",
       "ctx:5: unexpected '6 1' after the 1 announced (id, count) pairs"},
      {good + "2\n0 1 4\n", "ctx:5: line ends where a feature count should be"},
      {good + "2\n0 2 6 1 4 1\n", "ctx:5: feature ids must ascend, but 4 follows 6"},
      {good + "2\n0 2 6 1 6 1\n", "ctx:5: feature ids must ascend, but 6 follows 6"},
      {good + "2\n0 1 6 0\n", "ctx:5: feature 6 has count 0"},
      {good + "2\n0 1 6 1.5\n", "ctx:5: expected a feature count, found '1.5'"},
      {good + "2\n0  1 6 1\n", "ctx:5: stray blank before the number of (id, count) pairs"},
      {good + "2\n0 1 6 1 \n", "ctx:5: stray blank at the end of the line"},
      {good + "2\n0 0\n0 0\n", "ctx:6: the second event line must have label 1"},
      {good + "2\n1 0\n1 0\n", "ctx:6: the second event line must have label 0"},
      {good + "2\n0 0\n1 1 6 1\n", "ctx:6: the second event line must have no features, found 1"},
      {good + "2\n0 0\n1 0 x\n", "ctx:6: unexpected 'x' after '1 0'"},
      {good + "2\n0 0\n1\n", "ctx:6: line ends where the number of (id, count) pairs should be"},
      {good + "2\n0 1 6 1\n", "ctx:5: the stream ends inside a context"},
      {good + "2\n", "ctx:4: the stream ends inside a context"},
      {good + "2\n0 1 6 1\n1 0", "ctx:6: the last line has no newline"},
  };
  for (const Case &c : cases) {
    std::string message = error_of([&] { parse_contexts(c.text, "ctx"); });
    EXPECT_EQ(message.rfind(c.message, 0), 0u) << "input: " << c.text << "\ngot: " << message;
  }
}

TEST(ContextStream, BlockReadsMatchWholeParseWhereverLinesSplit) {
  std::string text = stream({{1, {0, 3}}, {0, {}}, {0, {1, 2, 3, 120000}}, {1, {7}}});
  Contexts whole = parse_contexts(text, "ctx");
  for (std::size_t block : {1u, 2u, 3u, 7u, 64u, 1u << 20}) {
    std::FILE *in = std::tmpfile();
    ASSERT_NE(in, nullptr);
    std::fwrite(text.data(), 1, text.size(), in);
    std::rewind(in);
    Contexts read = read_contexts(in, "ctx", block);
    std::fclose(in);
    EXPECT_EQ(read.labels, whole.labels) << "block " << block;
    EXPECT_EQ(read.starts, whole.starts) << "block " << block;
    ASSERT_EQ(read.features.size(), whole.features.size()) << "block " << block;
    for (std::size_t i = 0; i < read.features.size(); ++i) {
      EXPECT_EQ(read.features[i].id, whole.features[i].id);
      EXPECT_EQ(read.features[i].count, whole.features[i].count);
    }
  }
  // Line numbers must not depend on where blocks end either.
  std::FILE *in = std::tmpfile();
  std::string bad = text + "2\n0 1 9 1\n0 0\n";
  std::fwrite(bad.data(), 1, bad.size(), in);
  std::rewind(in);
  EXPECT_EQ(error_of([&] { read_contexts(in, "ctx", 5); }).rfind("ctx:15: ", 0), 0u);
  std::fclose(in);
}

TEST(ContextStream, FeatureIdsMustBeNamed) {
  Contexts c = parse_contexts(stream({{1, {0, 1}}, {0, {1, 2}}}), "ctx");
  FeatureNames three = names_of({"a", "b", "c"});
  EXPECT_NO_THROW(check_feature_ids(c, "ctx", three, "f.def"));
  FeatureNames two = names_of({"a", "b"});
  EXPECT_EQ(error_of([&] { check_feature_ids(c, "ctx", two, "f.def"); }),
            "ctx:5: feature id 2 is not defined in f.def, which has 2 features");
}

// ---------------------------------------------------------------------------------------------
// features.def

// A features.def from another run: too long for the ids used, or names whose
// template and position a window cannot hold twice.
TEST(ContextStream, NamesFromAnotherRunAreCaught) {
  std::vector<std::string> window;  // the detector's twenty names of one window
  for (int p = 0; p < 5; ++p)
    for (std::string t : {"text_", "stem_", "stem2_", "type_"}) window.push_back(t + std::to_string(p) + "_x");
  std::vector<int> all(20);
  for (int i = 0; i < 20; ++i) all[i] = i;
  std::vector<std::string> long_list;
  for (int i = 0; i < 60; ++i) long_list.push_back("f" + std::to_string(i));
  std::vector<std::string> other = window;
  other[8] = "stem_0_y";  // a second stem_0 name where a text_2 name belongs
  std::string twice = "2\n1 20";
  for (int i = 0; i < 20; ++i) twice += " " + std::to_string(i) + (i == 3 ? " 2" : " 1");
  twice += "\n0 0\n";
  struct Case {
    const char *what;
    std::vector<std::string> names;
    std::string contexts;
    std::string error;  // prefix; empty: accepted
  } cases[] = {
      {"same run", window, stream({{1, all}, {0, all}}), ""},
      {"hand-made names", {"a", "b"}, stream({{1, {0}}, {0, {1}}}), ""},
      {"list much longer than the ids used", long_list, stream({{1, {0}}, {0, {1}}}),
       "f.def: lists 60 features but ctx uses only 2 of them"},
      {"a slot twice", other, stream({{1, all}}),
       "ctx:2: feature 8 'stem_0_y' (from f.def) is a second stem name at window position 0"},
      {"a count above 1", window, twice,
       "ctx:2: feature 3 'type_0_x' (from f.def) has count 2"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Contexts contexts = parse_contexts(c.contexts, "ctx");
    std::string error = error_of([&] { check_names_match(contexts, "ctx", names_of(c.names), "f.def"); });
    if (c.error.empty()) {
      EXPECT_EQ(error, "(no error)");
    } else {
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
  }
}

TEST(FeatureNamesFile, ParsesNamesInIdOrder) {
  FeatureNames names =
      parse_feature_names("0\tw=Mr.\n1\tnext=Cap\n2\tw=\xc3\xa9t\xc3\xa9.\n", "features.def");
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names.name(0), "w=Mr.");
  EXPECT_EQ(names.name(1), "next=Cap");
  EXPECT_EQ(names.name(2), "w=\xc3\xa9t\xc3\xa9.");
  EXPECT_EQ(parse_feature_names("", "features.def").size(), 0u);
}

TEST(FeatureNamesFile, RejectsMalformedLinesNamingTheLine) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"0\ta\n1 b\n", "f:2: expected 'ID<tab>NAME', found '1 b'"},
      {"0\ta\n\n", "f:2: empty line"},
      {"0\ta\nx\tb\n", "f:2: feature id 'x' is not a number"},
      {"0\ta\n2\tb\n", "f:2: expected feature id 1, found 2"},
      {"0\ta\n1\tb\n1\tc\n", "f:3: feature id 1 is defined again (first on line 2)"},
      {"0\ta\n1\t\n", "f:2: feature 1 has an empty name"},
      {"0\ta\n1\tb c\n", "f:2: feature name 'b c' contains a blank"},
      {"0\ta\n1\tb\tc\n", "f:2: feature name 'b\\x09c' contains a blank"},
      {"0\ta\n1\tb", "f:2: the last line has no newline"},
      {"0\tb\n1\ta\n2\tz\n3\ta\n4\tb\n",
       "f:4: feature name 'a' is already the name of feature 1 (line 2)"},
  };
  for (const Case &c : cases) {
    std::string message = error_of([&] { parse_feature_names(c.text, "f"); });
    EXPECT_EQ(message.rfind(c.message, 0), 0u) << "input: " << c.text << "\ngot: " << message;
  }
}

TEST(FeatureNamesFile, MissingFileIsNamed) {
  TempDir dir;
  std::string path = dir.file("none.def");
  EXPECT_EQ(error_of([&] { read_feature_names(path); }),
            path + ": cannot open: No such file or directory");
}

// ---------------------------------------------------------------------------------------------
// Fitting

// Feature 0 marks sentence ends, 1 marks non-ends, 2 occurs everywhere.
const std::vector<std::pair<int, std::vector<int>>> kSeparable = {
    {1, {0, 2}}, {0, {1, 2}}, {1, {0}}, {0, {1}}, {1, {0, 2}}, {0, {1, 2}}, {0, {2, 1}},
};

TEST(Fit, ScoresSentenceEndsAboveZeroWhicheverLabelComesFirst) {
  for (Solver solver : {Solver::l2, Solver::l1, Solver::l2_dual}) {
    for (bool positive_first : {true, false}) {
      auto data = kSeparable;
      if (!positive_first) std::rotate(data.begin(), data.begin() + 1, data.end());
      for (auto &[label, ids] : data) std::sort(ids.begin(), ids.end());
      Contexts c = parse_contexts(stream(data), "ctx");
      FitOptions options;
      options.solver = solver;
      options.cost = 10;
      std::vector<double> w = fit(c, 3, options);
      SCOPED_TRACE(std::string(solver_name(solver)) + (positive_first ? " +first" : " -first"));
      ASSERT_EQ(w.size(), 3u);
      EXPECT_GT(w[0], 0);
      EXPECT_LT(w[1], 0);
      for (std::size_t i = 0; i < c.size(); ++i) {
        if (c.labels[i]) {
          EXPECT_GT(score(w, c, i), 0) << "context " << i;
        } else {
          EXPECT_LE(score(w, c, i), 0) << "context " << i;
        }
      }
      EXPECT_EQ(training_accuracy(w, c), 1.0);
    }
  }
}

TEST(Fit, HasNoInterceptSoFeaturelessContextsScoreZero) {
  // Without features the majority label could only be learnt by an intercept.
  Contexts bare = parse_contexts(stream({{1, {}}, {1, {}}, {1, {}}, {0, {}}}), "ctx");
  std::vector<double> w = fit(bare, 2, FitOptions{});
  EXPECT_EQ(w, (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(training_accuracy(w, bare), 0.25);

  // A feature that occurs everywhere plays no intercept either: with balanced labels
  // it carries no information, and the L1 fit drops it.
  Contexts c = parse_contexts(stream({{1, {0, 2}}, {0, {1, 2}}, {1, {0, 2}}, {0, {1, 2}}}), "ctx");
  FitOptions l1;
  l1.solver = Solver::l1;
  l1.cost = 10;
  std::vector<double> sparse = fit(c, 3, l1);
  EXPECT_EQ(sparse[2], 0.0);
  EXPECT_EQ(count_nonzero(sparse), 2u);
}

TEST(Fit, SingleOutcomeIsReproducedEverywhere) {
  for (int label : {0, 1}) {
    Contexts c = parse_contexts(stream({{label, {0}}, {label, {0, 1}}, {label, {2}}}), "ctx");
    std::vector<double> w = fit(c, 4, FitOptions{});
    SCOPED_TRACE(label);
    EXPECT_EQ(training_accuracy(w, c), 1.0);
    for (std::size_t i = 0; i < c.size(); ++i) {
      if (label) {
        EXPECT_GT(score(w, c, i), 0);
      } else {
        EXPECT_LT(score(w, c, i), 0);
      }
    }
    EXPECT_EQ(w[3], 0.0);  // never seen
  }
}

// ---------------------------------------------------------------------------------------------
// Writing the model

// Fits that mean nothing are refused rather than written as a model.
TEST(Fit, RefusesOverflowingObjectives) {
  Contexts contexts = parse_contexts(stream({{1, {0}}, {0, {1}}, {1, {0}}, {0, {1}}}), "ctx");
  // (The dual solver, which never forms the primal objective, copes with such a C here.)
  for (Solver solver : {Solver::l1, Solver::l2}) {
    SCOPED_TRACE(std::string(solver_name(solver)));
    FitOptions options;
    options.solver = solver;
    options.cost = 1e308;
    std::string error = error_of([&] { fit(contexts, 2, options); });
    EXPECT_EQ(error.rfind("the fit failed: ", 0), 0u) << error;
  }
}

TEST(ModelOutput, WritesNonZeroWeightsInIdOrderInShortestRoundTripForm) {
  FeatureNames names = names_of({"a", "b", "c", "d", "e", "f"});
  std::vector<double> w = {0.1, 0.0, -1e-300, 1.0 / 3, 5e10, -2};
  TempDir dir;
  std::string path = dir.file("m");
  write_model_file(path, "", w, [&](size_t id) { return names.name(id); });
  std::string text = read_text(path);
  EXPECT_EQ(text, "0.1\ta\n-1e-300\tc\n0.3333333333333333\td\n5e+10\te\n-2\tf\n");

  // Every weight reads back exactly.
  std::istringstream lines(text);
  std::string line;
  std::vector<double> back;
  while (std::getline(lines, line)) {
    double value = 0;
    std::from_chars(line.data(), line.data() + line.find('\t'), value);
    back.push_back(value);
  }
  EXPECT_EQ(back, (std::vector<double>{w[0], w[2], w[3], w[4], w[5]}));
}

TEST(ModelOutput, FailedWriteIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  FeatureNames names = names_of({"a"});
  EXPECT_EQ(error_of([&] { write_model_file("/dev/full", "", {1.0}, [&](size_t id) { return names.name(id); }); }),
            "/dev/full: cannot write: No space left on device");
}

// A header goes first as it is: the model's declaration records.
TEST(ModelOutput, WritesTheHeaderFirst) {
  TempDir dir;
  FeatureNames names = names_of({"a", "b"});
  write_model_file(dir.file("m"), "0\t#text-mode=classic\n", {0.0, 2.5}, [&](size_t id) { return names.name(id); });
  EXPECT_EQ(read_text(dir.file("m")), "0\t#text-mode=classic\n2.5\tb\n");
}

// The all-or-nothing write, worded as fullstop-train words its failures.
void write_file_atomically(const std::string &path, const std::function<void(std::FILE *)> &fill) {
  fullstop::cli::atomic_file::replace(
      path,
      [&](std::FILE *out) {
        fill(out);
        return true;
      },
      fullstop::cli::atomic_file::Wording::step_and_reason);
}

TEST(ModelOutput, ReplacesTheFileWholeOrNotAtAll) {
  TempDir dir;
  std::string path = dir.file("m");
  write_text(path, "old\n");

  // A failure while writing leaves the old model and no temporary file.
  EXPECT_EQ(error_of([&] {
              write_file_atomically(path, [&](std::FILE *out) {
                std::fputs("partial", out);
                throw Error(ErrorKind::output, "m: disk on fire");
              });
            }),
            "m: disk on fire");
  EXPECT_EQ(read_text(path), "old\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"m"});

  // Success replaces it, with an ordinary file mode.
  mode_t old_mask = umask(022);
  write_file_atomically(path, [](std::FILE *out) { std::fputs("new\n", out); });
  umask(old_mask);
  EXPECT_EQ(read_text(path), "new\n");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"m"});
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  // A directory that cannot hold the file.
  std::string nowhere = dir.file("missing/m");
  EXPECT_EQ(error_of([&] {
              write_file_atomically(nowhere, [](std::FILE *) {});
            }).rfind(nowhere + ": cannot create", 0),
            0u);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"m"});
}

TEST(ModelOutput, WritesThroughLinksAndIntoPipesWithoutReplacingThem) {
  TempDir dir;
  std::string real = dir.file("real"), link = dir.file("link"), pipe = dir.file("pipe");
  write_text(real, "old\n");
  fs::create_symlink(real, link);
  write_file_atomically(link, [](std::FILE *out) { std::fputs("new\n", out); });
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_text(real), "new\n");

  // Open the reading end first, without blocking, so the writer does not wait for a reader.
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  write_file_atomically(pipe, [](std::FILE *out) { std::fputs("piped\n", out); });
  char buffer[64] = {};
  ssize_t got = read(reader, buffer, sizeof buffer - 1);
  close(reader);
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(std::string(buffer, got > 0 ? got : 0), "piped\n");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link", "pipe", "real"}));
}

// ---------------------------------------------------------------------------------------------
// The programs

struct Outcome {
  int status;
  std::string out, err;
};

Outcome run_shell(const TempDir &dir, const std::string &command) {
  std::string full = "cd '" + dir.path.string() + "' && { " + command + "; } >'" +
                     dir.file(".out") + "' 2>'" + dir.file(".err") + "'";
  int raw = std::system(full.c_str());
  Outcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_text(dir.file(".out")),
              read_text(dir.file(".err"))};
  fs::remove(dir.file(".out"));
  fs::remove(dir.file(".err"));
  return run;
}

const std::string kTrainer = FULLSTOP_TRAIN_BIN;

TEST(TrainProgram, HelpAndUsageErrors) {
  TempDir dir;
  Outcome help = run_shell(dir, kTrainer + " --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: fullstop-train", 0), 0u) << help.out;

  Outcome no_output = run_shell(dir, kTrainer + " ctx");
  EXPECT_EQ(no_output.status, 2);
  EXPECT_NE(no_output.err.find("no model file given"), std::string::npos) << no_output.err;

  Outcome bad_cost = run_shell(dir, kTrainer + " -o m -c 0 ctx");
  EXPECT_EQ(bad_cost.status, 2);
  EXPECT_NE(bad_cost.err.find("-c needs a positive number"), std::string::npos) << bad_cost.err;
}

TEST(TrainProgram, LongOptionsAndVersion) {
  TempDir dir;
  Outcome version = run_shell(dir, kTrainer + " --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("fullstop-train ", 0), 0u) << version.out;

  write_text(dir.file("names"), "0\tend\n1\tabbrev\n");
  write_text(dir.file("ctx"), stream({{1, {0}}, {0, {1}}, {1, {0}}, {0, {1}}}));
  Outcome short_form = run_shell(dir, kTrainer + " -s l2 -c 2 -e 0.001 -d names -o short ctx");
  ASSERT_EQ(short_form.status, 0) << short_form.err;
  for (const char *long_form : {"--solver=l2 --cost=2 --eps=0.001 --features=names --output=long ctx",
                                "--solver l2 --cost 2 --eps 0.001 --features names --output long -- ctx"}) {
    SCOPED_TRACE(long_form);
    Outcome got = run_shell(dir, kTrainer + " " + long_form);
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(read_text(dir.file("long")), read_text(dir.file("short")));
  }

  for (const char *bad : {" --output", " --solver=l3 -o m", " --bogus -o m", " -o m a b", " --reading=-pronoun-i -o m",
                          " --text-mode=unicode --reading=+accents -o m"}) {
    SCOPED_TRACE(bad);
    Outcome got = run_shell(dir, kTrainer + bad + " < ctx");
    EXPECT_EQ(got.status, 2);
    EXPECT_NE(got.err.find("Try 'fullstop-train --help'."), std::string::npos) << got.err;
  }
}

// A model of a text mode declares it, and in the Unicode mode the reading
// rules training reads with, before its weights.
TEST(TrainProgram, DeclaresTheTextModeAndTheReadingRules) {
  TempDir dir;
  write_text(dir.file("features.def"), "0\tend\n1\tabbrev\n");
  write_text(dir.file("ctx"), stream({{1, {0}}, {0, {1}}, {1, {0}}, {0, {1}}}));
  const struct {
    const char *option, *header;
  } kCases[] = {
      {"", ""},
      {"--text-mode=classic", "0\t#text-mode=classic\n"},
      {"--text-mode=unicode",
       "0\t#text-mode=unicode\n0\t#reading=edge-markers,list-labels,roman-numerals,number-types,line-breaks,"
       "colon-breaks,comma-breaks,initials,pronoun-i,code-spans\n"},
      {"--text-mode=unicode --reading=-pronoun-i,+ordinal-periods",
       "0\t#text-mode=unicode\n0\t#reading=edge-markers,list-labels,roman-numerals,number-types,line-breaks,"
       "colon-breaks,comma-breaks,initials,ordinal-periods,code-spans\n"},
  };
  for (const auto &c : kCases) {
    Outcome got = run_shell(dir, kTrainer + " -s l2 " + c.option + " -o m ctx");
    ASSERT_EQ(got.status, 0) << got.err;
    const std::string model = read_text(dir.file("m"));
    EXPECT_EQ(model.substr(0, std::string(c.header).size()), c.header) << c.option;
    EXPECT_NE(model.find("\tend\n", std::string(c.header).size()), std::string::npos) << c.option;  // the weights
  }
}

TEST(TrainProgram, TrainsFromStdinAndRefusesBadInputWithoutTouchingTheModel) {
  TempDir dir;
  write_text(dir.file("features.def"), "0\tend\n1\tabbrev\n2\tunused\n");
  write_text(dir.file("ctx"), stream({{1, {0}}, {0, {1}}, {1, {0}}, {0, {1}}}));
  Outcome good = run_shell(dir, kTrainer + " -s l2 -c 1 -o m < ctx");
  ASSERT_EQ(good.status, 0) << good.err;
  std::string model = read_text(dir.file("m"));
  EXPECT_NE(model.find("\tend\n"), std::string::npos);
  EXPECT_NE(model.find("\tabbrev\n"), std::string::npos);
  EXPECT_EQ(model.find("unused"), std::string::npos);
  EXPECT_EQ(model[0], '0');                         // end: positive
  EXPECT_NE(model.find("\n-"), std::string::npos);  // abbrev: negative
  EXPECT_NE(good.err.find("4 contexts (2 sentence ends), 3 features, 2 non-zero weights, "
                          "training accuracy 100.0000%"),
            std::string::npos)
      << good.err;

  write_text(dir.file("bad"), "2\n1 1 0 1\n0 0\n2\n1 1 7 1\n0 0\n");
  Outcome bad = run_shell(dir, kTrainer + " -o m bad");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err,
            "fullstop-train: bad:5: feature id 7 is not defined in features.def, which has 3 "
            "features\n");
  EXPECT_EQ(read_text(dir.file("m")), model);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bad", "ctx", "features.def", "m"}));
}

TEST(TrainModelScript, TrainsInAScratchDirectoryAndFailsWithTheDetector) {
  TempDir dir;
  // Stands in for the detector: contexts on stdout, then features.def in its working directory.
  write_text(dir.file("detector"),
             "#!/bin/sh\n"
             "cat >/dev/null\n"
             "printf '2\\n1 1 0 1\\n0 0\\n2\\n0 1 1 1\\n1 0\\n'\n"
             "printf '0\\tend\\n1\\tabbrev\\n' >features.def\n");
  write_text(dir.file("broken"), "#!/bin/sh\necho 'detector: oops' >&2\nexit 3\n");
  fs::permissions(dir.file("detector"), fs::perms::owner_all);
  fs::permissions(dir.file("broken"), fs::perms::owner_all);
  write_text(dir.file("train.lines"), "One.\nTwo.\n");

  std::string script = std::string(FULLSTOP_SOURCE_DIR) + "/scripts/train-model";
  std::string env = "FULLSTOP_TRAIN=" + kTrainer + " ";
  Outcome good = run_shell(dir, env + "FULLSTOP_BIN=./detector " + script + " -s l2 -c 2 train.lines m");
  ASSERT_EQ(good.status, 0) << good.err;
  std::string model = read_text(dir.file("m"));
  EXPECT_NE(model.find("\tend\n"), std::string::npos) << model;
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"broken", "detector", "m", "train.lines"}));

  Outcome bad = run_shell(dir, env + "FULLSTOP_BIN=./broken " + script + " train.lines m2");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("detector: oops"), std::string::npos) << bad.err;
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"broken", "detector", "m", "train.lines"}));
}

}  // namespace
