// The decision at a candidate: a sentence ends after the window's token when
// the sum of the weights of its features is above zero.
#ifndef FULLSTOP_CORE_DECIDE_DECISION_H
#define FULLSTOP_CORE_DECIDE_DECISION_H

#include "core/model/scorer.h"
#include "core/tokens/tokenizer.h"

namespace fullstop::core {

// A line break's window, scored by the run's line-break scorer (see
// Scorer::line_breaks).
int decide_line_break(Scorer &scorer, const Token *window);
// A colon that ends a short line (see Tokenizer::break_window): the sum of
// its window's weights and its line break's.
int decide_colon_at_line_break(Scorer &scorer, const Tokenizer &in, const Token *window);

// 1 when a sentence ends after window[2] by the model's weights, else 0
// (a blank line after it ends one whatever the weights: the caller's rule).
[[gnu::always_inline]] inline int decide(Scorer &scorer, const Tokenizer &in, const Token *window) {
  if (in.break_window != nullptr) [[unlikely]] return decide_colon_at_line_break(scorer, in, window);
  if (!window[2].edge) [[likely]] return scorer.score_window_sign(window);
  return decide_line_break(scorer, window);
}

// The plain way, for a window of any `count` tokens: the event of its
// features built (new_event, do_features) and its weights summed in id
// order (test_event).
int decide_event(Scorer &scorer, const Token *window, int count);
// 1.0 when the summed weights of the scorer's current event exceed 0, else 0.0.
double test_event(const Scorer &scorer);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_DECIDE_DECISION_H
