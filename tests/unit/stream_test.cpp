// Streams against the whole-input reading: the same spans (and the same
// program output) for any cutting of the text into pieces, in both text
// modes, and only the undecided text held.
#include <gtest/gtest.h>

#include <fullstop/fullstop.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/output.h"
#include "core/decide/training.h"
#include "core/model/model_file.h"
#include "core/run/stream.h"
#include "markdown_texts.h"

namespace {

using namespace fullstop::core;

std::string model_path() { return std::string(FULLSTOP_SOURCE_DIR) + "/models/en.model"; }

std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Model {
  explicit Model(const std::string &bytes) {
    m = fullstop_model_parse(bytes.data(), bytes.size(), nullptr);
  }
  ~Model() { fullstop_model_free(m); }
  fullstop_model *m;
};

using Spans = std::vector<std::pair<int64_t, int64_t>>;

Spans whole(const fullstop_model *m, const std::string &text) {
  fullstop_span *s = nullptr;
  int64_t n = fullstop_split(m, text.data(), text.size(), &s, nullptr);
  EXPECT_GE(n, 0);
  Spans out;
  for (int64_t i = 0; i < n; i++) out.emplace_back(s[i].start, s[i].end);
  std::free(s);
  return out;
}

void append(Spans &out, fullstop_span *s, int64_t n) {
  ASSERT_GE(n, 0);
  for (int64_t i = 0; i < n; i++) out.emplace_back(s[i].start, s[i].end);
  std::free(s);
}

// Feeds text in pieces of random sizes up to max_piece, pumping now and then.
Spans streamed(const fullstop_model *m, const std::string &text, std::mt19937 &rng, size_t max_piece) {
  fullstop_stream *st = fullstop_stream_new(m, nullptr);
  EXPECT_NE(st, nullptr);
  Spans out;
  fullstop_span *s = nullptr;
  for (size_t at = 0; at < text.size();) {
    size_t n = std::min(text.size() - at, std::uniform_int_distribution<size_t>(0, max_piece)(rng));
    append(out, s, fullstop_stream_feed(st, text.data() + at, n, &s, nullptr));
    // As a reader about to wait pumps: the sentences so far, none twice.
    if (rng() % 3 == 0) append(out, s, fullstop_stream_pump(st, &s, nullptr));
    at += n;
  }
  append(out, s, fullstop_stream_finish(st, &s, nullptr));
  char *error = nullptr;
  EXPECT_EQ(fullstop_stream_finish(st, &s, &error), -1);
  std::free(error);
  fullstop_stream_free(st);
  return out;
}

// Random text from a small alphabet that forms sentences, abbreviations,
// list items, blank lines, CRLF, curly quotes and byte order marks.
std::string random_text(std::mt19937 &rng, size_t pieces) {
  static const char *const kParts[] = {
      "The", "cat", "sat", ".", " ", " ", " ", "\n", "\n\n", "Mr.", "Dr. Smith", "?", "!", "\"",
      "\xE2\x80\x9C", "\xE2\x80\x9D", "\r\n", "\xEF\xBB\xBF", "1.", "a)", "iv.", "*", "-", "\t",
      "\xE2\x80\xA6", "U.S.", "it", "and", "\xE3\x80\x82", "Word", "(", ")", "...", "e.g.",
      "\xE2\x80\xA8", "\xE2\x80\xA9", "a longer stretch of words", "\0"};
  std::string t;
  std::uniform_int_distribution<size_t> pick(0, sizeof kParts / sizeof kParts[0] - 1);
  for (size_t i = 0; i < pieces; i++) {
    size_t k = pick(rng);
    if (k + 1 == sizeof kParts / sizeof kParts[0]) {
      t.push_back('\0');
    } else {
      t += kParts[k];
    }
  }
  return t;
}

class StreamTest : public ::testing::TestWithParam<int> {};

TEST_P(StreamTest, RandomChunkingsEqualSplit) {
  std::string bytes = read_file(model_path());
  if (GetParam() == FULLSTOP_TEXT_CLASSIC) {
    // The same model read in the classic mode: drop its mode record.
    size_t nl = bytes.find('\n');
    ASSERT_NE(bytes.substr(0, nl).find("#text-mode="), std::string::npos);
    bytes.erase(0, nl + 1);
  }
  Model model(bytes);
  ASSERT_NE(model.m, nullptr);
  ASSERT_EQ(fullstop_model_text_mode(model.m), GetParam());
  std::mt19937 rng(1234 + GetParam());
  std::string sample = read_file(std::string(FULLSTOP_SOURCE_DIR) + "/examples/sample.txt");
  ASSERT_FALSE(sample.empty());
  for (int round = 0; round < 300; round++) {
    std::string text = round % 10 == 0 ? sample : random_text(rng, round % 200);
    Spans expect = whole(model.m, text);
    size_t max_piece = std::vector<size_t>{1, 3, 17, 200, 5000}[round % 5];
    ASSERT_EQ(streamed(model.m, text, rng, max_piece), expect) << "round " << round;
  }
}

// Training: contexts and feature list of the whole text (the C API's
// reading) against the stream's, for random cuttings and pumps.
struct Trained {
  std::string contexts, features;
  bool operator==(const Trained &) const = default;
};

Trained train_whole(const std::string &text, int mode) {
  char *c = nullptr, *f = nullptr;
  size_t cn = 0, fn = 0;
  EXPECT_EQ(fullstop_training_contexts(text.data(), text.size(), mode, &c, &cn, &f, &fn, nullptr), 0);
  Trained t{std::string(c, cn), std::string(f, fn)};
  std::free(c);
  std::free(f);
  return t;
}

Trained train_streamed(const std::string &text, TextMode mode, std::mt19937 &rng, size_t max_piece,
                       size_t *most_held = nullptr) {
  FeatureTable table;
  StringSink sink, list_sink;
  Output out(sink), list(list_sink);
  TrainingStream stream(table, mode, out, 0);
  for (size_t at = 0; at < text.size();) {
    size_t n = std::min(text.size() - at, std::uniform_int_distribution<size_t>(0, max_piece)(rng));
    stream.feed(text.data() + at, n);
    if (rng() % 4 == 0) stream.pump();
    if (most_held != nullptr) *most_held = std::max(*most_held, stream.held());
    at += n;
  }
  stream.finish();
  out.flush();
  write_feature_list(table, list);
  list.flush();
  return {std::move(sink.text), std::move(list_sink.text)};
}

TEST_P(StreamTest, TrainingRandomChunkingsEqualWhole) {
  TextMode mode = GetParam() == FULLSTOP_TEXT_UNICODE ? TextMode::unicode : TextMode::classic;
  std::mt19937 rng(77 + GetParam());
  std::string sample = read_file(std::string(FULLSTOP_SOURCE_DIR) + "/examples/sample.txt");
  for (int round = 0; round < 300; round++) {
    std::string text = round % 10 == 0 ? sample : random_text(rng, round % 200);
    Trained expect = train_whole(text, GetParam());
    size_t max_piece = std::vector<size_t>{1, 3, 17, 200, 5000}[round % 5];
    ASSERT_EQ(train_streamed(text, mode, rng, max_piece), expect) << "round " << round;
  }
}

// Windows are cut at line starts, never inside a fenced block, whose
// reading needs its opening line: markdown streamed, detected and trained,
// reads as the whole text does.
TEST_P(StreamTest, MarkdownChunkingsEqualWhole) {
  Model model(read_file(model_path()));
  ASSERT_NE(model.m, nullptr);
  TextMode mode = GetParam() == FULLSTOP_TEXT_UNICODE ? TextMode::unicode : TextMode::classic;
  std::mt19937 rng(99 + GetParam());
  for (int round = 0; round < 200; round++) {
    std::string text = markdown_text(rng, round % 120);
    size_t max_piece = std::vector<size_t>{1, 3, 17, 200}[round % 4];
    if (mode == TextMode::unicode) {
      ASSERT_EQ(streamed(model.m, text, rng, max_piece), whole(model.m, text)) << text;
    }
    ASSERT_EQ(train_streamed(text, mode, rng, max_piece), train_whole(text, GetParam())) << text;
  }
}

TEST(Stream, TrainingHoldsOnlyUndecidedText) {
  // Sentence-per-line text, with a paragraph break now and then: held bytes
  // stay within a few lines however long the input runs.
  for (TextMode mode : {TextMode::classic, TextMode::unicode}) {
    std::string text;
    for (int i = 0; i < 20000; i++) {
      text += "Sentence " + std::to_string(i % 97) + " ends here. Mr. Smith left";
      text += i % 50 == 0 ? "!\n\n" : ".\n";
    }
    std::mt19937 rng(5);
    size_t most = 0;
    Trained got = train_streamed(text, mode, rng, 300, &most);
    EXPECT_EQ(got, train_whole(text, mode == TextMode::unicode ? FULLSTOP_TEXT_UNICODE : FULLSTOP_TEXT_CLASSIC));
    EXPECT_LT(most, 1000u);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, StreamTest,
                         ::testing::Values(FULLSTOP_TEXT_CLASSIC, FULLSTOP_TEXT_UNICODE));

// A model that repeats a name answers by how far detection has grown the
// index (the names it forms that the model lacks): that count runs across
// windows.
TEST(Stream, RepeatedNamesAcrossWindows) {
  for (const char *mode : {"", "0\t#text-mode=unicode\n"}) {
    Model model(std::string(mode) + "1\ttext_2_.\n-1\ttext_2_.\n0.5\ttype_3_1\n");
    ASSERT_NE(model.m, nullptr);
    std::mt19937 rng(99);
    std::string text;
    for (int i = 0; i < 6000; i++) {
      text += "w" + std::to_string(rng() % 100000) + " Q" + std::to_string(rng() % 1000) + ". ";
      if (i % 7 == 0) text += "\n";
    }
    Spans expect = whole(model.m, text);
    for (size_t piece : {size_t{50}, size_t{3000}, size_t{100000}})
      ASSERT_EQ(streamed(model.m, text, rng, piece), expect) << piece;
  }
}

TEST(Stream, HoldsOnlyUndecidedText) {
  std::string bytes = read_file(model_path());
  LoadedModel model;
  load_model_bytes(model, "model", bytes);
  std::vector<SentenceSpan> spans;
  SentenceStream stream(model.table, model_reading(model, "model"), RunOutput{Task::detect, FormKind::xml, nullptr, &spans},
                        0);
  std::string line = "A short sentence here. Another one follows it.\n";
  size_t most = 0;
  for (int i = 0; i < 20000; i++) {
    stream.feed(line.data(), line.size());
    most = std::max(most, stream.held());
  }
  stream.finish();
  EXPECT_EQ(spans.size(), 40000u);
  EXPECT_EQ(spans.back().end, static_cast<int64_t>(20000 * line.size()));
  EXPECT_LT(most, 4 * line.size());
}

TEST(Stream, EvaluationHoldsOnlyUndecidedText) {
  // Evaluation prints no sentence, so no open sentence may pin the text.
  std::string bytes = read_file(model_path());
  LoadedModel model;
  load_model_bytes(model, "model", bytes);
  StringSink sink;
  Output out(sink);
  SentenceStream stream(model.table, model_reading(model, "model"), RunOutput{Task::evaluate, FormKind::xml, &out, nullptr},
                        0);
  std::string lines = "A short sentence here.\nAnother one follows it.\n";
  size_t most = 0;
  for (int i = 0; i < 20000; i++) {
    stream.feed(lines.data(), lines.size());
    most = std::max(most, stream.held());
  }
  stream.finish();
  out.flush();
  EXPECT_NE(sink.text.find("tested 40000 sites"), std::string::npos) << sink.text.substr(0, 200);
  EXPECT_LT(most, 4 * lines.size());
}

TEST(Stream, FeedReturnsDecidedSentences) {
  Model model(read_file(model_path()));
  fullstop_stream *st = fullstop_stream_new(model.m, nullptr);
  std::string text = "First sentence here. Second one starts now\n";
  fullstop_span *s = nullptr;
  ASSERT_EQ(fullstop_stream_feed(st, text.data(), text.size(), &s, nullptr), 1);
  EXPECT_EQ(s[0].start, 0);
  EXPECT_EQ(s[0].end, 20);
  std::free(s);
  fullstop_stream_free(st);
}

}  // namespace
