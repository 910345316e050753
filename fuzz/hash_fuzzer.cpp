// Hash-table fuzz target: the input is a program of table operations (add,
// find, visit, bulk add, measure, copy, grow, free), each checked against a
// plain model of what src/hash.h promises:
//   - a lookup answers the entry in front of its key's chain, a visit walks
//     all entries of the key in chain order, and new entries go in front;
//   - the table grows (doubling from 1024 buckets) when an addition would make
//     the entries outnumber the buckets, and growing reverses the order of
//     entries with equal keys;
//   - an entry sits in bucket hash % (size - 1) of the documented hash (bytes
//     sign-extended, shifted by 0, 3, 6, ... 24, 0, ... and xor-ed), so the
//     top bucket stays empty;
//   - hash_memory_usage counts record, buckets, entries, keys and name, and
//     hash_copy requests exactly that many bytes in count + 4 calls, giving a
//     table that answers every lookup and visit as the original does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <string>
#include <vector>

#include "fullstop/hash.h"
#include "harness.h"

namespace {

struct Reader {
  const uint8_t *p;
  size_t n;
  bool empty() const { return n == 0; }
  uint8_t byte() {
    if (n == 0) return 0;
    n--;
    return *p++;
  }
  std::string key(size_t max_len) {
    size_t len = byte() % (max_len + 1);
    std::string s;
    for (size_t i = 0; i < len && n > 0; i++) {
      char c = static_cast<char>(byte());
      s.push_back(c == '\0' ? 'N' : c);  // keys are C strings
    }
    return s;
  }
};

uint32_t documented_hash(const std::string &key) {
  uint32_t h = 0;
  unsigned shift = 0;
  for (char c : key) {
    h ^= static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c))) << shift;
    shift = (shift + 3) % 25;
  }
  return h;
}

// What the table should hold.  Each key's values are listed back to front:
// back() is the entry a lookup finds.
struct Model {
  std::string name;
  int64_t size = 1024;
  int64_t count = 0;
  int64_t key_bytes = 0;
  std::unordered_map<std::string, std::vector<uintptr_t>> chains;
  std::vector<std::string> keys;  // distinct keys, for reuse

  void grow() {
    size *= 2;
    for (auto &[key, values] : chains) std::reverse(values.begin(), values.end());
  }
  void add(const std::string &key, uintptr_t value) {
    if (static_cast<float>(count + 1) / static_cast<float>(size) > 1.0f) grow();
    auto &values = chains[key];
    if (values.empty()) keys.push_back(key);
    values.push_back(value);
    count++;
    key_bytes += static_cast<int64_t>(key.size()) + 1;
  }
  uintptr_t find(const std::string &key) const {
    auto it = chains.find(key);
    return it == chains.end() ? 0 : it->second.back();
  }
  std::vector<uintptr_t> visit_order(const std::string &key) const {
    auto it = chains.find(key);
    if (it == chains.end()) return {};
    return std::vector<uintptr_t>(it->second.rbegin(), it->second.rend());
  }
  int64_t memory_usage() const {
    return static_cast<int64_t>(sizeof(HashTable)) + size * static_cast<int64_t>(sizeof(HashEntry *)) +
           count * static_cast<int64_t>(sizeof(HashEntry)) + key_bytes +
           static_cast<int64_t>(name.size()) + 1;
  }
};

std::vector<uintptr_t> visited;
void record_visit(void *value) { visited.push_back(reinterpret_cast<uintptr_t>(value)); }

std::vector<void *> copy_blocks;
size_t copy_calls = 0;
int64_t copy_bytes = 0;
void *counting_allocator(size_t n) {
  copy_calls++;
  copy_bytes += static_cast<int64_t>(n);
  void *p = std::malloc(n == 0 ? 1 : n);
  copy_blocks.push_back(p);
  return p;
}

// The message is only built when the check fails: checks run millions of times.
#define EXPECT(ok, what)                                 \
  do {                                                   \
    if (!(ok)) harness::fail(std::string("hash table: ") + (what)); \
  } while (0)

std::string shown(const std::string &key) { return "'" + harness::show(key, 40) + "'"; }

void check_lookup(HashTable *table, const Model &model, const std::string &key, const char *which) {
  uintptr_t found = reinterpret_cast<uintptr_t>(hash_find(table, key.c_str()));
  EXPECT(found == model.find(key), std::string(which) + ": hash_find(" + shown(key) + ") gave value " +
                                       std::to_string(found) + ", expected " +
                                       std::to_string(model.find(key)));
  visited.clear();
  hash_visit_key(table, key.c_str(), record_visit);
  EXPECT(visited == model.visit_order(key),
         std::string(which) + ": hash_visit_key(" + shown(key) + ") visited the entries out of order");
}

// Every entry in the bucket its hash names, the top bucket empty, the counts
// right, and each key's chain in the model's order.
void check_structure(HashTable *table, const Model &model, const char *which) {
  EXPECT(table->size == model.size, std::string(which) + ": size " + std::to_string(table->size) +
                                        ", expected " + std::to_string(model.size));
  EXPECT(table->count == model.count, std::string(which) + ": count " + std::to_string(table->count) +
                                          ", expected " + std::to_string(model.count));
  EXPECT(table->buckets[table->size - 1] == nullptr, std::string(which) + ": the top bucket is used");
  std::unordered_map<std::string, std::vector<uintptr_t>> seen;
  int64_t entries = 0;
  for (int i = 0; i < table->size; i++) {
    for (HashEntry *e = table->buckets[i]; e != nullptr; e = e->next) {
      entries++;
      EXPECT(documented_hash(e->key) % static_cast<uint32_t>(table->size - 1) == static_cast<uint32_t>(i),
             std::string(which) + ": key " + shown(e->key) + " in the wrong bucket");
      seen[e->key].push_back(reinterpret_cast<uintptr_t>(e->value));
    }
  }
  EXPECT(entries == model.count, std::string(which) + ": the chains hold " + std::to_string(entries) +
                                     " entries, expected " + std::to_string(model.count));
  for (const auto &[key, values] : model.chains)
    EXPECT(seen[key] == model.visit_order(key), std::string(which) + ": chain order of " + shown(key));
}

void check_copy(HashTable *table, const Model &model, bool thorough) {
  copy_calls = 0;
  copy_bytes = 0;
  int64_t usage = hash_memory_usage(table);
  HashTable *copy = hash_copy(table, counting_allocator);
  EXPECT(copy_calls == static_cast<size_t>(model.count) + 4,
         "hash_copy made " + std::to_string(copy_calls) + " allocator calls, expected count + 4 = " +
             std::to_string(model.count + 4));
  EXPECT(copy_bytes == usage, "hash_copy requested " + std::to_string(copy_bytes) +
                                  " bytes, hash_memory_usage says " + std::to_string(usage));
  EXPECT(copy->name != table->name && std::strcmp(copy->name, model.name.c_str()) == 0,
         "the copy's name is not a copy of the name");
  EXPECT(copy->size == model.size && copy->count == model.count, std::string("the copy's size or count differ"));
  if (thorough) {
    check_structure(copy, model, "copy");
    for (const std::string &key : model.keys) check_lookup(copy, model, key, "copy");
  }
  EXPECT(hash_memory_usage(copy) == usage, "the copy measures differently from the original");
  for (void *p : copy_blocks) std::free(p);
  copy_blocks.clear();
}

// Keys of random bytes: the documented hash spreads them well, where runs of
// similar keys ("k1", "k2", ...) would pile into a few long chains.
std::string random_key(uint64_t &state) {
  std::string key = "b";
  for (int i = 0; i < 7; i++) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    key.push_back(static_cast<char>(1 + state % 255));
  }
  return key;
}

constexpr int64_t kMaxEntries = 4500;  // past the growths at 1025, 2049 and 4097
constexpr int64_t kMaxBuckets = 1 << 14;
// Measuring and copying walk every bucket: a few of each per input will do.
constexpr int kMaxWalks = 8;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  harness::init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  Reader in{bytes, size};
  Model model;
  model.name = "fuzz";
  HashTable *table = hash_new(model.name.c_str());
  uintptr_t next_value = 1;
  // Walking every entry costs time in proportion to the table: only the first
  // few measure and copy operations of an input do it (and the end does).
  int thorough_checks = 3;
  int walks = kMaxWalks;
  auto pick_key = [&](uint8_t selector) {
    if ((selector & 0x80) && !model.keys.empty()) return model.keys[in.byte() % model.keys.size()];
    return in.key(12);
  };
  auto add = [&](const std::string &key) {
    uintptr_t value = next_value++;
    char *copy = strdup(key.c_str());
    if (copy == nullptr) std::abort();
    hash_add(table, copy, reinterpret_cast<void *>(value));
    model.add(key, value);
  };

  while (!in.empty()) {
    uint8_t op = in.byte();
    switch (op % 8) {
      case 0:
      case 1:
        if (model.count < kMaxEntries) add(pick_key(op));
        break;
      case 2:
      case 3:
        check_lookup(table, model, pick_key(op), "table");
        break;
      case 4: {
        // Many entries at once, to reach the growth points cheaply; every
        // seventh repeats an earlier key so that growth has orders to reverse.
        int64_t n = (in.byte() % 64 + 1) * 32;
        uint64_t rng = next_value * 0x9E3779B97F4A7C15ull + op;
        for (int64_t i = 0; i < n && model.count < kMaxEntries; i++) {
          if (i % 7 == 3 && !model.keys.empty())
            add(model.keys[static_cast<size_t>(i * 31 + op) % model.keys.size()]);
          else
            add(random_key(rng));
        }
        break;
      }
      case 5:
        if (walks-- <= 0) break;
        EXPECT(hash_memory_usage(table) == model.memory_usage(),
               "hash_memory_usage " + std::to_string(hash_memory_usage(table)) + ", expected " +
                   std::to_string(model.memory_usage()));
        if (thorough_checks > 0) {
          thorough_checks--;
          check_structure(table, model, "table");
        }
        break;
      case 6:
        if (walks-- <= 0) break;
        check_copy(table, model, thorough_checks > 0);
        if (thorough_checks > 0) thorough_checks--;
        break;
      case 7:
        if (op & 0x80) {
          if (model.size < kMaxBuckets) {
            grow_hash(table);
            model.grow();
          }
        } else {
          hash_free(table);
          model = Model();
          model.name = in.key(8);
          table = hash_new(model.name.c_str());
        }
        break;
    }
  }
  check_structure(table, model, "table at the end");
  for (const std::string &key : model.keys) check_lookup(table, model, key, "table at the end");
  hash_free(table);
  return 0;
}
