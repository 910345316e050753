/* The machine's own scan speed, for bench/scan-speed: counts the newlines of
 * standard input with memchr, reading it in 256 KiB pieces as a filter does
 * (so a whole-process run costs what reading the bytes and touching each
 * once cost), and prints the count.
 *
 *   memchr_scan < TEXT             newlines
 *   memchr_scan --passes N < TEXT  newlines and MB/s of memchr alone: the
 *                                  text read whole, then the best of N
 *                                  passes over it in memory
 */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static size_t count_newlines(const char *p, const char *end) {
  size_t n = 0;
  while ((p = memchr(p, '\n', (size_t)(end - p))) != NULL) {
    n++;
    p++;
  }
  return n;
}

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static void fail(const char *what) {
  perror(what);
  exit(1);
}

int main(int argc, char **argv) {
  int passes = argc == 3 && strcmp(argv[1], "--passes") == 0 ? atoi(argv[2]) : 0;
  if (argc != 1 && passes < 1) {
    fprintf(stderr, "usage: memchr_scan [--passes N] < TEXT\n");
    return 2;
  }
  size_t cap = (size_t)1 << 18, len = 0, lines = 0;
  char *buf = malloc(cap);
  if (buf == NULL) fail("memchr_scan");
  for (;;) {
    if (passes > 0 && len == cap && (buf = realloc(buf, cap *= 2)) == NULL) fail("memchr_scan");
    ssize_t got = read(0, buf + len, cap - len);
    if (got < 0) fail("memchr_scan: read");
    if (got == 0) break;
    if (passes > 0) {
      len += (size_t)got;
    } else {
      lines += count_newlines(buf, buf + got);
    }
  }
  if (passes == 0) {
    printf("%zu\n", lines);
    return 0;
  }
  double best = 0;
  for (int i = 0; i < passes; i++) {
    double t = now();
    lines = count_newlines(buf, buf + len);
    t = now() - t;
    if (i == 0 || t < best) best = t;
  }
  printf("%zu %.0f\n", lines, best > 0 ? (double)len / 1e6 / best : 0.0);
  return 0;
}
