// Features and events: the feature table (name -> id and weight), the sparse
// event vector of the candidate being examined, and the four feature templates
// applied over a window of tokens.
#ifndef FULLSTOP_FEATURE_H
#define FULLSTOP_FEATURE_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "intake.h"
#include "util.h"

struct Feature {
  int32_t id;     // dense, in order of creation; the slot in `feats`
  char *text;     // the name
  double weight;  // set at creation, never changed
};

// The window positions that names carry: 0..4 in the window of a mark (or
// of a paragraph's end, or of a token before a list marker), kBreakBase +
// 0..4 in the window of a line break (see Input::walk).  A line break is a
// candidate of its own kind, and most are none: by positions of their own
// its features are learnt apart from those of marks, so that "the" before a
// hard-wrapped line's end says what it says there, and the marks' weights
// stay as they were.
inline constexpr int kBreakBase = kWindow;
inline constexpr int kPositions = 2 * kWindow;

// The id answered for a name that detection met and the model lacks, when
// such names are not kept (see Scorer): weight 0, no record.
inline constexpr int32_t kUnknownFeature = INT32_MAX;

// An open-addressing table (linear probing, at most half full) of 64-bit
// keyed hashes and two payload words; what the payload means and how a slot's
// name is compared is up to the user.
struct Slot {
  uint64_t hash;
  uint32_t a;  // 0: the slot is empty
  uint32_t b;
};

// The feature records and the index from names to records.
//
// A name given twice has two records; a lookup answers the later one until
// the index "grows", and every growth flips which of a name's records answers
// (the order of the chained table the detector was first built on, where
// growth re-pushes each chain: see src/hash.cpp).  The index counts its
// entries like that table and grows at the same points: when an addition would
// make the entries outnumber the buckets, which start at 1024 and double.
// Lookups themselves go through an open-addressing table under a keyed hash,
// so no input makes them slow.
//
// A model's table is filled while loading and never changes afterwards, so
// any number of runs may read it at once; a training run fills its own.
class FeatureTable {
 public:
  FeatureTable() = default;
  FeatureTable(const FeatureTable &) = delete;
  FeatureTable &operator=(const FeatureTable &) = delete;
  ~FeatureTable() { clear(); }

  // Indexed by id; size() is the feature count.
  std::vector<Feature *> feats;

  // Creates a feature (never looks the name up first, so a repeated name gets
  // a second record) and enters it in `feats` and the index.
  Feature *build(std::string_view name, double weight);
  // The same with the name's keyed_hash, which the caller has.
  Feature *build(std::string_view name, double weight, uint64_t hash);
  // The id of the record a lookup for `name` answers now, or -1.  `probes`
  // counts the slots visited.
  int32_t find(std::string_view name, uint64_t hash, uint64_t &probes) const;
  // The same lookup in the state the index would be in after one more growth
  // than it has had (`flipped`), as a run that grew the index sees it.
  int32_t find(std::string_view name, uint64_t hash, bool flipped, uint64_t &probes) const;
  // Whether some name has more than one record.
  bool has_repeats() const { return !repeats_.empty(); }
  // The bucket count and entry count of the modelled chained table.
  int64_t index_size() const { return size_; }
  int64_t index_count() const { return count_; }
  void clear();

  // --- Detection's index of names by the word they are formed from --------
  // A window position's four names are "text_P_TEXT", "stem_P_STEM",
  // "stem2_P_B_A_STEM" and "type_P_T": the word decides everything but the
  // position digit.  So a model's names can be indexed by template and word
  // once, when it is loaded, and a run then finds the ids of a word at all
  // five positions with three lookups of its text and stem, instead of
  // forming and looking up twenty names.  On text of many distinct words,
  // where a run forms the names of most words it meets, that work was half
  // of detection's.  Only for a model that names no feature twice, where
  // a name's id never depends on the run (see Scorer); the table must not
  // change afterwards (build() drops the index).
  void index_by_word();
  bool indexed_by_word() const { return indexed_; }
  // The ids of a word's four names at positions 0..4 (kUnknownFeature where
  // the model lacks the name), as rows by template: ids[which][p], as
  // position_ids forms them, and their weights (0 for an unknown name).
  // `base` is the position of the window's first token: 0 for a mark's window,
  // kBreakBase for a line break's (see kPositions).
  void word_rows(const Word &w, std::string_view text, const int32_t **ids, const double **weights,
                 int base = 0) const;
  // Weights by id, filled by index_by_word (empty before): one load where
  // feats[id]->weight is two.
  const double *dense_weights() const { return dense_weights_.empty() ? nullptr : dense_weights_.data(); }
  // Starts loading the index slot where a lookup of a name with this hash
  // begins (see Scorer::position_ids).
  void prefetch(uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(slots_.data() + (hash & (slots_.size() - 1)));
  }

 private:
  // Slots of `records_`: a = id + 1 of the record a lookup answers, b = 0, or
  // the repeat list's number + 1 for a name with several records.
  const Slot *lookup(std::string_view name, uint64_t hash, uint64_t &probes) const;
  Slot &slot_for(std::string_view name, uint64_t hash);
  void count_entry();
  void *allocate(size_t bytes);

  // The records and their names, carved from blocks of 64 KiB (a name too
  // long for that gets a block of its own): a malloc and a free per record
  // and per name cost a training run, which creates a record for every name
  // it meets, a tenth of its instructions on new text.  Records never move
  // or go away before clear().
  std::vector<std::unique_ptr<char[]>> blocks_;
  char *block_free_ = nullptr;
  size_t block_left_ = 0;

  std::vector<Slot> slots_;
  size_t used_ = 0;
  // The records of each repeated name, the one a lookup answers last.
  std::vector<std::vector<int32_t>> repeats_;
  int64_t size_ = 1024;
  int64_t count_ = 0;

  // index_by_word's table of texts: the ids and weights of the names of a
  // text value by position.  The values' bytes are in word_bytes_;
  // word_slots_ is open addressing over word_keys_, at most half full.
  struct WordKey {
    uint64_t hash;  // keyed_hash of the text
    uint32_t offset, len;
    int32_t ids[kPositions];
    double weights[kPositions];
  };
  // A slot: the key's index + 1 (0: empty) and the high half of its hash,
  // so that a probe passes other keys without reading their records.
  struct WordSlot {
    uint32_t index, high;
  };
  std::vector<WordKey> word_keys_;
  std::vector<WordSlot> word_slots_;
  std::string word_bytes_;
  // The stems' table: open addressing over packed slots, at most half full,
  // each a stem's key (see stem_key_of: under 2^35) and, above it, the index
  // + 1 of its row in stem_rows_ (0: an empty slot).  Eight-byte slots and
  // dense rows, because the rows are 128 bytes and a table of them spread
  // over twice the slots is a megabyte for the bundled model: every page of
  // it is faulted in when the model loads, which cost a run on empty input
  // more than everything else it did.
  struct StemRow {
    int32_t ids[kPositions];
    double weights[kPositions];
  };
  static constexpr int kStemKeyBits = 35;
  static uint64_t stem_slot_key(uint64_t slot) { return slot & ((uint64_t{1} << kStemKeyBits) - 1); }
  static size_t stem_slot_row(uint64_t slot) { return static_cast<size_t>(slot >> kStemKeyBits) - 1; }
  std::vector<uint64_t> stem_slots_;
  std::vector<StemRow> stem_rows_;
  int stem_shift_ = 64;
  static uint64_t stem_key_of(uint32_t code, const char *bytes, size_t len);
  size_t stem_slot(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> stem_shift_); }
  const StemRow *stem_entry(uint64_t key) const;
  // "type_P_T" for the type values 0..9.
  int32_t type_ids_[10][kPositions];
  double type_weights_[10][kPositions];
  std::vector<double> dense_weights_;
  bool indexed_ = false;
  void drop_word_index();
  const WordKey *text_key(std::string_view text) const;
};

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
  Scorer(const Input &in, FeatureTable &table, int base = 0);
  // Detection over a loaded model.
  Scorer(const Input &in, const FeatureTable &model, int base = 0);
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
  struct UnknownSlot {
    uint32_t hash;
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

  const Input &in_;
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
  std::vector<UnknownSlot> unknown_;
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
  // Index size when the cached entries were formed.
  int64_t cached_index_size_ = 0;
  std::string name_buffer_;
  std::string pair_names_[kTemplates];  // a (word, position) pair's names (see position_ids)
};

// Whether a model decides at line breaks (see Input::walk): it names a
// feature of the line-break marker as the candidate.  A model trained before
// line breaks were candidates has none, and its weights, learnt at marks,
// say nothing about line ends: with such a model no line break is one.
bool reads_line_breaks(const FeatureTable &table);
// Whether a model decides a colon that a line break follows with the break's
// window too (see Input::mark_line_breaks): it names a colon as the token
// before a line-break marker, which a model trained before never does (a
// line break after a mark was no candidate of its own).
bool reads_mark_line_breaks(const FeatureTable &table);
// Whether a model decides a comma that ends a greeting's line with the
// break's window too (see Input::comma_line_breaks): it names a comma as the
// token before a line-break marker, which a model trained before never does.
bool reads_comma_line_breaks(const FeatureTable &table);

// Whether a model types one capital letter as an initial (type value 7, see
// shape_type in intake.h): it names the type at some position.  A model
// trained before has none and learnt initials as capitalised words (1).
bool reads_initials(const FeatureTable &table);

// Forms the name of template `which` (0..3) for token t at window position p.
void feature_name(std::string &out, int which, int p, const Token &t, const Input &in);

// The type value of a token: 2 punctuation, 1 upper-case start, 0 otherwise;
// in the Unicode mode also 3 for the edge markers, 4 or 5 for numbers (see
// number_type), 6 for list labels in list position (Token::list_label),
// whatever their case, and 7 for initials (shape_type): a shape's type
// before the case's.
inline int token_type(const Word &w) {
  if (w.is_punct) return 2;
  if (w.list_label) return 6;
  if (w.number != 0) return w.number;
  return w.is_upper ? 1 : (w.is_edge ? 3 : 0);
}

#endif  // FULLSTOP_FEATURE_H
