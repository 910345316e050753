// Detection: the candidates of a text decided, and the sentences they close
// reported to a sink (sentence_sink.h) as offsets and bytes.  What becomes
// of a sentence (a span, a line of an output form) is the sink's business.
#ifndef FULLSTOP_CORE_DECIDE_DETECTION_H
#define FULLSTOP_CORE_DECIDE_DETECTION_H

#include <cstdint>

#include "core/decide/sentence_sink.h"
#include "core/model/scorer.h"
#include "core/text/text_mode.h"
#include "core/tokens/tokenizer.h"

namespace fullstop::core {

// Which candidates a run over a piece of a text decides: those whose token
// begins at original offset `from` or later, before mapped offset `limit`
// (-1: all) and before original offset `until` (-1: all).
struct CandidateRange {
  int32_t from = 0, limit = -1, until = -1;
};

class Detection {
 public:
  Detection(Tokenizer &in, Scorer &scorer, TextMode mode, SentenceSink &sink)
      : in(in), scorer(scorer), mode(mode), sink(sink) {}
  Tokenizer &in;
  Scorer &scorer;
  TextMode mode;
  SentenceSink &sink;
  // The offset of the text's first byte in the whole text: a stream runs one
  // window of its text at a time (run/stream.h), and sentences are reported
  // by offsets from the stream's start.
  int64_t base = 0;

  // Walks every candidate and reports every sentence of the text.  In the
  // Unicode mode the text must have been mapped (TextBuffer::map) and
  // offsets and bytes are those of the original.
  //
  // In the classic mode a sentence ends at a decided candidate's token and
  // the next begins at the token after it; the first begins at 0 and the
  // last ends at the end of the text.  In the Unicode mode a sentence ends
  // at the end of its last token and the next begins at the next token,
  // wherever the edge markers stand; a boundary after the last token opens
  // no empty sentence, and the last sentence takes the trailing whitespace,
  // so that the sentences cover the text up to its end.  A Unicode-mode text
  // with no token and no NUL (empty, or blank lines only) has no sentence at
  // all: there is nothing in it to read, and a caller that splits many texts
  // should not get an empty sentence for each blank one.  The classic mode
  // reports one sentence for any text, the empty one included, as it always
  // has.
  void run();
  // A run over one window of a stream's text: decides the candidates in
  // `range` (with `final`, up to the end of the text).  `start` is the open
  // sentence's start, as an offset from the stream's start, carried from
  // window to window, and `done` whether the last sentence was reported
  // (Unicode mode).  With `final`, the window ends the text and the last
  // sentence is completed.
  void run_window(const CandidateRange &range, bool final, int64_t &start, bool &done);
  // Whether this text (or window) holds nothing but separators other than
  // NUL: no token and no byte that a sentence's text would show.
  bool blank() const;
  // Reports the sentence [start, end) of this text's (original) offsets.
  void report(int64_t start, int64_t end) {
    sink.sentence(base + start, base + end, start >= 0 ? in.text.original_data() + start : nullptr);
  }

 private:
  struct Open;
  static void site(const Token *window, void *context);
  static void site_in_range(const Token *window, void *context);
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_DECIDE_DETECTION_H
