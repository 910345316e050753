// Training output: a training context per punctuation candidate on standard
// output, then the feature list `features.def`.
//
// A context is three lines: "2"; the label (1 when the candidate ends its input
// line), the entry count and the (id, count) pairs of the window's features;
// and the complementary label followed by 0, the featureless other outcome.
#ifndef FULLSTOP_TRAINING_H
#define FULLSTOP_TRAINING_H

#include "intake.h"

// Prints the contexts of every punctuation candidate, in token order (and,
// in the Unicode mode, of every token before a list marker).
void report(TextMode mode = TextMode::classic);
void report_toks(const Token *window, int count, int label);
void new_context();
// Prints the current event as one event line with the given label.
void show_event(int label);
// Writes every feature as "ID\tNAME\n" to path, replacing the file whole
// (atomic_file.h).  A file that cannot be written ends the run with a message.
void write_features_def(const char *path);

#endif  // FULLSTOP_TRAINING_H
