// The detector's shortcuts (cached ids per word and position, partial sums,
// batch event filling) must decide exactly as forming every name, looking it
// up and summing the event in id order would.  These tests replay random texts
// and models through both and compare every decision and every event.
#include "classic_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <locale.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/model/model_file.h"
#include "core/model/scorer.h"

namespace {

struct Model {
  std::vector<std::pair<std::string, double>> records;
};

const char *kVocab[] = {"Mr", "mr", "a", "b", "The", "end", "U", "S", "x", "of", "in", "It", "we"};
const char *kPunct[] = {".", ",", "?", "!", ".\"", ";", "(", ")", "--"};

std::string random_text(std::mt19937 &rng, int words) {
  std::string text;
  for (int i = 0; i < words; i++) {
    int r = rng() % 10;
    if (r < 6) text += kVocab[rng() % std::size(kVocab)];
    else if (r < 8) text += std::string(kVocab[rng() % std::size(kVocab)]) + kPunct[rng() % std::size(kPunct)];
    else text += kPunct[rng() % std::size(kPunct)];
    // Rare new words keep the feature table growing during the walk.
    if (rng() % 7 == 0) text += std::to_string(rng() % 400);
    int sep = rng() % 12;
    text += sep == 0 ? "\n" : sep == 1 ? "\n\n" : " ";
  }
  return text;
}

// Weights that often cancel exactly or nearly, so that sums land near zero.
const std::vector<double> kWeights = {0.1, 0.2, -0.3, 0.3, -0.1, 1e-17, -1e-17, 0.0, 2.5, -2.5, 0.7};

Model random_model(std::mt19937 &rng, int size, const std::vector<double> &weights = kWeights) {
  // Names from the same vocabulary, some repeated with different weights.
  Model m;
  for (int i = 0; i < size; i++) {
    int p = rng() % 5;
    std::string name;
    switch (rng() % 4) {
      case 0: name = "text_" + std::to_string(p) + "_" + kVocab[rng() % std::size(kVocab)]; break;
      case 1: name = "text_" + std::to_string(p) + "_" + kPunct[rng() % std::size(kPunct)]; break;
      case 2: name = "type_" + std::to_string(p) + "_" + std::to_string(rng() % 3); break;
      default: name = "stem_" + std::to_string(p) + "_" + kVocab[rng() % std::size(kVocab)]; break;
    }
    m.records.push_back({name, weights[rng() % weights.size()]});
  }
  return m;
}

void load(const Model &m, int filler) {
  reset_run();
  for (const auto &[name, weight] : m.records) build_feature(name, weight);
  // Filler brings the index near its first growth, which detection then causes.
  for (int i = 0; i < filler; i++) build_feature("filler_" + std::to_string(i), 0.0);
}

std::vector<int> sites() {
  std::vector<int> s;
  for (int64_t i = 2; i < static_cast<int64_t>(toks.size()) - 2; i++)
    if (toks[i].is_punct() || toks[i].para_break) s.push_back(static_cast<int>(i));
  return s;
}

// A fresh run over text with the model loaded.
void prepare(const std::string &text, const Model &m, int filler) {
  load(m, filler);
  set_input(text);
  index_input();
}

// The plain reading: every name formed and looked up, counted one at a time.
void reference_event(const Token *window) {
  new_event();
  std::string name;
  for (int p = 0; p < 5; p++)
    for (int which = 0; which < 4; which++) {
      feature_name(name, which, p, window[p]);
      new_feature(std::string_view(name));
    }
}

// The decision at every site of the prepared text: the run's own, and the
// plain reading's.
std::vector<int> decisions() {
  std::vector<int> d;
  for (int i : sites()) d.push_back(detect_toks(&toks[i - 2], 5));
  return d;
}
std::vector<int> plain_decisions() {
  std::vector<int> d;
  for (int i : sites()) {
    reference_event(&toks[i - 2]);
    d.push_back(static_cast<int>(test_event()));
  }
  return d;
}

TEST(FastPaths, DecisionsAndEventsMatchThePlainReading) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 60; round++) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string text = random_text(rng, 300 + round * 20);
    Model model = random_model(rng, 5 + round * 3);
    int filler = (round % 3 == 0) ? 0 : 1000 - static_cast<int>(model.records.size()) % 50;

    prepare(text, model, filler);
    std::vector<int> fast, fast_sizes;
    for (int i : sites()) {
      fast.push_back(detect_toks(&toks[i - 2], 5));
      fast_sizes.push_back(static_cast<int>(feats.size()));
    }
    size_t fast_features = feats.size();

    prepare(text, model, filler);
    std::vector<int> plain, plain_sizes;
    for (int i : sites()) {
      reference_event(&toks[i - 2]);
      plain.push_back(static_cast<int>(test_event()));
      plain_sizes.push_back(static_cast<int>(feats.size()));
    }
    EXPECT_EQ(fast, plain);
    EXPECT_EQ(fast_sizes, plain_sizes);
    EXPECT_EQ(fast_features, feats.size());

    // Training events: the batch fill equals one-by-one counting.
    prepare(text, model, filler);
    std::vector<std::vector<int>> batch;
    for (int i : sites()) {
      new_event();
      do_features(&toks[i - 2], 5);
      batch.emplace_back(e_feats, e_feats + nnz);
    }
    prepare(text, model, filler);
    size_t k = 0;
    for (int i : sites()) {
      reference_event(&toks[i - 2]);
      EXPECT_EQ(batch[k++], std::vector<int>(e_feats, e_feats + nnz));
    }
  }
  reset_run();
}

// The fast decision adds float partial sums against a margin: weights
// whose sums round across zero in single precision, that exceed the floats'
// range or fall below it, and infinities and NaN must still decide as the
// ordered sum in double does.
TEST(FastPaths, DecisionsMatchOnAdversarialWeights) {
  const std::vector<double> kSets[] = {
      {1 + 0x1p-25, -1 - 0x1p-27, 1 - 0x1p-26, -1 + 0x1p-25, 1, -1, 0x1p-24, -0x1p-25, 0x1p-45},
      {1e300, -1e300, 3.4e38, -3.4e38, 3.5e38, 1e39, -1e39, 0.5, -0.5},
      {1e-45, -1e-45, 1e-40, -3e-40, 5e-324, -5e-324, 1e-60, -1e-60, -0.0},
      {INFINITY, -INFINITY, NAN, 1.0, -1.0, 0.25, -0.25},
  };
  std::mt19937 rng(5);
  for (const std::vector<double> &weights : kSets) {
    for (int round = 0; round < 12; round++) {
      SCOPED_TRACE("weights " + std::to_string(weights[0]) + ", round " + std::to_string(round));
      std::string text = random_text(rng, 400);
      Model model = random_model(rng, 40 + round * 20, weights);
      prepare(text, model, 0);
      std::vector<int> fast = decisions();
      prepare(text, model, 0);
      ASSERT_EQ(fast, plain_decisions());
    }
  }
  reset_run();
}

// A loaded model reads its names through the index by word (see
// FeatureTable::index_by_word): decisions equal the plain reading of every
// name, for models without repeated names (which are not indexed) holding
// every template, names no window forms, and weights that cancel or break a
// loose margin.
TEST(FastPaths, WordIndexDecidesAsTheNames) {
  std::mt19937 rng(20261209);
  const std::vector<double> kOdd = {1 + 0x1p-25, -1 - 0x1p-27, 1e39, -1e39, 1e-45, INFINITY, 0.5, -0.5};
  for (int round = 0; round < 40; round++) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string text = random_text(rng, 300 + round * 10);
    Model drawn = random_model(rng, 20 + round * 4, round % 4 == 3 ? kOdd : kWeights);
    for (int i = 0; i < 10; i++)
      drawn.records.push_back({"stem2_" + std::to_string(rng() % 5) + "_" + std::to_string(rng() % 2) + "_" +
                                   std::to_string(rng() % 2) + "_" + kVocab[rng() % std::size(kVocab)],
                               kWeights[rng() % kWeights.size()]});
    for (const char *odd : {"text_5_a", "text_02_a", "stem2_1_2_0_a", "type_1_12", "text_1", "stem_3_"})
      drawn.records.push_back({odd, 1.0});
    Model model;  // each name once, at its first place
    std::set<std::string> seen;
    for (const auto &record : drawn.records)
      if (seen.insert(record.first).second) model.records.push_back(record);

    prepare(text, model, 0);
    state().model.table.index_by_word();
    ASSERT_TRUE(state().model.table.indexed_by_word());
    std::vector<int> by_word = decisions();
    prepare(text, model, 0);
    ASSERT_EQ(by_word, plain_decisions());
  }
  reset_run();
}

TEST(FastPaths, NearZeroSumsAreDecidedInIdOrder) {
  // The same three weights sum to exactly 0 in one order and to 2.8e-17 in
  // another: the decision must follow ascending id order.
  struct Case {
    std::vector<std::pair<const char *, double>> model;  // in id order
    int decision;
  };
  const Case cases[] = {
      {{{"text_0_a", 0.1}, {"text_1_b", -0.7}, {"text_2_.", 0.6}}, 0},
      {{{"text_1_b", -0.7}, {"text_2_.", 0.6}, {"text_0_a", 0.1}}, 1},
  };
  for (const Case &c : cases) {
    reset_run();
    set_input("a b . c d\n");
    index_input();
    for (const auto &[name, weight] : c.model) build_feature(name, weight);
    EXPECT_EQ(detect_toks(&toks[0], 5), c.decision);
    EXPECT_EQ(score_window(&toks[0]) > 0.0, c.decision == 1);
  }
  reset_run();
}

// Sentence text, the plain way: newline as space, a space dropped when the
// text so far ends in one, trailing spaces removed.
std::string plain_normalised(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\n') c = ' ';
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

TEST(SentenceText, MatchesPlainNormalisationOnAnyBytes) {
  const char pieces[] = {' ', ' ', '\n', 'a', 'b', '\t', '\r', '\0', '<', '\xE9'};
  std::mt19937 rng(99);
  std::string scratch;
  for (int round = 0; round < 3000; round++) {
    std::string text;
    int n = static_cast<int>(rng() % 70);
    for (int i = 0; i < n; i++) text.push_back(pieces[rng() % sizeof pieces]);
    reset_run();
    set_input(text);
    int32_t start = n ? static_cast<int32_t>(rng() % n) : 0;
    int32_t end = start + (n - start ? static_cast<int32_t>(rng() % (n - start + 1)) : 0);
    std::string_view got = normalised_text(start, end, scratch);
    ASSERT_EQ(std::string(got), plain_normalised(std::string_view(text).substr(start, end - start)))
        << "round " << round;
  }
  reset_run();
}


// A library user's program may set a locale whose decimal point is a comma
// (and whose blanks differ): a model still loads as in the C locale, by the
// fast path and by the scanner.  The locale is built for the test with
// localedef (Debian's "locales" package) in a folder of its own.
TEST(ModelLoading, ReadsTheSameInACommaLocale) {
  char dir[] = "/tmp/fullstop-locale-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string command = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
  locale_t comma = static_cast<locale_t>(0);
  if (std::system(command.c_str()) == 0) {
#if defined(__SANITIZE_ADDRESS__)
    // glibc keeps (never frees) the LOCPATH list it parses on the way.
    __lsan::ScopedDisabler not_ours;
#endif
    setenv("LOCPATH", dir, 1);
    comma = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
    unsetenv("LOCPATH");
  }
  std::system((std::string("rm -rf ") + dir).c_str());
  if (comma == static_cast<locale_t>(0)) GTEST_SKIP() << "no de_DE locale (install Debian's locales)";
  // Plain records, then a "+" weight that only the scanner reads, and more.
  const std::string bytes = "0.5\ta\n-1.25e-3\tb\n+0.25\tc\n3.75\td e\n0x1p-2\tf\n";
  LoadedModel in_c, in_comma;
  load_model_bytes(in_c, "model", bytes);
  locale_t old = uselocale(comma);
  load_model_bytes(in_comma, "model", bytes);
  uselocale(old);
  freelocale(comma);
  ASSERT_EQ(in_c.table.feats.size(), 5u);
  ASSERT_EQ(in_comma.table.feats.size(), in_c.table.feats.size());
  for (size_t i = 0; i < in_c.table.feats.size(); i++) {
    EXPECT_STREQ(in_comma.table.feats[i]->text, in_c.table.feats[i]->text);
    EXPECT_EQ(in_comma.table.feats[i]->weight, in_c.table.feats[i]->weight);
  }
}

// Records of the plain shape load without the C library's scanner (see
// load_plain_records); the scanner takes over at any other.  A first record
// with a "+" weight, which only the scanner reads, makes it read all of a
// model: the records after it must be those of the same model read the fast
// way, in pieces of any size, whatever shapes follow.
TEST(ModelLoading, PlainRecordsLoadAsTheScannerReadsThem) {
  using namespace std::literals;
  const std::string_view pieces[] = {
      "0.5\tstem_0_of\n"sv, "-1.25e-07\tname with  inner\tblanks \n"sv, "3\ta\r\n"sv,
      "7\t\n\n b\n"sv, "\n\n"sv, "  -0\tc\n"sv, "1.\td\n"sv, "1e\te\n"sv, "0x1p-2\tf\n"sv,
      "inf\tg\n"sv, "2x\th\n"sv, "4 \t \xC2\xA0i\n"sv, "5\tj"sv, "nan\n"sv, "6\tk\0l\n"sv,
      "8E+2\tm\n"sv, "-\tn\n"sv, "9\t"sv, "1.5\n"sv,
      // Weights that must round as strtod rounds them: halfway cases,
      // 2^53 + 1, the smallest normal and subnormal doubles, underflow to
      // zero and overflow to infinity.
      "0.1000000000000000055511151231257827\to\n"sv, "9007199254740993\tp\n"sv,
      "2.2250738585072011e-308\tq\n"sv, "4.9406564584124654e-324\tr\n"sv, "-1e-400\ts\n"sv,
      "1e400\tt\n"sv, "123456789012345678901234567890.5e-10\tu\n"sv,
      // Numbers the C++ reader takes and the shape does not, and blanks
      // only the scanner skips before a name.
      "5.e3\tv\n"sv, ".5\tw\n"sv, "-.5\tx\n"sv, "1e+\ty\n"sv, "7 \v\fz\n"sv, "8\t\r\rzz\n"sv};
  // Half the rounds tell the loader the size, as a file's is known: it then
  // asks for all of it at once and reserves room for its records.
  int round = 0;
  auto load = [&round](LoadedModel &m, const std::string &bytes, std::mt19937 &rng) {
    size_t at = 0;
    ModelSource source = [&](char *buf, size_t size) -> ssize_t {
      size_t n = std::min({size, bytes.size() - at, static_cast<size_t>(1 + rng() % 40)});
      std::memcpy(buf, bytes.data() + at, n);
      at += n;
      return static_cast<ssize_t>(n);
    };
    load_model(m, "model", source, round % 2 ? bytes.size() : 0);
  };
  std::mt19937 rng(7);
  for (; round < 2000; round++) {
    std::string bytes;
    int n = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; i++) {
      // Mostly plain records, as models are.
      size_t k = rng() % 3 ? rng() % 3 : rng() % std::size(pieces);
      bytes.append(pieces[k]);
    }
    LoadedModel fast, scanned;
    load(fast, bytes, rng);
    load(scanned, "+0\tlead\n" + bytes, rng);
    ASSERT_EQ(scanned.table.feats.size(), fast.table.feats.size() + 1) << "round " << round;
    for (size_t i = 0; i < fast.table.feats.size(); i++) {
      const Feature &a = *fast.table.feats[i], &b = *scanned.table.feats[i + 1];
      ASSERT_STREQ(a.text, b.text) << "round " << round;
      ASSERT_EQ(std::memcmp(&a.weight, &b.weight, sizeof a.weight), 0) << "round " << round;
      // The name was indexed whole: a lookup finds this record or a later one.
      Tokenizer none;
      Scorer scorer(none, fast.table);
      const Feature *found = scorer.find(a.text);
      ASSERT_TRUE(found != nullptr && found->id >= a.id) << "round " << round;
    }
    ASSERT_EQ(fast.load.stopped, scanned.load.stopped) << "round " << round;
    // The same warning, one line and one record on.
    std::string expected = fast.warning;
    if (fast.load.stopped) {
      size_t colon = expected.find(':', 6), comma = expected.rfind(", ") + 2;
      size_t loaded = std::stoul(expected.substr(comma));
      expected = expected.substr(0, comma) + std::to_string(loaded + 1) + " features loaded";
      if (colon != std::string::npos && colon > 6)
        expected = "model:" + std::to_string(std::stol(expected.substr(6)) + 1) + expected.substr(colon);
    }
    ASSERT_EQ(scanned.warning, expected) << "round " << round;
  }
}

}  // namespace
