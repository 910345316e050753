// The evaluation report: the error windows as they are met, and the counts
// and percentages at the end.
#ifndef FULLSTOP_CORE_RENDER_EVALUATION_REPORT_H
#define FULLSTOP_CORE_RENDER_EVALUATION_REPORT_H

#include "core/base/output.h"
#include "core/decide/evaluation.h"

namespace fullstop::core {

// Prints each error as "false positive: " or "false negative: " and the
// window's five token texts, each after a space; and, at the end, the
// report (print_evaluation_report).
class EvaluationPrinter final : public EvaluationSink {
 public:
  explicit EvaluationPrinter(Output &out) : out_(&out) {}
  void error(bool false_positive, const Token *window, const Tokenizer &in) override;
  void report(const EvalCounts &counts) override;

 private:
  Output *out_;
};

// The eight lines of counts and percentages.
void print_evaluation_report(Output &out, const EvalCounts &counts);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RENDER_EVALUATION_REPORT_H
