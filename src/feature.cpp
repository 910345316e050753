#include "feature.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
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
  if (feats.size() >= static_cast<size_t>(INT32_MAX - 1)) die("too many features");
  Feature *f = new (allocate(sizeof(Feature))) Feature{};
  f->id = static_cast<int32_t>(feats.size());
  f->text = static_cast<char *>(allocate(name.size() + 1));
  std::memcpy(f->text, name.data(), name.size());
  f->text[name.size()] = '\0';
  f->weight = weight;
  feats.push_back(f);
  count_entry();
  uint64_t hash = keyed_hash(name.data(), name.size());
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

// ===== A run's features ======================================================

namespace {
// The table starts small (tests and fuzzers run many tiny inputs) and grows
// with the number of distinct words up to kMaxCacheBits (12 MiB).
constexpr int kMinCacheBits = 10, kMaxCacheBits = 18;
// An entry's slot is its key, word * kWindow + position, modulo the table
// size: while the table has a slot for each key (kWindow slots a word, up to
// kMaxCacheBits), no two pairs share a slot, and each pair is formed once.
// Multiplicative hashing of these dense keys made keys a Fibonacci number
// apart share slots (46368 apart at 2^16 slots): on the Brown text 57,410
// formations for 16,048 distinct pairs.
}  // namespace

Scorer::Scorer(const Input &in, FeatureTable &table) : in_(in), table_(&table), writable_(&table) {}

Scorer::Scorer(const Input &in, const FeatureTable &model)
    : in_(in), table_(&model), writable_(nullptr), size_(model.index_size()),
      count_(model.index_count()) {}

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
  // instructions, for 5 MB more memory; sixteen gained no more).
  size_t per_word = writable_ != nullptr ? 8 : size_t{kWindow};
  int want = kMinCacheBits;
  while (want < kMaxCacheBits && (size_t{1} << want) < per_word * in_.words.size()) want++;
  if (want <= cache_bits_) return;
  size_t slots = size_t{1} << want;
  auto *grown = static_cast<PositionEntry *>(alloc_large(slots * sizeof(PositionEntry)));
  std::fill(grown, grown + slots, PositionEntry{});  // generation 0: empty
  std::unique_ptr<PositionEntry[], FreeBytes> old(grown);
  old.swap(position_cache_);
  size_t old_slots = cache_bits_ == 0 ? 0 : size_t{1} << cache_bits_;
  cache_bits_ = want;
  // The current entries move to the grown table: forming them again is the
  // work the cache is there to save.
  for (size_t i = 0; i < old_slots; i++)
    if (old[i].generation == generation_) cache_slot(old[i].word, old[i].position) = old[i];
}

inline Scorer::PositionEntry &Scorer::cache_slot(uint32_t word, int p) {
  uint64_t key = uint64_t{word} * kWindow + static_cast<uint64_t>(p);
  return position_cache_[key & ((uint64_t{1} << cache_bits_) - 1)];
}

// A growth of the index can change which record a repeated name resolves to;
// the cached entries are dropped whenever that happens so every lookup
// answers as a fresh one would.
void Scorer::drop_id_caches() {
  if (++generation_ == 0) {  // wrapped: old entries could look current
    std::fill(position_cache_.get(), position_cache_.get() + (size_t{1} << cache_bits_), PositionEntry{});
    generation_ = 1;
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
  lookups_++;
  uint64_t hash = keyed_hash(name.data(), name.size());
  if (writable_ != nullptr) {
    int32_t id = table_->find(name, hash, probes_);
    return id >= 0 ? id : writable_->build(name, 0.0)->id;
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

namespace {

// Positions (0..4) and type values (0..6) are one digit: appended as a
// character, not through append_int's general conversion (which cost more
// than the rest of a name).
inline void append_digit_or_int(std::string &out, int value) {
  if (value >= 0 && value <= 9) {
    out.push_back(static_cast<char>('0' + value));
    return;
  }
  append_int(out, value);
}

}  // namespace

void feature_name(std::string &out, int which, int p, const Token &t, const Input &in) {
  static constexpr std::string_view kPrefix[kTemplates] = {"text_", "stem_", "stem2_", "type_"};
  // Known lengths: no strlen, and a copy the compiler can keep inline.
  out.clear();
  out.append(kPrefix[which]);
  append_digit_or_int(out, p);
  out.push_back('_');
  const Word &w = t.w(in);
  switch (which) {
    case 0:
      out.append(t.text(in));
      break;
    case 1:
      out.append(w.stem);
      break;
    case 2:
      out.push_back(w.space_before ? '1' : '0');
      out.push_back('_');
      out.push_back(w.space_after ? '1' : '0');
      out.push_back('_');
      out.append(w.stem);
      break;
    default:
      append_digit_or_int(out, token_type(w));
      break;
  }
}

// The four feature ids of token t at window position p, in template order.
// The first time a word stands at a position (or after its entry was pushed
// out) its four names are formed and looked up (creating the missing ones, in
// template order, so new features get their ids in order of first
// formation); otherwise the cached ids are used.  `weighted` receives a bit
// per template whose feature has a non-zero weight.
const int32_t *Scorer::position_ids(const Token &t, int p, int32_t *scratch, uint8_t *weighted) {
  PositionEntry *hit = &cache_slot(t.word, p);
  if (hit->generation == generation_ && hit->word == t.word && hit->position == p) {
    *weighted = hit->weighted;
    return hit->ids;
  }
  double sum = 0.0, abs_sum = 0.0;
  bool grew = false;
  uint8_t bits = 0;
  for (int which = 0; which < kTemplates; which++) {
    feature_name(name_buffer_, which, p, t, in_);
    int32_t id = find_or_add(name_buffer_);
    if (index_grew()) {
      // The index just grew: ids cached before the growth may no longer be
      // what a lookup answers, and neither may the ones formed so far here.
      drop_id_caches();
      grew = true;
    }
    scratch[which] = id;
    double w = weight(id);
    if (w != 0.0) {
      bits |= static_cast<uint8_t>(1u << which);
      sum += w;
      abs_sum += std::fabs(w);
    }
  }
  *weighted = bits;
  if (grew) return scratch;
  size_cache();
  PositionEntry &e = cache_slot(t.word, p);
  e.word = t.word;
  e.generation = generation_;
  e.position = static_cast<uint8_t>(p);
  e.weighted = bits;
  std::memcpy(e.ids, scratch, sizeof e.ids);
  e.sum = sum;
  e.abs_sum = abs_sum;
  return e.ids;
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

}  // namespace

// Collects the feature ids of the first `count` (at most five) tokens of a
// window, four per position in template order, and per position the bits of
// those with a non-zero weight.
void Scorer::gather_window(const Token *window, int count, int32_t *ids, uint8_t *weighted) {
  int32_t scratch[kTemplates];
  for (int p = 0; p < count; p++) {
    const int32_t *r = position_ids(window[p], p, scratch, &weighted[p]);
    std::memcpy(ids + p * kTemplates, r, kTemplates * sizeof(int32_t));
  }
}

void Scorer::window_ids(const Token *window, int32_t *ids) {
  check_caches();
  // The cache hit inline (every window reads five entries); a miss forms
  // the pair's ids in position_ids.  gather_window is the plain form.
  int32_t scratch[kTemplates];
  uint8_t weighted;
  for (int p = 0; p < kWindow; p++) {
    const Token &t = window[p];
    const PositionEntry &e = cache_slot(t.word, p);
    const int32_t *r = e.ids;
    if (!(e.generation == generation_ && e.word == t.word && e.position == p))
      r = position_ids(t, p, scratch, &weighted);
    std::memcpy(ids + p * kTemplates, r, kTemplates * sizeof(int32_t));
  }
}

void Scorer::do_features(const Token *window, int count) {
  check_caches();
  if (nnz != 0 || count > kWindow) {
    // The general case: count each feature into whatever the event holds.
    for (int p = 0; p < count; p++) {
      for (int which = 0; which < kTemplates; which++) {
        feature_name(name_buffer_, which, p, window[p], in_);
        new_feature(find_or_add(name_buffer_));
      }
    }
    return;
  }
  // An empty event and at most five positions: gather the ids, sort them
  // once and fill the event, instead of inserting them one by one.
  int32_t ids[kWindow * kTemplates];
  uint8_t weighted[kWindow];
  gather_window(window, count, ids, weighted);
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
double Scorer::ordered_score(const int32_t *window_ids, const uint8_t *weighted) const {
  int32_t ids[kWindow * kTemplates];
  int n = 0;
  for (int p = 0; p < kWindow; p++)
    for (uint8_t bits = weighted[p]; bits != 0; bits &= static_cast<uint8_t>(bits - 1))
      ids[n++] = window_ids[p * kTemplates + __builtin_ctz(bits)];
  sort_ids(ids, n);
  double score = 0.0;
  for (int k = 0; k < n; k++) score += table_->feats[static_cast<size_t>(ids[k])]->weight;
  return score;
}

int Scorer::score_window_sign(const Token *window) {
  check_caches();
  // Fast path: add the per-position partial sums cached with each word.  A
  // different order of the same (at most 20) additions differs from the
  // ordered sum by less than 20 * 2^-53 * (sum of magnitudes) each way, so
  // whenever the fast sum lies further than twice that from zero, both sums
  // have the same sign.  Near zero, with infinities or NaNs, or when a word
  // has not yet been seen at its position, the ordered sum decides.
  double sum = 0.0, abs_sum = 0.0;
  bool cached = true;
  for (int p = 0; p < kWindow && cached; p++) {
    const PositionEntry &e = cache_slot(window[p].word, p);
    cached = e.generation == generation_ && e.word == window[p].word && e.position == p;
    sum += e.sum;
    abs_sum += e.abs_sum;
  }
  if (cached) {
    double margin = abs_sum * 0x1p-46;  // 128 * 2^-53: a generous bound
    if (sum > margin) return 1;
    if (sum < -margin) return 0;
  }
  return score_window(window) > 0.0 ? 1 : 0;
}

double Scorer::score_window(const Token *window) {
  check_caches();
  int32_t ids[kWindow * kTemplates];
  uint8_t weighted[kWindow];
  gather_window(window, kWindow, ids, weighted);
  return ordered_score(ids, weighted);
}
