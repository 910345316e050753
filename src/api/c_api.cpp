// The C API of include/fullstop/fullstop.h over the core.  Every entry point
// catches everything: no exception crosses into C, and failures become a
// message for the caller.
#include "fullstop/fullstop.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "core/base/error.h"
#include "core/base/output.h"
#include "core/decide/training.h"
#include "core/model/model_file.h"
#include "core/model/model_search.h"
#include "core/run/parallel.h"
#include "core/run/session.h"
#include "core/run/stream.h"
#include "version.h"

using fullstop::core::ErrorKind;
using fullstop::core::fail;

struct fullstop_model {
  fullstop::core::LoadedModel loaded;
  fullstop::core::Reading reading;
  // Splitters kept between fullstop_split calls on short texts (see
  // split_pooled), each serving one call at a time: the model's loaded
  // tables stay shared and unchanged.
  mutable std::mutex idle_mutex;
  mutable std::vector<std::unique_ptr<fullstop::core::TextSplitter>> idle;
};

namespace {

namespace core = fullstop::core;

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

void require(bool ok, const char *what) {
  if (!ok) fail(ErrorKind::argument, what);
}

// The text of a call: `text` may be NULL when len is 0.
std::string_view text_of(const char *text, size_t len) {
  require(text != nullptr || len == 0, "text is NULL");
  return std::string_view(text != nullptr ? text : "", len);
}

// ===== Models ================================================================

fullstop_model *finish_load(std::unique_ptr<fullstop_model> m, const char *name) {
  m->reading = core::model_reading(m->loaded, name);
  return m.release();
}

// Hands found spans to the caller as a malloc'd array; returns their number.
int64_t hand_over(const std::vector<core::SentenceSpan> &found, fullstop_span **spans) {
  static_assert(sizeof(core::SentenceSpan) == sizeof(fullstop_span));
  auto *out = static_cast<fullstop_span *>(std::malloc(found.size() * sizeof(fullstop_span) + 1));
  if (out == nullptr) throw std::bad_alloc();
  for (size_t i = 0; i < found.size(); i++) out[i] = fullstop_span{found[i].start, found[i].end};
  *spans = out;
  return static_cast<int64_t>(found.size());
}

// A malloc'd, NUL-terminated copy of text.
char *hand_over(const std::string &text) {
  char *copy = static_cast<char *>(std::malloc(text.size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, text.data(), text.size() + 1);
  return copy;
}

// Whether a run of `len` bytes on `jobs` threads is cut into blocks: text of
// up to a block, one thread and a model that names a feature twice
// (run/parallel.h) run on the calling thread.
bool in_blocks(const fullstop_model *model, size_t len, int jobs) {
  return core::resolve_jobs(jobs) > 1 && len > core::kDefaultBlockSize && core::parallel_safe(model->loaded.table);
}

// Detection of a whole text, with `output`'s results.
void run_detection(const fullstop_model *model, std::string_view text, int jobs, const core::RunOutput &output) {
  if (in_blocks(model, text.size(), jobs)) {
    core::ParallelStream stream(model->loaded.table, model->reading, output, core::resolve_jobs(jobs));
    if (!text.empty()) stream.feed(text.data(), text.size());
    stream.finish();
    return;
  }
  core::detect_any_length(model->loaded.table, model->reading, text, output);
}

// fullstop_split of a text of up to kPooledText bytes on the calling
// thread goes through a splitter kept with the model: it decides each text
// exactly as a fresh run does (see TextSplitter) but keeps the words met,
// their ids and partial sums, and its room, where a fresh run learns every
// word of a short text again and sets up its tables for it, which cost a
// text of a few hundred bytes three to four times its splitting.  Calls at
// once take a splitter each; a few are kept.  A longer text, whose set-up
// is a small part of its cost, runs afresh, so that no kept splitter holds
// the room a large text needed.
constexpr size_t kPooledText = size_t{256} << 10;
constexpr size_t kKeptSplitters = 8;

int64_t split_pooled(const fullstop_model &model, std::string_view text, fullstop_span **spans) {
  std::unique_ptr<core::TextSplitter> splitter;
  {
    std::lock_guard<std::mutex> lock(model.idle_mutex);
    model.idle.reserve(kKeptSplitters);  // so that giving it back cannot fail
    if (!model.idle.empty()) {
      splitter = std::move(model.idle.back());
      model.idle.pop_back();
    }
  }
  if (splitter == nullptr) splitter = std::make_unique<core::TextSplitter>(model.loaded.table, model.reading);
  // (A splitter that throws is dropped, not kept.)
  const int64_t count = hand_over(splitter->split(text), spans);
  std::lock_guard<std::mutex> lock(model.idle_mutex);
  if (model.idle.size() < kKeptSplitters) model.idle.push_back(std::move(splitter));
  return count;
}

}  // namespace

extern "C" {

const char *fullstop_version(void) { return FULLSTOP_VERSION; }

fullstop_model *fullstop_model_load(const char *path, char **error) {
  fullstop_model *result = nullptr;
  guarded(error, [&] {
    require(path != nullptr, "model path is NULL");
    auto m = std::make_unique<fullstop_model>();
    core::load_model_file(m->loaded, path);
    result = finish_load(std::move(m), path);
  });
  return result;
}

fullstop_model *fullstop_model_parse(const char *bytes, size_t len, char **error) {
  fullstop_model *result = nullptr;
  guarded(error, [&] {
    require(bytes != nullptr || len == 0, "model bytes are NULL");
    auto m = std::make_unique<fullstop_model>();
    core::load_model_bytes(m->loaded, "model", std::string_view(bytes != nullptr ? bytes : "", len));
    result = finish_load(std::move(m), "model");
  });
  return result;
}

const char *fullstop_model_warning(const fullstop_model *model) {
  if (model == nullptr || model->loaded.warning.empty()) return nullptr;
  return model->loaded.warning.c_str();
}

int fullstop_model_text_mode(const fullstop_model *model) {
  return model != nullptr && model->reading.mode == core::TextMode::unicode ? FULLSTOP_TEXT_UNICODE
                                                                           : FULLSTOP_TEXT_CLASSIC;
}

size_t fullstop_model_records(const fullstop_model *model) {
  return model != nullptr ? model->loaded.load.records : 0;
}

void fullstop_model_free(fullstop_model *model) { delete model; }

char *fullstop_model_find(const char *name, const char *folders, char **error) {
  char *result = nullptr;
  guarded(error, [&] {
    require(name != nullptr, "model name is NULL");
    result = hand_over(core::find_model(name, core::model_folders(folders != nullptr ? folders : "")));
  });
  return result;
}

char *fullstop_model_search_path(const char *folders, char **error) {
  char *result = nullptr;
  guarded(error, [&] {
    std::string joined;
    for (const auto &folder : core::model_folders(folders != nullptr ? folders : ""))
      joined += (joined.empty() ? "" : ":") + folder;
    result = hand_over(joined);
  });
  return result;
}

fullstop_model *fullstop_model_load_named(const char *name, char **error) {
  char *path = fullstop_model_find(name, nullptr, error);
  if (path == nullptr) return nullptr;
  fullstop_model *model = fullstop_model_load(path, error);
  std::free(path);
  return model;
}

// ===== Detection =============================================================

int64_t fullstop_split(const fullstop_model *model, const char *text, size_t len, fullstop_span **spans,
                       char **error) {
  return fullstop_split_jobs(model, text, len, 1, spans, error);
}

int64_t fullstop_split_jobs(const fullstop_model *model, const char *text, size_t len, int jobs,
                            fullstop_span **spans, char **error) {
  int64_t count = -1;
  if (spans != nullptr) *spans = nullptr;
  guarded(error, [&] {
    if (jobs < 0) fail(ErrorKind::argument, "jobs is negative (" + std::to_string(jobs) + ")");
    require(model != nullptr, "model is NULL");
    require(spans != nullptr, "spans is NULL");
    const std::string_view whole = text_of(text, len);
    if (jobs == 1 && len <= kPooledText) {
      count = split_pooled(*model, whole, spans);
      return;
    }
    std::vector<core::SentenceSpan> found;
    // Room for a sentence per 64 bytes (prose has one per 100 or more) up to
    // a million: growing from empty would copy the spans and fault in new
    // pages at every doubling, and untouched room costs no memory.
    found.reserve(std::min<size_t>(len / 64, size_t{1} << 20) + 1);
    // Spans need no padding after the text: it is read in place.
    run_detection(model, whole, jobs, core::RunOutput{core::Task::detect, core::FormKind::xml, nullptr, &found});
    count = hand_over(found, spans);
  });
  return count;
}

}  // extern "C"

struct fullstop_splitter {
  explicit fullstop_splitter(const fullstop_model &model) : splitter(model.loaded.table, model.reading) {}
  fullstop::core::TextSplitter splitter;
};

extern "C" {

fullstop_splitter *fullstop_splitter_new(const fullstop_model *model, char **error) {
  fullstop_splitter *result = nullptr;
  guarded(error, [&] {
    require(model != nullptr, "model is NULL");
    result = new fullstop_splitter(*model);
  });
  return result;
}

int64_t fullstop_splitter_split(fullstop_splitter *splitter, const char *text, size_t len, fullstop_span **spans,
                                char **error) {
  int64_t count = -1;
  if (spans != nullptr) *spans = nullptr;
  guarded(error, [&] {
    require(splitter != nullptr, "splitter is NULL");
    require(spans != nullptr, "spans is NULL");
    count = hand_over(splitter->splitter.split(text_of(text, len)), spans);
  });
  return count;
}

void fullstop_splitter_free(fullstop_splitter *splitter) { delete splitter; }

int fullstop_render(const fullstop_model *model, const char *text, size_t len, int format, int jobs,
                    char **output, size_t *output_len, char **error) {
  if (output != nullptr) *output = nullptr;
  bool ok = guarded(error, [&] {
    if (jobs < 0) fail(ErrorKind::argument, "jobs is negative (" + std::to_string(jobs) + ")");
    require(model != nullptr, "model is NULL");
    require(output != nullptr, "output is NULL");
    core::FormKind kind;
    switch (format) {
      case FULLSTOP_FORMAT_XML: kind = core::FormKind::xml; break;
      case FULLSTOP_FORMAT_XML_WITH_TEXT: kind = core::FormKind::xml_with_text; break;
      case FULLSTOP_FORMAT_TEXT: kind = core::FormKind::text; break;
      case FULLSTOP_FORMAT_LINES: kind = core::FormKind::lines; break;
      case FULLSTOP_FORMAT_JSONL: kind = core::FormKind::jsonl; break;
      case FULLSTOP_FORMAT_TSV: kind = core::FormKind::tsv; break;
      default: fail(ErrorKind::argument, "unknown format " + std::to_string(format));
    }
    const std::string_view whole = text_of(text, len);
    core::StringSink sink;
    core::Output out(sink);
    run_detection(model, whole, jobs, core::RunOutput{core::Task::detect, kind, &out, nullptr});
    out.flush();
    if (output_len != nullptr) *output_len = sink.text.size();
    *output = hand_over(sink.text);
  });
  return ok ? 0 : -1;
}

}  // extern "C"

struct fullstop_stream {
  explicit fullstop_stream(const fullstop_model &model)
      : stream(model.loaded.table, model.reading,
               fullstop::core::RunOutput{fullstop::core::Task::detect, fullstop::core::FormKind::xml, nullptr, &found},
               0) {}
  std::vector<fullstop::core::SentenceSpan> found;
  fullstop::core::SentenceStream stream;
  bool finished = false;
};

namespace {

// A call on a stream: `step` works on it, then the sentences found so far
// go to the caller.
template <typename Step>
int64_t stream_call(fullstop_stream *stream, fullstop_span **spans, char **error, Step step) {
  int64_t count = -1;
  if (spans != nullptr) *spans = nullptr;
  guarded(error, [&] {
    require(stream != nullptr, "stream is NULL");
    require(spans != nullptr, "spans is NULL");
    step(*stream);
    count = hand_over(stream->found, spans);
    stream->found.clear();
  });
  return count;
}

void require_open(const fullstop_stream &s) { require(!s.finished, "stream is finished"); }

}  // namespace

extern "C" {

fullstop_stream *fullstop_stream_new(const fullstop_model *model, char **error) {
  fullstop_stream *result = nullptr;
  guarded(error, [&] {
    require(model != nullptr, "model is NULL");
    result = new fullstop_stream(*model);
  });
  return result;
}

int64_t fullstop_stream_feed(fullstop_stream *stream, const char *bytes, size_t len, fullstop_span **spans,
                             char **error) {
  return stream_call(stream, spans, error, [&](fullstop_stream &s) {
    require(bytes != nullptr || len == 0, "bytes are NULL");
    require_open(s);
    if (len != 0) s.stream.feed(bytes, len);
  });
}

int64_t fullstop_stream_pump(fullstop_stream *stream, fullstop_span **spans, char **error) {
  return stream_call(stream, spans, error, [](fullstop_stream &s) {
    require_open(s);
    s.stream.pump();
  });
}

int64_t fullstop_stream_finish(fullstop_stream *stream, fullstop_span **spans, char **error) {
  return stream_call(stream, spans, error, [](fullstop_stream &s) {
    require_open(s);
    s.finished = true;
    s.stream.finish();
  });
}

void fullstop_stream_free(fullstop_stream *stream) { delete stream; }

int fullstop_evaluate(const fullstop_model *model, const char *text, size_t len, fullstop_eval *counts,
                      char **error) {
  bool ok = guarded(error, [&] {
    require(model != nullptr, "model is NULL");
    require(counts != nullptr, "counts is NULL");
    const std::string_view whole = text_of(text, len);
    core::Session session(model->loaded.table, model->reading, core::RunOutput{core::Task::evaluate});
    const core::EvalCounts c = core::evaluate_text(session, whole, nullptr);
    *counts = fullstop_eval{c.nsites, c.ntrue_positives, c.nfalse_positives, c.ntrue_negatives, c.nfalse_negatives};
  });
  return ok ? 0 : -1;
}

// ===== Training ==============================================================

int fullstop_training_contexts(const char *text, size_t len, int text_mode, char **contexts, size_t *contexts_len,
                               char **features, size_t *features_len, char **error) {
  if (contexts != nullptr) *contexts = nullptr;
  if (features != nullptr) *features = nullptr;
  bool ok = guarded(error, [&] {
    require(contexts != nullptr && features != nullptr, "contexts or features is NULL");
    if (text_mode != FULLSTOP_TEXT_CLASSIC && text_mode != FULLSTOP_TEXT_UNICODE)
      fail(ErrorKind::argument, "unknown text mode " + std::to_string(text_mode));
    const auto mode = text_mode == FULLSTOP_TEXT_UNICODE ? core::TextMode::unicode : core::TextMode::classic;
    const std::string_view whole = text_of(text, len);
    core::FeatureTable table;
    core::Session session(table, mode);
    core::StringSink context_sink, feature_sink;
    core::Output out(context_sink), list(feature_sink);
    core::train_text(session, whole, out);
    out.flush();
    core::write_feature_list(table, list);
    list.flush();
    std::unique_ptr<char, core::FreeDeleter> c(hand_over(context_sink.text));
    char *f = hand_over(feature_sink.text);
    // Neither text holds a NUL: ids, counts and names (which NULs split).
    if (contexts_len != nullptr) *contexts_len = context_sink.text.size();
    if (features_len != nullptr) *features_len = feature_sink.text.size();
    *contexts = c.release();
    *features = f;
  });
  return ok ? 0 : -1;
}

}  // extern "C"
