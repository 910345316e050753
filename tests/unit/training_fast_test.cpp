// Training's fast path against its plain reference: the SSE2 rank order of a
// window's twenty ids against the insertion sort, and whole training runs
// (contexts and feature list) printed through the fast path against the same
// runs printed through the event, in both text modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/output.h"
#include "core/decide/training.h"
#include "core/decide/window_order.h"
#include "core/model/feature_table.h"
#include "core/model/scorer.h"
#include "core/tokens/tokenizer.h"

namespace {

using namespace fullstop::core;

TEST(WindowOrder, RankOrderEqualsInsertionSort) {
  std::mt19937 rng(2026);
  // Small ranges repeat ids (the caller's fallback); large ones, up to the
  // 31-bit limit, must order like signed integers.
  const int32_t ranges[] = {20, 25, 40, 1000, 100000, INT32_MAX};
  for (int round = 0; round < 20000; round++) {
    int32_t top = ranges[round % 6];
    std::uniform_int_distribution<int32_t> pick(0, top);
    int32_t ids[kWindowIds], fast[kWindowIds], plain[kWindowIds];
    for (int32_t &id : ids) id = pick(rng);
    if (round % 7 == 0) std::iota(ids, ids + kWindowIds, top - 20);  // up to top - 1
    if (round % 11 == 0) std::reverse(ids, ids + kWindowIds);
    bool distinct = order_distinct_window_ids_plain(ids, plain);
    std::vector<int32_t> expect(ids, ids + kWindowIds);
    std::sort(expect.begin(), expect.end());
    ASSERT_EQ(distinct, std::adjacent_find(expect.begin(), expect.end()) == expect.end());
    ASSERT_EQ(order_distinct_window_ids(ids, fast), distinct) << "round " << round;
    if (distinct) {
      ASSERT_EQ(std::vector<int32_t>(fast, fast + kWindowIds), expect) << "round " << round;
      ASSERT_EQ(std::vector<int32_t>(plain, plain + kWindowIds), expect);
    }
  }
}

std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Contexts, then "--", then the feature list of one whole-text run.
std::string train(const std::string &text, TextMode mode, bool plain) {
  Tokenizer in;
  in.text.copy(text);
  if (mode == TextMode::unicode) in.text.map(true);
  FeatureTable table;
  Scorer scorer(in, table);
  StringSink sink;
  Output out(sink);
  Training training(in, scorer, out);
  training.plain = plain;
  training.report(mode);
  out.write("--\n", 3);
  write_feature_list(table, out);
  out.flush();
  return sink.text;
}

TEST(TrainingFastPath, PrintsWhatThePlainPathPrints) {
  std::vector<std::string> texts = {
      read_file(std::string(FULLSTOP_SOURCE_DIR) + "/examples/sample.txt"),
      read_file(std::string(FULLSTOP_SOURCE_DIR) + "/data/brown/dev.lines").substr(0, 300000),
      "a . b . c . d\n",
      "1. One.\n2. Two; (three)!\n\n\"Quoted.\" Mr. X.\n",
  };
  // Random texts of few distinct tokens: windows whose words repeat, and
  // enough features (a few thousand) to pass the index's growth points.
  std::mt19937 rng(7);
  const char *words[] = {"A", "b", ".", "?!", "Mr", "(", ")", "1", "22", "\xC3\xA9t\xC3\xA9", ",", "x"};
  for (int t = 0; t < 6; t++) {
    std::string text;
    int n = 200 + 3000 * t;
    for (int i = 0; i < n; i++) {
      text += words[rng() % 12];
      if (rng() % 3 == 0) text += std::to_string(rng() % (t * 300 + 1));
      text += rng() % 9 == 0 ? "\n" : rng() % 2 ? " " : "";
    }
    texts.push_back(text);
  }
  for (TextMode mode : {TextMode::classic, TextMode::unicode})
    for (size_t i = 0; i < texts.size(); i++)
      ASSERT_EQ(train(texts[i], mode, false), train(texts[i], mode, true))
          << "text " << i << " mode " << static_cast<int>(mode);
}

}  // namespace
