#include "classic_state.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "core/base/error.h"
#include "core/decide/detection.h"
#include "core/model/model_file.h"
#include "core/model/scorer.h"

namespace {

void set_text(Tokenizer &in, std::string_view text) {
  in.reset();
  in.text.copy(text);
}

class Features : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_run();
  }
  void TearDown() override { reset_run(); }

  std::vector<std::string> event_names() const {
    std::vector<std::string> names;
    for (int k = 0; k < nnz; k++) names.push_back(feats[e_feats[k]]->text);
    return names;
  }
};

TEST_F(Features, EventKeepsIdsSortedWithCounts) {
  for (int i = 0; i < 22; i++) build_feature("f" + std::to_string(i), 0.0);
  new_event();
  for (int id : {20, 21, 8, 9, 15, 9}) new_feature(id);
  ASSERT_EQ(nnz, 5);
  std::vector<int> ids(e_feats, e_feats + nnz), counts(e_vals, e_vals + nnz);
  EXPECT_EQ(ids, (std::vector<int>{8, 9, 15, 20, 21}));
  EXPECT_EQ(counts, (std::vector<int>{1, 2, 1, 1, 1}));
  new_event();
  EXPECT_EQ(nnz, 0);
}

TEST_F(Features, NewNamesGetNextIdAndZeroWeight) {
  build_feature("known", 2.5);
  new_event();
  new_feature("fresh");
  new_feature("known");
  new_feature("fresh");
  ASSERT_EQ(feats.size(), 2u);
  EXPECT_EQ(feats[1]->id, 1);
  EXPECT_STREQ(feats[1]->text, "fresh");
  EXPECT_EQ(feats[1]->weight, 0.0);
  EXPECT_EQ(nnz, 2);
  EXPECT_EQ(e_vals[1], 2);
}

TEST_F(Features, RepeatedBuildMakesSecondRecord) {
  std::string name = "dup";
  build_feature(name, 1.0);
  name[0] = 'X';  // the caller may reuse its buffer
  build_feature("dup", -1.0);
  EXPECT_EQ(feats.size(), 2u);
  EXPECT_STREQ(feats[0]->text, "dup");
  EXPECT_EQ(find_feature("dup")->id, 1);
}

TEST_F(Features, WindowFormsTwentyNamesInTemplateOrder) {
  set_input("He met Mr. Smith today.\n");
  index_input();
  new_event();
  do_features(&toks[1], 5);
  const std::vector<std::string> want = {
      "text_0_met",   "stem_0_met", "stem2_0_1_1_met", "type_0_0", "text_1_Mr",
      "stem_1_mr",    "stem2_1_1_0_mr", "type_1_1",    "text_2_.", "stem_2_.",
      "stem2_2_0_1_.", "type_2_2",  "text_3_Smith",    "stem_3_smi", "stem2_3_1_1_smi",
      "type_3_1",     "text_4_today", "stem_4_tod",    "stem2_4_1_0_tod", "type_4_0"};
  EXPECT_EQ(event_names(), want);
  for (int k = 0; k < nnz; k++) EXPECT_EQ(e_feats[k], k);
  // The same window again creates nothing and counts the same ids.
  new_event();
  do_features(&toks[1], 5);
  EXPECT_EQ(feats.size(), 20u);
  EXPECT_EQ(nnz, 20);
}

TEST_F(Features, CachedIdsFollowIndexGrowth) {
  // Two records share a name.  Before the index grows the later one answers;
  // after a growth the earlier one does, even for a window seen before.
  build_feature("text_2_.", -1.0);
  build_feature("text_2_.", 1.0);
  for (int i = 0; i < 1000; i++) build_feature("filler" + std::to_string(i), 0.0);
  set_input("a b. c d e f. g h i j. k l\n");
  index_input();
  new_event();
  do_features(&toks[0], 5);  // a b . c d
  EXPECT_EQ(feats[e_feats[0]]->weight, 1.0);
  ASSERT_EQ(feature_index_size(), 1024);
  // New windows add enough new names to grow the index.
  new_event();
  do_features(&toks[4], 5);
  new_event();
  do_features(&toks[8], 5);
  ASSERT_EQ(feature_index_size(), 2048);
  new_event();
  do_features(&toks[0], 5);
  EXPECT_EQ(e_feats[0], 0);
  EXPECT_EQ(feats[e_feats[0]]->weight, -1.0);
}

// The id cache holds a slot for every (word, position) pair of a few
// thousand words, kept when it grows: reading a text once more forms no name
// again (each formation is four lookups by name).  With multiplicative
// hashing at four slots a word, keys 10946 apart shared a slot here, and each
// copy formed them again.
TEST(PositionCache, TextReadAgainFormsNoName) {
  LoadedModel model;
  load_model_bytes(model, "model", "1\ttext_2_.\n-1\ttype_3_1\n");
  std::string once;
  for (int i = 0; i < 3000; i++) once += "w" + std::to_string(i) + (i % 3 == 2 ? ". " : " ");
  once += "\n";
  uint64_t lookups[2];
  const FeatureTable &table = model.table;  // detection: no record added
  for (int copies : {2, 3}) {
    std::string text;
    for (int c = 0; c < copies; c++) text += once;
    Tokenizer in;
    set_text(in, text);
    Scorer scorer(in, table);
    std::vector<SentenceSpan> spans;
    SpanSink sink(spans);
    Detection d(in, scorer, TextMode::classic, sink);
    d.run();
    ASSERT_EQ(spans.size(), 1000u * copies);
    lookups[copies - 2] = scorer.lookups();
  }
  EXPECT_EQ(lookups[1], lookups[0]);
}

// The index by word answers, for every token and position, the ids that
// forming and looking up the four names gives: over Unicode-mode tokens
// (edge markers, numbers, list labels, capitals of any script, long words,
// "_" in a text), with the model naming about half of all the names formed.
TEST(WordIndex, IdsAreTheNamesIds) {
  const std::string text =
      "Steps:\n1. Mix it_all 2. Bake at 200 \xC3\x89" "cole.\n\n\xE2\x80\x9CStop!\xE2\x80\x9D he said\xE2\x80\xA6 "
      "a) _ b) x.y " + std::string(40, 'q') + ". \xD0\x94" "om 1999!\n";
  std::set<std::string> named;
  std::string model_text;
  int k = 0;
  for (TextMode mode : {TextMode::classic, TextMode::unicode}) {
    Tokenizer in;
    set_text(in, text);
    in.index(mode);
    std::string name;
    for (const Token &t : in.toks)
      for (int p = 0; p < kWindow; p++)
        for (int which = 0; which < kTemplates; which++)
          if (k++ % 2 == 0) {
            feature_name(name, which, p, t, in);
            if (named.insert(name).second) model_text += std::to_string(k) + "\t" + name + "\n";
          }
  }
  LoadedModel model;
  load_model_bytes(model, "model",
                   model_text + "1\ttext_5_a\n1\tstem2_0_2_1_ab\n1\tstem_2_abcd\n1\tstem_3_\n1\tstem2_1_1_1_\n");
  ASSERT_TRUE(model.table.indexed_by_word());
  for (TextMode mode : {TextMode::classic, TextMode::unicode}) {
    Tokenizer in;
    set_text(in, text);
    in.index(mode);
    std::string name;
    Scorer names(in, model.table);
    for (const Token &t : in.toks) {
      const int32_t *ids[kTemplates];
      const double *weights[kTemplates];
      model.table.word_rows(t.w(in), t.text(in), ids, weights);
      for (int p = 0; p < kWindow; p++)
        for (int which = 0; which < kTemplates; which++) {
          feature_name(name, which, p, t, in);
          const Feature *f = names.find(name);
          EXPECT_EQ(ids[which][p], f == nullptr ? kUnknownFeature : f->id) << name;
        }
    }
  }
}

TEST_F(Features, LongTokensFormFullNames) {
  std::string a(2000, 'a'), b = std::string(1999, 'a') + "b";
  set_input("x y " + a + " " + b + " z w\n");
  index_input();
  new_event();
  do_features(&toks[0], 5);
  new_event();
  do_features(&toks[1], 5);
  ASSERT_NE(find_feature(("text_2_" + a)), nullptr);
  ASSERT_NE(find_feature(("text_3_" + b)), nullptr);
  EXPECT_NE(find_feature(("text_2_" + a)), find_feature(("text_2_" + b)));
}

// The library reports the failed check as an internal error; the programs
// print its message and abort, as a failed assertion does.
TEST_F(Features, CapacityCheckAbortsWithAssertionMessage) {
  for (int i = 0; i < 1021; i++) build_feature("f" + std::to_string(i), 0.0);
  new_event();
  for (int i = 0; i < 1020; i++) new_feature(i);
  new_feature(5);  // already present: fine
  EXPECT_EQ(e_vals[5], 2);
  try {
    new_feature(1020);
    FAIL() << "no error";
  } catch (const fullstop::core::Error &e) {
    EXPECT_NE(std::string(e.what()).find("Assertion `nnz<1020' failed."), std::string::npos);
    EXPECT_EQ(e.kind(), ErrorKind::internal);
    EXPECT_DEATH(fullstop::cli::exit_status(e, "fullstop"), ": .*scorer.cpp:[0-9]+: new_feature: Assertion `nnz<1020' failed.");
  }
}

}  // namespace
