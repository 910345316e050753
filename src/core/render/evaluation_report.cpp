#include "core/render/evaluation_report.h"

#include <cstdio>
#include <cstring>

namespace fullstop::core {

namespace {

void print_percent(Output &out, const char *label, int numerator, int denominator) {
  out.write(label, std::strlen(label));
  if (denominator == 0) {
    // 0/0 in double precision: what the C library prints for that NaN on x86-64.
    out.write("-nan%\n");
    return;
  }
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%.2f%%\n", numerator * 100.0 / denominator);
  out.write(buf, static_cast<size_t>(n));
}

void print_count(Output &out, const char *label, int value) {
  out.write(label, std::strlen(label));
  out.integer(value);
  out.put('\n');
}

}  // namespace

void EvaluationPrinter::error(bool false_positive, const Token *window, const Tokenizer &in) {
  out_->write(false_positive ? "false positive: " : "false negative: ");
  for (int k = 0; k < kWindow; k++) {
    out_->put(' ');
    out_->write(window[k].text(in));
  }
  out_->put('\n');
}

void EvaluationPrinter::report(const EvalCounts &counts) { print_evaluation_report(*out_, counts); }

void print_evaluation_report(Output &out, const EvalCounts &c) {
  out.write("tested ");
  out.integer(c.nsites);
  out.write(" sites\n");
  print_count(out, "nfalse_positives = ", c.nfalse_positives);
  print_count(out, "nfalse_negatives = ", c.nfalse_negatives);
  print_count(out, "ntrue_positives = ", c.ntrue_positives);
  print_count(out, "ntrue_negatives = ", c.ntrue_negatives);
  print_percent(out, "accuracy  = ", c.ntrue_positives + c.ntrue_negatives, c.nsites);
  print_percent(out, "precision = ", c.ntrue_positives, c.nfalse_positives + c.ntrue_positives);
  print_percent(out, "recall = ", c.ntrue_positives, c.nfalse_negatives + c.ntrue_positives);
}

}  // namespace fullstop::core
