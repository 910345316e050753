// Inputs made to collide under the detector's former unkeyed hashes must cost
// no more work per lookup than any others.  Work is counted (slots visited),
// not timed: time figures belong to bench/hostile.
#include "classic_state.h"
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fullstop/hash.h"
#include "hostile_inputs.h"

namespace {

using Maker = std::string (*)(std::mt19937_64 &);

std::string random_word(std::mt19937_64 &rng, size_t len) {
  std::string w;
  for (size_t i = 0; i < len; i++) w.push_back(static_cast<char>('a' + rng() % 26));
  return w;
}

TEST(HostileInputs, GeneratorsCollideUnderTheUnkeyedHashes) {
  EXPECT_EQ(hostile::kMul * hostile::kMulInverse, 1u);
  std::mt19937_64 rng(3);
  // Every text_2_ name of a doubled token goes to one bucket of the classic
  // table.
  HashTable *table = hash_new("collisions");
  std::vector<std::string> keys;
  for (int i = 0; i < 300; i++) {
    std::string name = "text_2_" + hostile::doubled_token(rng);
    hash_add(table, strdup(name.c_str()), nullptr);
  }
  size_t longest = 0;
  for (int b = 0; b < table->size; b++) {
    size_t n = 0;
    for (HashEntry *e = table->buckets[b]; e != nullptr; e = e->next) n++;
    longest = std::max(longest, n);
  }
  EXPECT_EQ(longest, 300u);
  hash_free(table);
  uint64_t first = 0;
  for (int i = 0; i < 300; i++) {
    std::string w = hostile::colliding_word(rng);
    uint64_t bytes = 0;
    std::memcpy(&bytes, w.data(), 8);
    if (i == 0) first = hostile::unkeyed_word_hash(bytes);
    EXPECT_EQ(hostile::unkeyed_word_hash(bytes), first);
  }
}

struct Case {
  const char *name;
  Maker make;
  bool detection;
};

class HostileWork : public ::testing::TestWithParam<Case> {};

// Runs the walk of one mode over `text` and checks the work per lookup in
// both indexes.
TEST_P(HostileWork, LookupsStayShort) {
  const Case &c = GetParam();
  reset_run();
  std::string text = hostile::text_of(6000, c.make);
  set_input(text);
  // A small model, with a repeated name so that growth is tracked as well.
  build_feature("text_2_.", 1.0);
  build_feature("type_3_0", -0.5);
  build_feature("text_2_.", -1.0);
  if (c.detection) keep_unknown_names(false);
  uint64_t probes = feature_index_probes(), lookups = feature_index_lookups();
  walk_input(
      [](const Token *window, void *detection) {
        if (*static_cast<bool *>(detection)) {
          detect_toks(window, kWindow);
        } else if (window[2].is_punct()) {
          new_event();
          do_features(window, kWindow);
        }
      },
      const_cast<bool *>(&c.detection));
  probes = feature_index_probes() - probes;
  lookups = feature_index_lookups() - lookups;
  ASSERT_GT(lookups, 6000u);
  EXPECT_LE(probes, 3 * lookups) << probes << " slots for " << lookups << " lookups";
  EXPECT_LE(longest_word_probe(), 48u);
  reset_run();
}

std::string doubled(std::mt19937_64 &rng) { return hostile::doubled_token(rng); }
std::string colliding(std::mt19937_64 &rng) { return hostile::colliding_word(rng); }
std::string plain50(std::mt19937_64 &rng) { return random_word(rng, 50); }

INSTANTIATE_TEST_SUITE_P(Inputs, HostileWork,
                         ::testing::Values(Case{"doubled_training", doubled, false},
                                           Case{"doubled_detection", doubled, true},
                                           Case{"colliding_words_training", colliding, false},
                                           Case{"colliding_words_detection", colliding, true},
                                           Case{"plain_training", plain50, false}),
                         [](const auto &info) { return std::string(info.param.name); });

// Names detection does not keep change no decision and no growth point:
// the same runs with and without them kept, with and without repeated names
// in the model, near a growth and not.
TEST(UnknownNames, DroppingThemChangesNothing) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 24; round++) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string text;
    for (int i = 0; i < 700; i++) {
      text += random_word(rng, 1 + rng() % 3);
      text += rng() % 3 ? " " : (rng() % 2 ? ". " : ".\n");
    }
    bool repeats = round % 2 == 0;
    int filler = round % 3 == 0 ? 0 : 1000 - round;
    std::vector<std::pair<std::string, double>> model;
    for (int i = 0; i < 40; i++) {
      std::string name = (i % 2 ? "text_" : "stem_") + std::to_string(rng() % 5) + "_" + random_word(rng, 1 + rng() % 2);
      model.push_back({name, (static_cast<double>(rng() % 21) - 10.0) / 7.0});
    }
    if (repeats) model.push_back({model[3].first, -model[3].second});
    std::vector<int> decisions[2];
    std::vector<int64_t> sizes[2];
    for (int keep = 0; keep < 2; keep++) {
      reset_run();
      set_input(text);
      for (const auto &[name, weight] : model) build_feature(name, weight);
      for (int i = 0; i < filler; i++) build_feature("filler_" + std::to_string(i), 0.0);
      keep_unknown_names(keep == 1);
      index_input();
      for (size_t i = 2; i + 2 < toks.size(); i++) {
        if (!toks[i].is_punct()) continue;
        decisions[keep].push_back(detect_toks(&toks[i - 2], kWindow));
        sizes[keep].push_back(feature_index_size());
      }
    }
    EXPECT_EQ(decisions[0], decisions[1]);
    if (repeats) {
      EXPECT_EQ(sizes[0], sizes[1]);
    }
  }
  reset_run();
}

}  // namespace
