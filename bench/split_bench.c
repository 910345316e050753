/* The library against the program on the same text: fullstop_split on a
 * buffer already in memory (the model loaded once) against the whole
 * `fullstop -m MODEL < TEXT > /dev/null` process, alternating, for each model
 * given.  Prints the median, least and greatest wall time of each over the
 * rounds, the ratio of the medians (program / split: above 1, the split is
 * faster) and the median of the rounds' own ratios (each round's program run
 * against the split right after it, which shares its moment's load), and the
 * first split's time on its own (the process's first call,
 * before its allocations are warm).  The same for processor time (user +
 * system), which other work on a busy machine disturbs less.
 *
 *   split_bench [--rounds N] PROGRAM TEXT MODEL...
 */
#define _GNU_SOURCE
#include <fullstop/fullstop.h>

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char **environ;

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static double cpu_seconds(const struct rusage *u) {
  return (double)(u->ru_utime.tv_sec + u->ru_stime.tv_sec) +
         (double)(u->ru_utime.tv_usec + u->ru_stime.tv_usec) * 1e-6;
}

/* A run's wall time, processor time (user + system) and minor page faults. */
typedef struct {
  double wall, cpu;
  long faults;
} Times;

static void die(const char *what, const char *why) {
  fprintf(stderr, "split_bench: %s: %s\n", what, why);
  exit(1);
}

static char *read_file(const char *path, size_t *len) {
  FILE *f = fopen(path, "rb");
  if (f == NULL) die(path, "cannot open");
  size_t cap = 1 << 20, n = 0, got;
  char *buf = malloc(cap);
  while (buf != NULL && (got = fread(buf + n, 1, cap - n, f)) > 0) {
    n += got;
    if (n == cap) buf = realloc(buf, cap *= 2);
  }
  if (buf == NULL) die(path, "out of memory");
  fclose(f);
  *len = n;
  return buf;
}

/* The times of `program -m model < text > /dev/null`. */
static Times time_program(const char *program, const char *model, const char *text) {
  posix_spawn_file_actions_t io;
  posix_spawn_file_actions_init(&io);
  posix_spawn_file_actions_addopen(&io, 0, text, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
  char *argv[] = {(char *)program, "-m", (char *)model, NULL};
  double t0 = now();
  pid_t pid;
  if (posix_spawn(&pid, program, &io, NULL, argv, environ) != 0) die(program, "cannot run");
  int status;
  struct rusage u;
  if (wait4(pid, &status, 0, &u) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    die(program, "failed");
  Times t = {now() - t0, cpu_seconds(&u), u.ru_minflt};
  posix_spawn_file_actions_destroy(&io);
  return t;
}

static Times time_split(const fullstop_model *m, const char *text, size_t len, int64_t *count) {
  fullstop_span *spans;
  char *error;
  struct rusage u0, u1;
  getrusage(RUSAGE_THREAD, &u0);
  double t0 = now();
  *count = fullstop_split(m, text, len, &spans, &error);
  double t = now() - t0;
  getrusage(RUSAGE_THREAD, &u1);
  if (*count < 0) die("fullstop_split", error);
  free(spans);
  Times r = {t, cpu_seconds(&u1) - cpu_seconds(&u0), u1.ru_minflt - u0.ru_minflt};
  return r;
}

static int by_value(const void *a, const void *b) {
  double x = *(const double *)a, y = *(const double *)b;
  return x < y ? -1 : x > y;
}

static double median(double *v, int n) {
  qsort(v, (size_t)n, sizeof *v, by_value);
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int main(int argc, char **argv) {
  int rounds = 9, a = 1;
  if (argc > 2 && strcmp(argv[1], "--rounds") == 0) {
    rounds = atoi(argv[2]);
    a = 3;
  }
  if (argc - a < 3 || rounds < 1) {
    fprintf(stderr, "usage: split_bench [--rounds N] PROGRAM TEXT MODEL...\n");
    return 2;
  }
  const char *program = argv[a], *text_path = argv[a + 1];
  size_t len;
  char *text = read_file(text_path, &len);
  printf("%s: %.1f MB, %d rounds\n", text_path, (double)len / 1e6, rounds);
  double *split = malloc(sizeof(double) * (size_t)rounds);
  double *whole = malloc(sizeof(double) * (size_t)rounds);
  double *split_cpu = malloc(sizeof(double) * (size_t)rounds);
  double *whole_cpu = malloc(sizeof(double) * (size_t)rounds);
  double *ratio = malloc(sizeof(double) * (size_t)rounds);
  double *ratio_cpu = malloc(sizeof(double) * (size_t)rounds);
  for (int k = a + 2; k < argc; k++) {
    char *error;
    fullstop_model *m = fullstop_model_load(argv[k], &error);
    if (m == NULL) die(argv[k], error);
    int64_t count = 0;
    Times first = {0, 0, 0}, last = first, last_program = first;
    for (int r = 0; r < rounds; r++) {
      Times p = time_program(program, argv[k], text_path);
      Times s = time_split(m, text, len, &count);
      if (r == 0) first = s;
      last = s;
      last_program = p;
      whole[r] = p.wall;
      whole_cpu[r] = p.cpu;
      split[r] = s.wall;
      split_cpu[r] = s.cpu;
      ratio[r] = p.wall / s.wall;
      ratio_cpu[r] = p.cpu / s.cpu;
    }
    printf("%s (%s mode, %lld sentences)\n", argv[k],
           fullstop_model_text_mode(m) == FULLSTOP_TEXT_UNICODE ? "unicode" : "classic",
           (long long)count);
    const char *kind[2] = {"wall", "cpu"};
    double *splits[2] = {split, split_cpu}, *wholes[2] = {whole, whole_cpu};
    double *ratios[2] = {ratio, ratio_cpu};
    double firsts[2] = {first.wall, first.cpu};
    for (int i = 0; i < 2; i++) {
      double ms = median(splits[i], rounds), mp = median(wholes[i], rounds);
      printf("  %-4s fullstop_split median %.4f s (%.4f-%.4f), first call %.4f s\n", kind[i], ms,
             splits[i][0], splits[i][rounds - 1], firsts[i]);
      printf("  %-4s program        median %.4f s (%.4f-%.4f)\n", kind[i], mp, wholes[i][0],
             wholes[i][rounds - 1]);
      printf("  %-4s program / split %.2f (rounds' own ratios: median %.2f)\n", kind[i], mp / ms,
             median(ratios[i], rounds));
    }
    printf("  minor page faults: split %ld (first call %ld), program %ld\n", last.faults,
           first.faults, last_program.faults);
    fullstop_model_free(m);
  }
  free(split);
  free(whole);
  free(split_cpu);
  free(whole_cpu);
  free(ratio);
  free(ratio_cpu);
  free(text);
  return 0;
}
