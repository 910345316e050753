// The feature table: feature records (name, id, weight) and the index from
// names to records; a model's records, or the names a training run forms.
#ifndef FULLSTOP_CORE_MODEL_FEATURE_TABLE_H
#define FULLSTOP_CORE_MODEL_FEATURE_TABLE_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/probe_table.h"
#include "core/model/templates.h"
#include "core/tokens/token.h"

namespace fullstop::core {

struct Feature {
  int32_t id;     // dense, in order of creation; the slot in `feats`
  uint32_t len;   // the name's length, or kLongName
  char *text;     // the name, NUL-terminated
  double weight;  // set at creation, never changed

  // (A name of 4 GiB or more measures itself.)
  static constexpr uint32_t kLongName = UINT32_MAX;
  std::string_view name() const { return len != kLongName ? std::string_view(text, len) : std::string_view(text); }
};

// The id answered for a name that detection met and the model lacks, when
// such names are not kept (see Scorer): weight 0, no record.
inline constexpr int32_t kUnknownFeature = INT32_MAX;

// The feature records and the index from names to records.
//
// A name given twice has two records; a lookup answers the later one until
// the index "grows", and every growth flips which of a name's records answers
// (the order of a chained table whose growth re-pushes each chain, as the
// hash table of src/hash/hash.cpp does: the classic contract).  The index counts its
// entries like that table and grows at the same points: when an addition would
// make the entries outnumber the buckets, which start at 1024 and double.
// Lookups themselves go through an open-addressing table under a keyed hash,
// so no input makes them slow.
//
// A model's table is filled while loading and never changes afterwards, so
// any number of runs may read it at once; a training run fills its own.
class FeatureTable {
 public:
  // Indexed by id; size() is the feature count.
  std::vector<Feature *> feats;

  // Room for `names` more records without growing the index or `feats`
  // (a model's loader knows about how many records it holds).
  void reserve(size_t names);
  // Creates a feature (never looks the name up first, so a repeated name gets
  // a second record) and enters it in `feats` and the index.
  Feature *build(std::string_view name, double weight);
  // The same with the name's keyed_hash, which the caller has.
  Feature *build(std::string_view name, double weight, uint64_t hash);
  // The id of the record a lookup for `name` answers now, or -1.  `probes`
  // counts the slots visited.
  inline int32_t find(std::string_view name, uint64_t hash, uint64_t &probes) const;
  // The same lookup in the state the index would be in after one more growth
  // than it has had (`flipped`), as a run that grew the index sees it.
  inline int32_t find(std::string_view name, uint64_t hash, bool flipped, uint64_t &probes) const;
  // The same lookup by name alone.
  int32_t find(std::string_view name) const;
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
  // word_rows in two parts: the text's row (ids[0], weights[0]), and
  // whether the model names the text at any position; and the rows of the
  // stems and the type (ids[1..3], weights[1..3]), which depend only on
  // the word's stem, spacing and type.
  bool text_rows(std::string_view text, const int32_t **ids, const double **weights, int base = 0) const;
  void shape_rows(const Word &w, const int32_t **ids, const double **weights, int base = 0) const;
  // Whether the model names this text at some position (indexed by word).
  // `prefix` is the text's first eight bytes (all of a shorter one),
  // zero-padded: a filter by it and the length answers most texts the
  // model does not name without hashing their bytes.
  bool names_text(std::string_view text, uint64_t prefix) const {
    return has_bit(text_filter_, filter_bit(prefix, text.size())) && text_key(text) != nullptr;
  }
  // Whether some stem name of the model may have this stem (its bytes as
  // the low bytes, zero-padded): false means no stem or stem2 name at any
  // position does, and a word's stem rows are then empty.
  bool may_name_stem(uint32_t stem) const {
    return has_bit(stem_filter_, filter_bit(stem, 0));
  }
  // Weights by id, filled by index_by_word (empty before): one load where
  // feats[id]->weight is two.
  const double *dense_weights() const { return dense_weights_.empty() ? nullptr : dense_weights_.data(); }
  // Starts loading the index slot where a lookup of a name with this hash
  // begins (see Scorer::position_ids).
  void prefetch(uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & slots_.mask()]);
  }

 private:
  // A name's slot: its keyed hash, a = id + 1 of the record a lookup answers
  // (0: the slot is empty), b = 0, or the repeat list's number + 1 for a
  // name with several records.
  struct NameSlot {
    uint64_t hash;
    uint32_t a;
    uint32_t b;
  };
  static bool same_name(const char *text, std::string_view name) {
    return std::memcmp(text, name.data(), name.size()) == 0 && text[name.size()] == '\0';
  }
  inline const NameSlot *lookup(std::string_view name, uint64_t hash, uint64_t &probes) const;
  NameSlot &slot_for(std::string_view name, uint64_t hash);
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

  // At most half full.
  ProbeTable<NameSlot> slots_;
  size_t used_ = 0;
  // The records of each repeated name, the one a lookup answers last.
  std::vector<std::vector<int32_t>> repeats_;
  int64_t size_ = 1024;
  int64_t count_ = 0;

  // index_by_word's table of texts: the ids and weights of the names of a
  // text value by position.  The values' bytes are in word_bytes_;
  // text_slots_ is open addressing over word_keys_, at most half full.
  struct WordKey {
    uint64_t hash;  // keyed_hash of the text
    uint32_t offset, len;
    int32_t ids[kPositions];
    double weights[kPositions];
  };
  // A slot: the key's index + 1 (0: empty) and the high half of its hash,
  // so that a probe passes other keys without reading their records.
  struct TextSlot {
    uint32_t index, high;
  };
  std::vector<WordKey> word_keys_;
  // One bit per texts' (prefix, length) hash (see names_text): at 2^16
  // bits, a model's few thousand texts leave nineteen in twenty clear.
  static constexpr int kTextFilterBits = 16;
  static size_t filter_bit(uint64_t prefix, size_t len) {
    return static_cast<size_t>(((prefix ^ len) * 0x9E3779B97F4A7C15ull) >> (64 - kTextFilterBits));
  }
  static bool has_bit(const std::vector<uint64_t> &filter, size_t bit) { return filter[bit / 64] >> (bit % 64) & 1; }
  static void set_bit(std::vector<uint64_t> &filter, size_t bit) { filter[bit / 64] |= uint64_t{1} << (bit % 64); }
  std::vector<uint64_t> text_filter_ = std::vector<uint64_t>(size_t{1} << (kTextFilterBits - 6));
  // The same by the stems of the stem names (see may_name_stem).
  std::vector<uint64_t> stem_filter_ = std::vector<uint64_t>(size_t{1} << (kTextFilterBits - 6));
  ProbeTable<TextSlot> text_slots_;
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
  ProbeTable<uint64_t> stem_slots_;
  std::vector<StemRow> stem_rows_;
  int stem_shift_ = 64;
  static uint64_t stem_key_of(uint32_t code, const char *bytes, size_t len);
  size_t stem_home(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> stem_shift_); }
  const StemRow *stem_entry(uint64_t key) const;
  // "type_P_T" for the type values 0..9.
  int32_t type_ids_[10][kPositions];
  double type_weights_[10][kPositions];
  std::vector<double> dense_weights_;
  bool indexed_ = false;
  void drop_word_index();
  const WordKey *text_key(std::string_view text) const;
};

inline const FeatureTable::NameSlot *FeatureTable::lookup(std::string_view name, uint64_t hash,
                                                          uint64_t &probes) const {
  if (slots_.empty()) return nullptr;
  // At most half full: the probe always meets an empty slot.
  const NameSlot &slot = slots_.probe(hash, [&](const NameSlot &s) {
    probes++;
    return s.a == 0 || (s.hash == hash && same_name(feats[s.a - 1]->text, name));
  });
  return slot.a == 0 ? nullptr : &slot;
}

inline int32_t FeatureTable::find(std::string_view name, uint64_t hash, uint64_t &probes) const {
  const NameSlot *slot = lookup(name, hash, probes);
  return slot == nullptr ? -1 : static_cast<int32_t>(slot->a - 1);
}

inline int32_t FeatureTable::find(std::string_view name, uint64_t hash, bool flipped, uint64_t &probes) const {
  const NameSlot *slot = lookup(name, hash, probes);
  if (slot == nullptr) return -1;
  // One more growth reverses the name's records: the first becomes the last.
  if (flipped && slot->b != 0) return repeats_[slot->b - 1].front();
  return static_cast<int32_t>(slot->a - 1);
}

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_MODEL_FEATURE_TABLE_H
