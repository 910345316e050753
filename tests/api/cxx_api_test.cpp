// The C++ API of <fullstop/fullstop.hpp>: the same spans as the C API, errors
// as fullstop::Error, models shared by copies, and the output forms byte for
// byte as the program prints them.
#include <fullstop/fullstop.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<int64_t, int64_t>> pairs(const std::vector<fullstop_span> &spans) {
  std::vector<std::pair<int64_t, int64_t>> out;
  for (const fullstop_span &s : spans) out.emplace_back(s.start, s.end);
  return out;
}

TEST(CxxApi, SplitMatchesTheCApi) {
  const std::string model_text = "3\ttext_2_.\n-1\ttext_1_Mr\n";
  fullstop::Model model = fullstop::Model::parse(model_text);
  const std::string text = "Mr. Smith left. He came back.\n\nThe end";
  std::vector<fullstop_span> spans = model.split(text);
  fullstop_span *c_spans = nullptr;
  int64_t n = fullstop_split(model.get(), text.data(), text.size(), &c_spans, nullptr);
  ASSERT_EQ(n, static_cast<int64_t>(spans.size()));
  for (int64_t i = 0; i < n; i++) {
    EXPECT_EQ(spans[i].start, c_spans[i].start);
    EXPECT_EQ(spans[i].end, c_spans[i].end);
  }
  std::free(c_spans);
  EXPECT_EQ(pairs(spans), (std::vector<std::pair<int64_t, int64_t>>{{0, 15}, {16, 29}, {31, 38}}));
}

// Text of several blocks on two threads and on all CPUs; negative jobs throw.
TEST(CxxApi, SplitOnThreadsGivesTheSplitSpans) {
  fullstop::Model model = fullstop::Model::parse("3\ttext_2_.\n-1\ttext_1_Mr\n");
  std::string text;
  for (int i = 0; text.size() < 700000; i++)
    text += i % 5 == 0 ? "Mr. Smith left.\n\n" : "He came back " + std::to_string(i) + ". And\nthen ";
  std::vector<fullstop_span> one = model.split(text);
  EXPECT_GT(one.size(), 30000u);
  EXPECT_EQ(pairs(model.split(text, 2)), pairs(one));
  EXPECT_EQ(pairs(model.split(text, 0)), pairs(one));
  EXPECT_THROW(model.split(text, -1), fullstop::Error);
}

TEST(CxxApi, StreamGivesTheSplitSpans) {
  fullstop::Model model = fullstop::Model::parse("3\ttext_2_.\n-1\ttext_1_Mr\n");
  const std::string text = "Mr. Smith left. He came back.\n\nThe end";
  std::vector<fullstop_span> got;
  {
    fullstop::Stream stream(model);  // holds the model
    for (size_t at = 0; at < text.size(); at += 4)
      for (fullstop_span s : stream.feed(std::string_view(text).substr(at, 4))) got.push_back(s);
    for (fullstop_span s : stream.finish()) got.push_back(s);
    EXPECT_THROW(stream.finish(), fullstop::Error);
  }
  EXPECT_EQ(pairs(got), pairs(model.split(text)));
}

TEST(CxxApi, ErrorsThrow) {
  EXPECT_THROW(fullstop::Model::load("/nonexistent/model"), fullstop::Error);
  EXPECT_THROW(fullstop::Model::parse("0\t#text-mode=nope\n"), fullstop::Error);
  try {
    fullstop::Model::load("/nonexistent/model");
  } catch (const std::runtime_error &e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/model: No such file"), std::string::npos);
  }
}

TEST(CxxApi, ModelsByName) {
  const std::string models = std::string(FULLSTOP_SOURCE_DIR) + "/models";
  ::setenv("FULLSTOP_MODEL_PATH", (models + "::" + models).c_str(), 1);
  std::vector<std::string> folders = fullstop::model_search_path("/own/a:/own/b");
  ASSERT_GE(folders.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(folders.begin(), folders.begin() + 3),
            (std::vector<std::string>{models, "/own/a", "/own/b"}));
  EXPECT_EQ(fullstop::find_model("de"), models + "/de.model");
  EXPECT_EQ(fullstop::Model::load_named("de").records(), fullstop::Model::load(models + "/de.model").records());
  EXPECT_THROW(fullstop::Model::load_named("no-such-model"), fullstop::Error);
  ::unsetenv("FULLSTOP_MODEL_PATH");
}

TEST(CxxApi, StreamLoadAndWarning) {
  std::istringstream in("1\ttype_2_2\n1.5\n");
  fullstop::Model model = fullstop::Model::load(in);
  EXPECT_EQ(model.records(), 1u);
  EXPECT_NE(model.warning().find("weight without a feature name"), std::string::npos);
  fullstop::Model copy = model;  // shares the immutable model
  EXPECT_EQ(pairs(copy.split("")), (std::vector<std::pair<int64_t, int64_t>>{{0, 0}}));
  EXPECT_FALSE(copy.unicode());
}

TEST(CxxApi, EvaluationAndTraining) {
  fullstop::Model model = fullstop::Model::parse("3\ttype_2_2\n");
  fullstop_eval counts = model.evaluate("One two three.\nFour, five six.\nSeven eight.\n");
  EXPECT_EQ(counts.sites, 3);
  EXPECT_EQ(counts.true_positives, 2);
  EXPECT_EQ(counts.false_positives, 1);
  fullstop::TrainingMaterial m = fullstop::training_contexts("A b. C d e.\n");
  EXPECT_EQ(m.contexts.substr(0, 2), "2\n");
  EXPECT_EQ(m.features.substr(0, 11), "0\ttext_0_A\n");
  EXPECT_STREQ(fullstop::version(), fullstop_version());
}

// The same text through fullstop_render and through the program, in every
// output form, with each model, on one thread and on two: the render stage
// is the program's.
TEST(CxxApi, RenderPrintsWhatTheProgramPrints) {
  const std::string source = FULLSTOP_SOURCE_DIR;
  std::string text = "\xE2\x80\x9CMr. Smith <left> & came\xE2\x80\xA6\xE2\x80\x9D  said he.\n\nNext\tpara "
                     "\\ \"quoted\" \xFF bytes.\r\n1. A list\n2. item.\n";
  while (text.size() < 300000) text += text;
  const std::string path = testing::TempDir() + "/render_text";
  std::ofstream(path, std::ios::binary) << text;
  const struct {
    int format;
    const char *options;
  } kForms[] = {{FULLSTOP_FORMAT_XML, ""},           {FULLSTOP_FORMAT_XML_WITH_TEXT, "-f"},
                {FULLSTOP_FORMAT_LINES, "-F"},       {FULLSTOP_FORMAT_TEXT, "--format=text"},
                {FULLSTOP_FORMAT_JSONL, "--format=jsonl"}, {FULLSTOP_FORMAT_TSV, "--format=tsv"}};
  for (const char *model_path : {"/models/en.model", "/tests/data/brown_conformance.model"}) {
    fullstop::Model model = fullstop::Model::load(source + model_path);
    for (const auto &form : kForms) {
      const std::string command =
          std::string(FULLSTOP_BIN) + " -m " + source + model_path + " " + form.options + " < " + path;
      std::FILE *pipe = popen(command.c_str(), "r");
      ASSERT_NE(pipe, nullptr);
      std::string printed;
      char buffer[65536];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) printed.append(buffer, n);
      ASSERT_EQ(pclose(pipe), 0) << command;
      EXPECT_EQ(model.render(text, form.format), printed) << command;
      EXPECT_EQ(model.render(text, form.format, 2), printed) << command << " on two threads";
    }
  }
  EXPECT_THROW(fullstop::Model::parse("").render("x", 99), fullstop::Error);
}

}  // namespace
