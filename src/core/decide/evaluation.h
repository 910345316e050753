// Evaluation: a model's decisions on sentence-per-line text against its line
// ends, counted; the first ten errors of each kind are reported with their
// windows (render/evaluation_report.h prints both).
#ifndef FULLSTOP_CORE_DECIDE_EVALUATION_H
#define FULLSTOP_CORE_DECIDE_EVALUATION_H

#include "core/decide/detection.h"
#include "core/model/scorer.h"
#include "core/text/text_mode.h"
#include "core/tokens/tokenizer.h"

namespace fullstop::core {

struct EvalCounts {
  int nfalse_positives, nfalse_negatives, ntrue_positives, ntrue_negatives, nsites;
};

// Where the errors go.
class EvaluationSink {
 public:
  virtual ~EvaluationSink() = default;
  // A decision that disagrees with the line ends, and its window.
  virtual void error(bool false_positive, const Token *window, const Tokenizer &in) = 0;
  // The counts, at the end of a run.
  virtual void report(const EvalCounts &) {}
};

class Evaluation {
 public:
  // `errors` may be null: counts only.
  Evaluation(Tokenizer &in, Scorer &scorer, TextMode mode, EvaluationSink *errors)
      : in(in), scorer(scorer), mode(mode), errors(errors) {}
  Tokenizer &in;
  Scorer &scorer;
  TextMode mode;
  EvaluationSink *errors;
  EvalCounts counts{};

  // Counts every candidate of the text (mapped, in the Unicode mode, as a
  // text of sentence lines).  Counts add up over runs.
  void run() { run_window(CandidateRange{}); }
  // The same for the candidates in `range` (see Detection::run_window).
  void run_window(const CandidateRange &range);
  // Counts one candidate.
  void site(const Token *window);

 private:
  struct Walk;
  void error(int &count, bool false_positive, const Token *window);
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_DECIDE_EVALUATION_H
