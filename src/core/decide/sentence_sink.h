// Where detection reports the sentences it closes, in text order: a list of
// spans (the library), or a renderer that prints them in an output form
// (render/renderer.h).  Detection itself prints nothing.
#ifndef FULLSTOP_CORE_DECIDE_SENTENCE_SINK_H
#define FULLSTOP_CORE_DECIDE_SENTENCE_SINK_H

#include <cstdint>
#include <vector>

namespace fullstop::core {

// A sentence as offsets into the (original) text.
struct SentenceSpan {
  int64_t start, end;
};

class SentenceSink {
 public:
  virtual ~SentenceSink() = default;
  // Whether the sink reads sentences' bytes.  Forming a sentence's text may
  // load 16 bytes at a time up to its end, so a run whose sink reads them
  // needs a padded copy of its text (see TextBuffer); one that reads only
  // offsets may read its text in place.
  virtual bool reads_text() const = 0;
  // Before the first sentence of a run and after its last: an output form's
  // document lines.
  virtual void begin() {}
  virtual void end() {}
  // The sentence [start, end) of the text (offsets from the start of a
  // stream); `bytes` are its original bytes in memory, padded after the
  // text (null when the sentence began before the text the run holds).
  virtual void sentence(int64_t start, int64_t end, const char *bytes) = 0;
};

// Collects the spans.
class SpanSink final : public SentenceSink {
 public:
  explicit SpanSink(std::vector<SentenceSpan> &spans) : spans_(&spans) {}
  bool reads_text() const override { return false; }
  void sentence(int64_t start, int64_t end, const char *) override { spans_->push_back(SentenceSpan{start, end}); }

 private:
  std::vector<SentenceSpan> *spans_;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_DECIDE_SENTENCE_SINK_H
