#include "core/model/feature_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "core/base/error.h"
#include "core/base/keyed_hash.h"

namespace fullstop::core {

void FeatureTable::clear() {
  feats.clear();
  std::vector<std::unique_ptr<char[]>>().swap(blocks_);
  block_free_ = nullptr;
  block_left_ = 0;
  slots_.release();
  used_ = 0;
  std::vector<std::vector<int32_t>>().swap(repeats_);
  size_ = 1024;
  count_ = 0;
  drop_word_index();
}

void FeatureTable::drop_word_index() {
  indexed_ = false;
  std::vector<WordKey>().swap(word_keys_);
  text_slots_.release();
  stem_slots_.release();
  std::vector<StemRow>().swap(stem_rows_);
  std::string().swap(word_bytes_);
  std::vector<double>().swap(dense_weights_);
  std::fill(text_filter_.begin(), text_filter_.end(), 0);
  std::fill(stem_filter_.begin(), stem_filter_.end(), 0);
}

void FeatureTable::reserve(size_t names) {
  feats.reserve(feats.size() + names);
  // The size slot_for would have grown the index to by then: at most half full.
  size_t slots = std::max<size_t>(slots_.size(), 1024);
  while (slots < 2 * (used_ + names)) slots *= 2;
  if (slots > slots_.size())
    slots_.rehash(slots, [](const NameSlot &s) { return s.a != 0; }, [](const NameSlot &s) { return s.hash; });
}

// The slot of `name`, or the empty slot where it would go (growing first so
// that the table stays at most half full).
FeatureTable::NameSlot &FeatureTable::slot_for(std::string_view name, uint64_t hash) {
  if ((used_ + 1) * 2 > slots_.size())
    slots_.rehash(slots_.empty() ? 1024 : slots_.size() * 2, [](const NameSlot &s) { return s.a != 0; },
                  [](const NameSlot &s) { return s.hash; });
  return slots_.probe(hash, [&](const NameSlot &s) {
    return s.a == 0 || (s.hash == hash && same_name(feats[s.a - 1]->text, name));
  });
}

// One more entry: the chained table grows first when the entry would make
// the entries outnumber the buckets (the test is in single precision, as
// there), and growth reverses each name's records.
void FeatureTable::count_entry() {
  if (static_cast<float>(count_ + 1) / static_cast<float>(size_) > 1.0f) {
    size_ *= 2;
    for (std::vector<int32_t> &ids : repeats_) {
      std::reverse(ids.begin(), ids.end());
      std::string_view name = feats[ids[0]]->name();
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
  if (feats.size() >= static_cast<size_t>(INT32_MAX - 1)) fail(ErrorKind::resource, "too many features");
  // The index by word would miss the new record: it goes (a model's table
  // is indexed once loaded and never built on; only tests do both).
  if (indexed_by_word()) drop_word_index();
  // The record and its name in one piece.
  char *room = static_cast<char *>(allocate(sizeof(Feature) + name.size() + 1));
  Feature *f = new (room) Feature{};
  f->id = static_cast<int32_t>(feats.size());
  f->len = name.size() < Feature::kLongName ? static_cast<uint32_t>(name.size()) : Feature::kLongName;
  f->text = room + sizeof(Feature);
  std::memcpy(f->text, name.data(), name.size());
  f->text[name.size()] = '\0';
  f->weight = weight;
  feats.push_back(f);
  count_entry();
  NameSlot &slot = slot_for(name, hash);
  if (slot.a == 0) {
    slot = NameSlot{hash, static_cast<uint32_t>(f->id) + 1, 0};
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

namespace {

// The ids answered for a value the model names at no position.
constexpr auto kNoIds = [] {
  std::array<int32_t, kPositions> ids{};
  ids.fill(kUnknownFeature);
  return ids;
}();

}  // namespace

void FeatureTable::index_by_word() {
  drop_word_index();
  if (has_repeats()) return;  // a repeated name's answer depends on the run
  for (auto &row : type_ids_) std::copy(kNoIds.begin(), kNoIds.end(), row);
  // Texts and stems (of one to three bytes: a shorter or longer value
  // matches no word's stem) are counted first, to size their tables and
  // reserve their rows: a vector that doubles copies its rows and touches
  // new pages each time.
  // (By prefix alone: at least as many as the well-formed names, for a
  // tenth of reading each name back.)
  size_t texts = 0, stems = 0;
  for (const Feature *f : feats) {
    const std::string_view name = f->name();
    texts += name.starts_with(kTemplatePrefixes[kTextTemplate]);
    stems += name.starts_with(kTemplatePrefixes[kStemTemplate]) || name.starts_with(kTemplatePrefixes[kStem2Template]);
  }
  size_t slots = 16;
  while (slots < 2 * texts + 2) slots *= 2;
  text_slots_.reset(slots);
  word_keys_.reserve(texts);
  size_t stem_slots = 16;
  while (stem_slots < 2 * stems + 2) stem_slots *= 2;
  stem_slots_.reset(stem_slots);
  stem_rows_.reserve(stems);
  stem_shift_ = 64;
  for (size_t n = stem_slots; n > 1; n >>= 1) stem_shift_--;
  auto add_stem = [&](uint32_t code, std::string_view value, int p, int32_t id) {
    if (value.empty() || value.size() > 3) return;
    const uint64_t key = stem_key_of(code, value.data(), value.size());
    set_bit(stem_filter_, filter_bit(static_cast<uint32_t>(key), 0));
    uint64_t &slot = stem_slots_.probe(stem_home(key), [&](uint64_t s) { return s == 0 || stem_slot_key(s) == key; });
    if (slot == 0) {
      // (The weights are filled in at the end.)
      StemRow row;
      std::copy(kNoIds.begin(), kNoIds.end(), row.ids);
      stem_rows_.push_back(row);
      slot = key | uint64_t{stem_rows_.size()} << kStemKeyBits;
    }
    stem_rows_[stem_slot_row(slot)].ids[p] = id;
  };
  auto add_text = [&](std::string_view value, int p, int32_t id) {
    uint64_t hash = keyed_hash(value.data(), value.size());
    TextSlot &slot = text_slots_.probe(hash, [&](const TextSlot &s) {
      if (s.index == 0) return true;
      const WordKey &key = word_keys_[s.index - 1];
      return key.hash == hash && std::string_view(word_bytes_).substr(key.offset, key.len) == value;
    });
    if (slot.index == 0) {
      WordKey key{hash, static_cast<uint32_t>(word_bytes_.size()), static_cast<uint32_t>(value.size()), {}, {}};
      std::copy(kNoIds.begin(), kNoIds.end(), key.ids);
      word_bytes_.append(value);
      word_keys_.push_back(key);
      uint64_t prefix = 0;
      std::memcpy(&prefix, value.data(), std::min<size_t>(value.size(), 8));
      set_bit(text_filter_, filter_bit(prefix, value.size()));
      slot = TextSlot{static_cast<uint32_t>(word_keys_.size()), static_cast<uint32_t>(hash >> 32)};
    }
    word_keys_[slot.index - 1].ids[p] = id;
  };
  dense_weights_.resize(feats.size());
  for (const Feature *f : feats) {
    dense_weights_[static_cast<size_t>(f->id)] = f->weight;
    // Names no window forms (another position, a malformed flag or type)
    // are left out: no lookup could answer them.
    NameParts parts;
    if (!parse_feature_name(f->name(), parts)) continue;
    const std::string_view value = parts.value;
    const int p = parts.position;
    bool before = false, after = false;
    std::string_view stem;
    switch (parts.which) {
      case kTextTemplate:
        add_text(value, p, f->id);
        break;
      case kStemTemplate:
        add_stem(1, value, p, f->id);
        break;
      case kStem2Template:
        if (parse_stem2_value(value, before, after, stem))
          add_stem(2 + 2 * uint32_t{before} + uint32_t{after}, stem, p, f->id);
        break;
      default:
        if (value.size() == 1 && value[0] >= '0' && value[0] <= '9') type_ids_[value[0] - '0'][p] = f->id;
        break;
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
  const auto high = static_cast<uint32_t>(hash >> 32);
  const TextSlot &slot = text_slots_.probe(hash, [&](const TextSlot &s) {
    if (s.index == 0) return true;
    if (s.high != high) return false;  // another key's: its record unread
    const WordKey &key = word_keys_[s.index - 1];
    return key.hash == hash && key.len == value.size() &&
           std::memcmp(word_bytes_.data() + key.offset, value.data(), value.size()) == 0;
  });
  return slot.index == 0 ? nullptr : &word_keys_[slot.index - 1];
}

// A stem's key: its bytes (at most three, none of them NUL) as the low
// bytes of an integer, and the template's code above them.
uint64_t FeatureTable::stem_key_of(uint32_t code, const char *bytes, size_t len) {
  uint64_t bits = 0;
  std::memcpy(&bits, bytes, len);
  return bits | uint64_t{code} << 32;
}

const FeatureTable::StemRow *FeatureTable::stem_entry(uint64_t key) const {
  const uint64_t slot = stem_slots_.probe(stem_home(key), [&](uint64_t s) { return s == 0 || stem_slot_key(s) == key; });
  return slot == 0 ? nullptr : &stem_rows_[stem_slot_row(slot)];
}

namespace {
constexpr double kNoWeights[kPositions] = {};
}  // namespace

void FeatureTable::word_rows(const Word &w, std::string_view text_value, const int32_t **ids,
                             const double **weights, int base) const {
  text_rows(text_value, ids, weights, base);
  shape_rows(w, ids, weights, base);
}

bool FeatureTable::text_rows(std::string_view text_value, const int32_t **ids, const double **weights,
                             int base) const {
  const WordKey *text = text_key(text_value);
  ids[0] = (text != nullptr ? text->ids : kNoIds.data()) + base;
  weights[0] = (text != nullptr ? text->weights : kNoWeights) + base;
  return text != nullptr;
}

void FeatureTable::shape_rows(const Word &w, const int32_t **ids, const double **weights, int base) const {
  // A Word's stem is NUL-padded to its four bytes.
  uint64_t stem = 0;
  std::memcpy(&stem, w.stem, sizeof w.stem);
  const uint32_t stem2_code = 2 + 2 * uint32_t{w.space_before != 0} + uint32_t{w.space_after != 0};
  const StemRow *stem_keys[2] = {stem_entry(stem | uint64_t{1} << 32),
                                 stem_entry(stem | uint64_t{stem2_code} << 32)};
  for (int k = 0; k < 2; k++) {
    ids[1 + k] = (stem_keys[k] != nullptr ? stem_keys[k]->ids : kNoIds.data()) + base;
    weights[1 + k] = (stem_keys[k] != nullptr ? stem_keys[k]->weights : kNoWeights) + base;
  }
  // token_type is 0..8: always a row of the type tables.
  ids[3] = type_ids_[token_type(w)] + base;
  weights[3] = type_weights_[token_type(w)] + base;
}


int32_t FeatureTable::find(std::string_view name) const {
  uint64_t probes = 0;
  return find(name, keyed_hash(name.data(), name.size()), probes);
}

}  // namespace fullstop::core
