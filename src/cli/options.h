// The fullstop program's command line.
#ifndef FULLSTOP_CLI_OPTIONS_H
#define FULLSTOP_CLI_OPTIONS_H

#include <string>

#include "core/render/form.h"
#include "core/text/text_mode.h"
#include "core/tokens/reading_rules.h"

namespace fullstop::cli {

// What the command line asks of a run.
struct Options {
  const char *model_fname = nullptr;  // -m: take the detection path with this model
  std::string resolved_model;         // the file --model named; model_fname points into it
  bool evaluate = false;              // -t
  // The sentence form: -f, -F and --format, the last of them winning, except
  // that -f leaves the -F form as it is (as it always has).
  core::FormKind form = core::FormKind::xml;
  // --text-mode=classic|unicode: the text mode whatever the model declares.
  core::TextMode forced_text_mode = core::TextMode::classic;
  bool text_mode_forced = false;
  // --jobs: threads deciding detection and evaluation (0: all online CPUs).
  // Training and a model that names a feature twice run on one.
  int jobs = 1;
  // --reading: the rules training reads with in the Unicode mode.  A model
  // is read as it declares, so detection takes none.
  core::ReadingRules training_rules = core::kTrainingRules;
  bool reading_given = false;
  // The command line speaks the long options (any but --jobs, which changes
  // no output): its operands are files to read, not ignored.
  bool reads_operands = false;
};

// What the command line asks for besides a run.
enum class Request { run, help, version, list_models };

// Reads the options with getopt_long: the classic "m:tfF" and the long
// options of --help.  Unknown short options and -m without an argument get
// getopt's own message and are otherwise ignored, as they always were; a bad
// long option or value fails (core::Error of kind usage or usage_alone), and
// so does a command line in the long options that asks for detection output
// (-t, -f, -F, --evaluate, --with-text, --text-only, --format) without a
// model: the classic command line trains when the model is left out, which
// a user of the long options never means by it.
Request parse_opts(int argc, char **argv, Options &options);

// The --help text.
const char *usage_text();

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_OPTIONS_H
