// Streams against the whole-input reading: the same spans (and the same
// program output) for any cutting of the text into pieces, in both text
// modes, and only the undecided text held.
#include <gtest/gtest.h>

#include <fullstop/fullstop.h>

#include <cstdlib>
#include <cstring>
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
#include "run_in_texts.h"

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
// list items, blank lines, every kind of line end, curly quotes and byte
// order marks.
std::string random_text(std::mt19937 &rng, size_t pieces) {
  static const char *const kParts[] = {
      "The", "cat", "sat", ".", " ", " ", " ", "\n", "\n\n", "Mr.", "Dr. Smith", "?", "!", "\"",
      "\xE2\x80\x9C", "\xE2\x80\x9D", "\r\n", "\xEF\xBB\xBF", "1.", "a)", "iv.", "*", "-", "\t",
      "\xE2\x80\xA6", "U.S.", "it", "and", "\xE3\x80\x82", "Word", "(", ")", "...", "e.g.",
      "\xE2\x80\xA8", "\xE2\x80\xA9", "a longer stretch of words", "\r", "\xC2\x85", "\r\r\n", "\0"};
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

// (A `min_run` past the text's length reads it whole, at finish.)
Trained train_streamed(const std::string &text, const Reading &reading, std::mt19937 &rng, size_t max_piece,
                       size_t *most_held = nullptr, size_t min_run = 0) {
  FeatureTable table;
  StringSink sink, list_sink;
  Output out(sink), list(list_sink);
  TrainingStream stream(table, reading, out, min_run);
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
    ASSERT_EQ(train_streamed(text, Reading{mode, kTrainingRules}, rng, max_piece), expect) << "round " << round;
  }
}

// The line ends that cut a stream in each mode: the classic mode knows LF
// only; the Unicode mode every line end, where lines are sentences
// (evaluation, training) all but U+2028, a break inside a sentence's line.
struct LineEnd {
  const char *bytes;
  bool in_sentence_lines;
};
const LineEnd kUnicodeLineEnds[] = {{"\n", true},           {"\r", true},           {"\r\n", true},
                                    {"\xC2\x85", true},     {"\xE2\x80\xA8", false}, {"\xE2\x80\xA9", true}};

std::vector<std::pair<TextMode, std::string>> line_ends(bool sentence_lines) {
  std::vector<std::pair<TextMode, std::string>> out{{TextMode::classic, "\n"}};
  for (const LineEnd &e : kUnicodeLineEnds)
    if (e.in_sentence_lines || !sentence_lines) out.emplace_back(TextMode::unicode, e.bytes);
  return out;
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
    ASSERT_EQ(train_streamed(text, Reading{mode, kTrainingRules}, rng, max_piece), train_whole(text, GetParam())) << text;
  }
}

// With run-in headings a window that begins inside a paragraph counts its
// words from there (see context_words): streamed, detected and trained, the
// text reads as the whole text does.
TEST(Stream, RunInHeadingsChunkingsEqualWhole) {
  Model model(read_file(model_path()));
  ASSERT_NE(model.m, nullptr);
  ReadingRules rules = kTrainingRules;
  rules.run_in_headings = rules.run_in_dates = true;
  const Reading reading{TextMode::unicode, rules};
  std::mt19937 rng(41);
  for (int round = 0; round < 200; round++) {
    const std::string text = run_in_text(rng, round % 20);
    const size_t max_piece = std::vector<size_t>{1, 3, 17, 200}[round % 4];
    ASSERT_EQ(streamed(model.m, text, rng, max_piece), whole(model.m, text)) << text;
    ASSERT_EQ(train_streamed(text, reading, rng, max_piece),
              train_streamed(text, reading, rng, max_piece, nullptr, text.size() + 1))
        << text;
  }
}

TEST(Stream, TrainingHoldsOnlyUndecidedText) {
  // Sentence-per-line text, with a paragraph break now and then: held bytes
  // stay within a few lines however long the input runs.
  for (const auto &[mode, end] : line_ends(true)) {
    std::string text;
    for (int i = 0; i < 20000; i++) {
      text += "Sentence " + std::to_string(i % 97) + " ends here. Mr. Smith left";
      text += i % 50 == 0 ? "!" + end + end : "." + end;
    }
    std::mt19937 rng(5);
    size_t most = 0;
    Trained got = train_streamed(text, Reading{mode, kTrainingRules}, rng, 300, &most);
    EXPECT_EQ(got, train_whole(text, mode == TextMode::unicode ? FULLSTOP_TEXT_UNICODE : FULLSTOP_TEXT_CLASSIC));
    EXPECT_LT(most, 1000u) << testing::PrintToString(end);
  }
}

// Lines of 40 KiB to 3 MiB (a paragraph or a document per line), in pieces:
// a run that keeps a long line waits for more text before the next (see
// StreamText::took), which must change no sentence.
TEST(Stream, LongLinesEqualSplit) {
  Model model(read_file(model_path()));
  ASSERT_NE(model.m, nullptr);
  std::mt19937 rng(77);
  const char *const kSentences[] = {"A short one. ", "Mr. Smith left at 5 p.m. on Monday. ", "Was it? ",
                                    "Yes, it was; then \xC3\xA9t\xC3\xA9 came. ", "\xE2\x80\x9CQuoted.\xE2\x80\x9D "};
  std::string text;
  for (size_t line_len : {40000u, 300000u, 70000u, 3200000u, 150000u, 90000u}) {
    for (size_t start = text.size(); text.size() - start < line_len;) text += kSentences[rng() % std::size(kSentences)];
    text += "\n";
  }
  ASSERT_EQ(streamed(model.m, text, rng, 200000), whole(model.m, text));
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

// Every line end the reading knows cuts the stream: held bytes stay within
// a few lines, and the first sentence is out before more text comes (at
// pump(), as a reader about to wait calls it).
TEST(Stream, HoldsOnlyUndecidedText) {
  std::string bytes = read_file(model_path());
  LoadedModel model;
  load_model_bytes(model, "model", bytes);
  for (const auto &[mode, end] : line_ends(false)) {
    std::vector<SentenceSpan> spans;
    SentenceStream stream(model.table, model_reading(model, "model", &mode),
                          RunOutput{Task::detect, FormKind::xml, nullptr, &spans}, 0);
    std::string line = "A short sentence here. Another one follows it." + end;
    size_t most = 0;
    for (int i = 0; i < 20000; i++) {
      stream.feed(line.data(), line.size());
      if (i == 1) {
        stream.pump();
        EXPECT_FALSE(spans.empty()) << testing::PrintToString(end);
      }
      most = std::max(most, stream.held());
    }
    stream.finish();
    EXPECT_EQ(spans.size(), 40000u);
    EXPECT_EQ(spans.back().end, static_cast<int64_t>(20000 * line.size()));
    // A few lines: two tokens' and, as the model reads run-in headings, the
    // words of a paragraph that count (context_words).
    EXPECT_LT(most, 8 * line.size()) << testing::PrintToString(end);
  }
}

TEST(Stream, EvaluationHoldsOnlyUndecidedText) {
  // Evaluation prints no sentence, so no open sentence may pin the text.
  std::string bytes = read_file(model_path());
  LoadedModel model;
  load_model_bytes(model, "model", bytes);
  for (const auto &[mode, end] : line_ends(true)) {
    StringSink sink;
    Output out(sink);
    SentenceStream stream(model.table, model_reading(model, "model", &mode),
                          RunOutput{Task::evaluate, FormKind::xml, &out, nullptr}, 0);
    std::string lines = "A short sentence here." + end + "Another one follows it." + end;
    size_t most = 0;
    for (int i = 0; i < 20000; i++) {
      stream.feed(lines.data(), lines.size());
      most = std::max(most, stream.held());
    }
    stream.finish();
    out.flush();
    // The classic reading tests no site at the end of the text.
    const char *tested = mode == TextMode::classic ? "tested 39999 sites" : "tested 40000 sites";
    EXPECT_NE(sink.text.find(tested), std::string::npos) << testing::PrintToString(end) << sink.text.substr(0, 200);
    EXPECT_LT(most, 8 * lines.size()) << testing::PrintToString(end);
  }
}

// The library's whole-text calls read text past what one run can hold
// (2 GiB) through a stream: the same spans and output as one run, here
// with the limit made small enough to meet.
TEST(Stream, AnyLengthEqualsOneRun) {
  LoadedModel model;
  load_model_bytes(model, "model", read_file(model_path()));
  const Reading reading = model_reading(model, "model");
  std::mt19937 rng(31);
  for (int round = 0; round < 60; round++) {
    const std::string text = random_text(rng, 20 + round * 3);
    for (FormKind form : {FormKind::xml, FormKind::text, FormKind::jsonl}) {
      StringSink one_sink, any_sink;
      Output one_out(one_sink), any_out(any_sink);
      detect_any_length(model.table, reading, text, RunOutput{Task::detect, form, &one_out, nullptr});
      detect_any_length(model.table, reading, text, RunOutput{Task::detect, form, &any_out, nullptr},
                        size_t{1} + round % 40);
      one_out.flush();
      any_out.flush();
      ASSERT_EQ(any_sink.text, one_sink.text) << "round " << round;
    }
  }
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

// Detection forgets words past a bound (Lexicon::set_limit), keeping a few
// met more than once; a word is only a cache of what its bytes form, so the
// output must be byte for byte the unbounded run's: spans, an evaluation's
// report with its first errors (which print the windows' words), in a
// whole text (forgotten in the middle of a walk, edge markers and line
// breaks in the ring) and in a stream (between windows), over a model
// without repeated names and one with them (whose answers follow the names
// the run forms, and so must not change when words are formed again).
// The words held stay within the bound and one ring of tokens.
struct BoundedCase {
  const char *name;
  std::string model;
  TextMode mode;
};

std::string distinct_text(int lines) {
  std::mt19937 rng(7);
  const char *common[] = {"The", "request", "Mr.", "Smith", "left", "U.S.", "and", "of", "it"};
  std::string text;
  for (int i = 0; i < lines; i++) {
    text += "id" + std::to_string(i) + "x " + common[rng() % std::size(common)] + " u" + std::to_string(i * 7) + "z";
    text += i % 3 == 0 ? ". " : i % 3 == 1 ? "? " : ", ";
    text += common[rng() % std::size(common)];
    text += i % 11 == 0 ? "\n\n" : i % 4 == 0 ? "\n" : ". ";
  }
  return text;
}

// A detection or evaluation run over `text`: what it prints, its site
// count and its spans, with the lexicon bounded to `limit` words (0: none)
// and words the model does not name taking their shared contributions or
// forming their own (Scorer::share_unnamed).
std::string run_words(const LoadedModel &model, const Reading &reading, Task task, const std::string &text,
                      size_t limit, bool share, size_t *most) {
  std::vector<SentenceSpan> spans;
  StringSink sink;
  Output out(sink);
  RunOutput output{task, FormKind::xml, task == Task::evaluate ? &out : nullptr, &spans};
  Session session(model.table, reading, output);
  session.tokens.lexicon.set_limit(limit, limit * 16);
  session.share_unnamed(share);
  EvalCounts counts = run_text(session, text, output);
  out.flush();
  *most = session.tokens.lexicon.most_words();
  std::string got = sink.text + std::to_string(counts.nsites);
  for (const SentenceSpan &s : spans) got += " " + std::to_string(s.start) + "-" + std::to_string(s.end);
  return got;
}

TEST(BoundedWords, SameOutputAsUnbounded) {
  const std::string en = read_file(model_path());
  const std::string repeats = "1\ttext_2_.\n-1\ttext_2_.\n0.5\ttype_3_1\n-0.25\tstem_1_the\n0.75\ttext_3_The\n";
  const std::vector<BoundedCase> cases = {{"en classic", en, TextMode::classic},
                                          {"en unicode", en, TextMode::unicode},
                                          {"repeats classic", repeats, TextMode::classic},
                                          {"repeats unicode", "0\t#text-mode=unicode\n" + repeats, TextMode::unicode}};
  const std::string text = distinct_text(6000);
  for (const BoundedCase &c : cases) {
    SCOPED_TRACE(c.name);
    LoadedModel model;
    load_model_bytes(model, "model", c.model);
    Reading reading = model_reading(model, "model", &c.mode);
    // The plain way keeps every word it meets; the shared one keeps only
    // the words en.model names and those met twice (Lexicon::pass_unnamed).
    for (bool share : {false, true})
      for (Task task : {Task::detect, Task::evaluate}) {
        SCOPED_TRACE(share ? "shared" : "plain");
        auto run = [&](size_t limit, size_t *most) {
          return run_words(model, reading, task, text, limit, share, most);
        };
        size_t unbounded_most = 0, most = 0;
        const std::string expect = run(0, &unbounded_most);
        if (share && c.model == en) {
          EXPECT_LT(unbounded_most, 100u);
        } else {
          ASSERT_GT(unbounded_most, 10000u);
        }
        for (size_t limit : {size_t{8}, size_t{300}}) {
          EXPECT_EQ(run(limit, &most), expect) << limit;
          EXPECT_LE(most, limit + 4096) << limit;
        }
      }
    // A stream forgets between its windows too.
    Spans expect;
    {
      Session session(model.table, reading, RunOutput{Task::detect, FormKind::xml, nullptr, nullptr});
      session.tokens.lexicon.set_limit(0, 0);
      std::vector<SentenceSpan> spans;
      SpanSink sink(spans);
      detect_text(session, text, sink);
      for (const SentenceSpan &s : spans) expect.emplace_back(s.start, s.end);
    }
    std::vector<SentenceSpan> spans;
    SentenceStream stream(model.table, reading, RunOutput{Task::detect, FormKind::xml, nullptr, &spans}, 2000);
    stream.lexicon().set_limit(100, 1600);
    for (size_t at = 0; at < text.size(); at += 997) stream.feed(text.data() + at, std::min<size_t>(997, text.size() - at));
    stream.finish();
    Spans got;
    for (const SentenceSpan &s : spans) got.emplace_back(s.start, s.end);
    EXPECT_EQ(got, expect);
    EXPECT_LE(stream.lexicon().most_words(), 100u + 4096);
  }
}

// Whether a model names a text is first asked of a filter by the text's
// first eight bytes and length (FeatureTable::names_text): a text a model
// names that the filter missed would pass as unnamed and lose its weights.
// Every text of every bundled model and of the classic reference model,
// short and long, and texts one byte off them, answer as the index does;
// so does every stem for the filter of stems (Scorer::unnamed).
TEST(BoundedWords, ModelsNameTheirTexts) {
  std::vector<std::string> paths = {std::string(FULLSTOP_SOURCE_DIR) + "/tests/data/brown_conformance.model"};
  for (const char *name : {"de", "en-brown", "en", "es", "fr", "nl", "pt"})
    paths.push_back(std::string(FULLSTOP_SOURCE_DIR) + "/models/" + name + ".model");
  for (const std::string &path : paths) {
    SCOPED_TRACE(path);
    LoadedModel model;
    load_model_bytes(model, "model", read_file(path));
    ASSERT_TRUE(model.table.indexed_by_word());
    std::istringstream lines(read_file(path));
    size_t texts = 0;
    for (std::string line; std::getline(lines, line);) {
      // A stem name's stem ("stem_P_STEM", "stem2_P_B_A_STEM") passes the
      // stem filter (FeatureTable::may_name_stem).
      size_t stem = line.find("\tstem");
      if (stem != std::string::npos) {
        const bool stem2 = line.compare(stem, 6, "\tstem2") == 0;
        stem = line.find('_', stem + (stem2 ? 7 : 6)) + (stem2 ? 5 : 1);  // past the position (and "_B_A_")
      }
      if (stem != std::string::npos && stem < line.size() && line.size() - stem <= 3) {
        uint32_t bits = 0;
        std::memcpy(&bits, line.data() + stem, line.size() - stem);
        EXPECT_TRUE(model.table.may_name_stem(bits)) << line;
      }
      const size_t name = line.find("\ttext_");
      const size_t value = name == std::string::npos ? name : line.find('_', name + 6);
      if (value == std::string::npos || value + 1 >= line.size()) continue;
      const std::string text = line.substr(value + 1);
      for (const std::string &probe : {text, text + "q", text.substr(0, text.size() - 1), "Q" + text}) {
        if (probe.empty()) continue;
        uint64_t prefix = 0;
        std::memcpy(&prefix, probe.data(), std::min<size_t>(probe.size(), 8));
        const int32_t *ids[4];
        const double *weights[4];
        EXPECT_EQ(model.table.names_text(probe, prefix), model.table.text_rows(probe, ids, weights)) << probe;
      }
      texts++;
    }
    EXPECT_GT(texts, 100u);
  }
}

// A word whose text the model does not name takes its partial sums from
// what its signature (stem, spacing, type) contributed before: the output
// must be the plain run's, word for word.  The crafted model makes each
// part of the signature decide a window: the type of the word before a
// mark ("Qqa7." splits, "qqa7." does not) and the spacing of the word after
// it ("qqa8" alone against "qqa8)"), over words that share their stem and
// are new each time; en.model over a log of new ids checks the rest, with
// the lexicon bounded and not, in both text modes.
TEST(BoundedWords, SharedContributionsAsFormed) {
  const std::string crafted = "1\ttype_1_1\n-1\ttype_1_0\n3\tstem2_3_1_1_qqa\n-3\tstem2_3_1_0_qqa\n";
  std::mt19937 rng(11);
  std::string signatures;
  for (int i = 0; i < 4000; i++) {
    const std::string id = std::to_string(i);
    signatures += rng() % 2 ? "zz Qqa" + id + ". zz " : "zz qqa" + id + ". zz ";
    signatures += rng() % 2 ? "zz. qqa" + id + "b zz " : "zz. qqa" + id + "b) zz ";
    if (i % 9 == 0) signatures += "\n\n";
  }
  const std::string en = read_file(model_path());
  const std::string log = distinct_text(3000);
  // Windows whose sum is 0 ("Qqa7. zz"), which the exact sum decides from
  // the ids of their words, passing ones among them.
  const std::string zero = "1\ttype_1_1\n-1\ttype_3_0\n";
  const std::vector<BoundedCase> cases = {{"crafted classic", crafted, TextMode::classic},
                                          {"crafted unicode", "0\t#text-mode=unicode\n" + crafted, TextMode::unicode},
                                          {"en classic", en, TextMode::classic},
                                          {"en unicode", en, TextMode::unicode},
                                          {"zero sums", zero, TextMode::classic}};
  // With en.model, every token of a window new and unnamed, of many
  // stems, shapes and spacings: the partial sums of each must be its own
  // word's however many words pass between it and its window
  // (Lexicon::pass_unnamed).
  const char *stems[] = {"the", "Con", "pre", "Sta", "wor", "Int", "mar", "Joh", "(ab", "7st", "Dis", "in"};
  std::string passing;
  for (int i = 0; i < 12000; i++) {
    passing += stems[rng() % std::size(stems)] + std::to_string(i) + (rng() % 3 == 0 ? "q" : "");
    passing += rng() % 4 == 0 ? ". " : rng() % 5 == 0 ? ", " : rng() % 7 == 0 ? ")\n" : " ";
  }
  for (const BoundedCase &c : cases) {
    SCOPED_TRACE(c.name);
    LoadedModel model;
    load_model_bytes(model, "model", c.model);
    const Reading reading = model_reading(model, "model", &c.mode);
    size_t most = 0;
    for (const std::string *text : c.model == en     ? std::vector<const std::string *>{&log, &passing}
                                   : c.model == zero ? std::vector<const std::string *>{&signatures, &passing}
                                                     : std::vector<const std::string *>{&signatures})
      for (Task task : {Task::detect, Task::evaluate})
        for (size_t limit : {size_t{0}, size_t{300}}) {
          const std::string plain = run_words(model, reading, task, *text, limit, false, &most);
          EXPECT_EQ(run_words(model, reading, task, *text, limit, true, &most), plain) << limit;
        }
  }
}

}  // namespace
