#include "core/model/scorer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/base/error.h"
#include "core/base/keyed_hash.h"

namespace fullstop::core {

namespace {

bool same_name(const char *text, std::string_view name) {
  return std::memcmp(text, name.data(), name.size()) == 0 && text[name.size()] == '\0';
}

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

Scorer::Scorer(const Tokenizer &in, FeatureTable &table, int base)
    : in_(in), table_(&table), writable_(&table), base_(base) {}

Scorer::Scorer(const Tokenizer &in, const FeatureTable &model, int base)
    : in_(in), table_(&model), writable_(nullptr), base_(base), size_(model.index_size()),
      count_(model.index_count()) {}

std::unique_ptr<Scorer> Scorer::sibling(int base) const {
  auto s = writable_ != nullptr ? std::make_unique<Scorer>(in_, *writable_, base)
                                : std::make_unique<Scorer>(in_, *table_, base);
  s->share_unnamed_ = share_unnamed_;
  return s;
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
      (cache_bits_ != 0 && (size_t{1} << cache_bits_) >= per_word * in_.lexicon.words.size()))
    return;
  int want = kMinCacheBits;
  while (want < kMaxCacheBits && (size_t{1} << want) < per_word * in_.lexicon.words.size()) want++;
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
  if (generation_ != in_.lexicon.generation()) {
    // The lexicon forgot its words: an entry's word index names another
    // word now, or none yet.  The tables are emptied in place: this
    // happens once per tens of thousands of new words, and their pages
    // are in memory and in the caches.
    generation_ = in_.lexicon.generation();
    if (cache_bits_ != 0) {
      const size_t slots = size_t{1} << cache_bits_;
      if (position_cache_ != nullptr) std::memset(static_cast<void *>(position_cache_), 0, slots * sizeof(PositionEntry));
      if (hot_ != nullptr) std::memset(static_cast<void *>(hot_), 0, slots * sizeof(HotEntry));
    }
    cached_index_size_ = index_size();
    return;
  }
  if (index_grew()) drop_id_caches();
}

[[gnu::always_inline]] inline void Scorer::check_caches() {
  // The tests inline, as detection runs them before every window.
  if (cached_index_size_ != index_size() || generation_ != in_.lexicon.generation()) index_changed();
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
  if ((unknown_used_ + 1) * 2 > unknown_.size())
    // (The low half of the hash is all a slot's place needs.)
    unknown_.rehash(unknown_.empty() ? 1024 : unknown_.size() * 2, [](const UnknownSlot &s) { return s.offset != 0; },
                    [](const UnknownSlot &s) { return s.hash; });
  auto low = static_cast<uint32_t>(hash);
  UnknownSlot &slot = unknown_.probe(hash, [&](const UnknownSlot &s) {
    probes_++;
    return s.offset == 0 || (s.hash == low && same_name(unknown_text_.data() + s.offset - 1, name));
  });
  if (slot.offset != 0) return false;
  if (unknown_text_.size() + name.size() + 1 >= UINT32_MAX) fail(ErrorKind::input, "too many distinct feature names");
  slot = UnknownSlot{low, static_cast<uint32_t>(unknown_text_.size()) + 1};
  unknown_text_.append(name);
  unknown_text_.push_back('\0');
  unknown_used_++;
  return true;
}

void Scorer::new_feature(int32_t id) {
  int k = 0;
  while (k < nnz && e_feats[k] < id) k++;
  if (k < nnz && e_feats[k] == id) {
    e_vals[k]++;
    return;
  }
  if (!(nnz < kEventCapacity)) check_failed("nnz<1020", __FILE__, __LINE__, "new_feature");
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

// The four feature ids of token t at window position p, in template order.
// The first time a word stands at a position (or after its entry was pushed
// out) its four names are formed and looked up (creating the missing ones, in
// template order, so new features get their ids in order of first
// formation); otherwise the cached ids are used.
const int32_t *Scorer::position_ids(const Token &t, int p, int32_t *scratch) {
  if (is_passing_word(t.word)) [[unlikely]] return passing_ids(t, p, scratch);
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
  const bool named = table_->text_rows(t.text(in_), id_rows, weight_rows, base_);
  if (!named && !ids && share_unnamed_ && hot_ != nullptr) return fill_unnamed(t);
  table_->shape_rows(t.w(in_), id_rows, weight_rows, base_);
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
  hot_[slot] = hot_entry(weights);
  hot_[slot].tag = hot_tag(tag);
}

Scorer::HotEntry Scorer::hot_entry(const double *weights) {
  static_assert(kTemplates == 4);
  const double sum = (((0.0 + weights[0]) + weights[1]) + weights[2]) + weights[3];
  const double abs_sum = (((0.0 + std::fabs(weights[0])) + std::fabs(weights[1])) + std::fabs(weights[2])) +
                         std::fabs(weights[3]);
  HotEntry h{};
  h.bound = bound_bits(abs_sum);
  // With a finite bound |sum| <= abs_sum fits a float (rounding is monotone).
  h.sum = h.bound == 0x7F80 ? 0.0f : static_cast<float>(sum);
  return h;
}

// The partial sums of a word whose text the model does not name, at all
// five positions.  Its text's names weigh 0 wherever it stands, so what it
// adds is its stems' and its type's weights, which its first three bytes
// (lowered), its spacing and its type decide: a few hundred signatures
// cover the words of a log of new ids, and running text's rare words share
// theirs as well.  Their sums are kept by signature, so that such a word,
// met for the first time (nearly every word, when the words keep
// changing), costs its text's lookup and one copy of five entries rather
// than two stem lookups and five sums formed again.  The sums are the
// same numbers set_hot_weights forms from the same four weights.
[[gnu::noinline]] void Scorer::fill_unnamed(const Token &t) {
  const Word &w = t.w(in_);
  const Contribution &c = unnamed(unnamed_signature(*table_, w), w);
  size_cache();
  for (int q = 0; q < kWindow; q++) {
    const uint64_t key_q = cache_key(t.word, q);
    HotEntry &h = hot_[cache_index(key_q)];
    h = c.hot[q];
    h.tag = hot_tag(cache_tag(key_q));
  }
}

// The signature of a word whose text the model does not name (see
// fill_unnamed): the first three bytes lowered, the spacing and the type.
// A stem no stem name has (the filter tells most) adds nothing, so such
// words share the signature of stem 0, which no word has: text of random
// words (hashes, ids) forms a handful of signatures rather than one per
// stem.
uint32_t Scorer::unnamed_signature(const FeatureTable &model, const Word &w) {
  uint32_t stem = 0;
  std::memcpy(&stem, w.stem, 3);
  if (!model.may_name_stem(stem)) stem = 0;
  return 1 + (stem | uint32_t{w.space_before != 0} << 24 | uint32_t{w.space_after != 0} << 25 |
              static_cast<uint32_t>(token_type(w)) << 26);
}

// The contributions of a word by its signature, formed from `w` when the
// direct-mapped table lacks them.  The table is made with the partial
// sums' (see make_hot).
inline const Scorer::Contribution &Scorer::unnamed(uint32_t signature, const Word &w) {
  Contribution &c = contribution_slot(signature);
  if (c.key != signature) [[unlikely]] return form_contribution(signature, w);
  return c;
}

// The table starts small and doubles, up to kContributionBits, each time it
// has missed as many signatures as it holds: a run over a short text (a
// library call per sentence) would otherwise clear 90 KB for a few dozen
// words, while a long text's rare words soon fill the whole table.  Entries
// are only ever formed again from the model, so a new table simply starts
// empty.
[[gnu::noinline]] const Scorer::Contribution &Scorer::form_contribution(uint32_t key, const Word &w) {
  if (contribution_bits_ < kContributionBits && ++contribution_misses_ > (size_t{1} << contribution_bits_))
    make_contributions(contribution_bits_ + 1);
  Contribution &c = contribution_slot(key);
  const int32_t *id_rows[kTemplates];
  const double *weight_rows[kTemplates];
  table_->shape_rows(w, id_rows, weight_rows, base_);
  c.key = key;
  for (int q = 0; q < kWindow; q++) {
    const double weights[kTemplates] = {0.0, weight_rows[1][q], weight_rows[2][q], weight_rows[3][q]};
    c.hot[q] = hot_entry(weights);
  }
  return c;
}

void Scorer::make_contributions(int bits) {
  contributions_ = std::make_unique<Contribution[]>(size_t{1} << bits);
  contribution_bits_ = bits;
  contribution_misses_ = 0;
}

// The ids of a passing word (see Lexicon::pass_unnamed) at position p,
// formed each time: its index names another word once its record is
// reused, so nothing is cached by it.  Asked only for windows whose sign
// the partial sums leave open.
[[gnu::noinline]] const int32_t *Scorer::passing_ids(const Token &t, int p, int32_t *scratch) {
  const int32_t *id_rows[kTemplates];
  const double *weight_rows[kTemplates];
  table_->word_rows(t.w(in_), t.text(in_), id_rows, weight_rows, base_);
  for (int which = 0; which < kTemplates; which++) scratch[which] = id_rows[which][p];
  return scratch;
}

// Detection's first window: the partial sums of the pairs cached so far.
[[gnu::noinline]] void Scorer::make_hot() {
  size_t slots = size_t{1} << cache_bits_;
  new_hot_table(slots);
  if (contributions_ == nullptr) make_contributions(base_ == 0 ? kFirstContributionBits : kFirstBreakContributionBits);
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
// non-finite weights go to the exact ordered sum; tests/unit/detection_test.cpp
// holds the two equal on weights chosen to break a looser margin.
//
// A window with pairs not cached has them formed first (which fills their
// entries) and is read again: on text of many distinct words, most windows
// have a pair not met before, and the exact sum, which orders the ids,
// cost more than the forming.
//
// A passing word (see Lexicon::pass_unnamed) is read from its signature's
// contributions, which are always there; a window without one, nearly
// every window of running text, takes a loop without that test.
template <bool kPassing>
[[gnu::always_inline]] inline int Scorer::window_sign(const Token *window) {
  for (int attempt = 0;; attempt++) {
    double sum = 0.0, bound = 0.0;
    unsigned missing = 0;
    for (int p = 0; p < kWindow; p++) {
      const uint32_t word = window[p].word;
      const HotEntry *h;
      if (kPassing && is_passing_word(word)) {
        h = &unnamed(in_.lexicon.passing_signature(word), in_.lexicon.word(word)).hot[p];
      } else {
        const uint64_t key = cache_key(word, p);
        h = &hot_[cache_index(key)];
        missing |= static_cast<unsigned>(h->tag != cache_tag(key)) << p;
      }
      sum += static_cast<double>(h->sum);
      bound += bound_value(h->bound);
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

int Scorer::score_window_sign(const Token *window) {
  check_caches();
  if (hot_ == nullptr) make_hot();
  const uint32_t words = window[0].word | window[1].word | window[2].word | window[3].word | window[4].word;
  return is_passing_word(words) ? window_sign<true>(window) : window_sign<false>(window);
}

double Scorer::score_window(const Token *window) {
  check_caches();
  int32_t ids[kWindow * kTemplates];
  gather_window(window, kWindow, ids);
  return ordered_score(ids);
}

}  // namespace fullstop::core
