// fullstop for C++: RAII over the C API of <fullstop/fullstop.h>.
//
//   fullstop::Model model = fullstop::Model::load_named("en");  // or load(path)
//   for (fullstop_span s : model.split(text)) ...
//
// A Model is immutable and may be shared by any number of threads.  Failures
// throw fullstop::Error; no exception ever crosses into the C library.
#ifndef FULLSTOP_FULLSTOP_HPP
#define FULLSTOP_FULLSTOP_HPP

#include <algorithm>
#include <cstdlib>
#include <istream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fullstop/fullstop.h"

namespace fullstop {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace detail {
// Takes a message the C API allocated and throws it.
[[noreturn]] inline void raise(char *message) {
  std::string text = message != nullptr ? message : "unknown error";
  std::free(message);
  throw Error(text);
}
// Takes the spans a call returned (n of them, or n < 0 and its message).
inline std::vector<fullstop_span> take_spans(int64_t n, fullstop_span *spans, char *message) {
  if (n < 0) raise(message);
  std::vector<fullstop_span> out(spans, spans + n);
  std::free(spans);
  return out;
}
// Takes a string the C API allocated, or throws its message.
inline std::string take(char *text, char *message) {
  if (text == nullptr) raise(message);
  std::string out = text;
  std::free(text);
  return out;
}
}  // namespace detail

// The file a model name names, as fullstop_model_find finds it: a path as it
// is, else NAME.model in FULLSTOP_MODEL_PATH, `folders` (colon-separated, of
// the caller's own) and the installed models' folder.
inline std::string find_model(const std::string &name, const std::string &folders = "") {
  char *error = nullptr;
  char *path = fullstop_model_find(name.c_str(), folders.c_str(), &error);
  return detail::take(path, error);
}

// The folders find_model searches, in order.
inline std::vector<std::string> model_search_path(const std::string &folders = "") {
  char *error = nullptr;
  std::string joined = detail::take(fullstop_model_search_path(folders.c_str(), &error), error);
  std::vector<std::string> out;
  for (size_t start = 0; start < joined.size();) {
    size_t colon = std::min(joined.find(':', start), joined.size());
    out.push_back(joined.substr(start, colon - start));
    start = colon + 1;
  }
  return out;
}

class Model {
 public:
  static Model load(const std::string &path) {
    char *error = nullptr;
    fullstop_model *m = fullstop_model_load(path.c_str(), &error);
    if (m == nullptr) detail::raise(error);
    return Model(m);
  }
  // A model by name ("en", "de") or path, as find_model finds it.
  static Model load_named(const std::string &name) {
    char *error = nullptr;
    fullstop_model *m = fullstop_model_load_named(name.c_str(), &error);
    if (m == nullptr) detail::raise(error);
    return Model(m);
  }
  static Model parse(std::string_view bytes) {
    char *error = nullptr;
    fullstop_model *m = fullstop_model_parse(bytes.data(), bytes.size(), &error);
    if (m == nullptr) detail::raise(error);
    return Model(m);
  }
  // Reads the stream to its end as the bytes of a model file.
  static Model load(std::istream &in) {
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw Error("model stream: read error");
    return parse(bytes);
  }

  // Sentences of text, as `fullstop -m MODEL` prints their offsets.
  std::vector<fullstop_span> split(std::string_view text) const {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_split(model_.get(), text.data(), text.size(), &spans, &error);
    return detail::take_spans(n, spans, error);
  }
  // The same on `jobs` threads (0: all online CPUs), with the same spans.
  std::vector<fullstop_span> split(std::string_view text, int jobs) const {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_split_jobs(model_.get(), text.data(), text.size(), jobs, &spans, &error);
    return detail::take_spans(n, spans, error);
  }
  // The sentences printed in an output form (FULLSTOP_FORMAT_*), as the
  // program prints them with that form, on `jobs` threads (0: all online CPUs).
  std::string render(std::string_view text, int format, int jobs = 1) const {
    char *output = nullptr, *error = nullptr;
    size_t len = 0;
    if (fullstop_render(model_.get(), text.data(), text.size(), format, jobs, &output, &len, &error) != 0)
      detail::raise(error);
    std::string out(output, len);
    std::free(output);
    return out;
  }
  // Counts of `fullstop -m MODEL -t` on sentence-per-line text.
  fullstop_eval evaluate(std::string_view lines) const {
    fullstop_eval counts{};
    char *error = nullptr;
    if (fullstop_evaluate(model_.get(), lines.data(), lines.size(), &counts, &error) != 0)
      detail::raise(error);
    return counts;
  }
  // Empty, or why loading stopped early.
  std::string warning() const {
    const char *w = fullstop_model_warning(model_.get());
    return w != nullptr ? w : "";
  }
  bool unicode() const { return fullstop_model_text_mode(model_.get()) == FULLSTOP_TEXT_UNICODE; }
  size_t records() const { return fullstop_model_records(model_.get()); }
  const fullstop_model *get() const { return model_.get(); }

 private:
  explicit Model(fullstop_model *m) : model_(m, &fullstop_model_free) {}
  std::shared_ptr<fullstop_model> model_;
};

// Sentences of text that arrives in pieces: feed() returns those decided so
// far, finish() the rest, offsets from the stream's start.  Holds the model.
class Stream {
 public:
  explicit Stream(const Model &model) : model_(model), stream_(nullptr, &fullstop_stream_free) {
    char *error = nullptr;
    stream_.reset(fullstop_stream_new(model.get(), &error));
    if (stream_ == nullptr) detail::raise(error);
  }
  std::vector<fullstop_span> feed(std::string_view bytes) {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_stream_feed(stream_.get(), bytes.data(), bytes.size(), &spans, &error);
    return take(n, spans, error);
  }
  // Every sentence the complete lines fed so far settle (see fullstop_stream_pump).
  std::vector<fullstop_span> pump() {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_stream_pump(stream_.get(), &spans, &error);
    return take(n, spans, error);
  }
  std::vector<fullstop_span> finish() {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_stream_finish(stream_.get(), &spans, &error);
    return take(n, spans, error);
  }

 private:
  static std::vector<fullstop_span> take(int64_t n, fullstop_span *spans, char *error) {
    return detail::take_spans(n, spans, error);
  }
  Model model_;
  std::unique_ptr<fullstop_stream, void (*)(fullstop_stream *)> stream_;
};

// Many texts split one after another by one thread, each exactly as
// Model::split splits it, with what earlier calls learned kept (see
// fullstop_splitter_new): the way to split many short texts.  Holds the
// model; give each thread a Splitter of its own.
class Splitter {
 public:
  explicit Splitter(const Model &model) : model_(model), splitter_(nullptr, &fullstop_splitter_free) {
    char *error = nullptr;
    splitter_.reset(fullstop_splitter_new(model.get(), &error));
    if (splitter_ == nullptr) detail::raise(error);
  }
  std::vector<fullstop_span> split(std::string_view text) {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_splitter_split(splitter_.get(), text.data(), text.size(), &spans, &error);
    return detail::take_spans(n, spans, error);
  }

 private:
  Model model_;
  std::unique_ptr<fullstop_splitter, void (*)(fullstop_splitter *)> splitter_;
};

// Training contexts and the feature list of sentence-per-line text.
struct TrainingMaterial {
  std::string contexts, features;
};
inline TrainingMaterial training_contexts(std::string_view lines, bool unicode = false) {
  char *contexts = nullptr, *features = nullptr, *error = nullptr;
  size_t contexts_len = 0, features_len = 0;
  if (fullstop_training_contexts(lines.data(), lines.size(),
                                 unicode ? FULLSTOP_TEXT_UNICODE : FULLSTOP_TEXT_CLASSIC, &contexts,
                                 &contexts_len, &features, &features_len, &error) != 0)
    detail::raise(error);
  TrainingMaterial m{std::string(contexts, contexts_len), std::string(features, features_len)};
  std::free(contexts);
  std::free(features);
  return m;
}

inline const char *version() { return fullstop_version(); }

}  // namespace fullstop

#endif  // FULLSTOP_FULLSTOP_HPP
