#include "core/decide/decision.h"

namespace fullstop::core {

// Out of line, as few windows are.
[[gnu::noinline]] int decide_line_break(Scorer &scorer, const Token *window) {
  return scorer.line_breaks().score_window_sign(window);
}

[[gnu::noinline]] int decide_colon_at_line_break(Scorer &scorer, const Tokenizer &in, const Token *window) {
  const double score = scorer.score_window(window) + scorer.line_breaks().score_window(in.break_window);
  return score > 0.0 ? 1 : 0;
}

double test_event(const Scorer &scorer) {
  double score = 0.0;
  for (int k = 0; k < scorer.nnz; k++) score += scorer.weight(scorer.e_feats[k]);
  return score > 0.0 ? 1.0 : 0.0;
}

int decide_event(Scorer &scorer, const Token *window, int count) {
  scorer.new_event();
  scorer.do_features(window, count);
  return static_cast<int>(test_event(scorer));
}

}  // namespace fullstop::core
