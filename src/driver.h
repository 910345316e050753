// The run driver: options, the input phase, then the training path or, with a
// model, the detection path.
#ifndef FULLSTOP_DRIVER_H
#define FULLSTOP_DRIVER_H

#include <stdexcept>
#include <string>

#include "unicode.h"

extern const char *model_fname;  // -m: take the detection path with this model
extern int do_test;              // -t: evaluation instead of sentence output
extern int full_text;            // -f, -F: print each sentence's text
extern int only_text;            // -F: bare lines of text, no markup
// --text-mode=classic|unicode: the text mode whatever the model declares.
extern TextMode forced_text_mode;
extern bool text_mode_forced;

// The sentence forms that --format adds.  With kFormatClassic, full_text and
// only_text choose among the classic three (offsets, -f, -F).
enum OutputFormat { kFormatClassic, kFormatText, kFormatJsonl, kFormatTsv };
extern int output_format;

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
Request parse_opts(int argc, char **argv);

// The --help text.
const char *usage_text();

// Everything after reading the input: the feature index, then the
// detection path (with `model_fname`) or the training path, which writes the
// feature list to `features_def`.  `data` must hold the input.
void run_paths(const char *features_def);

// Warns about operands (they are never input) and, when standard input is a
// terminal, says that text is awaited.
void explain_input(int argc, char **argv);

// The whole run; returns the exit status.
int run(int argc, char **argv);

// Clears every global of the detector (for tests that run it in-process).
void reset_run();

#endif  // FULLSTOP_DRIVER_H
