#include "core/decide/evaluation.h"

#include "core/decide/decision.h"

namespace fullstop::core {

struct Evaluation::Walk {
  Evaluation *e;
  CandidateRange range;
};

// Reports one of the first ten errors of a kind, and counts it.
void Evaluation::error(int &count, bool false_positive, const Token *window) {
  if (count <= 9 && errors != nullptr) errors->error(false_positive, window, in);
  count++;
}

void Evaluation::site(const Token *window) {
  const Token &t = window[2];
  int decision = decide(scorer, in, window);
  if (t.para_break) decision = 1;
  EvalCounts &c = counts;
  if (decision == 1 && t.boundary == 0) {
    error(c.nfalse_positives, true, window);
  } else if (decision == 0 && t.boundary == 1) {
    error(c.nfalse_negatives, false, window);
  } else if (decision == 1) {
    c.ntrue_positives++;
  } else {
    c.ntrue_negatives++;
  }
  c.nsites++;
}

void Evaluation::run_window(const CandidateRange &range) {
  Walk walk{this, range};
  in.walk(
      [](const Token *window, void *context) {
        Walk &w = *static_cast<Walk *>(context);
        const Token &t = window[2];
        if (w.range.limit >= 0 && t.start >= w.range.limit) return;
        int32_t at = w.e->in.text.original_start(t.start);
        if (at < w.range.from || (w.range.until >= 0 && at >= w.range.until)) return;
        w.e->site(window);
      },
      &walk, mode);
}

}  // namespace fullstop::core
