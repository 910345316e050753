// A splitter keeps words and caches from one text to the next: every text
// must still get exactly the spans a fresh run gives it alone, whatever was
// split before, with every kind of model, and misuse must fail cleanly.
// fullstop_split takes a splitter kept with the model for a short text, from
// any number of threads at once: the same must hold for it.
#include <fullstop/fullstop.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kSource = FULLSTOP_SOURCE_DIR;

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Pairs = std::vector<std::pair<int64_t, int64_t>>;

// The spans of `text` split by fullstop_split_jobs (`jobs` 1, a kept
// splitter for a short text, as fullstop_split), or with any other `jobs`
// by a fresh run on the calling thread (a text shorter than a block).
Pairs alone(const fullstop_model *model, std::string_view text, int jobs = 2) {
  fullstop_span *spans = nullptr;
  char *error = nullptr;
  int64_t n = fullstop_split_jobs(model, text.data(), text.size(), jobs, &spans, &error);
  EXPECT_GE(n, 0) << (error != nullptr ? error : "");
  std::vector<std::pair<int64_t, int64_t>> out;
  for (int64_t i = 0; i < n; i++) out.emplace_back(spans[i].start, spans[i].end);
  std::free(spans);
  std::free(error);
  return out;
}

std::vector<std::pair<int64_t, int64_t>> pairs(const std::vector<fullstop_span> &spans) {
  std::vector<std::pair<int64_t, int64_t>> out;
  for (const fullstop_span &s : spans) out.emplace_back(s.start, s.end);
  return out;
}

struct ModelCase {
  const char *name;
  std::string path;   // a model file, or
  std::string bytes;  // a model's bytes
};

// The bundled models (the Unicode mode), the classic reference model, and a
// model that names a feature twice (decided with a fresh run each text).
std::vector<ModelCase> model_cases() {
  std::vector<ModelCase> cases;
  for (const char *name : {"en", "en-brown", "de", "fr", "es", "nl", "pt"})
    cases.push_back({name, kSource + "/models/" + name + ".model", ""});
  cases.push_back({"classic reference", kSource + "/tests/data/brown_conformance.model", ""});
  cases.push_back({"repeated name", "", "3\ttext_2_.\n-1\ttext_1_Mr\n-2\ttext_2_.\n0.5\ttype_2_1\n"});
  return cases;
}

// Texts of many lengths, one after another from real text (plain, with CR
// LF line ends, with typographic quotes), each cut at any byte: mid-word,
// mid-character, mid-line-end.  Short ones come back often, so that words
// learned by one text meet the next.
std::vector<std::string> texts() {
  static const size_t kLengths[] = {0, 1, 3, 17, 64, 65, 200, 201, 203, 1000, 4097, 70000, 2, 200, 150};
  std::vector<std::string> out;
  for (const char *file : {"dev.txt", "dev-crlf.txt", "dev-typographic.txt"}) {
    std::string text = read_file(kSource + "/data/brown/" + file);
    if (text.empty()) text = read_file(kSource + "/examples/sample.txt");
    size_t at = 0;
    for (int round = 0; round < 4; round++)
      for (size_t len : kLengths) {
        if (at + len > text.size()) at = 0;
        out.push_back(text.substr(at, len));
        at += len + 7;
      }
  }
  out.push_back("\n\n   \t\n");
  out.push_back("\xEF\xBB\xBF \xE2\x80\x8B");  // a byte order mark and a zero-width space: blank
  out.push_back(std::string("A\0B. C", 6));
  return out;
}

TEST(Splitter, EveryTextGetsTheSpansOfSplittingItAlone) {
  const std::vector<std::string> all = texts();
  for (const ModelCase &c : model_cases()) {
    SCOPED_TRACE(c.name);
    fullstop::Model model =
        c.path.empty() ? fullstop::Model::parse(c.bytes) : fullstop::Model::load(c.path);
    fullstop::Splitter splitter(model);
    for (size_t i = 0; i < all.size(); i++) {
      const Pairs fresh = alone(model.get(), all[i]);
      ASSERT_EQ(pairs(splitter.split(all[i])), fresh) << "text " << i << " of " << all[i].size() << " bytes";
      ASSERT_EQ(alone(model.get(), all[i], 1), fresh) << "fullstop_split, text " << i;
    }
  }
}

TEST(Splitter, FullstopSplitFromThreadsAtOnceGivesEachTextItsOwnSpans) {
  const std::vector<std::string> all = texts();
  for (const char *name : {"en", "repeated name"}) {
    SCOPED_TRACE(name);
    fullstop::Model model = name == std::string("en")
                                ? fullstop::Model::load(kSource + "/models/en.model")
                                : fullstop::Model::parse(model_cases().back().bytes);
    std::vector<Pairs> fresh;
    for (const std::string &text : all) fresh.push_back(alone(model.get(), text));
    // Four threads, each through the texts from its own place, twice, so
    // that kept splitters pass from text to text and thread to thread.
    std::vector<size_t> wrong(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < wrong.size(); t++)
      threads.emplace_back([&, t] {
        for (size_t k = 0; k < 2 * all.size(); k++) {
          const size_t i = (k + t * all.size() / 4) % all.size();
          if (alone(model.get(), all[i], 1) != fresh[i]) wrong[t]++;
        }
      });
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<size_t>(4, 0));
  }
}

TEST(Splitter, MisuseFailsWithAMessageAndLeavesTheSplitterUsable) {
  fullstop::Model model = fullstop::Model::load(kSource + "/models/en.model");
  char *error = nullptr;
  EXPECT_EQ(fullstop_splitter_new(nullptr, &error), nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_STREQ(error, "model is NULL");
  std::free(error);

  fullstop_splitter *s = fullstop_splitter_new(model.get(), &error);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(error, nullptr);
  fullstop_span *spans = reinterpret_cast<fullstop_span *>(&error);  // must be reset to NULL
  struct Misuse {
    fullstop_splitter *splitter;
    const char *text;
    size_t len;
    fullstop_span **spans;
    const char *message;
  } cases[] = {
      {nullptr, "A. B.", 5, &spans, "splitter is NULL"},
      {s, "A. B.", 5, nullptr, "spans is NULL"},
      {s, nullptr, 5, &spans, "text is NULL"},
  };
  for (const Misuse &m : cases) {
    error = nullptr;
    EXPECT_EQ(fullstop_splitter_split(m.splitter, m.text, m.len, m.spans, &error), -1) << m.message;
    ASSERT_NE(error, nullptr);
    EXPECT_STREQ(error, m.message);
    std::free(error);
    if (m.spans != nullptr) {
      EXPECT_EQ(spans, nullptr);
    }
  }
  // NULL text of no bytes is the empty text; the splitter still splits.
  EXPECT_EQ(fullstop_splitter_split(s, nullptr, 0, &spans, nullptr), 0);
  std::free(spans);
  const std::string text = "Mr. Smith left. He came back.";
  int64_t n = fullstop_splitter_split(s, text.data(), text.size(), &spans, nullptr);
  std::vector<fullstop_span> got(spans, spans + (n > 0 ? n : 0));
  std::free(spans);
  EXPECT_EQ(pairs(got), alone(model.get(), text));
  fullstop_splitter_free(s);
  fullstop_splitter_free(nullptr);
}

}  // namespace
