#include "stream.h"

#include <algorithm>
#include <cstring>

#include "feature.h"
#include "intake.h"

namespace {

inline int byte_kind(unsigned char c) { return is_separator_byte(c) ? 2 : is_punct_byte(c) ? 1 : 0; }

// Where the n-th token counted back from `end` starts in data[0, end), or -1.
int32_t token_start_back(const char *data, int32_t end, int n) {
  for (int32_t p = end - 1; p >= 0; p--) {
    int k = byte_kind(static_cast<unsigned char>(data[p]));
    if (k != 2 && (p == 0 || byte_kind(static_cast<unsigned char>(data[p - 1])) != k) && --n == 0)
      return p;
  }
  return -1;
}

// The start of the line holding text[pos] (just after a newline, or 0).
size_t line_start(const std::string &text, size_t pos) {
  while (pos > 0 && text[pos - 1] != '\n') pos--;
  return pos;
}

}  // namespace

SentenceStream::SentenceStream(const FeatureTable &model, TextMode mode, const DetectOptions &options,
                               Output *out, std::vector<SentenceSpan> *spans, size_t min_run)
    : scorer_(in_, model), min_run_(min_run), mode_(mode), options_(options), out_(out), spans_(spans) {}

void SentenceStream::feed(const char *bytes, size_t len) {
  pending_.append(bytes, len);
  size_t fresh = pending_.size() - run_end_;
  // Runs cost the undecided part again: wait until the new text is at least
  // as long, so that the whole stream is read a bounded number of times.
  if (fresh >= min_run_ && fresh >= run_end_) run(false);
}

void SentenceStream::pump() {
  if (pending_.size() > run_end_) run(false);
}

void SentenceStream::finish() {
  if (!finished_) run(true);
  finished_ = true;
}

void SentenceStream::run(bool final) {
  size_t end = pending_.size();
  if (!final) {
    const void *nl = nullptr;
    if (end > run_end_) nl = memrchr(pending_.data() + run_end_, '\n', end - run_end_);
    if (nl == nullptr) return;
    end = static_cast<size_t>(static_cast<const char *>(nl) - pending_.data()) + 1;
  }
  run_end_ = end;
  Input &in = in_;
  in.replace_text(std::string_view(pending_.data(), end));
  if (mode_ == TextMode::unicode) in.map();
  if (start_ < 0) start_ = in.original_text_start();
  // Undecided: the candidates from the third-last token on.
  int32_t limit = final ? -1 : token_start_back(in.data, in.data_len, 3);
  if (!final && limit < 0) return;
  Detection detection(in, scorer_, options_);
  detection.out = out_;
  detection.spans = spans_;
  detection.base = base_;
  detection.counts = counts_;
  if (!begun_) detection.begin();
  begun_ = true;
  detection.run_window(mode_, static_cast<int32_t>(from_ - base_), limit, final, start_, done_);
  counts_ = detection.counts;
  if (final) {
    detection.end();
    pending_.clear();
    pending_.shrink_to_fit();
    return;
  }
  from_ = base_ + in.original_start(limit);
  // Keep two tokens before the undecided candidates and the open sentence,
  // from a line start on (never a byte order mark's: a window's first bytes
  // would lose it).
  int32_t before = token_start_back(in.data, limit, 2);
  if (before < 0) return;
  size_t keep = line_start(pending_, static_cast<size_t>(in.original_start(before)));
  // The open sentence's text is printed once it ends; evaluation prints no
  // sentence, so there nothing past the window needs keeping.
  if (!options_.test) {
    size_t open = static_cast<size_t>(start_ - base_);
    keep = std::min(keep, line_start(pending_, std::min(open, end)));
  }
  while (keep > 0 && end - keep >= 3 && std::memcmp(pending_.data() + keep, "\xEF\xBB\xBF", 3) == 0)
    keep = line_start(pending_, keep - 1);
  if (keep == 0) return;
  pending_.erase(0, keep);
  base_ += static_cast<int64_t>(keep);
  run_end_ -= keep;
}
