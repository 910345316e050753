// String hash table: chained buckets, doubling growth.
//
// Several details are deliberate and callers may rely on them: bytes enter the
// hash sign-extended, the bucket index is taken modulo size - 1 (so the top
// bucket is never used), the load test is done in single precision, new entries
// go to the head of their chain, and growth re-pushes entries onto new heads, so
// each growth reverses the relative order of entries with equal keys.
#include "fullstop/hash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kInitialSize = 1024;

// The programs' policy for a failed allocation: "PROGRAM: out of memory" and
// status 1, not an abort.
[[noreturn]] void out_of_memory() {
  std::fprintf(stderr, "%s: out of memory\n", program_invocation_short_name);
  std::exit(1);
}

void *checked_calloc(size_t n, size_t size) {
  void *p = std::calloc(n, size);
  if (p == nullptr && n != 0 && size != 0) out_of_memory();
  return p;
}

uint32_t hash_code(const HashTable *table, const char *key) {
  uint32_t h = 0;
  unsigned shift = 0;
  for (const char *p = key; *p != '\0'; ++p) {
    // Sign-extend the byte, as a signed char widened to int would be.
    uint32_t byte = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    h ^= byte << shift;
    shift = (shift + 3) % 25;
  }
  return h % static_cast<uint32_t>(table->size - 1);
}

void hash_add_bucket(HashTable *table, HashEntry *entry) {
  uint32_t index = hash_code(table, entry->key);
  entry->next = table->buckets[index];
  table->buckets[index] = entry;
  table->count++;
}

char *freeze_string(const char *string, void *(*allocator)(size_t)) {
  size_t n = std::strlen(string) + 1;
  char *copy = static_cast<char *>(allocator(n));
  std::memcpy(copy, string, n);
  return copy;
}

}  // namespace

extern "C" {

HashTable *hash_new(const char *name) {
  HashTable *table = static_cast<HashTable *>(checked_calloc(1, sizeof(HashTable)));
  table->name = name;
  table->size = kInitialSize;
  table->count = 0;
  table->buckets = static_cast<HashEntry **>(checked_calloc(kInitialSize, sizeof(HashEntry *)));
  return table;
}

void hash_add(HashTable *table, char *key, void *value) {
  float load = static_cast<float>(table->count + 1) / static_cast<float>(table->size);
  HashEntry *entry = static_cast<HashEntry *>(checked_calloc(1, sizeof(HashEntry)));
  if (load > 1.0f) grow_hash(table);
  entry->key = key;
  entry->value = value;
  hash_add_bucket(table, entry);
}

void *hash_find(HashTable *table, const char *key) {
  for (HashEntry *e = table->buckets[hash_code(table, key)]; e != nullptr; e = e->next) {
    if (std::strcmp(e->key, key) == 0) return e->value;
  }
  return nullptr;
}

void hash_free(HashTable *table) {
  for (int i = 0; i < table->size; i++) {
    while (table->buckets[i] != nullptr) {
      HashEntry *head = table->buckets[i];
      table->buckets[i] = head->next;
      std::free(head->key);
      std::free(head);
    }
  }
  std::free(table->buckets);
  std::free(table);
}

void grow_hash(HashTable *table) {
  HashEntry **old_buckets = table->buckets;
  int old_size = table->size;
  int new_size = static_cast<int>(old_size * 2.0);
  table->buckets =
      static_cast<HashEntry **>(checked_calloc(static_cast<size_t>(new_size), sizeof(HashEntry *)));
  table->size = new_size;
  table->count = 0;
  for (int i = 0; i < old_size; i++) {
    HashEntry *e = old_buckets[i];
    while (e != nullptr) {
      HashEntry *next = e->next;
      hash_add_bucket(table, e);
      e = next;
    }
  }
  std::free(old_buckets);
}

void hash_visit_key(HashTable *table, const char *key, void (*visitor)(void *value)) {
  HashEntry *e = table->buckets[hash_code(table, key)];
  while (e != nullptr) {
    if (std::strcmp(e->key, key) == 0) visitor(e->value);
    e = e->next;  // read after the visitor returns
  }
}

int64_t hash_memory_usage(HashTable *table) {
  int64_t bytes = static_cast<int64_t>(sizeof(HashTable));
  bytes += static_cast<int64_t>(table->size) * static_cast<int64_t>(sizeof(HashEntry *));
  bytes += static_cast<int64_t>(table->count) * static_cast<int64_t>(sizeof(HashEntry));
  for (int i = 0; i < table->size; i++) {
    for (HashEntry *e = table->buckets[i]; e != nullptr; e = e->next) {
      bytes += static_cast<int64_t>(std::strlen(e->key)) + 1;
    }
  }
  bytes += static_cast<int64_t>(std::strlen(table->name)) + 1;
  return bytes;
}

HashTable *hash_copy(HashTable *table, void *(*allocator)(size_t)) {
  // All fixed-size pieces are requested before any string, in this order:
  // record, buckets, one entry block, the keys in bucket-and-chain order, name.
  HashTable *copy = static_cast<HashTable *>(allocator(sizeof(HashTable)));
  copy->size = table->size;
  copy->count = table->count;
  copy->buckets =
      static_cast<HashEntry **>(allocator(static_cast<size_t>(table->size) * sizeof(HashEntry *)));
  HashEntry *next_free =
      static_cast<HashEntry *>(allocator(static_cast<size_t>(table->count) * sizeof(HashEntry)));
  for (int i = 0; i < table->size; i++) {
    HashEntry **link = &copy->buckets[i];
    for (HashEntry *e = table->buckets[i]; e != nullptr; e = e->next) {
      *link = next_free;
      link = &next_free->next;
      next_free->key = freeze_string(e->key, allocator);
      next_free->value = e->value;
      next_free++;
    }
    *link = nullptr;
  }
  copy->name = freeze_string(table->name, allocator);
  return copy;
}

}  // extern "C"
