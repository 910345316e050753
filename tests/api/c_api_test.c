/* The C API from C: two models shared by four threads, every split (on the
 * calling thread and with fullstop_split_jobs on two or all CPUs) equal to
 * the offsets the program prints for the same text, and the conventions of
 * <fullstop/fullstop.h> (errors, warnings, empty input) case by case.
 *
 *   c_api_test FULLSTOP_PROGRAM MODEL_A MODEL_B TEXT [VERSION]
 */
#include <fullstop/fullstop.h>

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

#define CHECK(cond, ...)                               \
  do {                                                 \
    if (!(cond)) {                                     \
      fprintf(stderr, "%s:%d: ", __FILE__, __LINE__);  \
      fprintf(stderr, __VA_ARGS__);                    \
      fputc('\n', stderr);                             \
      failures++;                                      \
    }                                                  \
  } while (0)

static char *read_all(FILE *f, size_t *len) {
  size_t cap = 1 << 16, n = 0, got;
  char *buf = malloc(cap);
  while (buf != NULL && (got = fread(buf + n, 1, cap - n, f)) > 0) {
    n += got;
    if (n == cap) buf = realloc(buf, cap *= 2);
  }
  *len = n;
  return buf;
}

/* The spans `fullstop -m MODEL < TEXT` prints (offsets form). */
static fullstop_span *program_spans(const char *program, const char *model, const char *text,
                                    int64_t *count) {
  char command[4096];
  snprintf(command, sizeof command, "'%s' -m '%s' < '%s'", program, model, text);
  FILE *p = popen(command, "r");
  if (p == NULL) return NULL;
  size_t len;
  char *out = read_all(p, &len);
  pclose(p);
  size_t cap = 1024;
  fullstop_span *spans = malloc(cap * sizeof *spans);
  int64_t n = 0;
  for (char *s = out; (s = strstr(s, "<sentence start=\"")) != NULL; s++) {
    long long a, b;
    if (sscanf(s, "<sentence start=\"%lld\" end=\"%lld\"", &a, &b) != 2) break;
    if ((size_t)n == cap) spans = realloc(spans, (cap *= 2) * sizeof *spans);
    spans[n].start = a;
    spans[n].end = b;
    n++;
  }
  free(out);
  *count = n;
  return spans;
}

struct job {
  const fullstop_model *model;
  const char *text;
  size_t len;
  const fullstop_span *want;
  int64_t want_count;
  int rounds;
  int mismatches;
};

static void *split_rounds(void *arg) {
  struct job *j = arg;
  for (int r = 0; r < j->rounds; r++) {
    fullstop_span *spans = NULL;
    char *error = NULL;
    int64_t n = r == 0 ? fullstop_split(j->model, j->text, j->len, &spans, &error)
                       : fullstop_split_jobs(j->model, j->text, j->len, r == 1 ? 2 : 0, &spans, &error);
    if (n != j->want_count || error != NULL ||
        memcmp(spans, j->want, (size_t)n * sizeof *spans) != 0)
      j->mismatches++;
    free(spans);
    free(error);
  }
  return NULL;
}

/* Small cases: input, model bytes, expected spans. */
static const struct {
  const char *name, *model, *text;
  int64_t count;
  fullstop_span spans[3];
} kCases[] = {
    {"empty input gives one empty span", "1\ttype_2_2\n", "", 1, {{0, 0}}},
    {"no records: one sentence", "", "One. Two.", 1, {{0, 9}}},
    {"a weighted period splits", "3\ttext_2_.\n", "One two. Three four.", 2, {{0, 8}, {9, 20}}},
    {"a blank line always splits", "", "a b c d\n\ne f g", 2, {{0, 7}, {9, 14}}},
    {"unicode mode: original offsets", "0\t#text-mode=unicode\n3\ttype_2_2\n",
     "\xc3\x89t\xc3\xa9 fini. Oui.", 2, {{0, 11}, {12, 16}}},
    {"unicode mode: empty input gives no span", "0\t#text-mode=unicode\n", "", 0, {{0, 0}}},
    {"unicode mode: blank input gives no span", "0\t#text-mode=unicode\n", "\xef\xbb\xbf \r\n\n\t", 0, {{0, 0}}},
};

static void small_cases(void) {
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; i++) {
    char *error = (char *)1;
    fullstop_model *m = fullstop_model_parse(kCases[i].model, strlen(kCases[i].model), &error);
    CHECK(m != NULL && error == NULL, "%s: model does not parse", kCases[i].name);
    if (m == NULL) continue;
    fullstop_span *spans = NULL;
    int64_t n = fullstop_split(m, kCases[i].text, strlen(kCases[i].text), &spans, &error);
    CHECK(n == kCases[i].count, "%s: %lld spans", kCases[i].name, (long long)n);
    for (int64_t k = 0; k < n && k < kCases[i].count; k++)
      CHECK(spans[k].start == kCases[i].spans[k].start && spans[k].end == kCases[i].spans[k].end,
            "%s: span %lld is [%lld, %lld)", kCases[i].name, (long long)k,
            (long long)spans[k].start, (long long)spans[k].end);
    free(spans);
    fullstop_model_free(m);
  }
}

static void conventions(const char *version) {
  char *error = NULL;
  CHECK(fullstop_model_load("/nonexistent/x.model", &error) == NULL && error != NULL &&
            strstr(error, "/nonexistent/x.model") != NULL,
        "a missing model fails with a message naming it");
  free(error);
  CHECK(fullstop_model_load("/nonexistent/x.model", NULL) == NULL, "error may be NULL");
  /* A directory opens but holds no model: the same failure, not an empty model. */
  error = NULL;
  CHECK(fullstop_model_load("/tmp", &error) == NULL && error != NULL && strstr(error, "/tmp: ") != NULL,
        "a directory as the model fails with a message naming it");
  free(error);

  error = NULL;
  const char bad_mode[] = "0\t#text-mode=klingon\n";
  CHECK(fullstop_model_parse(bad_mode, sizeof bad_mode - 1, &error) == NULL && error != NULL &&
            strstr(error, "unknown text mode 'klingon'") != NULL,
        "an unknown text mode fails");
  free(error);

  const char stops[] = "1\ttext_2_.\nnot a record\n2\ttype_0_0\n";
  fullstop_model *m = fullstop_model_parse(stops, sizeof stops - 1, &error);
  CHECK(m != NULL && fullstop_model_records(m) == 1, "loading stops at the bad record");
  const char *warning = fullstop_model_warning(m);
  CHECK(warning != NULL && strstr(warning, ":2: not a weight and feature name; loading stopped, 1 features loaded") != NULL,
        "the warning says where loading stopped: %s", warning ? warning : "(none)");

  fullstop_span *spans = NULL;
  CHECK(fullstop_split(m, NULL, 0, &spans, &error) == 1 && spans[0].start == 0 && spans[0].end == 0,
        "NULL text with length 0 is empty input");
  free(spans);
  CHECK(fullstop_split(NULL, "x", 1, &spans, &error) == -1 && error != NULL && spans == NULL,
        "a NULL model fails");
  free(error);
  CHECK(fullstop_split_jobs(m, "x", 1, -1, &spans, &error) == -1 && error != NULL && spans == NULL,
        "negative jobs fail");
  free(error);
  CHECK(fullstop_split_jobs(NULL, "x", 1, 2, &spans, NULL) == -1, "a NULL model fails with jobs");

  fullstop_eval counts;
  const char lines[] = "One two three.\nFour five six.\nSeven eight.\n";
  CHECK(fullstop_evaluate(m, lines, sizeof lines - 1, &counts, NULL) == 0 && counts.sites == 2 &&
            counts.true_positives == 2,
        "evaluation counts the sites");
  char *form = NULL;
  size_t form_len = 0;
  CHECK(fullstop_render(m, "Mr.  Smith\nleft.", 16, FULLSTOP_FORMAT_LINES, 1, &form, &form_len, NULL) == 0 &&
            strcmp(form, "Mr. Smith left.\n") == 0 && form_len == strlen(form),
        "the lines form: %s", form ? form : "(none)");
  free(form);
  CHECK(fullstop_render(m, "x", 1, 42, 1, &form, NULL, &error) == -1 && form == NULL && error != NULL,
        "an unknown form fails");
  free(error);
  fullstop_model_free(m);
  fullstop_model_free(NULL);

  char *contexts = NULL, *features = NULL;
  size_t contexts_len = 0, features_len = 0;
  CHECK(fullstop_training_contexts("A b. C d e.\n", 12, FULLSTOP_TEXT_CLASSIC, &contexts,
                                   &contexts_len, &features, &features_len, &error) == 0 &&
            strncmp(contexts, "2\n", 2) == 0 && strncmp(features, "0\ttext_0_A\n", 11) == 0 &&
            contexts_len == strlen(contexts),
        "training contexts and the feature list");
  free(contexts);
  free(features);

  if (version != NULL)
    CHECK(strcmp(fullstop_version(), version) == 0, "version %s, expected %s", fullstop_version(),
          version);
}

/* Finding a model by name: `model_a` names NAME.model in FOLDER, which
 * FULLSTOP_MODEL_PATH then puts first. */
static void lookup(const char *model_a) {
  char folder[4096], name[256], *error = NULL;
  const char *slash = strrchr(model_a, '/');
  snprintf(folder, sizeof folder, "%.*s", (int)(slash - model_a), model_a);
  snprintf(name, sizeof name, "%.*s", (int)(strlen(slash + 1) - strlen(".model")), slash + 1);
  setenv("FULLSTOP_MODEL_PATH", folder, 1);

  char *path = fullstop_model_find(name, "/nonexistent/own", &error);
  CHECK(path != NULL && strcmp(path, model_a) == 0 && error == NULL, "%s found as %s", name, path ? path : error);
  free(path);
  char *search = fullstop_model_search_path("/nonexistent/own", NULL);
  size_t n = strlen(folder);
  CHECK(search != NULL && strncmp(search, folder, n) == 0 && strncmp(search + n, ":/nonexistent/own", 17) == 0,
        "the variable's folders, then the caller's: %s", search ? search : "(null)");
  free(search);
  path = fullstop_model_find("somewhere/x", NULL, NULL);
  CHECK(path != NULL && strcmp(path, "somewhere/x") == 0, "a name with a slash is a path");
  free(path);

  fullstop_model *named = fullstop_model_load_named(name, &error);
  fullstop_model *direct = fullstop_model_load(model_a, NULL);
  CHECK(named != NULL && direct != NULL && fullstop_model_records(named) == fullstop_model_records(direct),
        "load_named loads the file found");
  fullstop_model_free(named);
  fullstop_model_free(direct);

  CHECK(fullstop_model_load_named("no-such-model", &error) == NULL && error != NULL &&
            strstr(error, "no model 'no-such-model': no no-such-model.model in ") != NULL &&
            strstr(error, folder) != NULL,
        "a missing name fails, naming the folders searched: %s", error ? error : "(none)");
  free(error);
  CHECK(fullstop_model_find(NULL, NULL, &error) == NULL && error != NULL, "a NULL name fails");
  free(error);
  unsetenv("FULLSTOP_MODEL_PATH");
}

int main(int argc, char **argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: c_api_test FULLSTOP MODEL_A MODEL_B TEXT [VERSION]\n");
    return 2;
  }
  small_cases();
  conventions(argc > 5 ? argv[5] : NULL);
  lookup(argv[2]);

  FILE *f = fopen(argv[4], "rb");
  if (f == NULL) {
    perror(argv[4]);
    return 1;
  }
  size_t len;
  char *text = read_all(f, &len);
  fclose(f);

  fullstop_model *models[2];
  fullstop_span *want[2];
  int64_t want_count[2];
  for (int m = 0; m < 2; m++) {
    char *error = NULL;
    models[m] = fullstop_model_load(argv[2 + m], &error);
    if (models[m] == NULL) {
      fprintf(stderr, "%s\n", error);
      return 1;
    }
    want[m] = program_spans(argv[1], argv[2 + m], argv[4], &want_count[m]);
    CHECK(want[m] != NULL && want_count[m] > 0, "the program printed no sentences");
  }
  pthread_t threads[4];
  struct job jobs[4];
  for (int t = 0; t < 4; t++) {
    jobs[t] = (struct job){models[t % 2], text, len, want[t % 2], want_count[t % 2], 3, 0};
    pthread_create(&threads[t], NULL, split_rounds, &jobs[t]);
  }
  for (int t = 0; t < 4; t++) {
    pthread_join(threads[t], NULL);
    CHECK(jobs[t].mismatches == 0, "thread %d: %d splits differ from the program's", t,
          jobs[t].mismatches);
  }
  for (int m = 0; m < 2; m++) {
    fullstop_model_free(models[m]);
    free(want[m]);
  }
  free(text);
  if (failures == 0) printf("c_api_test: all checks passed (%lld and %lld sentences)\n",
                            (long long)want_count[0], (long long)want_count[1]);
  return failures == 0 ? 0 : 1;
}
