// The run driver: options, the input phase, then the training path or, with a
// model, the detection path.
#ifndef FULLSTOP_DRIVER_H
#define FULLSTOP_DRIVER_H

#include "unicode.h"

extern const char *model_fname;  // -m: take the detection path with this model
extern int do_test;              // -t: evaluation instead of sentence output
extern int full_text;            // -f, -F: print each sentence's text
extern int only_text;            // -F: bare lines of text, no markup
// --text-mode=classic|unicode: the text mode whatever the model declares.
extern TextMode forced_text_mode;
extern bool text_mode_forced;

// Reads the options with getopt_long: the short options "m:tfF" and the long
// option --text-mode.  Unknown options and -m without an argument get
// getopt's own message and are otherwise ignored; an unknown text mode ends
// the run with status 2 before any input is read.
void parse_opts(int argc, char **argv);

// Everything after reading the input: the feature index, then the
// detection path (with `model_fname`) or the training path, which writes the
// feature list to `features_def`.  `data` must hold the input.
void run_paths(const char *features_def);

// The whole run; returns the exit status.
int run(int argc, char **argv);

// Clears every global of the detector (for tests that run it in-process).
void reset_run();

#endif  // FULLSTOP_DRIVER_H
