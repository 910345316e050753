// Training output: a training context per punctuation candidate, then the
// feature list `features.def`.
//
// A context is three lines: "2"; the label (1 when the candidate ends its input
// line), the entry count and the (id, count) pairs of the window's features;
// and the complementary label followed by 0, the featureless other outcome.
#ifndef FULLSTOP_CORE_DECIDE_TRAINING_H
#define FULLSTOP_CORE_DECIDE_TRAINING_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/base/output.h"
#include "core/model/feature_table.h"
#include "core/model/scorer.h"
#include "core/text/text_mode.h"
#include "core/tokens/tokenizer.h"

namespace fullstop::core {

// One training run: every name its windows form gets a record in the
// scorer's table (a Scorer built over a table it may add to).
struct Training {
  Training(Tokenizer &in, Scorer &scorer, Output &out) : in(in), scorer(scorer), out(out) {}
  Tokenizer &in;
  Scorer &scorer;
  Output &out;
  // Print every context the plain way, through the event (the reference
  // the fast path is tested against).
  bool plain = false;

  // Prints the contexts of every punctuation candidate, in token order (and,
  // in the Unicode mode, of every token before a list marker).
  void report(TextMode mode = TextMode::classic);
  // The same for one window of a stream (see TrainingStream): only the
  // candidates whose token begins at original offset `from` or later and,
  // when `limit` is not -1, before mapped offset `limit`.
  void report_window(TextMode mode, int32_t from, int32_t limit);
  void report_toks(const Token *window, int count, int label);
  void new_context() { out.write("2\n", 2); }
  // Prints the event of `from` (the run's scorer or its line breaks') as one
  // event line with the given label.
  void show_event(int label) { show_event(scorer, label); }
  void show_event(const Scorer &from, int label);

 private:
  // The fast path of report_toks for a five-token window; false (nothing
  // printed) when the window's ids repeat, which the plain path prints.
  bool print_context(Scorer &s, const Token *window, int label);

  void extend_id_text(size_t ids);

  // Every context prints each of its features as " ID 1", and ids never
  // change once given: the text of each id so far, formatted once, in a
  // 16-byte record (13 bytes at most for a 31-bit id) that is copied whole.
  struct IdText {
    char text[15];
    uint8_t len;
  };
  std::vector<IdText> id_text_;
};

// Every feature as "ID\tNAME\n": the feature list, features.def.
void write_feature_list(const FeatureTable &table, Output &out);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_DECIDE_TRAINING_H
