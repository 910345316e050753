// Detection: model loading, scoring of candidates, sentence output and the
// evaluation report.
#ifndef FULLSTOP_DETECT_H
#define FULLSTOP_DETECT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "intake.h"

// Loads "WEIGHT<whitespace>NAME" records into the feature table, one feature
// per record in file order.  A file that cannot be opened ends the run with
// the system's message and status 255; loading stops at the first record that
// does not scan, with a warning on standard error.
void load_model(const char *path);

// The text mode a loaded model declares with its "#text-mode=NAME" record
// (the first one counts), or classic when it has none.  A record naming an
// unknown mode ends the run with a message naming the model file.
TextMode declared_text_mode(const char *path);

// What the last load_model() found.
struct ModelLoad {
  size_t records = 0;     // records loaded
  bool numbered = true;   // record i had weight i, as the ids of a feature list do
  bool stopped = false;   // a record did not scan (and a warning said so)
};
extern ModelLoad model_load;

// Warns on standard error when the last model loaded looks like a feature list
// (two or more records weighted 0, 1, 2, ...: features.def given for a model),
// or loaded no record without a warning saying why.  Output is unchanged: a
// model with no records is still a model.
void warn_suspect_model(const char *path);

// Walks every candidate and prints the sentences, or the evaluation report
// when `do_test` is set.  In the Unicode mode, `data` must have been mapped
// (map_input) and offsets and texts are those of the original input.
void detect(TextMode mode = TextMode::classic);
int detect_toks(const Token *window, int count);
// 1.0 when the summed weights of the current event exceed 0, else 0.0.
double test_event();
void complete_sentence(int32_t start, int32_t end);
// The text printed for the sentence data[start, end): newlines read as
// spaces, runs of spaces become one, trailing spaces are dropped, the front is
// not trimmed.  Points into `data` or into scratch.
std::string_view normalised_text(int32_t start, int32_t end, std::string &scratch);
void show_toks(const Token *window, int count);

// Evaluation counters of the last detect() run with `do_test`.
struct EvalCounts {
  int nfalse_positives, nfalse_negatives, ntrue_positives, ntrue_negatives, nsites;
};
extern EvalCounts eval_counts;

#endif  // FULLSTOP_DETECT_H
