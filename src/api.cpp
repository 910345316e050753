// The C API of include/fullstop/fullstop.h over the core.  Every entry point
// catches everything: no exception crosses into C, and failures become a
// message for the caller.
#include "fullstop/fullstop.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "detect.h"
#include "parallel.h"
#include "stream.h"
#include "feature.h"
#include "intake.h"
#include "training.h"
#include "util.h"
#include "version.h"

struct fullstop_model {
  LoadedModel loaded;
};

namespace {

// ===== Errors ================================================================

// A malloc'd copy of the message, or null when even that fails.
char *copy_message(const char *message) {
  size_t n = std::strlen(message);
  char *copy = static_cast<char *>(std::malloc(n + 1));
  if (copy != nullptr) std::memcpy(copy, message, n + 1);
  return copy;
}

void set_error(char **error, const char *message) {
  if (error != nullptr) *error = copy_message(message);
}

void clear_error(char **error) {
  if (error != nullptr) *error = nullptr;
}

// Runs f, turning whatever it throws into *error; false when it threw.
template <typename F>
bool guarded(char **error, F f) {
  clear_error(error);
  try {
    f();
    return true;
  } catch (const std::bad_alloc &) {
    set_error(error, "out of memory");
  } catch (const std::exception &e) {
    set_error(error, e.what());
  } catch (...) {
    set_error(error, "unknown error");
  }
  return false;
}

// ===== Models ================================================================

fullstop_model *finish_load(std::unique_ptr<fullstop_model> m, const char *name) {
  m->loaded.mode = declared_text_mode(m->loaded.table, name);
  return m.release();
}

// Hands found spans to the caller as a malloc'd array; returns their number.
int64_t hand_over(const std::vector<SentenceSpan> &found, fullstop_span **spans) {
  static_assert(sizeof(SentenceSpan) == sizeof(fullstop_span));
  auto *out = static_cast<fullstop_span *>(std::malloc(found.size() * sizeof(fullstop_span) + 1));
  if (out == nullptr) throw std::bad_alloc();
  for (size_t i = 0; i < found.size(); i++) out[i] = fullstop_span{found[i].start, found[i].end};
  *spans = out;
  return static_cast<int64_t>(found.size());
}

// Text for evaluation and training contexts: copied into a padded input.
// Only splitting reads the caller's bytes in place (Input::borrow), the path
// whose tail handling is tested against guard pages; these paths are not
// hot enough to need it.
void take_text(Input &in, const char *text, size_t len) {
  if (text == nullptr && len != 0) die("text is NULL");
  in.set(std::string_view(text != nullptr ? text : "", len));
}

// fullstop_split on `jobs` threads, in blocks of about `block_size` bytes
// (see parallel.h); the model must be parallel_safe.
int64_t split_in_blocks(const fullstop_model *model, const char *text, size_t len, int jobs,
                        size_t block_size, fullstop_span **spans, char **error) {
  int64_t count = -1;
  if (spans != nullptr) *spans = nullptr;
  guarded(error, [&] {
    if (model == nullptr) die("model is NULL");
    if (spans == nullptr) die("spans is NULL");
    if (text == nullptr && len != 0) die("text is NULL");
    std::vector<SentenceSpan> found;
    ParallelStream stream(model->loaded.table, model->loaded.mode, DetectOptions{}, nullptr, &found,
                          jobs, block_size);
    if (len != 0) stream.feed(text, len);
    stream.finish();
    count = hand_over(found, spans);
  });
  return count;
}

}  // namespace

extern "C" {

const char *fullstop_version(void) { return FULLSTOP_VERSION; }

fullstop_model *fullstop_model_load(const char *path, char **error) {
  fullstop_model *result = nullptr;
  guarded(error, [&] {
    if (path == nullptr) die("model path is NULL");
    auto m = std::make_unique<fullstop_model>();
    load_model_file(m->loaded, path);
    result = finish_load(std::move(m), path);
  });
  return result;
}

fullstop_model *fullstop_model_parse(const char *bytes, size_t len, char **error) {
  fullstop_model *result = nullptr;
  guarded(error, [&] {
    if (bytes == nullptr && len != 0) die("model bytes are NULL");
    auto m = std::make_unique<fullstop_model>();
    load_model_bytes(m->loaded, "model", std::string_view(bytes != nullptr ? bytes : "", len));
    result = finish_load(std::move(m), "model");
  });
  return result;
}

const char *fullstop_model_warning(const fullstop_model *model) {
  if (model == nullptr || model->loaded.warning.empty()) return nullptr;
  return model->loaded.warning.c_str();
}

int fullstop_model_text_mode(const fullstop_model *model) {
  return model != nullptr && model->loaded.mode == TextMode::unicode ? FULLSTOP_TEXT_UNICODE
                                                                     : FULLSTOP_TEXT_CLASSIC;
}

size_t fullstop_model_records(const fullstop_model *model) {
  return model != nullptr ? model->loaded.load.records : 0;
}

void fullstop_model_free(fullstop_model *model) { delete model; }

// ===== Detection =============================================================

int64_t fullstop_split(const fullstop_model *model, const char *text, size_t len,
                       fullstop_span **spans, char **error) {
  int64_t count = -1;
  if (spans != nullptr) *spans = nullptr;
  guarded(error, [&] {
    if (model == nullptr) die("model is NULL");
    if (spans == nullptr) die("spans is NULL");
    // Everything the run changes lives here, on this call's stack.
    Input in;
    // Read in place: spans need no padding after the text (Input::borrow).
    if (text == nullptr && len != 0) die("text is NULL");
    in.borrow(std::string_view(text != nullptr ? text : "", len));
    TextMode mode = model->loaded.mode;
    if (mode == TextMode::unicode) in.map();
    Scorer scorer(in, model->loaded.table);
    Detection detection(in, scorer, DetectOptions{});
    std::vector<SentenceSpan> found;
    // Room for a sentence per 64 bytes (prose has one per 100 or more) up to
    // a million: growing from empty would copy the spans and fault in new
    // pages at every doubling, and untouched room costs no memory.
    found.reserve(std::min<size_t>(len / 64, size_t{1} << 20) + 1);
    detection.spans = &found;
    detection.run(mode);
    count = hand_over(found, spans);
  });
  return count;
}

int64_t fullstop_split_jobs(const fullstop_model *model, const char *text, size_t len, int jobs,
                            fullstop_span **spans, char **error) {
  if (jobs < 0) {
    if (spans != nullptr) *spans = nullptr;
    set_error(error, ("jobs is negative (" + std::to_string(jobs) + ")").c_str());
    return -1;
  }
  int threads = resolve_jobs(jobs);
  // One block's worth of text, or a model that names a feature twice
  // (parallel.h): one thread, as fullstop_split.
  if (model == nullptr || threads == 1 || len <= kDefaultBlockSize || !parallel_safe(model->loaded.table))
    return fullstop_split(model, text, len, spans, error);
  return split_in_blocks(model, text, len, threads, kDefaultBlockSize, spans, error);
}

}  // extern "C"

struct fullstop_stream {
  explicit fullstop_stream(const fullstop_model &model)
      : stream(model.loaded.table, model.loaded.mode, DetectOptions{}, nullptr, &found, 0) {}
  std::vector<SentenceSpan> found;
  SentenceStream stream;
  bool finished = false;
};

namespace {

// Hands the sentences found so far to the caller.
int64_t take_spans(fullstop_stream &s, fullstop_span **spans) {
  auto *out = static_cast<fullstop_span *>(std::malloc(s.found.size() * sizeof(fullstop_span) + 1));
  if (out == nullptr) throw std::bad_alloc();
  for (size_t i = 0; i < s.found.size(); i++) out[i] = fullstop_span{s.found[i].start, s.found[i].end};
  *spans = out;
  auto count = static_cast<int64_t>(s.found.size());
  s.found.clear();
  return count;
}

}  // namespace

extern "C" {

fullstop_stream *fullstop_stream_new(const fullstop_model *model, char **error) {
  fullstop_stream *result = nullptr;
  guarded(error, [&] {
    if (model == nullptr) die("model is NULL");
    result = new fullstop_stream(*model);
  });
  return result;
}

int64_t fullstop_stream_feed(fullstop_stream *stream, const char *bytes, size_t len,
                             fullstop_span **spans, char **error) {
  int64_t count = -1;
  if (spans != nullptr) *spans = nullptr;
  guarded(error, [&] {
    if (stream == nullptr) die("stream is NULL");
    if (spans == nullptr) die("spans is NULL");
    if (bytes == nullptr && len != 0) die("bytes are NULL");
    if (stream->finished) die("stream is finished");
    if (len != 0) stream->stream.feed(bytes, len);
    count = take_spans(*stream, spans);
  });
  return count;
}

int64_t fullstop_stream_finish(fullstop_stream *stream, fullstop_span **spans, char **error) {
  int64_t count = -1;
  if (spans != nullptr) *spans = nullptr;
  guarded(error, [&] {
    if (stream == nullptr) die("stream is NULL");
    if (spans == nullptr) die("spans is NULL");
    if (stream->finished) die("stream is finished");
    stream->finished = true;
    stream->stream.finish();
    count = take_spans(*stream, spans);
  });
  return count;
}

void fullstop_stream_free(fullstop_stream *stream) { delete stream; }

int fullstop_evaluate(const fullstop_model *model, const char *text, size_t len,
                      fullstop_eval *counts, char **error) {
  bool ok = guarded(error, [&] {
    if (model == nullptr) die("model is NULL");
    if (counts == nullptr) die("counts is NULL");
    Input in;
    take_text(in, text, len);
    TextMode mode = model->loaded.mode;
    if (mode == TextMode::unicode) in.map(true);
    Scorer scorer(in, model->loaded.table);
    DetectOptions options;
    options.test = true;
    Detection detection(in, scorer, options);
    detection.run(mode);
    const EvalCounts &c = detection.counts;
    *counts = fullstop_eval{c.nsites, c.ntrue_positives, c.nfalse_positives, c.ntrue_negatives,
                            c.nfalse_negatives};
  });
  return ok ? 0 : -1;
}

// ===== Training ==============================================================

int fullstop_training_contexts(const char *text, size_t len, int text_mode, char **contexts,
                               size_t *contexts_len, char **features, size_t *features_len,
                               char **error) {
  if (contexts != nullptr) *contexts = nullptr;
  if (features != nullptr) *features = nullptr;
  bool ok = guarded(error, [&] {
    if (contexts == nullptr || features == nullptr) die("contexts or features is NULL");
    if (text_mode != FULLSTOP_TEXT_CLASSIC && text_mode != FULLSTOP_TEXT_UNICODE)
      die("unknown text mode " + std::to_string(text_mode));
    TextMode mode = text_mode == FULLSTOP_TEXT_UNICODE ? TextMode::unicode : TextMode::classic;
    Input in;
    take_text(in, text, len);
    if (mode == TextMode::unicode) in.map(true);
    FeatureTable table;
    Scorer scorer(in, table);
    StringSink context_sink, feature_sink;
    Output out(context_sink), list(feature_sink);
    Training training(in, scorer, out);
    training.report(mode);
    out.flush();
    write_feature_list(table, list);
    list.flush();
    char *c = copy_message(context_sink.text.c_str());
    char *f = copy_message(feature_sink.text.c_str());
    if (c == nullptr || f == nullptr) {
      std::free(c);
      std::free(f);
      throw std::bad_alloc();
    }
    // Neither text holds a NUL: ids, counts and names (which NULs split).
    if (contexts_len != nullptr) *contexts_len = context_sink.text.size();
    if (features_len != nullptr) *features_len = feature_sink.text.size();
    *contexts = c;
    *features = f;
  });
  return ok ? 0 : -1;
}

}  // extern "C"
