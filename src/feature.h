// Features and events: the feature table (name -> id and weight), the sparse
// event vector of the candidate being examined, and the four feature templates
// applied over a window of tokens.
#ifndef FULLSTOP_FEATURE_H
#define FULLSTOP_FEATURE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hash.h"
#include "intake.h"

struct Feature {
  int32_t id;     // dense, in order of creation; the slot in `feats`
  char *text;     // the name; also the feature's key in `fhash`
  double weight;  // set at creation, never changed
};

extern std::vector<Feature *> feats;  // indexed by id; size() is the feature count
extern HashTable *fhash;              // name -> Feature, created by the run driver

// Creates a feature (never looks the name up first, so a repeated name gets a
// second record) and enters it in `feats` and `fhash`.
Feature *build_feature(std::string_view name, double weight);

// The event vector: ids strictly ascending, with their counts.  Capacity is
// 1020 entries; the arrays are a little larger.
inline constexpr int kEventCapacity = 1020;
extern int nnz;
extern int32_t e_feats[1024];
extern int32_t e_vals[1024];

void new_event();
// Forms nothing: counts the named feature in the current event, creating the
// feature with weight 0 when the table lacks the name (in every mode).
void new_feature(std::string_view name);
// Counts the feature with this id in the current event.
void new_feature(int32_t id);

// Adds the features of a window of `count` tokens to the current event: for
// each position p, "text_p_TEXT", "stem_p_STEM", "stem2_p_B_A_STEM" and
// "type_p_T", in that order.
void do_features(const Token *window, int count);

// The summed weights of the features of a five-token window, exactly as the
// event that do_features would build for it sums them, without building it.
double score_window(const Token *window);
// 1 when score_window(window) > 0, else 0; usually decided from cached
// per-word partial sums without ordering the features.
int score_window_sign(const Token *window);

// Forms the name of template `which` (0..3) for token t at window position p.
void feature_name(std::string &out, int which, int p, const Token &t);

// The type value of a token: 2 punctuation, 1 upper-case start, 0 otherwise;
// 3 for the Unicode mode's edge markers.
inline int token_type(const Word &w) {
  return w.is_punct ? 2 : (w.is_upper ? 1 : (w.is_edge ? 3 : 0));
}

// Forgets all features and the index.
void reset_features();

#endif  // FULLSTOP_FEATURE_H
