// A run's scorer: the sparse event vector of the candidate being examined,
// the feature ids of a window's names, and detection's sum of their weights.
#ifndef FULLSTOP_CORE_MODEL_SCORER_H
#define FULLSTOP_CORE_MODEL_SCORER_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/memory.h"
#include "core/base/probe_table.h"
#include "core/model/feature_table.h"
#include "core/model/templates.h"
#include "core/tokens/tokenizer.h"

namespace fullstop::core {

// The event vector: ids strictly ascending, with their counts.  Capacity is
// 1020 entries; the arrays are a little larger.
inline constexpr int kEventCapacity = 1020;

// Features of one run: the event being built, the names the run adds to the
// index, and the caches of ids and partial sums per word and position.  It
// reads its input's words and a feature table: in training, one it owns and
// adds to (every name formed gets a record, as each is written to
// features.def); in detection, a model's, which it never changes.
//
// Detection must still count the names it forms that the model lacks as
// entries of the index, because growth decides which record of a repeated
// name answers; so when the model repeats a name, these names are kept in a
// compact set of the run's, growths are counted by the run, and otherwise
// nothing is kept at all.
class Scorer {
 public:
  // Training: names missing from `table` get a record with weight 0.
  // `base` is the position its windows' names start at: 0, or kBreakBase for
  // the windows of line breaks (a run scores those with a Scorer of their own).
  Scorer(const Tokenizer &in, FeatureTable &table, int base = 0);
  // Detection over a loaded model.
  Scorer(const Tokenizer &in, const FeatureTable &model, int base = 0);
  Scorer(const Scorer &) = delete;
  Scorer &operator=(const Scorer &) = delete;

  const FeatureTable &table() const { return *table_; }
  // The scorer of line breaks' windows: one of this one's over the same
  // input and table (adding names to it as this one does) whose names start
  // at position kBreakBase, made when first needed and kept with its caches
  // as long as this one.
  Scorer &line_breaks() {
    if (breaks_ == nullptr) breaks_ = sibling(kBreakBase);
    return *breaks_;
  }
  // The scorer for a window: this one, or line_breaks() for a line break's
  // (its site is the line-break marker, the only edge marker ever at a site).
  Scorer &for_window(const Token *window) { return window[2].edge ? line_breaks() : *this; }
  const std::vector<Feature *> &feats() const { return table_->feats; }

  int nnz = 0;
  int32_t e_feats[1024];
  int32_t e_vals[1024];

  void new_event() { nnz = 0; }
  // Counts the named feature in the current event, creating the feature with
  // weight 0 when the table lacks the name and the run keeps such names.
  void new_feature(std::string_view name);
  // Counts the feature with this id in the current event.
  void new_feature(int32_t id);

  // Adds the features of a window of `count` tokens to the current event: for
  // each position p, "text_p_TEXT", "stem_p_STEM", "stem2_p_B_A_STEM" and
  // "type_p_T", in that order.
  void do_features(const Token *window, int count);
  // The twenty feature ids of a five-token window, four per position in
  // template order, as do_features counts them (training's fast path).
  void window_ids(const Token *window, int32_t *ids);

  // The summed weights of the features of a five-token window, exactly as the
  // event that do_features would build for it sums them, without building it.
  double score_window(const Token *window);
  // 1 when score_window(window) > 0, else 0; usually decided from cached
  // per-word partial sums without ordering the features.
  int score_window_sign(const Token *window);

  double weight(int32_t id) const {
    if (id == kUnknownFeature) return 0.0;
    const double *dense = table_->dense_weights();
    return dense != nullptr ? dense[id] : table_->feats[static_cast<size_t>(id)]->weight;
  }

  // The record a lookup for `name` answers now, or nullptr.
  const Feature *find(std::string_view name);
  // The bucket count of the modelled chained table as this run sees it: it
  // changes exactly when the index grows.
  int64_t index_size() const { return writable_ != nullptr ? table_->index_size() : size_; }
  // Slot visits made by lookups and additions so far, and lookups by name
  // (tests bound the work per lookup with them).
  uint64_t probes() const { return probes_; }
  uint64_t lookups() const { return lookups_; }
  // Stops adding records for missing names: from here on the table is read
  // as a model (detection after loading into a table of one's own).
  void keep_unknown_names(bool keep);
  // What the partial sums of a word whose text `model` does not name are
  // kept by (see fill_unnamed): its stem (0 when no stem name has it), its
  // spacing and its type, + 1.
  static uint32_t unnamed_signature(const FeatureTable &model, const Word &w);
  // Whether detection takes the partial sums of a word whose text the model
  // does not name from the cache of such words' contributions (see
  // fill_unnamed), rather than forming them from the model's rows: the
  // plain way, which tests compare it with.  On by default.
  void share_unnamed(bool share) {
    share_unnamed_ = share;
    if (breaks_ != nullptr) breaks_->share_unnamed(share);
  }

 private:
  // What a word forms at a window position: its four feature ids.  Kept for
  // the most recent (word, position) pairs in a direct-mapped table of fixed
  // size, so that the memory does not grow with the number of distinct
  // words: a pair pushed out is simply formed again.  An entry's key is
  // word * kWindow + position, its slot the key modulo the table size, and
  // its tag the rest of the key plus one (0: empty), so it needs no word,
  // position or generation of its own: 20 bytes, where training reads five
  // entries a window at random.
  struct PositionEntry {
    uint32_t tag;
    int32_t ids[kTemplates];
  };
  // What detection reads for each of a window's pairs, in a table of its
  // own beside the ids and at the same slots: the partial sum of the pair's
  // non-zero weights, rounded to a float, and a bound on the sum of their
  // magnitudes, the upper half of a float rounded up (infinite when a
  // weight is not finite, or the sum does not fit a float).  At 8 bytes a
  // pair a word's five positions share a cache line or two; see
  // score_window_sign for why these suffice.  The tag is the id entry's
  // in 16 bits, 0 (never used) when it does not fit.
  struct HotEntry {
    float sum;
    uint16_t bound;
    uint16_t tag;
  };
  // What a word whose text the model does not name contributes at each
  // window position: its partial sums (tags unused), which its stem, its
  // spacing and its type decide (see fill_unnamed).  `key` is that
  // signature + 1 (0: empty).
  struct Contribution {
    uint32_t key;
    HotEntry hot[kWindow];
  };
  static constexpr int kContributionBits = 11;
  static constexpr int kFirstContributionBits = 6;  // see form_contribution
  // The line breaks' scorer sees a few words of each paragraph: a short
  // text (a library call) gives it a handful, and a table cleared for 64
  // signatures cost such a call more than the handful did.
  static constexpr int kFirstBreakContributionBits = 3;
  struct UnknownSlot {
    uint32_t hash;    // the low half of the name's keyed hash
    uint32_t offset;  // 0: empty
  };

  int32_t find_or_add(std::string_view name);
  int32_t find_or_add(std::string_view name, uint64_t hash);  // hash: keyed_hash of the name
  bool add_unknown(std::string_view name, uint64_t hash);
  void count_entry();
  void size_cache();
  uint64_t cache_key(uint32_t word, int p) const { return uint64_t{word} * kWindow + static_cast<uint64_t>(p); }
  size_t cache_index(uint64_t key) const { return key & ((uint64_t{1} << cache_bits_) - 1); }
  uint64_t cache_tag(uint64_t key) const { return (key >> cache_bits_) + 1; }
  static uint16_t hot_tag(uint64_t tag) { return tag <= UINT16_MAX ? static_cast<uint16_t>(tag) : 0; }
  void set_hot(size_t slot, uint64_t tag, const int32_t *ids);
  void set_hot_weights(size_t slot, uint64_t tag, const double *weights);
  static HotEntry hot_entry(const double *weights);
  void fill_unnamed(const Token &t);
  inline const Contribution &unnamed(uint32_t signature, const Word &w);
  Contribution &contribution_slot(uint32_t signature) {
    return contributions_[(signature * 0x9E3779B1u) >> (32 - contribution_bits_)];
  }
  const Contribution &form_contribution(uint32_t key, const Word &w);
  void make_contributions(int bits);
  const int32_t *passing_ids(const Token &t, int p, int32_t *scratch);
  template <bool kPassing>
  int window_sign(const Token *window);
  void make_hot();
  void drop_id_caches();
  bool index_grew();
  void index_changed();
  void check_caches();
  const int32_t *position_ids(const Token &t, int p, int32_t *scratch);
  const int32_t *word_position_ids(const Token &t, int p);
  void fill_hot(const Token &t);
  void form_word(const Token &t, bool ids);
  void ensure_ids();
  void new_id_table(size_t slots);
  void new_hot_table(size_t slots);
  // Detection reads names missing from the model as unknown, and so may
  // look words up in the model's index by word (built only without
  // repeated names, whose answers depend on the run).
  bool by_word() const { return writable_ == nullptr && table_->indexed_by_word(); }
  void gather_window(const Token *window, int count, int32_t *ids);
  double ordered_score(const int32_t *window_ids) const;

  const Tokenizer &in_;
  const FeatureTable *table_;
  FeatureTable *writable_;  // the table when missing names get records, else null
  int base_;                // the position of a window's first token in its names
  std::unique_ptr<Scorer> breaks_;  // see for_window
  std::unique_ptr<Scorer> sibling(int base) const;

  // The index as detection grows it: bucket and entry counts, and whether an
  // odd number of growths has flipped every repeated name's answer.
  int64_t size_ = 1024;
  int64_t count_ = 0;
  bool flipped_ = false;
  // Names detection formed that the model lacks: NUL-terminated in
  // `unknown_text_` (names never hold a NUL: it separates words), indexed by
  // eight-byte slots of the hash's low half and the name's offset + 1.
  ProbeTable<UnknownSlot> unknown_;
  size_t unknown_used_ = 0;
  std::string unknown_text_;
  uint64_t probes_ = 0;
  uint64_t lookups_ = 0;

  // Zeroed memory from the kernel (see ZeroedBlock): a large table costs a
  // few page faults, and the part of it never used none.
  // (Null in a detection run by word until a window needs ids: see size_cache.)
  ZeroedBlock position_block_;
  PositionEntry *position_cache_ = nullptr;
  // Detection's partial sums, made at its first window (training never
  // needs them); null until then.
  ZeroedBlock hot_block_;
  HotEntry *hot_ = nullptr;
  int cache_bits_ = 0;
  // See share_unnamed; a direct-mapped table, made when first needed.
  bool share_unnamed_ = true;
  std::unique_ptr<Contribution[]> contributions_;
  int contribution_bits_ = 0;  // its size (0: not made yet)
  size_t contribution_misses_ = 0;  // signatures formed since it was made
  // Index size when the cached entries were formed.
  int64_t cached_index_size_ = 0;
  // The lexicon's generation they were formed in (see Lexicon::forget_words).
  uint64_t generation_ = 0;
  std::string name_buffer_;
  std::string pair_names_[kTemplates];  // a (word, position) pair's names (see position_ids)
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_MODEL_SCORER_H
