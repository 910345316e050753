// The run driver: options, the input phase, then the training path or, with a
// model, the detection path.
#ifndef FULLSTOP_DRIVER_H
#define FULLSTOP_DRIVER_H

#include <functional>
#include <stdexcept>
#include <string>

#include "detect.h"
#include "intake.h"
#include "unicode.h"
#include "util.h"

// What the command line asks of a run.
struct Options {
  const char *model_fname = nullptr;  // -m: take the detection path with this model
  std::string resolved_model;         // the file --model named; model_fname points into it
  DetectOptions detect;               // -t, -f, -F, --format
  // --text-mode=classic|unicode: the text mode whatever the model declares.
  TextMode forced_text_mode = TextMode::classic;
  bool text_mode_forced = false;
  // --jobs: threads deciding detection and evaluation (0: all online CPUs).
  // Training and a model that names a feature twice run on one.
  int jobs = 1;
};

// A bad long option or option value: main prints the message (when there is
// one: getopt may have printed its own) and, with `hint`, a pointer to
// --help, and exits 2.
struct UsageError : std::runtime_error {
  explicit UsageError(const std::string &message, bool hint = true)
      : std::runtime_error(message), hint(hint) {}
  bool hint;
};

// What the command line asks for besides a run.
enum class Request { run, help, version };

// Reads the options with getopt_long: the classic "m:tfF" and the long
// options of --help (--text-mode among them).  Unknown short options and -m without an argument get
// getopt's own message and are otherwise ignored, as they always were; a bad
// long option or value throws UsageError.
Request parse_opts(int argc, char **argv, Options &options);

// The --help text.
const char *usage_text();

// Everything after reading the input: the detection path (with a model) or
// the training path, which writes the feature list to `features_def`.
// Output goes to `out` (flushed at the end), warnings to `warn` (each
// without the program's "fullstop: warning: " prefix), in the order the
// program prints them; errors throw.
using Warn = std::function<void(const std::string &)>;
void run_paths(Input &in, const Options &options, Output &out, const char *features_def,
               const Warn &warn);
// The two paths on their own: detection with a loaded model (named `name` in
// messages), and training into `table` (the caller writes the feature list).
void detection_path(Input &in, const LoadedModel &model, const char *name, const Options &options,
                    Output &out, const Warn &warn);
// Detection (or evaluation) reading file descriptor fd as a stream: each
// sentence is printed once decided, and output is flushed before every read
// that would wait.  With options.jobs other than 1, blocks of the stream are
// decided on several threads (parallel.h), with the same output.
void stream_detection(int fd, const Options &options, Output &out, const Warn &warn);
void training_path(Input &in, FeatureTable &table, const Options &options, Output &out);
// Training reading file descriptor fd as a stream: each context is written
// once decided, output is flushed before every read that would wait, and the
// feature list goes to `features_def` at the end.
void stream_training(int fd, const Options &options, Output &out, const char *features_def);
// Writes the feature list to path, replacing the file whole (atomic_file.h).
// A file that cannot be written throws fullstop::Failure with a message.
void write_features_def(const FeatureTable &table, const char *path);

// Warns about operands (they are never input) and, when standard input is a
// terminal, says that text is awaited.
void explain_input(int argc, char **argv);

// The whole run; returns the exit status.
int run(int argc, char **argv);

#endif  // FULLSTOP_DRIVER_H
