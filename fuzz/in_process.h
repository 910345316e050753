// Running the detector in-process through its library interface: input from
// memory, output into strings, a model loaded from bytes.  Nothing touches
// file descriptors or the file system, and errors arrive as exceptions.
#ifndef FULLSTOP_FUZZ_IN_PROCESS_H
#define FULLSTOP_FUZZ_IN_PROCESS_H

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/output.h"
#include "core/decide/training.h"
#include "core/model/model_file.h"
#include "core/run/session.h"
#include "core/run/stream.h"

namespace harness {

using namespace fullstop::core;

// What the program's options ask of a run: evaluation (-t) or detection in
// an output form (-f, -F, --format), and the text mode forced (--text-mode).
struct Options {
  bool test = false;
  FormKind form = FormKind::xml;
  bool text_mode_forced = false;
  TextMode forced_text_mode = TextMode::classic;
  ReadingRules training_rules = kTrainingRules;  // what training reads with

  RunOutput output(Output &out) const {
    return RunOutput{test ? Task::evaluate : Task::detect, form, &out, nullptr};
  }
  Reading reading(const LoadedModel &model, const char *name) const {
    return model_reading(model, name, text_mode_forced ? &forced_text_mode : nullptr);
  }
};

struct RunResult {
  std::string out;           // what the program prints on standard output
  std::string err;           // its warnings, as the program prints them
  std::string features_def;  // training: the feature list
  FeatureTable features;     // training: the records made
};

// Training when `model` is null, else detection with it (named `name` in
// warnings): one session over the whole input, as the library's calls run.
// Warnings of loading come from `model` itself.
inline void run_in_process(RunResult &r, std::string_view input, const LoadedModel *model, const char *name,
                           const Options &options) {
  StringSink sink;
  Output out(sink);
  if (model != nullptr) {
    if (!model->warning.empty()) r.err += "fullstop: warning: " + model->warning + "\n";
    const RunOutput output = options.output(out);
    Session session(model->table, options.reading(*model, name), output);
    run_text(session, input, output);
  } else {
    Session session(r.features, Reading{options.forced_text_mode, options.training_rules});
    train_text(session, input, out);
    StringSink def_sink;
    Output def(def_sink);
    write_feature_list(r.features, def);
    def.flush();
    r.features_def = std::move(def_sink.text);
  }
  out.flush();
  r.out = std::move(sink.text);
}

// Feeds `input` to a stream (anything with feed, pump and finish) in pieces
// of fewer than `most` bytes drawn from `seed`, pumping after some of them,
// as a pipe delivers text; then finishes it.
template <typename Stream>
void feed_in_pieces(Stream &stream, std::string_view input, uint32_t seed, uint32_t most) {
  for (size_t at = 0; at < input.size();) {
    seed = seed * 1103515245u + 12345u;
    size_t n = std::min(input.size() - at, static_cast<size_t>((seed >> 16) % most));
    stream.feed(input.data() + at, n);
    if (seed & 0x10000000u) stream.pump();
    at += n;
  }
  stream.finish();
}

// Detection as the program runs it on a pipe: the input in pieces (their
// sizes drawn from `seed`), each window run as soon as it may be, output
// that must be the whole-input run's byte for byte.
inline std::string stream_in_process(std::string_view input, const LoadedModel &model, const char *name,
                                     const Options &options, uint32_t seed) {
  StringSink sink;
  Output out(sink);
  SentenceStream stream(model.table, options.reading(model, name), options.output(out), 0);
  feed_in_pieces(stream, input, seed, 97);
  out.flush();
  return std::move(sink.text);
}

// Training as the program runs it on a pipe, pieces drawn from `seed`: the
// contexts, then the feature list after a line "--".
inline std::string train_stream_in_process(std::string_view input, TextMode mode, uint32_t seed,
                                           const ReadingRules &rules = kTrainingRules) {
  FeatureTable table;
  StringSink sink;
  Output out(sink);
  TrainingStream stream(table, Reading{mode, rules}, out, 0);
  feed_in_pieces(stream, input, seed, 97);
  out.write("--\n");
  write_feature_list(table, out);
  out.flush();
  return std::move(sink.text);
}

inline void load_model_from(LoadedModel &model, const char *name, std::string_view bytes) {
  load_model_bytes(model, name, bytes);
}

}  // namespace harness

#endif  // FULLSTOP_FUZZ_IN_PROCESS_H
