/* Compiled as C: proves the header is C-compatible and the module works from C. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fullstop/hash.h"

static int visits;
static void count_visit(void *value) {
  (void)value;
  visits++;
}

int main(void) {
  HashTable *t = hash_new("c-table");
  int one = 1, two = 2;
  hash_add(t, strdup("alpha"), &one);
  hash_add(t, strdup("alpha"), &two);
  if (hash_find(t, "alpha") != &two) return fprintf(stderr, "find\n"), 1;
  hash_visit_key(t, "alpha", count_visit);
  if (visits != 2) return fprintf(stderr, "visit\n"), 1;
  HashTable *c = hash_copy(t, malloc);
  if (hash_find(c, "alpha") != &two) return fprintf(stderr, "copy\n"), 1;
  if (hash_memory_usage(c) != hash_memory_usage(t)) return fprintf(stderr, "usage\n"), 1;
  /* The copy's pieces came from malloc one by one: record, buckets, one
   * entry block (starting at the first entry in bucket order), keys, name. */
  free((char *)c->name);
  for (int i = 0; i < c->size; i++)
    if (c->buckets[i]) {
      HashEntry *block = c->buckets[i];
      for (HashEntry *e = block; e; e = e->next) free(e->key);
      free(block);
      break;
    }
  free(c->buckets);
  free(c);
  hash_free(t);
  puts("ok");
  return 0;
}
