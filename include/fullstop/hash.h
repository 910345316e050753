/* A string-keyed hash table with separate chaining.
 *
 * Keys are NUL-terminated byte strings held by reference: hash_add stores the
 * pointer it is given, and hash_free releases every key with free(), so keys
 * must be separate heap strings (malloc/strdup) that stay unchanged while the
 * table holds them.  Values are the caller's and are never released.
 *
 * Usable from C and C++.  All memory comes from the C allocator.
 */
#ifndef FULLSTOP_HASH_H
#define FULLSTOP_HASH_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HashEntry {
  char *key;
  void *value;
  struct HashEntry *next;
} HashEntry;

typedef struct HashTable {
  const char *name; /* label, stored by reference */
  int size;         /* number of buckets: 1024 at creation, doubled on growth */
  int count;        /* number of entries */
  HashEntry **buckets;
} HashTable;

/* A new, empty table of 1024 buckets labelled `name` (not copied). */
HashTable *hash_new(const char *name);

/* Adds key -> value at the head of its chain.  An equal key already present is
 * kept: both entries stay, and lookups see the one in front. */
void hash_add(HashTable *table, char *key, void *value);

/* The value of the first entry in the key's chain with an equal key, or NULL. */
void *hash_find(HashTable *table, const char *key);

/* Releases every entry and its key, the bucket array and the table record; not
 * the name and not the values. */
void hash_free(HashTable *table);

/* Doubles the bucket count and relinks every entry (called by hash_add). */
void grow_hash(HashTable *table);

/* Calls visitor(value) for every entry whose key equals `key`, in chain order. */
void hash_visit_key(HashTable *table, const char *key, void (*visitor)(void *value));

/* Bytes the table occupies: record, buckets, entries, keys and name.  Equals
 * the sum of the sizes that hash_copy requests. */
int64_t hash_memory_usage(HashTable *table);

/* A frozen copy built from memory the caller's allocator hands out.  The copy
 * shares the values; it must not be grown or freed with hash_free. */
HashTable *hash_copy(HashTable *table, void *(*allocator)(size_t));

#ifdef __cplusplus
}
#endif

#endif /* FULLSTOP_HASH_H */
