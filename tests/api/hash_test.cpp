#include "fullstop/hash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

char *dup(const std::string &s) { return strdup(s.c_str()); }

// Index of the bucket whose chain holds `key`, or -1.
int bucket_of(const HashTable *t, const char *key) {
  for (int i = 0; i < t->size; i++)
    for (HashEntry *e = t->buckets[i]; e; e = e->next)
      if (std::strcmp(e->key, key) == 0) return i;
  return -1;
}

int chain_total(const HashTable *t) {
  int n = 0;
  for (int i = 0; i < t->size; i++)
    for (HashEntry *e = t->buckets[i]; e; e = e->next) n++;
  return n;
}

TEST(Hash, NewTableIsEmpty) {
  HashTable *t = hash_new("features");
  EXPECT_STREQ(t->name, "features");
  EXPECT_EQ(t->size, 1024);
  EXPECT_EQ(t->count, 0);
  EXPECT_EQ(hash_find(t, "anything"), nullptr);
  EXPECT_EQ(hash_find(t, ""), nullptr);
  hash_free(t);
}

struct BucketCase {
  std::string key;
  int size;  // table size at which the key is placed
  int bucket;
};
// What gtest shows for a case: the key as a C string, not the struct's bytes.
void PrintTo(const BucketCase &c, std::ostream *os) {
  *os << "key \"";
  for (unsigned char ch : c.key) {
    if (std::isprint(ch)) {
      *os << ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", ch);
      *os << hex;
    }
  }
  *os << "\" at size " << c.size;
}

class HashBucket : public ::testing::TestWithParam<BucketCase> {};

TEST_P(HashBucket, KeyLandsInDocumentedBucket) {
  const BucketCase &c = GetParam();
  HashTable *t = hash_new("t");
  // Grow to the wanted size with filler keys first.
  int filler = 0;
  while (t->size < c.size) hash_add(t, dup("filler" + std::to_string(filler++)), nullptr);
  ASSERT_EQ(t->size, c.size);
  int value = 7;
  hash_add(t, dup(c.key), &value);
  EXPECT_EQ(bucket_of(t, c.key.c_str()), c.bucket);
  EXPECT_EQ(hash_find(t, c.key.c_str()), &value);
  hash_free(t);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HashBucket,
    ::testing::Values(BucketCase{"abc", 1024, 951}, BucketCase{"abc", 2048, 948},
                      // Bytes above 0x7F are sign-extended: 0xE9 hashes as 0xFFFFFFE9.
                      BucketCase{"\xE9", 1024, 1004}, BucketCase{"", 1024, 0}),
    [](const ::testing::TestParamInfo<BucketCase> &info) {
      // Test names allow letters, digits and '_': other key bytes as xHH.
      std::string name = info.param.key.empty() ? "empty" : "";
      for (unsigned char c : info.param.key) {
        if (std::isalnum(c)) {
          name += static_cast<char>(c);
        } else {
          char hex[4];
          std::snprintf(hex, sizeof hex, "x%02X", c);
          name += hex;
        }
      }
      return name + "_size" + std::to_string(info.param.size);
    });


TEST(Hash, ShiftCycleRepeatsEveryTwentyFiveBytes) {
  // Key of 26 bytes: h = XOR over bytes shifted 0,3,...,22 then 0 again.
  std::string key(26, 'b');
  uint32_t h = 0;
  unsigned s = 0;
  for (unsigned char c : key) {
    h ^= static_cast<uint32_t>(c) << s;
    s = (s + 3) % 25;
  }
  HashTable *t = hash_new("t");
  hash_add(t, dup(key), nullptr);
  EXPECT_EQ(bucket_of(t, key.c_str()), static_cast<int>(h % 1023u));
  hash_free(t);
}

TEST(Hash, GrowsOnTheEntryPastSize) {
  HashTable *t = hash_new("t");
  for (int i = 0; i < 1024; i++) hash_add(t, dup("k" + std::to_string(i)), nullptr);
  EXPECT_EQ(t->size, 1024);
  EXPECT_EQ(t->count, 1024);
  hash_add(t, dup("k1024"), nullptr);
  EXPECT_EQ(t->size, 2048);
  EXPECT_EQ(t->count, 1025);
  for (int i = 1025; i < 2048; i++) hash_add(t, dup("k" + std::to_string(i)), nullptr);
  EXPECT_EQ(t->size, 2048);
  hash_add(t, dup("k2048"), nullptr);
  EXPECT_EQ(t->size, 4096);
  EXPECT_EQ(t->count, 2049);
  EXPECT_EQ(chain_total(t), 2049);
  // The highest bucket is never used, and every key is still found.
  EXPECT_EQ(t->buckets[t->size - 1], nullptr);
  for (int i = 0; i <= 2048; i++) {
    std::string k = "k" + std::to_string(i);
    EXPECT_EQ(bucket_of(t, k.c_str()) >= 0, true) << k;
  }
  hash_free(t);
}

TEST(Hash, CaseAndPrefixMakeDifferentKeys) {
  HashTable *t = hash_new("t");
  int a = 1, b = 2, c = 3;
  hash_add(t, dup("Mr"), &a);
  hash_add(t, dup("mr"), &b);
  hash_add(t, dup("mrs"), &c);
  EXPECT_EQ(hash_find(t, "Mr"), &a);
  EXPECT_EQ(hash_find(t, "mr"), &b);
  EXPECT_EQ(hash_find(t, "mrs"), &c);
  EXPECT_EQ(hash_find(t, "m"), nullptr);
  hash_free(t);
}

TEST(Hash, EqualKeysLaterFirstThenReversedByGrowth) {
  HashTable *t = hash_new("t");
  int first = 1, second = 2;
  hash_add(t, dup("dup"), &first);
  hash_add(t, dup("dup"), &second);
  EXPECT_EQ(t->count, 2);
  EXPECT_EQ(hash_find(t, "dup"), &second);
  std::vector<int> seen;
  static std::vector<int> *sink;
  sink = &seen;
  auto visitor = [](void *v) { sink->push_back(*static_cast<int *>(v)); };
  hash_visit_key(t, "dup", visitor);
  EXPECT_EQ(seen, (std::vector<int>{2, 1}));
  // One growth after both additions reverses their order.
  for (int i = 0; t->size == 1024; i++) hash_add(t, dup("f" + std::to_string(i)), nullptr);
  EXPECT_EQ(hash_find(t, "dup"), &first);
  seen.clear();
  hash_visit_key(t, "dup", visitor);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  seen.clear();
  hash_visit_key(t, "absent", visitor);
  EXPECT_TRUE(seen.empty());
  hash_free(t);
}

TEST(Hash, MemoryUsageArithmetic) {
  HashTable *t = hash_new("features");
  const int64_t empty = sizeof(HashTable) + 1024 * sizeof(HashEntry *) + 9;
  EXPECT_EQ(hash_memory_usage(t), empty);
  hash_add(t, dup("abcde"), nullptr);
  EXPECT_EQ(hash_memory_usage(t), empty + static_cast<int64_t>(sizeof(HashEntry)) + 6);
  int64_t keys = 6;
  int i = 0;
  while (t->count < 1024) {
    std::string k = "x" + std::to_string(i++);
    keys += static_cast<int64_t>(k.size()) + 1;
    hash_add(t, dup(k), nullptr);
  }
  EXPECT_EQ(hash_memory_usage(t),
            empty + 1024 * static_cast<int64_t>(sizeof(HashEntry)) + keys);
  hash_add(t, dup("grow"), nullptr);  // 1025th entry: buckets double
  EXPECT_EQ(hash_memory_usage(t), empty + 1024 * static_cast<int64_t>(sizeof(HashEntry *)) +
                                      1025 * static_cast<int64_t>(sizeof(HashEntry)) + keys + 5);
  hash_free(t);
}

// Records every allocator request so tests can check the copy's sequence.
std::vector<size_t> g_requests;
std::vector<void *> g_blocks;
void *recording_allocator(size_t n) {
  g_requests.push_back(n);
  // Poison fresh memory: the copy must write everything it uses.
  void *p = std::malloc(n == 0 ? 1 : n);
  std::memset(p, 0xA5, n);
  g_blocks.push_back(p);
  return p;
}
void release_blocks() {
  for (void *p : g_blocks) std::free(p);
  g_blocks.clear();
  g_requests.clear();
}

TEST(HashCopy, EmptyTableMakesFourRequests) {
  HashTable *t = hash_new("features");
  HashTable *c = hash_copy(t, recording_allocator);
  ASSERT_EQ(g_requests.size(), 4u);
  EXPECT_EQ(g_requests[0], sizeof(HashTable));
  EXPECT_EQ(g_requests[1], 1024 * sizeof(HashEntry *));
  EXPECT_EQ(g_requests[2], 0u);
  EXPECT_EQ(g_requests[3], 9u);
  for (int i = 0; i < c->size; i++) EXPECT_EQ(c->buckets[i], nullptr);
  EXPECT_STREQ(c->name, "features");
  EXPECT_NE(c->name, t->name);
  release_blocks();
  hash_free(t);
}

TEST(HashCopy, CopyAnswersLikeSourceAndSizesSumToUsage) {
  HashTable *t = hash_new("table");
  std::vector<int> values(3000);
  for (int i = 0; i < 3000; i++) hash_add(t, dup("key" + std::to_string(i % 2500)), &values[i]);
  HashTable *c = hash_copy(t, recording_allocator);
  ASSERT_EQ(g_requests.size(), 3000u + 4u);
  int64_t sum = 0;
  for (size_t n : g_requests) sum += static_cast<int64_t>(n);
  EXPECT_EQ(sum, hash_memory_usage(t));
  EXPECT_EQ(hash_memory_usage(c), hash_memory_usage(t));
  EXPECT_EQ(c->size, t->size);
  EXPECT_EQ(c->count, t->count);
  for (int i = 0; i < 2500; i++) {
    std::string k = "key" + std::to_string(i);
    EXPECT_EQ(hash_find(c, k.c_str()), hash_find(t, k.c_str())) << k;
  }
  // Chains keep source order, keys are fresh memory, values are shared.
  for (int i = 0; i < t->size; i++) {
    HashEntry *a = t->buckets[i], *b = c->buckets[i];
    for (; a && b; a = a->next, b = b->next) {
      EXPECT_STREQ(a->key, b->key);
      EXPECT_NE(a->key, b->key);
      EXPECT_EQ(a->value, b->value);
    }
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
  }
  // A copy of a copy is equally exact.
  size_t before = g_requests.size();
  HashTable *cc = hash_copy(c, recording_allocator);
  EXPECT_EQ(g_requests.size() - before, 3004u);
  EXPECT_EQ(hash_find(cc, "key17"), hash_find(t, "key17"));
  release_blocks();
  hash_free(t);
}

// Randomised agreement with a reference multimap under the documented order
// rules: head insertion, and each growth reverses equal-key order.
TEST(Hash, AgreesWithReferenceModel) {
  HashTable *t = hash_new("t");
  std::map<std::string, std::vector<int>> ref;  // front = what find returns
  std::vector<int> values(6000);
  unsigned seed = 12345;
  for (int i = 0; i < 6000; i++) {
    seed = seed * 1103515245u + 12345u;
    std::string k = "k" + std::to_string((seed >> 8) % 3000);
    values[i] = i;
    int old_size = t->size;
    hash_add(t, dup(k), &values[i]);
    if (t->size != old_size) {
      // The growth happened before linking the new entry.
      for (auto &[key, list] : ref) std::reverse(list.begin(), list.end());
    }
    ref[k].insert(ref[k].begin(), i);
  }
  for (auto &[key, list] : ref) {
    void *v = hash_find(t, key.c_str());
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*static_cast<int *>(v), list.front()) << key;
  }
  EXPECT_EQ(t->count, 6000);
  hash_free(t);
}

}  // namespace
