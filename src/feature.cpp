#include "feature.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <array>
#include <limits>
#include <new>

#include "keyed_hash.h"

namespace {

bool same_name(const char *text, std::string_view name) {
  return std::memcmp(text, name.data(), name.size()) == 0 && text[name.size()] == '\0';
}


// The standard assertion message, kept in every build type (NDEBUG or not);
// the programs abort with it, as a failed assertion does.
[[noreturn]] void capacity_failed(const char *expr, const char *file, unsigned line,
                                  const char *function) {
  std::string message = std::string(program_invocation_short_name) + ": " + file + ":" +
                        std::to_string(line) + ": " + function + ": Assertion `" + expr +
                        "' failed.";
  throw fullstop::Failure(message, 134, true, true);
}

}  // namespace

// ===== The feature table =====================================================

void FeatureTable::clear() {
  feats.clear();
  std::vector<std::unique_ptr<char[]>>().swap(blocks_);
  block_free_ = nullptr;
  block_left_ = 0;
  std::vector<Slot>().swap(slots_);
  used_ = 0;
  std::vector<std::vector<int32_t>>().swap(repeats_);
  size_ = 1024;
  count_ = 0;
  drop_word_index();
}

void FeatureTable::drop_word_index() {
  indexed_ = false;
  std::vector<WordKey>().swap(word_keys_);
  std::vector<WordSlot>().swap(word_slots_);
  std::vector<uint64_t>().swap(stem_slots_);
  std::vector<StemRow>().swap(stem_rows_);
  std::string().swap(word_bytes_);
  std::vector<double>().swap(dense_weights_);
}

inline const Slot *FeatureTable::lookup(std::string_view name, uint64_t hash, uint64_t &probes) const {
  if (slots_.empty()) return nullptr;
  // At most half full: the probe always meets an empty slot.
  size_t mask = slots_.size() - 1;
  for (size_t s = hash & mask;; s = (s + 1) & mask) {
    probes++;
    const Slot &slot = slots_[s];
    if (slot.a == 0) return nullptr;
    if (slot.hash == hash && same_name(feats[slot.a - 1]->text, name)) return &slot;
  }
}

inline int32_t FeatureTable::find(std::string_view name, uint64_t hash, uint64_t &probes) const {
  const Slot *slot = lookup(name, hash, probes);
  return slot == nullptr ? -1 : static_cast<int32_t>(slot->a - 1);
}

inline int32_t FeatureTable::find(std::string_view name, uint64_t hash, bool flipped,
                           uint64_t &probes) const {
  const Slot *slot = lookup(name, hash, probes);
  if (slot == nullptr) return -1;
  // One more growth reverses the name's records: the first becomes the last.
  if (flipped && slot->b != 0) return repeats_[slot->b - 1].front();
  return static_cast<int32_t>(slot->a - 1);
}

// The slot of `name`, or the empty slot where it would go (growing first so
// that the table stays at most half full).
Slot &FeatureTable::slot_for(std::string_view name, uint64_t hash) {
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old(slots_.empty() ? 1024 : slots_.size() * 2, Slot{0, 0, 0});
    old.swap(slots_);
    size_t mask = slots_.size() - 1;
    for (const Slot &e : old) {
      if (e.a == 0) continue;
      size_t s = e.hash & mask;
      while (slots_[s].a != 0) s = (s + 1) & mask;
      slots_[s] = e;
    }
  }
  size_t mask = slots_.size() - 1;
  for (size_t s = hash & mask;; s = (s + 1) & mask) {
    Slot &slot = slots_[s];
    if (slot.a == 0 || (slot.hash == hash && same_name(feats[slot.a - 1]->text, name))) return slot;
  }
}

// One more entry: the chained table grows first when the entry would make
// the entries outnumber the buckets (the test is in single precision, as
// there), and growth reverses each name's records.
void FeatureTable::count_entry() {
  if (static_cast<float>(count_ + 1) / static_cast<float>(size_) > 1.0f) {
    size_ *= 2;
    for (std::vector<int32_t> &ids : repeats_) {
      std::reverse(ids.begin(), ids.end());
      std::string_view name = feats[ids[0]]->text;
      slot_for(name, keyed_hash(name.data(), name.size())).a = static_cast<uint32_t>(ids.back()) + 1;
    }
  }
  count_++;
}

// Room for `bytes` bytes, 8-aligned, that lives until clear().
void *FeatureTable::allocate(size_t bytes) {
  constexpr size_t kBlock = size_t{1} << 16;
  bytes = (bytes + 7) & ~size_t{7};
  if (bytes > kBlock / 4) {
    blocks_.emplace_back(new char[bytes]);
    return blocks_.back().get();
  }
  if (bytes > block_left_) {
    blocks_.emplace_back(new char[kBlock]);
    block_free_ = blocks_.back().get();
    block_left_ = kBlock;
  }
  void *p = block_free_;
  block_free_ += bytes;
  block_left_ -= bytes;
  return p;
}

Feature *FeatureTable::build(std::string_view name, double weight) {
  return build(name, weight, keyed_hash(name.data(), name.size()));
}

Feature *FeatureTable::build(std::string_view name, double weight, uint64_t hash) {
  if (feats.size() >= static_cast<size_t>(INT32_MAX - 1)) die("too many features");
  // The index by word would miss the new record: it goes (a model's table
  // is indexed once loaded and never built on; only tests do both).
  if (indexed_by_word()) drop_word_index();
  Feature *f = new (allocate(sizeof(Feature))) Feature{};
  f->id = static_cast<int32_t>(feats.size());
  f->text = static_cast<char *>(allocate(name.size() + 1));
  std::memcpy(f->text, name.data(), name.size());
  f->text[name.size()] = '\0';
  f->weight = weight;
  feats.push_back(f);
  count_entry();
  Slot &slot = slot_for(name, hash);
  if (slot.a == 0) {
    slot = Slot{hash, static_cast<uint32_t>(f->id) + 1, 0};
    used_++;
    return f;
  }
  if (slot.b == 0) {
    repeats_.push_back({static_cast<int32_t>(slot.a - 1)});
    slot.b = static_cast<uint32_t>(repeats_.size());
  }
  repeats_[slot.b - 1].push_back(f->id);
  slot.a = static_cast<uint32_t>(f->id) + 1;
  return f;
}

// ===== The names by word ======================================================

namespace {

// The ids answered for a value the model names at no position.
constexpr auto kNoIds = [] {
  std::array<int32_t, kPositions> ids{};
  ids.fill(kUnknownFeature);
  return ids;
}();

// Reads a name "PREFIX_P_REST" formed at a window position P (one digit,
// 0..9, as feature_name writes it): the position and REST, or false.
bool split_name(std::string_view name, std::string_view prefix, int &p, std::string_view &rest) {
  if (name.size() < prefix.size() + 2 || name.substr(0, prefix.size()) != prefix) return false;
  char digit = name[prefix.size()];
  if (digit < '0' || digit >= '0' + kPositions || name[prefix.size() + 1] != '_') return false;
  p = digit - '0';
  rest = name.substr(prefix.size() + 2);
  return true;
}

}  // namespace

void FeatureTable::index_by_word() {
  drop_word_index();
  if (has_repeats()) return;  // a repeated name's answer depends on the run
  for (auto &row : type_ids_) std::copy(kNoIds.begin(), kNoIds.end(), row);
  // Texts and stems (of one to three bytes: a shorter or longer value
  // matches no word's stem) are counted first, to size their tables and
  // reserve their rows: a vector that doubles copies its rows and touches
  // new pages each time.
  size_t texts = 0, stems = 0;
  for (const Feature *f : feats) {
    std::string_view name = f->text;
    texts += name.substr(0, 5) == "text_";
    stems += name.substr(0, 5) == "stem_" || name.substr(0, 6) == "stem2_";
  }
  size_t slots = 16;
  while (slots < 2 * texts + 2) slots *= 2;
  word_slots_.assign(slots, WordSlot{0, 0});
  word_keys_.reserve(texts);
  size_t stem_slots = 16;
  while (stem_slots < 2 * stems + 2) stem_slots *= 2;
  stem_slots_.assign(stem_slots, 0);
  stem_rows_.reserve(stems);
  stem_shift_ = 64;
  for (size_t n = stem_slots; n > 1; n >>= 1) stem_shift_--;
  auto add_stem = [&](uint32_t code, std::string_view value, int p, int32_t id) {
    if (value.empty() || value.size() > 3) return;
    const uint64_t key = stem_key_of(code, value.data(), value.size());
    const size_t mask = stem_slots_.size() - 1;
    for (size_t s = stem_slot(key);; s = (s + 1) & mask) {
      uint64_t &slot = stem_slots_[s];
      if (slot == 0) {
        stem_rows_.emplace_back();
        std::copy(kNoIds.begin(), kNoIds.end(), stem_rows_.back().ids);
        slot = key | uint64_t{stem_rows_.size()} << kStemKeyBits;
      }
      if (stem_slot_key(slot) == key) {
        stem_rows_[stem_slot_row(slot)].ids[p] = id;
        return;
      }
    }
  };
  auto add_text = [&](std::string_view value, int p, int32_t id) {
    uint64_t hash = keyed_hash(value.data(), value.size());
    size_t mask = word_slots_.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
      WordSlot &slot = word_slots_[s];
      if (slot.index == 0) {
        WordKey key{hash, static_cast<uint32_t>(word_bytes_.size()), static_cast<uint32_t>(value.size()), {}, {}};
        std::copy(kNoIds.begin(), kNoIds.end(), key.ids);
        key.ids[p] = id;
        word_bytes_.append(value);
        word_keys_.push_back(key);
        slot = WordSlot{static_cast<uint32_t>(word_keys_.size()), static_cast<uint32_t>(hash >> 32)};
        return;
      }
      WordKey &key = word_keys_[slot.index - 1];
      if (key.hash == hash && std::string_view(word_bytes_).substr(key.offset, key.len) == value) {
        key.ids[p] = id;
        return;
      }
    }
  };
  dense_weights_.resize(feats.size());
  for (const Feature *f : feats) {
    dense_weights_[static_cast<size_t>(f->id)] = f->weight;
    std::string_view name = f->text, rest;
    int p = 0;
    // Names no window forms (another position, a malformed flag or type)
    // are left out: no lookup could answer them.
    if (split_name(name, "text_", p, rest)) {
      add_text(rest, p, f->id);
    } else if (split_name(name, "stem_", p, rest)) {
      add_stem(1, rest, p, f->id);
    } else if (split_name(name, "stem2_", p, rest)) {
      if (rest.size() >= 4 && (rest[0] == '0' || rest[0] == '1') && rest[1] == '_' &&
          (rest[2] == '0' || rest[2] == '1') && rest[3] == '_')
        add_stem(2 + 2 * static_cast<uint32_t>(rest[0] - '0') + static_cast<uint32_t>(rest[2] - '0'),
                 rest.substr(4), p, f->id);
    } else if (split_name(name, "type_", p, rest)) {
      if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= '9') type_ids_[rest[0] - '0'][p] = f->id;
    }
  }
  auto weight_of = [&](int32_t id) { return id == kUnknownFeature ? 0.0 : dense_weights_[static_cast<size_t>(id)]; };
  for (WordKey &key : word_keys_)
    for (int p = 0; p < kPositions; p++) key.weights[p] = weight_of(key.ids[p]);
  for (StemRow &row : stem_rows_)
    for (int p = 0; p < kPositions; p++) row.weights[p] = weight_of(row.ids[p]);
  for (int t = 0; t < 10; t++)
    for (int p = 0; p < kPositions; p++) type_weights_[t][p] = weight_of(type_ids_[t][p]);
  indexed_ = true;
}

const FeatureTable::WordKey *FeatureTable::text_key(std::string_view value) const {
  uint64_t hash = keyed_hash(value.data(), value.size());
  size_t mask = word_slots_.size() - 1;
  const auto high = static_cast<uint32_t>(hash >> 32);
  for (size_t s = hash & mask;; s = (s + 1) & mask) {
    const WordSlot slot = word_slots_[s];
    if (slot.index == 0) return nullptr;
    if (slot.high != high) continue;  // another key's: its record unread
    const WordKey &key = word_keys_[slot.index - 1];
    if (key.hash == hash && key.len == value.size() &&
        std::memcmp(word_bytes_.data() + key.offset, value.data(), value.size()) == 0)
      return &key;
  }
}

// A stem's key: its bytes (at most three, none of them NUL) as the low
// bytes of an integer, and the template's code above them.
uint64_t FeatureTable::stem_key_of(uint32_t code, const char *bytes, size_t len) {
  uint64_t bits = 0;
  std::memcpy(&bits, bytes, len);
  return bits | uint64_t{code} << 32;
}

const FeatureTable::StemRow *FeatureTable::stem_entry(uint64_t key) const {
  const size_t mask = stem_slots_.size() - 1;
  for (size_t s = stem_slot(key);; s = (s + 1) & mask) {
    const uint64_t slot = stem_slots_[s];
    if (slot == 0) return nullptr;
    if (stem_slot_key(slot) == key) return &stem_rows_[stem_slot_row(slot)];
  }
}

void FeatureTable::word_rows(const Word &w, std::string_view text_value, const int32_t **ids,
                             const double **weights, int base) const {
  static constexpr double kNoWeights[kPositions] = {};
  // A Word's stem is NUL-padded to its four bytes.
  uint64_t stem = 0;
  std::memcpy(&stem, w.stem, sizeof w.stem);
  const uint32_t stem2_code = 2 + 2 * uint32_t{w.space_before != 0} + uint32_t{w.space_after != 0};
  const WordKey *text = text_key(text_value);
  const StemRow *stem_keys[2] = {stem_entry(stem | uint64_t{1} << 32),
                                 stem_entry(stem | uint64_t{stem2_code} << 32)};
  ids[0] = (text != nullptr ? text->ids : kNoIds.data()) + base;
  weights[0] = (text != nullptr ? text->weights : kNoWeights) + base;
  for (int k = 0; k < 2; k++) {
    ids[1 + k] = (stem_keys[k] != nullptr ? stem_keys[k]->ids : kNoIds.data()) + base;
    weights[1 + k] = (stem_keys[k] != nullptr ? stem_keys[k]->weights : kNoWeights) + base;
  }
  // token_type is 0..7: always a row of the type tables.
  ids[3] = type_ids_[token_type(w)] + base;
  weights[3] = type_weights_[token_type(w)] + base;
}

// ===== A run's features ======================================================

namespace {
// The table starts small (tests, fuzzers and library calls run many tiny
// inputs, and a new table is cleared and written once a page) and grows
// with the number of distinct words up to kMaxCacheBits (5 MiB of ids, and
// 2 MiB of partial sums in detection).
constexpr int kMinCacheBits = 7, kMaxCacheBits = 18;
// An entry's slot is its key, word * kWindow + position, modulo the table
// size: while the table has a slot for each key (kWindow slots a word, up to
// kMaxCacheBits), no two pairs share a slot, and each pair is formed once.
// Multiplicative hashing of these dense keys made keys a Fibonacci number
// apart share slots (46368 apart at 2^16 slots): on the Brown text 57,410
// formations for 16,048 distinct pairs.
}  // namespace

Scorer::Scorer(const Input &in, FeatureTable &table, int base)
    : in_(in), table_(&table), writable_(&table), base_(base) {}

Scorer::Scorer(const Input &in, const FeatureTable &model, int base)
    : in_(in), table_(&model), writable_(nullptr), base_(base), size_(model.index_size()),
      count_(model.index_count()) {}

std::unique_ptr<Scorer> Scorer::sibling(int base) const {
  if (writable_ != nullptr) return std::make_unique<Scorer>(in_, *writable_, base);
  return std::make_unique<Scorer>(in_, *table_, base);
}

void Scorer::keep_unknown_names(bool keep) {
  if (keep) {
    writable_ = const_cast<FeatureTable *>(table_);
    return;
  }
  writable_ = nullptr;
  size_ = table_->index_size();
  count_ = table_->index_count();
  flipped_ = false;
}

void Scorer::size_cache() {
  // Detection: one slot per window position of each word (a word's five
  // positions sit side by side at their key modulo the table size, so they
  // never push each other out).  Training reads every (word, position)
  // pair's ids for every window (detection mostly only the partial sums),
  // and an entry pushed out costs it four names formed and looked up again:
  // it takes eight per word, within the same cap (on the Brown test text
  // repeated to 21 MB this halved the pairs formed again, 4% of training's
  // instructions; sixteen gained no more).  Slots past the keys in use are
  // never touched, and so never take memory.
  size_t per_word = writable_ != nullptr ? 8 : size_t{kWindow};
  // The usual case first, as every formation asks: no growth.
  if (cache_bits_ == kMaxCacheBits ||
      (cache_bits_ != 0 && (size_t{1} << cache_bits_) >= per_word * in_.words.size()))
    return;
  int want = kMinCacheBits;
  while (want < kMaxCacheBits && (size_t{1} << want) < per_word * in_.words.size()) want++;
  if (want <= cache_bits_) return;
  size_t slots = size_t{1} << want;
  ZeroedBlock old_block = std::move(position_block_);
  ZeroedBlock old_hot_block = std::move(hot_block_);
  const PositionEntry *old = position_cache_;
  const HotEntry *old_hot = hot_;
  // A detection run over a model indexed by word makes the id table only
  // when a window first needs its ids (see position_ids): most never do,
  // and the table's pages cost their faults.
  position_cache_ = nullptr;
  if (old != nullptr || !by_word()) new_id_table(slots);
  if (old_hot != nullptr) new_hot_table(slots);
  int old_bits = cache_bits_;
  size_t old_slots = old_bits == 0 ? 0 : size_t{1} << old_bits;
  cache_bits_ = want;
  // The current entries move to the grown table: forming them again is the
  // work the cache is there to save.  A slot and its tag give the key back.
  // An id entry and a partial sum at one slot may be different pairs' (a
  // detection run fills partial sums alone, see fill_hot), so each moves by
  // its own tag.
  for (size_t i = 0; i < old_slots; i++) {
    if (old != nullptr && old[i].tag != 0) {
      uint64_t key = (uint64_t{old[i].tag - 1} << old_bits) | i;
      size_t slot = cache_index(key);
      position_cache_[slot] = PositionEntry{static_cast<uint32_t>(cache_tag(key)), {}};
      std::memcpy(position_cache_[slot].ids, old[i].ids, sizeof old[i].ids);
    }
    if (old_hot != nullptr && old_hot[i].tag != 0) {
      uint64_t key = (uint64_t{old_hot[i].tag} - 1) << old_bits | i;
      size_t slot = cache_index(key);
      hot_[slot] = old_hot[i];
      hot_[slot].tag = hot_tag(cache_tag(key));
    }
  }
}

// A growth of the index can change which record a repeated name resolves to;
// the cached entries are dropped whenever that happens so every lookup
// answers as a fresh one would.  That happens at most once per doubling of
// the index, so fresh zeroed tables are cheap enough.
void Scorer::drop_id_caches() {
  if (cache_bits_ != 0) {
    size_t slots = size_t{1} << cache_bits_;
    if (position_cache_ != nullptr) new_id_table(slots);
    if (hot_ != nullptr) new_hot_table(slots);
  }
  cached_index_size_ = index_size();
}

// True when the index grew since the cached entries were formed and this can
// have changed what a lookup answers; the caches must then be dropped.  A
// growth only flips which record of a repeated name answers: when no name
// has two records (a training run's own table, which adds a name only when
// a lookup misses it), every cached id stays what a fresh lookup answers,
// and the entries are kept instead of being formed again after each of the
// index's doublings.  (A detection run only sees its index grow when the
// model repeats a name.)
bool Scorer::index_grew() {
  if (cached_index_size_ == index_size()) return false;
  if (table_->has_repeats()) return true;
  cached_index_size_ = index_size();
  return false;
}

[[gnu::noinline]] void Scorer::index_changed() {
  if (index_grew()) drop_id_caches();
}

[[gnu::always_inline]] inline void Scorer::check_caches() {
  // The size test inline, as detection runs it before every window.
  if (cached_index_size_ != index_size()) index_changed();
  if (cache_bits_ == 0) size_cache();
}

// One more entry counted by a detection run: growth flips every repeated
// name's answer.
void Scorer::count_entry() {
  if (static_cast<float>(count_ + 1) / static_cast<float>(size_) > 1.0f) {
    size_ *= 2;
    flipped_ = !flipped_;
  }
  count_++;
}

const Feature *Scorer::find(std::string_view name) {
  lookups_++;
  uint64_t hash = keyed_hash(name.data(), name.size());
  int32_t id = writable_ != nullptr ? table_->find(name, hash, probes_)
                                    : table_->find(name, hash, flipped_, probes_);
  return id < 0 ? nullptr : table_->feats[static_cast<size_t>(id)];
}

// The id a lookup answers; a missing name is added (as a record with
// weight 0, or only counted) and its id returned.
int32_t Scorer::find_or_add(std::string_view name) {
  return find_or_add(name, keyed_hash(name.data(), name.size()));
}

int32_t Scorer::find_or_add(std::string_view name, uint64_t hash) {
  lookups_++;
  if (writable_ != nullptr) {
    int32_t id = table_->find(name, hash, probes_);
    return id >= 0 ? id : writable_->build(name, 0.0, hash)->id;
  }
  int32_t id = table_->find(name, hash, flipped_, probes_);
  if (id >= 0) return id;
  if (!table_->has_repeats()) return kUnknownFeature;  // growth changes no answer
  if (add_unknown(name, hash)) count_entry();
  return kUnknownFeature;
}

// Enters a name in the set of unknown names; false when it was there.
bool Scorer::add_unknown(std::string_view name, uint64_t hash) {
  if ((unknown_used_ + 1) * 2 > unknown_.size()) {
    std::vector<UnknownSlot> grown(unknown_.empty() ? 1024 : unknown_.size() * 2, UnknownSlot{0, 0});
    size_t mask = grown.size() - 1;
    for (const UnknownSlot &e : unknown_) {
      if (e.offset == 0) continue;
      size_t s = e.hash & mask;  // the low half is all a position needs
      while (grown[s].offset != 0) s = (s + 1) & mask;
      grown[s] = e;
    }
    unknown_.swap(grown);
  }
  size_t mask = unknown_.size() - 1;
  auto low = static_cast<uint32_t>(hash);
  for (size_t s = hash & mask;; s = (s + 1) & mask) {
    probes_++;
    UnknownSlot &slot = unknown_[s];
    if (slot.offset == 0) {
      if (unknown_text_.size() + name.size() + 1 >= UINT32_MAX)
        die("standard input: too many distinct feature names");
      slot = UnknownSlot{low, static_cast<uint32_t>(unknown_text_.size()) + 1};
      unknown_text_.append(name);
      unknown_text_.push_back('\0');
      unknown_used_++;
      return true;
    }
    if (slot.hash == low && same_name(unknown_text_.data() + slot.offset - 1, name)) return false;
  }
}

void Scorer::new_feature(int32_t id) {
  int k = 0;
  while (k < nnz && e_feats[k] < id) k++;
  if (k < nnz && e_feats[k] == id) {
    e_vals[k]++;
    return;
  }
  if (!(nnz < kEventCapacity)) capacity_failed("nnz<1020", __FILE__, __LINE__, "new_feature");
  if (k < nnz) {
    std::memmove(e_feats + k + 1, e_feats + k, (nnz - k) * sizeof e_feats[0]);
    std::memmove(e_vals + k + 1, e_vals + k, (nnz - k) * sizeof e_vals[0]);
  }
  e_feats[k] = id;
  e_vals[k] = 1;
  nnz++;
}

void Scorer::new_feature(std::string_view name) {
  name_buffer_.assign(name);
  new_feature(find_or_add(name_buffer_));
}

bool reads_line_breaks(const FeatureTable &table) {
  static_assert(kBreakBase + 2 == 7);
  uint64_t probes = 0;
  for (std::string_view name : {"text_7_<nl>", "text_7_<nl-short>", "stem_7_<nl", "stem2_7_1_1_<nl", "type_7_3"})
    if (table.find(name, keyed_hash(name.data(), name.size()), probes) >= 0) return true;
  return false;
}

bool reads_mark_line_breaks(const FeatureTable &table) {
  static_assert(kBreakBase + 1 == 6);
  uint64_t probes = 0;
  for (std::string_view name : {"text_6_:", "stem_6_:", "stem2_6_0_1_:", "stem2_6_1_1_:", "text_6_.:", "text_6_):"})
    if (table.find(name, keyed_hash(name.data(), name.size()), probes) >= 0) return true;
  return false;
}

bool reads_comma_line_breaks(const FeatureTable &table) {
  static_assert(kBreakBase + 1 == 6);
  uint64_t probes = 0;
  for (std::string_view name : {"text_6_,", "stem_6_,", "stem2_6_0_1_,", "stem2_6_1_1_,"})
    if (table.find(name, keyed_hash(name.data(), name.size()), probes) >= 0) return true;
  return false;
}

bool reads_initials(const FeatureTable &table) {
  static_assert(kPositions == 10);
  uint64_t probes = 0;
  char name[] = "type_0_7";
  for (char p = '0'; p <= '9'; p++) {
    name[5] = p;
    if (table.find(name, keyed_hash(name, 8), probes) >= 0) return true;
  }
  return false;
}

void feature_name(std::string &out, int which, int p, const Token &t, const Input &in) {
  static constexpr std::string_view kPrefix[kTemplates] = {"text_", "stem_", "stem2_", "type_"};
  const Word &w = t.w(in);
  // The value after "PREFIX" "P" "_": the token's text, or formed here.  The
  // name is then sized once and copied in: a byte appended at a time (and
  // the stem's strlen) cost training more than looking the name up.
  char formed[24];
  std::string_view value;
  const size_t stem_len = strnlen(w.stem, sizeof w.stem);
  switch (which) {
    case 0:
      value = t.text(in);
      break;
    case 1:
      value = std::string_view(w.stem, stem_len);
      break;
    case 2:
      formed[0] = w.space_before ? '1' : '0';
      formed[1] = '_';
      formed[2] = w.space_after ? '1' : '0';
      formed[3] = '_';
      std::memcpy(formed + 4, w.stem, stem_len);
      value = std::string_view(formed, 4 + stem_len);
      break;
    default:
      value = std::string_view(formed, static_cast<size_t>(
                                           std::to_chars(formed, formed + sizeof formed, token_type(w)).ptr - formed));
      break;
  }
  char position[16];
  const size_t position_len =
      static_cast<size_t>(std::to_chars(position, position + sizeof position, p).ptr - position);
  const std::string_view prefix = kPrefix[which];
  out.resize(prefix.size() + position_len + 1 + value.size());
  char *q = out.data();
  std::memcpy(q, prefix.data(), prefix.size());
  q += prefix.size();
  std::memcpy(q, position, position_len);
  q += position_len;
  *q++ = '_';
  if (!value.empty()) std::memcpy(q, value.data(), value.size());
}

// The four feature ids of token t at window position p, in template order.
// The first time a word stands at a position (or after its entry was pushed
// out) its four names are formed and looked up (creating the missing ones, in
// template order, so new features get their ids in order of first
// formation); otherwise the cached ids are used.
const int32_t *Scorer::position_ids(const Token &t, int p, int32_t *scratch) {
  if (cache_bits_ != 0 && position_cache_ != nullptr) {
    uint64_t key = cache_key(t.word, p);
    PositionEntry &hit = position_cache_[cache_index(key)];
    if (hit.tag == cache_tag(key)) return hit.ids;
  }
  if (by_word()) return word_position_ids(t, p);
  // The pair's four names are formed and their index slots asked for
  // before the first lookup: on new text (training, mostly) most of those
  // slots are far from every cache, and four loads in flight wait about as
  // long as one.  The lookups, and the ids new names get, keep their order.
  uint64_t hashes[kTemplates];
  for (int which = 0; which < kTemplates; which++) {
    feature_name(pair_names_[which], which, base_ + p, t, in_);
    hashes[which] = keyed_hash(pair_names_[which].data(), pair_names_[which].size());
    table_->prefetch(hashes[which]);
  }
  bool grew = false;
  for (int which = 0; which < kTemplates; which++) {
    int32_t id = find_or_add(pair_names_[which], hashes[which]);
    if (index_grew()) {
      // The index just grew: ids cached before the growth may no longer be
      // what a lookup answers, and neither may the ones formed so far here.
      drop_id_caches();
      grew = true;
    }
    scratch[which] = id;
  }
  if (grew) return scratch;
  ensure_ids();
  uint64_t key = cache_key(t.word, p);
  size_t slot = cache_index(key);
  PositionEntry &e = position_cache_[slot];
  e.tag = static_cast<uint32_t>(cache_tag(key));
  std::memcpy(e.ids, scratch, sizeof e.ids);
  if (hot_ != nullptr) set_hot(slot, cache_tag(key), e.ids);
  return e.ids;
}

// The caches sized for the words so far, with an id table (see size_cache).
void Scorer::ensure_ids() {
  size_cache();
  if (position_cache_ == nullptr) new_id_table(size_t{1} << cache_bits_);
}

// Fresh, zeroed tables of ids and of partial sums.
void Scorer::new_id_table(size_t slots) {
  position_block_ = ZeroedBlock(slots * sizeof(PositionEntry));
  position_cache_ = static_cast<PositionEntry *>(position_block_.get());
}

void Scorer::new_hot_table(size_t slots) {
  hot_block_ = ZeroedBlock(slots * sizeof(HotEntry));
  hot_ = static_cast<HotEntry *>(hot_block_.get());
}

// position_ids for a model indexed by word: the word's ids at all five
// positions from the index at once, all five entries filled (a word's
// entries sit side by side, see size_cache), so that the word is looked up
// once however many positions it is met at.
[[gnu::noinline]] const int32_t *Scorer::word_position_ids(const Token &t, int p) {
  form_word(t, true);
  return position_cache_[cache_index(cache_key(t.word, p))].ids;
}

// The partial sums of a word at all five positions, from the index by word,
// without its id entries: what a detection run reads for nearly every
// window.  The ids are formed again, and then kept, only for a window whose
// partial sums leave its sign open (see score_window_sign), so that on text
// of many words the id table, four times the size of the partial sums, is
// mostly never touched.
[[gnu::noinline]] void Scorer::fill_hot(const Token &t) { form_word(t, false); }

// A word's entries at all five positions from the index by word: its
// partial sums (once detection has their table) and, with `ids`, its id
// entries.
void Scorer::form_word(const Token &t, bool ids) {
  const int32_t *id_rows[kTemplates];
  const double *weight_rows[kTemplates];
  lookups_++;
  table_->word_rows(t.w(in_), t.text(in_), id_rows, weight_rows, base_);
  if (ids) {
    ensure_ids();
  } else {
    size_cache();
  }
  for (int q = 0; q < kWindow; q++) {
    const uint64_t key = cache_key(t.word, q);
    const size_t slot = cache_index(key);
    if (ids) {
      PositionEntry &e = position_cache_[slot];
      e.tag = static_cast<uint32_t>(cache_tag(key));
      for (int which = 0; which < kTemplates; which++) e.ids[which] = id_rows[which][q];
    }
    if (hot_ != nullptr) {
      const double weights[kTemplates] = {weight_rows[0][q], weight_rows[1][q], weight_rows[2][q],
                                          weight_rows[3][q]};
      set_hot_weights(slot, cache_tag(key), weights);
    }
  }
}

namespace {

void sort_ids(int32_t *ids, int n) {
  for (int i = 1; i < n; i++) {
    int32_t v = ids[i];
    int j = i;
    for (; j > 0 && ids[j - 1] > v; j--) ids[j] = ids[j - 1];
    ids[j] = v;
  }
}

// The upper half of a float at least x (x >= 0), as a bfloat16; infinity
// when x is not finite or above the floats.
uint16_t bound_bits(double x) {
  if (!(x <= static_cast<double>(std::numeric_limits<float>::max()))) return 0x7F80;
  auto f = static_cast<float>(x);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  // f is x rounded to nearest; below x, the next float up, whose bits are
  // one more (f >= 0, below infinity): std::nextafter's answer at a tenth
  // of its cost.
  if (static_cast<double>(f) < x) bits++;
  // Rounded up: into the next bfloat16 (or infinity) when the low half is set.
  return static_cast<uint16_t>((bits >> 16) + ((bits & 0xFFFF) != 0));
}

inline double bound_value(uint16_t bound) {
  uint32_t bits = uint32_t{bound} << 16;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace

// The hot entry of a pair: its non-zero weights added in template order.
void Scorer::set_hot(size_t slot, uint64_t tag, const int32_t *ids) {
  double weights[kTemplates];
  for (int which = 0; which < kTemplates; which++) weights[which] = weight(ids[which]);
  set_hot_weights(slot, tag, weights);
}

// The same from the pair's four weights, in template order.
// The non-zero weights are added in template order, as the exact sum adds
// them; the zeros are added too, without a test, since adding +0 or -0
// changes no sum that starts at +0 (which is never -0 when rounding to
// nearest).
void Scorer::set_hot_weights(size_t slot, uint64_t tag, const double *weights) {
  static_assert(kTemplates == 4);
  const double sum = (((0.0 + weights[0]) + weights[1]) + weights[2]) + weights[3];
  const double abs_sum = (((0.0 + std::fabs(weights[0])) + std::fabs(weights[1])) + std::fabs(weights[2])) +
                         std::fabs(weights[3]);
  HotEntry &h = hot_[slot];
  h.bound = bound_bits(abs_sum);
  // With a finite bound |sum| <= abs_sum fits a float (rounding is monotone).
  h.sum = h.bound == 0x7F80 ? 0.0f : static_cast<float>(sum);
  h.tag = hot_tag(tag);
}

// Detection's first window: the partial sums of the pairs cached so far.
[[gnu::noinline]] void Scorer::make_hot() {
  size_t slots = size_t{1} << cache_bits_;
  new_hot_table(slots);
  if (position_cache_ == nullptr) return;
  for (size_t i = 0; i < slots; i++)
    if (position_cache_[i].tag != 0) set_hot(i, position_cache_[i].tag, position_cache_[i].ids);
}

// Collects the feature ids of the first `count` (at most five) tokens of a
// window, four per position in template order.
void Scorer::gather_window(const Token *window, int count, int32_t *ids) {
  int32_t scratch[kTemplates];
  for (int p = 0; p < count; p++) {
    const int32_t *r = position_ids(window[p], p, scratch);
    std::memcpy(ids + p * kTemplates, r, kTemplates * sizeof(int32_t));
  }
}

void Scorer::window_ids(const Token *window, int32_t *ids) {
  check_caches();
  if (position_cache_ == nullptr) ensure_ids();
  // The cache hit inline (every window reads five entries); a miss forms
  // the pair's ids in position_ids.  gather_window is the plain form.
  int32_t scratch[kTemplates];
  for (int p = 0; p < kWindow; p++) {
    const Token &t = window[p];
    uint64_t key = cache_key(t.word, p);
    const PositionEntry &e = position_cache_[cache_index(key)];
    const int32_t *r = e.ids;
    if (e.tag != cache_tag(key)) r = position_ids(t, p, scratch);
    std::memcpy(ids + p * kTemplates, r, kTemplates * sizeof(int32_t));
  }
}

void Scorer::do_features(const Token *window, int count) {
  check_caches();
  if (nnz != 0 || count > kWindow) {
    // The general case: count each feature into whatever the event holds.
    for (int p = 0; p < count; p++) {
      for (int which = 0; which < kTemplates; which++) {
        feature_name(name_buffer_, which, base_ + p, window[p], in_);
        new_feature(find_or_add(name_buffer_));
      }
    }
    return;
  }
  // An empty event and at most five positions: gather the ids, sort them
  // once and fill the event, instead of inserting them one by one.
  int32_t ids[kWindow * kTemplates];
  gather_window(window, count, ids);
  int n = count * kTemplates;
  sort_ids(ids, n);
  for (int k = 0; k < n; k++) {
    if (nnz > 0 && e_feats[nnz - 1] == ids[k]) {
      e_vals[nnz - 1]++;
    } else {
      e_feats[nnz] = ids[k];
      e_vals[nnz] = 1;
      nnz++;
    }
  }
}

// The exact score: the non-zero weights of the window's features added one by
// one in ascending id order, as the event holds them.  Zero weights are left
// out: the sum starts at +0.0, and adding a zero to it changes nothing.
double Scorer::ordered_score(const int32_t *window_ids) const {
  int32_t ids[kWindow * kTemplates];
  int n = 0;
  for (int k = 0; k < kWindow * kTemplates; k++)
    if (weight(window_ids[k]) != 0.0) ids[n++] = window_ids[k];
  sort_ids(ids, n);
  double score = 0.0;
  for (int k = 0; k < n; k++) score += weight(ids[k]);
  return score;
}

// Fast path: the five pairs' hot entries, their float sums added in double
// (F) against a margin from their bounds (B).  The decision is the sign of
// S, the window's non-zero weights w_i added in ascending id order; with
// u = 2^-53 and A = sum |w_i|, each step below holds when every bound is
// finite (otherwise B and the margin are infinite and S decides):
//  - S is a recursive sum of at most 20 terms, none of which overflows
//    (A <= B < 5 * 2^128): |S - sum w_i| <= 19u/(1 - 19u) A < 20u A.
//  - Each pair's double sum s_p of its (at most four) weights, in template
//    order: |s_p - sum_p w_i| < 4u A_p, and |s_p| <= abs_sum_p (rounding is
//    monotone), which bounds A_p from below: A_p < (1 + 4u) abs_sum_p.
//  - Its float f_p, rounded to nearest: |f_p - s_p| <= 2^-24 |s_p| + 2^-150
//    (the second term for the subnormal floats).
//  - F, the five floats (exact in double) added in double:
//    |F - sum f_p| < 5u sum |f_p| <= 5u ((1 + 2^-23)(1 + 4u) A + 5 * 2^-150).
// So |F - S| < (20u + 4u + 2^-24 (1 + 4u) + 11u) A + 2^-146 < 2^-23 A + 2^-146.
// Each bound b_p is at least abs_sum_p (rounded up twice), and B, their
// double sum, at least (1 - 4u) sum b_p; so A < (1 + 9u) B, and the margin
// M = 2^-22 B + 2^-126, even computed with rounding, exceeds 2^-23 A +
// 2^-146 > |F - S|.  F > M then means S > 0, F < -M means S < 0, and the
// fast path decides only then.  Empty or foreign slots, near-zero sums and
// non-finite weights go to the exact ordered sum; tests/detect_test.cpp
// holds the two equal on weights chosen to break a looser margin.
//
// A window with pairs not cached has them formed first (which fills their
// entries) and is read again: on text of many distinct words, most windows
// have a pair not met before, and the exact sum, which orders the ids,
// cost more than the forming.
int Scorer::score_window_sign(const Token *window) {
  check_caches();
  if (hot_ == nullptr) make_hot();
  for (int attempt = 0;; attempt++) {
    double sum = 0.0, bound = 0.0;
    unsigned missing = 0;
    for (int p = 0; p < kWindow; p++) {
      uint64_t key = cache_key(window[p].word, p);
      const HotEntry &h = hot_[cache_index(key)];
      missing |= static_cast<unsigned>(h.tag != cache_tag(key)) << p;
      sum += static_cast<double>(h.sum);
      bound += bound_value(h.bound);
    }
    if (missing == 0) {
      double margin = bound * 0x1p-22 + 0x1p-126;
      if (sum > margin) return 1;
      if (sum < -margin) return 0;
      break;
    }
    // Not with repeated names: a growth while forming would change the
    // answers of names the window formed before it, which the exact sum
    // must read as they were (see position_ids).
    if (attempt > 0 || table_->has_repeats()) break;
    // (An entry may still be missing after this: a pair whose tag does not
    // fit 16 bits.)
    int32_t scratch[kTemplates];
    for (int p = 0; p < kWindow; p++) {
      if (!(missing >> p & 1)) continue;
      if (by_word()) {
        fill_hot(window[p]);
      } else {
        position_ids(window[p], p, scratch);
      }
    }
  }
  return score_window(window) > 0.0 ? 1 : 0;
}

double Scorer::score_window(const Token *window) {
  check_caches();
  int32_t ids[kWindow * kTemplates];
  gather_window(window, kWindow, ids);
  return ordered_score(ids);
}
