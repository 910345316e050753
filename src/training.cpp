#include "training.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "feature.h"

void Training::show_event(int label) {
  const int nnz = scorer.nnz;
  const int32_t *e_feats = scorer.e_feats, *e_vals = scorer.e_vals;
  // At most 1020 entries of two numbers, formatted straight into the output
  // buffer in chunks that always fit.
  out.integer(label);
  out.put(' ');
  out.integer(nnz);
  for (int k = 0; k < nnz;) {
    char *p = out.reserve(64 * 24);
    for (int end = std::min(nnz, k + 64); k < end; k++) {
      *p++ = ' ';
      p = format_uint(p, static_cast<uint32_t>(e_feats[k]));
      *p++ = ' ';
      p = format_uint(p, static_cast<uint32_t>(e_vals[k]));
    }
    out.commit(p);
  }
  out.put('\n');
}

void Training::report_toks(const Token *window, int count, int label) {
  new_context();
  scorer.new_event();
  scorer.do_features(window, count);
  show_event(label);
  scorer.new_event();
  show_event(label == 0 ? 1 : 0);
}

void Training::report(TextMode mode) {
  // Every punctuation token with two tokens on either side; a blank line
  // alone makes no candidate here.
  if (mode == TextMode::unicode) {
    in.walk(
        [](const Token *window, void *context) {
          Training &t = *static_cast<Training *>(context);
          if (window[2].is_punct() || t.in.list_marker_at(window))
            t.report_toks(window, kWindow, window[2].boundary);
        },
        this, mode);
    return;
  }
  in.walk(
      [](const Token *window, void *context) {
        Training &t = *static_cast<Training *>(context);
        if (window[2].is_punct()) t.report_toks(window, kWindow, window[2].boundary);
      },
      this);
}

namespace {

struct TrainingWindow {
  Training *t;
  int32_t from, limit;
  bool unicode;
};

}  // namespace

void Training::report_window(TextMode mode, int32_t from, int32_t limit) {
  TrainingWindow w{this, from, limit, mode == TextMode::unicode};
  in.walk(
      [](const Token *window, void *context) {
        auto &w = *static_cast<TrainingWindow *>(context);
        const Token &t = window[2];
        if (w.limit >= 0 && t.start >= w.limit) return;
        if (!t.is_punct() && !(w.unicode && w.t->in.list_marker_at(window))) return;
        if (w.t->in.original_start(t.start) < w.from) return;
        w.t->report_toks(window, kWindow, t.boundary);
      },
      &w, mode);
}

void write_feature_list(const FeatureTable &table, Output &out) {
  for (const Feature *feature : table.feats) {
    out.integer(feature->id);
    out.put('\t');
    out.write(feature->text);
    out.put('\n');
  }
}
