// Parallel detection against one whole-input run: the same bytes in every
// output form, evaluation included, in both text modes, for blocks from one
// byte up and any number of workers, fed in random pieces with pumps between.
#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/base/cpu.h"
#include "core/base/output.h"
#include "core/model/model_file.h"
#include "core/run/parallel.h"
#include "core/run/session.h"
#include "core/run/stream.h"
#include "markdown_texts.h"
#include "run_in_texts.h"

namespace {

using namespace fullstop::core;

std::string read_file(const std::filesystem::path &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The program's forms: offsets, -f, -F, the --format forms, and -t.
struct Form {
  FormKind kind;
  bool test;
};
std::vector<Form> all_forms() {
  return {{FormKind::xml, false},  {FormKind::xml_with_text, false}, {FormKind::lines, false},
          {FormKind::text, false}, {FormKind::jsonl, false},         {FormKind::tsv, false},
          {FormKind::xml, true}};
}

RunOutput output_of(const Form &o, Output &out) {
  return RunOutput{o.test ? Task::evaluate : Task::detect, o.kind, &out, nullptr};
}

Reading reading_of(const LoadedModel &m, TextMode mode) { return model_reading(m, "model", &mode); }

// One run over the whole text, as the library's calls make it.
std::string whole(const LoadedModel &m, TextMode mode, const Form &o, const std::string &text) {
  StringSink sink;
  Output out(sink);
  const RunOutput output = output_of(o, out);
  Session session(m.table, reading_of(m, mode), output);
  run_text(session, text, output);
  out.flush();
  return sink.text;
}

// Hands `n` bytes to a stream in a buffer of its own, with room to spare.
template <typename Stream>
void adopt_piece(Stream &stream, const char *bytes, size_t n, std::mt19937 &rng) {
  size_t cap = n + rng() % 64 + 1;
  char *buffer = static_cast<char *>(std::malloc(cap));
  ASSERT_NE(buffer, nullptr);
  std::memcpy(buffer, bytes, n);
  stream.adopt(buffer, n, cap);
}

// One thread, its first text adopted and the rest in random pieces.
std::string streamed(const LoadedModel &m, TextMode mode, const Form &o, const std::string &text,
                     std::mt19937 &rng) {
  StringSink sink;
  Output out(sink);
  SentenceStream stream(m.table, reading_of(m, mode), output_of(o, out), 64);
  size_t first = std::min(text.size(), size_t{rng() % 300});
  adopt_piece(stream, text.data(), first, rng);
  for (size_t at = first; at < text.size();) {
    size_t n = std::min(text.size() - at, size_t{rng() % 300});
    stream.feed(text.data() + at, n);
    at += n;
  }
  stream.finish();
  out.flush();
  return sink.text;
}

std::string parallel(const LoadedModel &m, TextMode mode, const Form &o, const std::string &text,
                     int jobs, size_t block, std::mt19937 &rng) {
  StringSink sink;
  Output out(sink);
  ParallelStream stream(m.table, reading_of(m, mode), output_of(o, out), jobs, block);
  for (size_t at = 0; at < text.size();) {
    size_t n = std::min(text.size() - at, std::uniform_int_distribution<size_t>(0, 3 * block)(rng));
    if (rng() % 3 == 0) {
      // As the program hands over what it read while the model loaded (and
      // a later piece the same way, which must be copied).
      adopt_piece(stream, text.data() + at, n, rng);
    } else {
      stream.feed(text.data() + at, n);
    }
    if (rng() % 4 == 0) stream.pump();
    at += n;
  }
  stream.finish();
  out.flush();
  return sink.text;
}

// Every form, both modes, blocks of 1, 3, 40 and 1000 bytes on 1 to 3 workers.
void check_all(const LoadedModel &m, const std::string &text, const std::string &what) {
  std::mt19937 rng(static_cast<uint32_t>(text.size()));
  for (TextMode mode : {TextMode::classic, TextMode::unicode}) {
    for (const Form &o : all_forms()) {
      std::string want = whole(m, mode, o, text);
      ASSERT_EQ(streamed(m, mode, o, text, rng), want)
          << what << ": one thread, mode " << text_mode_name(mode) << ", form " << static_cast<int>(o.kind) << o.test;
      for (size_t block : {1, 3, 40, 1000}) {
        int jobs = 1 + static_cast<int>(block % 3);
        ASSERT_EQ(parallel(m, mode, o, text, jobs, block, rng), want)
            << what << ": mode " << text_mode_name(mode) << ", form " << static_cast<int>(o.kind) << o.test
            << ", block " << block;
      }
    }
  }
}

std::string random_text(std::mt19937 &rng, size_t pieces) {
  static const char *const kParts[] = {
      "The", "cat", "sat", ".", " ", " ", "\n", "\n", "\n\n", "Mr.", "Dr. Smith", "?", "!", "\"",
      "\xE2\x80\x9C", "\xE2\x80\x9D", "\r\n", "\xEF\xBB\xBF", "1.", "a)", "iv.", "*", "-", "\t",
      "\xE2\x80\xA6", "U.S.", "it", "and", "\xE3\x80\x82", "Word", "(", ")", "...", " \n \n", "\x85",
      "\r", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9", "\r\r\n"};
  std::string t;
  std::uniform_int_distribution<size_t> pick(0, std::size(kParts));
  for (size_t i = 0; i < pieces; i++) {
    size_t k = pick(rng);
    if (k == std::size(kParts)) {
      t.push_back('\0');
    } else {
      t += kParts[k];
    }
  }
  return t;
}

const std::filesystem::path kSource = FULLSTOP_SOURCE_DIR;

TEST(Parallel, RandomTextsInEveryForm) {
  LoadedModel model;
  load_model_file(model, (kSource / "models/en.model").c_str());
  std::mt19937 rng(7);
  for (int round = 0; round < 40; round++) check_all(model, random_text(rng, round * 7), "random");
}

// Fenced blocks and code spans: no block begins inside a fence.
TEST(Parallel, MarkdownInEveryForm) {
  LoadedModel model;
  load_model_file(model, (kSource / "models/en.model").c_str());
  ASSERT_TRUE(model_reading(model, "en", nullptr).rules.code_spans);
  std::mt19937 rng(11);
  for (int round = 0; round < 25; round++) check_all(model, markdown_text(rng, round * 9), "markdown");
}

// Blocks that begin inside paragraphs count their words as one thread does
// (see context_words), with a model that reads run-in headings.
TEST(Parallel, RunInHeadingsInEveryForm) {
  LoadedModel model;
  load_model_file(model, (kSource / "models/en.model").c_str());
  ASSERT_TRUE(model_reading(model, "en", nullptr).rules.run_in_headings);
  ASSERT_TRUE(model_reading(model, "en", nullptr).rules.run_in_dates);
  std::mt19937 rng(13);
  for (int round = 0; round < 25; round++) check_all(model, run_in_text(rng, round), "run-in");
}

// Text no block can end in for a long way: lines of several blocks (the
// coordinator's chunk grows to hold one), and sentences open over many blocks
// and lines (the writer keeps their text).
TEST(Parallel, LongLinesAndSentences) {
  LoadedModel model;
  load_model_file(model, (kSource / "models/en.model").c_str());
  std::string line, lines;
  for (int i = 0; i < 900; i++) line += "word" + std::to_string(i % 7) + (i % 50 == 49 ? ", " : " ");
  for (int i = 0; i < 400; i++) lines += "and so it went on\n";
  check_all(model, "It began. " + line + "end. " + lines + "Done. Next.\n" + line + "\n\nLast.", "long");
}

// Each golden input with its model; a model naming a feature twice is the
// one kind the blocks may not decide.
TEST(Parallel, GoldenInputs) {
  int checked = 0;
  for (const auto &entry : std::filesystem::directory_iterator(kSource / "tests/cli/golden/cases")) {
    std::filesystem::path dir = entry.path();
    if (!std::filesystem::exists(dir / "stdin") || !std::filesystem::is_regular_file(dir / "model"))
      continue;
    LoadedModel model;
    load_model_file(model, (dir / "model").c_str());
    if (!parallel_safe(model.table)) {
      EXPECT_EQ(dir.filename().string().rfind("model_duplicate", 0), 0u) << dir;
      continue;
    }
    check_all(model, read_file(dir / "stdin"), dir.filename().string());
    checked++;
  }
  EXPECT_GT(checked, 20);
}

// Before a read that would wait, the program pumps: with any blocks, what
// has been written by then is what one thread has written, so no sentence
// comes later on a slow pipe.
TEST(Parallel, PumpWritesWhatOneThreadWrites) {
  LoadedModel model;
  load_model_file(model, (kSource / "models/en.model").c_str());
  std::mt19937 rng(11);
  for (int round = 0; round < 60; round++) {
    std::string text = random_text(rng, 150);
    TextMode mode = round % 2 ? TextMode::unicode : TextMode::classic;
    Form o = all_forms()[static_cast<size_t>(round) % 7];
    StringSink one_sink, many_sink;
    Output one_out(one_sink), many_out(many_sink);
    SentenceStream one(model.table, reading_of(model, mode), output_of(o, one_out), size_t{1} << 30);
    ParallelStream many(model.table, reading_of(model, mode), output_of(o, many_out), 2, 1 + round % 50);
    for (size_t at = 0; at < text.size();) {
      size_t n = std::min(text.size() - at, std::uniform_int_distribution<size_t>(1, 40)(rng));
      one.feed(text.data() + at, n);
      many.feed(text.data() + at, n);
      at += n;
      one.pump();
      many.pump();
      one_out.flush();
      many_out.flush();
      ASSERT_EQ(many_sink.text, one_sink.text) << "round " << round << " at " << at;
    }
  }
}

// A few blocks in flight and the open sentence: never the whole text,
// whatever line end the Unicode mode meets (U+2028 is none in evaluation).
TEST(Parallel, HoldsBoundedText) {
  LoadedModel model;
  load_model_file(model, (kSource / "models/en.model").c_str());
  for (std::string end : {"\n", "\r", "\r\n", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"})
  for (bool test : {false, true}) {
    if (test && end == "\xE2\x80\xA8") continue;
    StringSink sink;
    Output out(sink);
    ParallelStream stream(model.table, reading_of(model, TextMode::unicode), output_of(Form{FormKind::xml, test}, out),
                          2, 4096);
    std::string line = "A short sentence here. Another one follows it." + end;
    size_t most = 0;
    for (int i = 0; i < 20000; i++) {
      stream.feed(line.data(), line.size());
      most = std::max(most, stream.held());
    }
    stream.finish();
    // About 1 MB fed; at most five blocks in flight, so the chunks (eight
    // blocks each) that hold them and the text being read number three or so.
    EXPECT_LE(most, 4 * 8 * 4096u) << test << testing::PrintToString(end);
  }
}

// A thread moved off its creator's processor at start may afterwards run
// on every processor the process may use: the move must not pin it.
TEST(Parallel, MovedThreadMayRunAnywhere) {
  cpu_set_t allowed, seen;
  ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
  CPU_ZERO(&seen);
  std::atomic<bool> go{false};
  std::thread t([&] {
    while (!go.load()) std::this_thread::yield();
    sched_getaffinity(0, sizeof seen, &seen);
  });
  move_off_cpu(t, current_cpu());
  go.store(true);
  t.join();
  EXPECT_TRUE(CPU_EQUAL(&seen, &allowed)) << CPU_COUNT(&seen) << " of " << CPU_COUNT(&allowed);
}

}  // namespace
