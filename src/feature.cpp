#include "feature.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "keyed_hash.h"

// Never destroyed: the records stay reachable until the process ends (a run
// does not free millions of them one by one on its way out, and leak checkers
// see them as held, not lost).
std::vector<Feature *> &feats = *new std::vector<Feature *>;
int nnz = 0;
int32_t e_feats[1024];
int32_t e_vals[1024];

namespace {

// An open-addressing table (linear probing, at most half full) of 64-bit
// keyed hashes and two payload words; what the payload means and how a slot's
// name is compared is up to the user.
struct Slot {
  uint64_t hash;
  uint32_t a;  // 0: the slot is empty
  uint32_t b;
};

struct SlotTable {
  std::vector<Slot> slots;
  size_t used = 0;

  // The slot holding an entry with this hash that `same` accepts, or the
  // empty slot where it would go.
  template <typename Same>
  Slot &probe(uint64_t hash, Same same, uint64_t &probes) {
    if ((used + 1) * 2 > slots.size()) grow();
    size_t mask = slots.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
      probes++;
      Slot &slot = slots[s];
      if (slot.a == 0 || (slot.hash == hash && same(slot))) return slot;
    }
  }
  void grow() {
    std::vector<Slot> old(slots.empty() ? 1024 : slots.size() * 2, Slot{0, 0, 0});
    old.swap(slots);
    size_t mask = slots.size() - 1;
    for (const Slot &e : old) {
      if (e.a == 0) continue;
      size_t s = e.hash & mask;
      while (slots[s].a != 0) s = (s + 1) & mask;
      slots[s] = e;
    }
  }
  void clear() {
    std::vector<Slot>().swap(slots);
    used = 0;
  }
};

bool same_name(const char *text, std::string_view name) {
  return std::memcmp(text, name.data(), name.size()) == 0 && text[name.size()] == '\0';
}

// The feature index (see feature.h).  Slots of `records`: a = id + 1 of the
// record a lookup answers, b = 0, or the repeat list's number + 1 for a name
// with several records.
struct FeatureIndex {
  SlotTable records;
  // The records of each repeated name, the one a lookup answers last.
  std::vector<std::vector<int32_t>> repeats;
  // Names detection formed that the model lacks, when they are not kept as
  // records but still count (see keep_unknown_names): NUL-terminated in
  // `unknown_text` (names never hold a NUL: it separates words), indexed by
  // eight-byte slots of the hash's low half and the name's offset + 1.
  struct UnknownSlot {
    uint32_t hash;
    uint32_t offset;  // 0: empty
  };
  std::vector<UnknownSlot> unknown;
  size_t unknown_used = 0;
  std::string unknown_text;
  bool keep_unknown = true;
  // The modelled chained table: bucket count and entries.
  int64_t size = 1024;
  int64_t count = 0;
  uint64_t probes = 0;
  uint64_t lookups = 0;

  Slot &find_slot(std::string_view name, uint64_t hash) {
    lookups++;
    return records.probe(
        hash, [&](const Slot &s) { return same_name(feats[s.a - 1]->text, name); }, probes);
  }

  // One more entry: the chained table grows first when the entry would make
  // the entries outnumber the buckets (the test is in single precision, as
  // there), and growth reverses each name's records.
  void count_entry() {
    if (static_cast<float>(count + 1) / static_cast<float>(size) > 1.0f) {
      size *= 2;
      for (std::vector<int32_t> &ids : repeats) {
        std::reverse(ids.begin(), ids.end());
        std::string_view name = feats[ids[0]]->text;
        Slot &slot = find_slot(name, keyed_hash(name.data(), name.size()));
        slot.a = static_cast<uint32_t>(ids.back()) + 1;
      }
    }
    count++;
  }

  void add(const Feature *f) {
    std::string_view name = f->text;
    count_entry();
    uint64_t hash = keyed_hash(name.data(), name.size());
    Slot &slot = find_slot(name, hash);
    if (slot.a == 0) {
      slot = Slot{hash, static_cast<uint32_t>(f->id) + 1, 0};
      records.used++;
      return;
    }
    if (slot.b == 0) {
      repeats.push_back({static_cast<int32_t>(slot.a - 1)});
      slot.b = static_cast<uint32_t>(repeats.size());
    }
    repeats[slot.b - 1].push_back(f->id);
    slot.a = static_cast<uint32_t>(f->id) + 1;
  }

  // The id a lookup answers; a missing name is added (as a record with
  // weight 0, or only counted) and its id returned.
  int32_t find_or_add(std::string_view name) {
    uint64_t hash = keyed_hash(name.data(), name.size());
    Slot &slot = find_slot(name, hash);
    if (slot.a != 0) return static_cast<int32_t>(slot.a - 1);
    if (keep_unknown) return build_feature(name, 0.0)->id;
    if (repeats.empty()) return kUnknownFeature;  // growth changes no answer
    if (add_unknown(name, hash)) count_entry();
    return kUnknownFeature;
  }

  // Enters a name in the set of unknown names; false when it was there.
  bool add_unknown(std::string_view name, uint64_t hash) {
    if ((unknown_used + 1) * 2 > unknown.size()) {
      std::vector<UnknownSlot> grown(unknown.empty() ? 1024 : unknown.size() * 2, UnknownSlot{0, 0});
      size_t mask = grown.size() - 1;
      for (const UnknownSlot &e : unknown) {
        if (e.offset == 0) continue;
        size_t s = e.hash & mask;  // the low half is all a position needs
        while (grown[s].offset != 0) s = (s + 1) & mask;
        grown[s] = e;
      }
      unknown.swap(grown);
    }
    size_t mask = unknown.size() - 1;
    auto low = static_cast<uint32_t>(hash);
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
      probes++;
      UnknownSlot &slot = unknown[s];
      if (slot.offset == 0) {
        if (unknown_text.size() + name.size() + 1 >= UINT32_MAX)
          die("standard input: too many distinct feature names");
        slot = UnknownSlot{low, static_cast<uint32_t>(unknown_text.size()) + 1};
        unknown_text.append(name);
        unknown_text.push_back('\0');
        unknown_used++;
        return true;
      }
      if (slot.hash == low && same_name(unknown_text.data() + slot.offset - 1, name)) return false;
    }
  }

  void clear() {
    records.clear();
    std::vector<UnknownSlot>().swap(unknown);
    unknown_used = 0;
    std::vector<std::vector<int32_t>>().swap(repeats);
    std::string().swap(unknown_text);
    keep_unknown = true;
    size = 1024;
    count = 0;
  }
};

FeatureIndex findex;

// What a word forms at a window position: its four feature ids, a bit per
// template whose feature has a non-zero weight, and the sum and the sum of
// magnitudes of those weights (see score_window_sign).  Kept for the most
// recent (word, position) pairs in a direct-mapped table of fixed size, so
// that the memory does not grow with the number of distinct words: a pair
// pushed out is simply formed again.
struct PositionEntry {
  uint32_t word;
  uint32_t generation;  // valid while equal to `generation`
  uint8_t position;
  uint8_t weighted;
  int32_t ids[kTemplates];
  double sum, abs_sum;
};
// The table starts small (tests and fuzzers run many tiny inputs) and grows
// with the number of distinct words up to kMaxCacheBits (12 MiB).
constexpr int kMinCacheBits = 10, kMaxCacheBits = 18;
std::vector<PositionEntry> position_cache;
int cache_bits = 0;
// Bumped to drop every entry at once.
uint32_t generation = 1;

void size_cache() {
  int want = kMinCacheBits;
  while (want < kMaxCacheBits && (size_t{1} << want) < 4 * words.size()) want++;
  if (want <= cache_bits) return;
  position_cache.assign(size_t{1} << want, PositionEntry{});  // generation 0: empty
  cache_bits = want;
}

PositionEntry &cache_slot(uint32_t word, int p) {
  uint64_t key = uint64_t{word} * kWindow + static_cast<uint64_t>(p);
  return position_cache[(key * 0x9E3779B97F4A7C15ull) >> (64 - cache_bits)];
}

// Index size when the cached entries were formed.  A growth of the index can
// change which record a repeated name resolves to; the entries are dropped
// whenever that happens so every lookup answers as a fresh one would.
int64_t cached_index_size = 0;

void drop_id_caches() {
  if (++generation == 0) {  // wrapped: old entries could look current
    std::fill(position_cache.begin(), position_cache.end(), PositionEntry{});
    generation = 1;
  }
  cached_index_size = findex.size;
}

char *copy_name(std::string_view name) {
  char *text = static_cast<char *>(std::malloc(name.size() + 1));
  if (text == nullptr) out_of_memory();
  std::memcpy(text, name.data(), name.size());
  text[name.size()] = '\0';
  return text;
}

int32_t find_or_build(const std::string &name) { return findex.find_or_add(name); }

std::string name_buffer;

// The standard assertion message, kept in every build type (NDEBUG or not).
[[noreturn]] void capacity_failed(const char *expr, const char *file, unsigned line,
                                  const char *function) {
  std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
               file, line, function, expr);
  std::abort();
}

}  // namespace

Feature *find_feature(std::string_view name) {
  Slot &slot = findex.find_slot(name, keyed_hash(name.data(), name.size()));
  return slot.a == 0 ? nullptr : feats[slot.a - 1];
}

int64_t feature_index_size() { return findex.size; }
uint64_t feature_index_probes() { return findex.probes; }
uint64_t feature_index_lookups() { return findex.lookups; }
void keep_unknown_names(bool keep) { findex.keep_unknown = keep; }

void reset_features() {
  for (Feature *f : feats) {
    std::free(f->text);
    std::free(f);
  }
  feats.clear();
  findex.clear();
  nnz = 0;
  cached_index_size = 0;
  std::vector<PositionEntry>().swap(position_cache);
  cache_bits = 0;
  generation = 1;
}

Feature *build_feature(std::string_view name, double weight) {
  if (feats.size() >= static_cast<size_t>(INT32_MAX - 1)) die("too many features");
  Feature *f = static_cast<Feature *>(std::calloc(1, sizeof(Feature)));
  if (f == nullptr) out_of_memory();
  f->id = static_cast<int32_t>(feats.size());
  f->text = copy_name(name);
  f->weight = weight;
  feats.push_back(f);
  findex.add(f);
  return f;
}

void new_event() { nnz = 0; }

void new_feature(int32_t id) {
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

void new_feature(std::string_view name) {
  name_buffer.assign(name);
  new_feature(find_or_build(name_buffer));
}

void feature_name(std::string &out, int which, int p, const Token &t) {
  static constexpr const char *kPrefix[kTemplates] = {"text_", "stem_", "stem2_", "type_"};
  out.assign(kPrefix[which]);
  append_int(out, p);
  out.push_back('_');
  const Word &w = t.w();
  switch (which) {
    case 0:
      out.append(t.text());
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
      append_int(out, token_type(w));
      break;
  }
}

namespace {

// The four feature ids of token t at window position p, in template order.
// The first time a word stands at a position (or after its entry was pushed
// out) its four names are formed and looked up (creating the missing ones, in
// template order, so new features get their ids in order of first
// formation); otherwise the cached ids are used.  `weighted` receives a bit
// per template whose feature has a non-zero weight.
const int32_t *position_ids(const Token &t, int p, int32_t *scratch, uint8_t *weighted) {
  PositionEntry *hit = &cache_slot(t.word, p);
  if (hit->generation == generation && hit->word == t.word && hit->position == p) {
    *weighted = hit->weighted;
    return hit->ids;
  }
  double sum = 0.0, abs_sum = 0.0;
  bool grew = false;
  uint8_t bits = 0;
  for (int which = 0; which < kTemplates; which++) {
    feature_name(name_buffer, which, p, t);
    int32_t id = find_or_build(name_buffer);
    if (cached_index_size != findex.size) {
      // The index just grew: ids cached before the growth may no longer be
      // what a lookup answers, and neither may the ones formed so far here.
      drop_id_caches();
      grew = true;
    }
    scratch[which] = id;
    double weight = feature_weight(id);
    if (weight != 0.0) {
      bits |= static_cast<uint8_t>(1u << which);
      sum += weight;
      abs_sum += std::fabs(weight);
    }
  }
  *weighted = bits;
  if (grew) return scratch;
  size_cache();
  PositionEntry &e = cache_slot(t.word, p);
  e.word = t.word;
  e.generation = generation;
  e.position = static_cast<uint8_t>(p);
  e.weighted = bits;
  std::memcpy(e.ids, scratch, sizeof e.ids);
  e.sum = sum;
  e.abs_sum = abs_sum;
  return e.ids;
}

void sort_ids(int32_t *ids, int n) {
  for (int i = 1; i < n; i++) {
    int32_t v = ids[i];
    int j = i;
    for (; j > 0 && ids[j - 1] > v; j--) ids[j] = ids[j - 1];
    ids[j] = v;
  }
}

// Collects the feature ids of the first `count` (at most five) tokens of a
// window, four per position in template order, and per position the bits of
// those with a non-zero weight.
void gather_window(const Token *window, int count, int32_t *ids, uint8_t *weighted) {
  int32_t scratch[kTemplates];
  for (int p = 0; p < count; p++) {
    const int32_t *r = position_ids(window[p], p, scratch, &weighted[p]);
    std::memcpy(ids + p * kTemplates, r, kTemplates * sizeof(int32_t));
  }
}

}  // namespace

void do_features(const Token *window, int count) {
  if (cached_index_size != findex.size) drop_id_caches();
  if (cache_bits == 0) size_cache();
  if (nnz != 0 || count > kWindow) {
    // The general case: count each feature into whatever the event holds.
    for (int p = 0; p < count; p++) {
      for (int which = 0; which < kTemplates; which++) {
        feature_name(name_buffer, which, p, window[p]);
        new_feature(find_or_build(name_buffer));
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

namespace {

// The exact score: the non-zero weights of the window's features added one by
// one in ascending id order, as the event holds them.  Zero weights are left
// out: the sum starts at +0.0, and adding a zero to it changes nothing.
double ordered_score(const int32_t *window_ids, const uint8_t *weighted) {
  int32_t ids[kWindow * kTemplates];
  int n = 0;
  for (int p = 0; p < kWindow; p++)
    for (uint8_t bits = weighted[p]; bits != 0; bits &= static_cast<uint8_t>(bits - 1))
      ids[n++] = window_ids[p * kTemplates + __builtin_ctz(bits)];
  sort_ids(ids, n);
  double score = 0.0;
  for (int k = 0; k < n; k++) score += feats[ids[k]]->weight;
  return score;
}

}  // namespace

int score_window_sign(const Token *window) {
  if (cached_index_size != findex.size) drop_id_caches();
  if (cache_bits == 0) size_cache();
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
    cached = e.generation == generation && e.word == window[p].word && e.position == p;
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

double score_window(const Token *window) {
  if (cached_index_size != findex.size) drop_id_caches();
  if (cache_bits == 0) size_cache();
  int32_t ids[kWindow * kTemplates];
  uint8_t weighted[kWindow];
  gather_window(window, kWindow, ids, weighted);
  return ordered_score(ids, weighted);
}
