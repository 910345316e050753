#include "core/run/stream.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/decide/detection.h"
#include "core/text/byte_class.h"

namespace fullstop::core {

namespace {

inline int byte_kind(unsigned char c) { return is_separator_byte(c) ? 2 : is_punct_byte(c) ? 1 : 0; }

}  // namespace

namespace {

// Where the n-th token (or, with `words`, the n-th whitespace-delimited
// word) counted back from `end` starts in data[0, end), or -1.
int64_t start_back(const char *data, int64_t end, int n, bool words) {
  for (int64_t p = end - 1; p >= 0; p--) {
    int k = byte_kind(static_cast<unsigned char>(data[p]));
    if (k == 2) continue;
    const int before = p == 0 ? 2 : byte_kind(static_cast<unsigned char>(data[p - 1]));
    if ((words ? before == 2 : before != k) && --n == 0) return p;
  }
  return -1;
}

}  // namespace

int64_t token_start_back(const char *data, int64_t end, int n) { return start_back(data, end, n, false); }

int64_t context_start(const char *data, int64_t end, const ReadingRules &rules) {
  const int words = context_words(rules);
  return words == 0 ? start_back(data, end, 2, false) : start_back(data, end, words, true);
}

int64_t outside_fences(const TextBuffer &text, const std::vector<CodeFence> &fences, int64_t keep) {
  const char *original = text.original_data();
  // From the last block back: a line that opens one may lie inside an
  // earlier one only through lines the map joins, but costs nothing to ask.
  for (size_t i = fences.size(); i-- > 0;) {
    int64_t line = text.original_start(fences[i].begin);
    while (line > 0 && original[line - 1] != '\n') line--;
    if (line < keep && keep < text.original_end(fences[i].end)) keep = line;
  }
  return keep;
}

namespace {

// The start of the line holding text[pos] (just after a line end, or 0).
size_t line_start(const LineEnds &ends, std::string_view text, size_t pos) {
  return ends.line_start(text.data(), pos, text.size());
}

// Where a window that stopped before mapped offset `limit` is cut: the line
// start before the text that the first undecided candidate needs
// (context_start: the same two tokens before it, and with run-in headings
// as many words of its paragraph as count), `back` bytes earlier still
// (see short_line_before in tokens/sites.h), never before `cap`, and never at a line
// that starts with a byte order mark (a window's first bytes would lose
// it).  0 when nothing can go.
size_t cut_point(const LineEnds &ends, std::string_view pending, const TextBuffer &in, const ReadingRules &rules,
                 int32_t limit, size_t cap, size_t end, size_t back = 0) {
  int32_t before = static_cast<int32_t>(context_start(in.data, limit, rules));
  if (before < 0) return 0;
  const auto at = static_cast<size_t>(in.original_start(before));
  size_t keep = line_start(ends, pending, at > back ? at - back : 0);
  keep = std::min(keep, cap);
  while (keep > 0 && end - keep >= 3 && std::memcmp(pending.data() + keep, "\xEF\xBB\xBF", 3) == 0)
    keep = line_start(ends, pending, keep - 1);
  return keep;
}

}  // namespace

// ===== StreamText ============================================================

bool StreamText::take(const char *bytes, size_t len) {
  if (len > 0) std::memcpy(room(len), bytes, len);
  return took(len);
}

char *StreamText::room(size_t len) {
  pending_.reserve(pending_.n + len);
  return pending_.ptr + pending_.n;
}

bool StreamText::adopt(char *bytes, size_t len, size_t cap) {
  std::unique_ptr<char, FreeDeleter> owned(bytes);
  if (pending_.size() != 0 || base_ != 0) return take(bytes, len);  // not the first text: copy it
  pending_.release();
  pending_.ptr = owned.release();
  pending_.cap = cap;
  return took(len);
}

// What a run keeps, it reads again in the next one: the lines from two
// tokens before the first undecided candidate on (and, printing text, the
// open sentence's).  That is a line or two of most text, but a whole line
// where lines are long (a paragraph, or a document, per line: up to a
// quarter of a megabyte in UD's French), and the stream would be read up to
// twice.  So when a run keeps 64 KiB or more, the next one waits for eight
// times as much new text (about 1.1 readings), but for no more than 4 MiB
// or what it keeps, whichever is more, so that the text held stays within
// twice the longest line or that line and 4 MiB.  Text of shorter lines
// holds a few lines.
bool StreamText::took(size_t n) {
  pending_.n += n;
  const size_t fresh = pending_.size() - run_end_;
  const size_t again = run_end_ >= kLongKept
                           ? std::max(run_end_, std::min(8 * run_end_, size_t{4} << 20))
                           : run_end_;
  return fresh >= min_run_ && fresh >= again;
}

// A window ends after the last line end of the text not yet run.
// No line starts in pending_(run_end_, searched_], and searched_ moves to
// the end: a long line is searched once, not again at every piece that
// extends it (which would take time growing with the square of its length).
// Only the last byte is searched again: a CR there ends a line once the
// byte after it is known not to be an LF.
size_t StreamText::next_window(bool final) {
  size_t end = pending_.size();
  if (!final) {
    size_t from = std::max(run_end_, searched_);
    searched_ = end > 0 ? end - 1 : 0;
    end = ends_.last_start(pending_.ptr, from, end);
    if (end == 0) return 0;
  }
  run_end_ = end;
  return end;
}

void StreamText::drop(size_t keep) {
  std::memmove(pending_.ptr, pending_.ptr + keep, pending_.n - keep);
  pending_.n -= keep;
  base_ += static_cast<int64_t>(keep);
  run_end_ -= keep;
  searched_ = searched_ > keep ? searched_ - keep : 0;
}

void StreamText::release() { pending_.release(); }

// ===== SentenceStream ========================================================

SentenceStream::SentenceStream(const FeatureTable &model, const Reading &reading, const RunOutput &output,
                               size_t min_run)
    : WindowedStream(min_run, LineEnds(reading.mode, output.task != Task::detect)), session_(model, reading, output),
      sinks_(output, reading.mode) {}

void SentenceStream::run(bool final) {
  size_t end = text_.next_window(final);
  if (!final && end == 0) return;
  const std::string_view pending = text_.text();
  const int64_t base = text_.base();
  const bool evaluating = session_.task() == Task::evaluate;
  // A run that prints no sentence text (offsets, spans, evaluation) reads
  // the window where it is in the stream's text; only printing text needs
  // the padded copy (see Session::take).  Either way the run reads the same
  // bytes.
  session_.take(std::string_view(pending.data(), end));
  const TextBuffer &text = session_.tokens.text;
  if (start_ < 0) start_ = text.original_text_start();
  // Undecided: the candidates from the third-last token on.
  int32_t limit = final ? -1 : static_cast<int32_t>(token_start_back(text.data, text.data_len, 3));
  if (!final && limit < 0) {
    session_.drop();
    return;
  }
  SentenceSink *sentences = sinks_.sentences();
  if (!begun_ && sentences != nullptr) sentences->begin();
  begun_ = true;
  const CandidateRange range{static_cast<int32_t>(from_ - base), limit, -1};
  if (evaluating) {
    Evaluation evaluation(session_.tokens, session_.scorer, session_.mode(), sinks_.errors());
    evaluation.counts = counts_;
    evaluation.run_window(range);
    counts_ = evaluation.counts;
  } else if (sentences != nullptr) {
    Detection detection(session_.tokens, session_.scorer, session_.mode(), *sentences);
    detection.base = base;
    detection.run_window(range, final, start_, done_);
  }
  if (final) {
    if (evaluating && sinks_.errors() != nullptr) sinks_.errors()->report(counts_);
    if (!evaluating && sentences != nullptr) sentences->end();
    session_.drop();
    text_.release();
    return;
  }
  from_ = base + text.original_start(limit);
  // Keep two tokens before the undecided candidates and the open sentence,
  // from a line start on.  The open sentence's text is printed once it
  // ends; evaluation prints no sentence, so there nothing past the window
  // needs keeping.
  size_t cap = end;
  if (!evaluating) cap = line_start(text_.ends(), pending, std::min(static_cast<size_t>(start_ - base), end));
  // Where lines are sentences, how long a text line is cannot be read from a
  // sentence's line start (see short_line_before).
  size_t keep = cut_point(text_.ends(), pending, text, session_.tokens.rules, limit, cap, end,
                          evaluating ? kShortLine : 0);
  keep = static_cast<size_t>(outside_fences(text, session_.tokens.code.fences, static_cast<int64_t>(keep)));
  // The window may point into the stream's text, which changes from here on.
  session_.drop();
  if (keep > 0) text_.drop(keep);
}

void detect_any_length(const FeatureTable &model, const Reading &reading, std::string_view text,
                       const RunOutput &output, size_t whole_limit) {
  if (text.size() <= whole_limit) {
    Session session(model, reading, output);
    run_text(session, text, output);
    return;
  }
  // Pieces of a few MB: the stream copies each after the undecided text.
  const size_t piece = std::min(whole_limit, size_t{16} << 20) + 1;
  SentenceStream stream(model, reading, output);
  for (size_t at = 0; at < text.size(); at += piece)
    stream.feed(text.data() + at, std::min(piece, text.size() - at));
  stream.finish();
}

// ===== TextSplitter ==========================================================

TextSplitter::TextSplitter(const FeatureTable &model, const Reading &reading) : model_(model), reading_(reading) {
  if (!model.has_repeats()) fresh_session();
}

void TextSplitter::fresh_session() {
  session_.reset();
  session_.emplace(model_, reading_, output());
}

const std::vector<SentenceSpan> &TextSplitter::split(std::string_view text) {
  found_.clear();
  if (session_ && text.size() <= kMaxText) {
    SpanSink sink(found_);
    try {
      detect_text(*session_, text, sink);
    } catch (...) {
      // A run cut short may leave words or caches half made: the next text
      // starts from a fresh Session.
      fresh_session();
      throw;
    }
  } else {
    detect_any_length(model_, reading_, text, output());
  }
  return found_;
}

// ===== TrainingStream ========================================================

TrainingStream::TrainingStream(FeatureTable &table, const Reading &reading, Output &out, size_t min_run)
    : WindowedStream(min_run, LineEnds(reading.mode, true)), session_(table, reading),
      training_(session_.tokens, session_.scorer, out) {}

void TrainingStream::run(bool final) {
  size_t end = text_.next_window(final);
  if (!final && end == 0) return;
  const std::string_view pending = text_.text();
  const int64_t base = text_.base();
  // Training prints no sentence text: the window is read where it is in the
  // stream's text (see Session::take).
  session_.take(std::string_view(pending.data(), end));
  const TextBuffer &text = session_.tokens.text;
  int32_t limit = final ? -1 : static_cast<int32_t>(token_start_back(text.data, text.data_len, 3));
  if (!final && limit < 0) {
    session_.drop();
    return;
  }
  training_.report_window(session_.mode(), static_cast<int32_t>(from_ - base), limit);
  if (final) {
    text_.release();
    session_.drop();
    return;
  }
  from_ = base + text.original_start(limit);
  size_t keep =
      cut_point(text_.ends(), pending, text, session_.tokens.rules, limit, end, end, kShortLine);
  keep = static_cast<size_t>(outside_fences(text, session_.tokens.code.fences, static_cast<int64_t>(keep)));
  // The window may point into the stream's text, which changes from here on.
  session_.drop();
  if (keep > 0) text_.drop(keep);
}

}  // namespace fullstop::core
