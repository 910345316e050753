/* Splits standard input into sentences with a fullstop model and prints each
 * as "START END TEXT" (TEXT on one line).  MODEL is a bundled model's name
 * (en, de, fr, ...), found as `fullstop --model NAME` finds it, or a path.
 *
 *   cc split.c $(pkg-config --cflags --libs fullstop) -o split
 *   ./split en < text.txt
 */
#include <fullstop/fullstop.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s MODEL < TEXT\n", argv[0]);
    return 2;
  }
  char *error = NULL;
  fullstop_model *model = fullstop_model_load_named(argv[1], &error);
  if (model == NULL) {
    fprintf(stderr, "split: %s\n", error);
    free(error);
    return 1;
  }
  if (fullstop_model_warning(model) != NULL)
    fprintf(stderr, "split: warning: %s\n", fullstop_model_warning(model));

  size_t len = 0, cap = 1 << 16, got;
  char *text = malloc(cap);
  while (text != NULL && (got = fread(text + len, 1, cap - len, stdin)) > 0)
    if ((len += got) == cap) text = realloc(text, cap *= 2);
  if (text == NULL) {
    fputs("split: out of memory\n", stderr);
    return 1;
  }

  fullstop_span *spans;
  int64_t n = fullstop_split(model, text, len, &spans, &error);
  if (n < 0) {
    fprintf(stderr, "split: %s\n", error);
    free(error);
    return 1;
  }
  for (int64_t i = 0; i < n; i++) {
    printf("%lld %lld ", (long long)spans[i].start, (long long)spans[i].end);
    for (int64_t k = spans[i].start; k < spans[i].end; k++)
      putchar(text[k] == '\n' ? ' ' : text[k]);
    putchar('\n');
  }
  free(spans);
  free(text);
  fullstop_model_free(model);
  return 0;
}
