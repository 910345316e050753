// Features and events: the feature table (name -> id and weight), the sparse
// event vector of the candidate being examined, and the four feature templates
// applied over a window of tokens.
#ifndef FULLSTOP_FEATURE_H
#define FULLSTOP_FEATURE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "intake.h"

struct Feature {
  int32_t id;     // dense, in order of creation; the slot in `feats`
  char *text;     // the name
  double weight;  // set at creation, never changed
};

extern std::vector<Feature *> &feats;  // indexed by id; size() is the feature count

// Creates a feature (never looks the name up first, so a repeated name gets a
// second record) and enters it in `feats` and the index.
Feature *build_feature(std::string_view name, double weight);

// The index from names to records.  A name given twice has two records; a
// lookup answers the later one until the index "grows", and every growth
// flips which of a name's records answers (the order of the chained table
// the detector was first built on, where growth re-pushes each chain: see
// src/hash.cpp).  The index counts its entries like that table and grows at
// the same points: when an addition would make the entries outnumber the
// buckets, which start at 1024 and double.  Lookups themselves go through an
// open-addressing table under a keyed hash, so no input makes them slow.
//
// The record a lookup for `name` answers, or nullptr.
Feature *find_feature(std::string_view name);
// The bucket count of the modelled chained table: it changes exactly when the
// index grows.
int64_t feature_index_size();
// Slot visits made by lookups and additions so far (tests bound the work per
// lookup with it).
uint64_t feature_index_probes();
// Lookups (by name) so far, for the same purpose.
uint64_t feature_index_lookups();

// The id answered for a name that detection met and the model lacks, when
// such names are not kept (see keep_unknown_names): weight 0, no record.
inline constexpr int32_t kUnknownFeature = INT32_MAX;
inline double feature_weight(int32_t id) {
  return id == kUnknownFeature ? 0.0 : feats[static_cast<size_t>(id)]->weight;
}
// Whether names formed but missing from the table get a record of their own
// (the default; training needs them, as each is written to features.def).
// Detection turns this off once the model is loaded: such a name only ever
// counts 0.  What it still must do is count as an entry of the index, because
// growth decides which record of a repeated name answers; so when the model
// repeats a name, these names are kept in a compact set, and otherwise not
// at all.
void keep_unknown_names(bool keep);

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
