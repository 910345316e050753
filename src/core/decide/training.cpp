#include "core/decide/training.h"

#include <algorithm>
#include <cstring>

#include "core/base/number_format.h"
#include "core/decide/window_order.h"

namespace fullstop::core {

void Training::show_event(const Scorer &from, int label) {
  const int nnz = from.nnz;
  const int32_t *e_feats = from.e_feats, *e_vals = from.e_vals;
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

void Training::extend_id_text(size_t ids) {
  size_t have = id_text_.size();
  id_text_.resize(ids);
  for (size_t id = have; id < ids; id++) {
    IdText &t = id_text_[id];
    char *p = t.text;
    *p++ = ' ';
    p = format_uint(p, static_cast<uint32_t>(id));
    *p++ = ' ';
    *p++ = '1';
    t.len = static_cast<uint8_t>(p - t.text);
  }
}

// A context as the plain path prints it (new_context, the event's line, the
// other outcome's line), straight from the window's ids: in training the
// twenty names of a window differ (each holds its position and template),
// so the event is the twenty ids in ascending order, each counted once.
bool Training::print_context(Scorer &s, const Token *window, int label) {
  int32_t ids[kWindowIds], sorted[kWindowIds];
  s.window_ids(window, ids);
  if (!order_distinct_window_ids(ids, sorted)) return false;
  size_t top = static_cast<uint32_t>(sorted[kWindowIds - 1]);
  if (top >= id_text_.size()) {
    // Every id is a record of the table (in detection it could be
    // kUnknownFeature, which is no record).
    if (top >= s.feats().size()) return false;
    extend_id_text(s.feats().size());
  }
  s.new_event();
  // 6 + 20 * 13 + 5 bytes, and each record is copied as 16.
  char *p = out.reserve(6 + kWindowIds * sizeof(IdText) + 5);
  std::memcpy(p, label != 0 ? "2\n1 20" : "2\n0 20", 6);
  p += 6;
  const IdText *text = id_text_.data();
#pragma GCC unroll 20
  for (int k = 0; k < kWindowIds; k++) {
    const IdText &t = text[sorted[k]];
    std::memcpy(p, t.text, sizeof t.text + 1);
    p += t.len;
  }
  std::memcpy(p, label != 0 ? "\n0 0\n" : "\n1 0\n", 5);
  out.commit(p + 5);
  return true;
}

void Training::report_toks(const Token *window, int count, int label) {
  Scorer &s = count == kWindow ? scorer.for_window(window) : scorer;
  const bool joined = count == kWindow && in.break_window != nullptr;
  if (count == kWindow && !joined && (label == 0 || label == 1) && !plain && print_context(s, window, label))
    return;
  new_context();
  s.new_event();
  s.do_features(window, count);
  if (joined) {
    // A colon or comma that ends a short line (see Tokenizer::break_window):
    // one context of its window's names and its line break's, as detection
    // sums them.
    Scorer &breaks = scorer.line_breaks();
    breaks.new_event();
    breaks.do_features(in.break_window, kWindow);
    for (int k = 0; k < breaks.nnz; k++)
      for (int32_t n = 0; n < breaks.e_vals[k]; n++) s.new_feature(breaks.e_feats[k]);
  }
  show_event(s, label);
  s.new_event();
  show_event(s, label == 0 ? 1 : 0);
}

void Training::report(TextMode mode) {
  // Every punctuation token with two tokens on either side (in the Unicode
  // mode also line breaks and tokens before list markers: see Tokenizer::walk);
  // a blank line alone makes no candidate here.
  if (mode == TextMode::unicode) {
    in.walk(
        [](const Token *window, void *context) {
          Training &t = *static_cast<Training *>(context);
          if (window[2].is_punct() || window[2].edge || t.in.list_marker_at(window))
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
        // (An edge marker at the site is the line-break marker: see Tokenizer::walk.)
        if (!t.is_punct() && !t.edge && !(w.unicode && w.t->in.list_marker_at(window))) return;
        if (w.t->in.text.original_start(t.start) < w.from) return;
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

}  // namespace fullstop::core
