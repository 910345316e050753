#include "core/decide/detection.h"

#include <cstring>

#include "core/decide/decision.h"

namespace fullstop::core {

// The open sentence of a walk.
struct Detection::Open {
  Detection *d;
  int64_t start;      // (original) offset where the open sentence begins
  bool done = false;  // the last sentence has been reported (Unicode mode)
  CandidateRange range;
};

void Detection::site(const Token *window, void *context) {
  Open &s = *static_cast<Open *>(context);
  Detection &d = *s.d;
  const Token &t = window[2];
  if (d.mode == TextMode::classic) {
    int decision = decide(d.scorer, d.in, window);
    if (t.para_break) decision = 1;
    if (decision == 1) {
      d.report(s.start, t.end());
      s.start = window[3].start;
    }
    return;
  }
  if (t.para_break == 0 && decide(d.scorer, d.in, window) == 0) return;
  const TextBuffer &text = d.in.text;
  int32_t next = text.next_token_start(t.end());
  if (next == text.data_len) {
    d.report(s.start, text.original_len());
    s.done = true;
    return;
  }
  d.report(s.start, text.original_end(t.end()));
  s.start = text.original_start(next);
}

void Detection::site_in_range(const Token *window, void *context) {
  Open &s = *static_cast<Open *>(context);
  const Token &t = window[2];
  if (s.range.limit >= 0 && t.start >= s.range.limit) return;
  int32_t at = s.d->in.text.original_start(t.start);
  if (at < s.range.from || (s.range.until >= 0 && at >= s.range.until)) return;
  site(window, context);
}

bool Detection::blank() const {
  // In the Unicode mode every kind of whitespace is mapped to a space, a tab
  // or a newline, and a byte order mark and zero-width characters to
  // nothing; a NUL stays and is printed in the sentence's text.
  const TextBuffer &text = in.text;
  return text.next_token_start(0) == text.data_len &&
         (text.data_len == 0 || std::memchr(text.data, '\0', static_cast<size_t>(text.data_len)) == nullptr);
}

void Detection::run() {
  Open open{this, in.text.original_text_start(), false, CandidateRange{}};
  in.walk(site, &open, mode);
  if (mode == TextMode::unicode) {
    if (!open.done && !blank()) report(open.start, in.text.original_len());
  } else {
    report(open.start, in.text.data_len);
  }
}

void Detection::run_window(const CandidateRange &range, bool final, int64_t &start, bool &done) {
  Open open{this, start - base, done, range};
  if (final) open.range.limit = -1;
  in.walk(site_in_range, &open, mode);
  if (final) {
    if (mode == TextMode::unicode) {
      // A stream keeps its text from the open sentence's line on, and that
      // sentence starts at a token once one has ended: a final window
      // without a token (or NUL) is a whole text without one.
      if (!open.done && !blank()) report(open.start, in.text.original_len());
      open.done = true;
    } else {
      report(open.start, in.text.data_len);
    }
  }
  start = open.start + base;
  done = open.done;
}

}  // namespace fullstop::core
