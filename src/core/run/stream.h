// Detection over a stream: text arrives in pieces of any size, and every
// sentence is printed (or collected) once it is decided.
//
// The detector itself reads one whole buffer (TextBuffer, 32-bit offsets).  A
// stream keeps only the text that is not decided yet and runs the detector
// over windows of it: a window begins at a line start and ends after a
// line end (see text/line_ends.h), so no token, line flag or Unicode
// character is cut.  In a window
// that does not end the text, a candidate is decided only when three tokens
// follow it inside the window, so that every flag its five tokens carry is
// final; the window keeps two tokens before the first undecided candidate
// (more with run-in headings: see context_words in tokens/sites.h), so
// that candidate sees the same tokens as in a reading of the whole text.
// Sentences are offsets from the stream's start (64-bit), and the output is
// byte for byte that of one run over all of the text.
#ifndef FULLSTOP_CORE_RUN_STREAM_H
#define FULLSTOP_CORE_RUN_STREAM_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/memory.h"
#include "core/decide/evaluation.h"
#include "core/decide/training.h"
#include "core/model/feature_table.h"
#include "core/run/session.h"
#include "core/text/line_ends.h"

namespace fullstop::core {

// Where the n-th token counted back from `end` starts in data[0, end), or -1
// (data[0] begins a line): how the streams, and the blocks of --jobs, find
// the text a window must keep or leave undecided.
int64_t token_start_back(const char *data, int64_t end, int n);
// Where the text that the first undecided candidate at mapped offset `end`
// needs begins (see context_words in tokens/sites.h), or -1.
int64_t context_start(const char *data, int64_t end, const ReadingRules &rules);

// A window's walk finds fenced blocks (tokens/code_spans.h) from its own
// start, so no window begins inside one: the line start `keep` of `text`'s
// original offsets, moved back to the line that opens the block holding it.
// `fences` are text's blocks (mapped offsets), and text begins at a line
// start outside any.
int64_t outside_fences(const TextBuffer &text, const std::vector<CodeFence> &fences, int64_t keep);

// A window (or a --jobs block) that reads again this much text or more of
// what the one before kept holds a long line (a paragraph or a document per
// line): the next one takes more new text, so that such text is not read
// nearly twice (see StreamText::took and ParallelStream::dispatch_blocks).
inline constexpr size_t kLongKept = size_t{64} << 10;

// The text of a stream that is not decided yet, and where its windows end:
// what SentenceStream and TrainingStream share.  Text is taken in pieces; a
// window ends after the last line end not yet run (all of the text at the
// end), and the decided text before a cut point is dropped.
class StreamText {
 public:
  StreamText(size_t min_run, LineEnds ends) : min_run_(min_run), ends_(ends) {}
  // Takes more text; true when a run is due: the new text is `min_run` bytes
  // or more and several times as long as the undecided text a run reads
  // again (see took), so the whole stream is read a bounded number of times.
  bool take(const char *bytes, size_t len);
  // Room for up to `len` more bytes after the text, for a reader to write
  // them in place (no copy from a buffer of its own); took(n) then takes the
  // first n of them, as take() does.
  char *room(size_t len);
  bool took(size_t n);
  // Takes the first text of the stream (only before any other) with the
  // buffer it was read into, `cap` bytes from malloc or alloc_large: later
  // text is read on into it, and it is freed with std::free.  As take().
  bool adopt(char *bytes, size_t len, size_t cap);
  // Whether text has come since the last window.
  bool unrun() const { return pending_.size() > run_end_; }
  // The end of the next window (all of the text when final), from then on
  // the last window's end; 0 when no whole line has come since.
  size_t next_window(bool final);
  // Drops the first `keep` bytes, decided.
  void drop(size_t keep);
  // The text ended and was run: frees it.
  void release();

  std::string_view text() const { return {pending_.ptr, pending_.n}; }
  int64_t base() const { return base_; }  // the stream offset of text()[0]
  size_t held() const { return pending_.size(); }
  const LineEnds &ends() const { return ends_; }

 private:
  size_t min_run_;
  LineEnds ends_;
  PodArray<char> pending_;  // the text from offset base_ on
  int64_t base_ = 0;
  size_t run_end_ = 0;   // pending_[0, run_end_) was the last window
  size_t searched_ = 0;  // no line starts in pending_(run_end_, searched_]
};

// The calls SentenceStream and TrainingStream share: text taken in pieces,
// and a window of it run (Stream::run) when enough has come, at pump() and
// at finish().
template <typename Stream>
class WindowedStream {
 public:
  // Takes more text; decides what enough new text allows.
  void feed(const char *bytes, size_t len) {
    if (text_.take(bytes, len)) self().run(false);
  }
  // The same for text read in place: up to `len` bytes are written at
  // room(len), and took(n) takes the first n.
  char *room(size_t len) { return text_.room(len); }
  void took(size_t n) {
    if (text_.took(n)) self().run(false);
  }
  // The same for the stream's first text, with its buffer (see StreamText).
  void adopt(char *bytes, size_t len, size_t cap) {
    if (text_.adopt(bytes, len, cap)) self().run(false);
  }
  // Decides all that the text so far allows (before waiting for more).
  void pump() {
    if (text_.unrun()) self().run(false);
  }
  // The text ended: decides the rest and completes the output.
  void finish() {
    if (!finished_) self().run(true);
    finished_ = true;
  }
  // Bytes held now (tests bound them).
  size_t held() const { return text_.held(); }

 protected:
  WindowedStream(size_t min_run, LineEnds ends) : text_(min_run, ends) {}
  StreamText text_;

 private:
  Stream &self() { return static_cast<Stream &>(*this); }
  bool finished_ = false;
};

class SentenceStream : public WindowedStream<SentenceStream> {
 public:
  // Detection or evaluation with a model's table, its results where
  // `output` says (see RunOutput).  A window is run once the new text is
  // `min_run` bytes or more (and as long as the undecided text it
  // re-reads), or at pump().
  SentenceStream(const FeatureTable &model, const Reading &reading, const RunOutput &output,
                 size_t min_run = size_t{1} << 20);
  // Evaluation's counts so far.
  const EvalCounts &counts() const { return counts_; }
  // The run's words (tests bound them, and set the bound).
  Lexicon &lexicon() { return session_.tokens.lexicon; }

 private:
  friend class WindowedStream<SentenceStream>;
  void run(bool final);

  // One session for all windows: the scorer counts what the whole run
  // forms (see Scorer), as a single run would.
  Session session_;
  RunSinks sinks_;
  EvalCounts counts_{};
  bool begun_ = false;
  int64_t from_ = 0;     // the first undecided candidate starts here or later
  int64_t start_ = -1;   // where the open sentence starts (-1: before the first window)
  bool done_ = false;    // the last sentence was reported (Unicode mode)
};

// Detection of a whole text of any length, with `output`'s results: text of
// up to `whole_limit` bytes (at most kMaxText, where 32-bit offsets end) is
// read in one run; longer text goes through a SentenceStream, whose windows
// are whole lines, with the same results.  So only a single line longer
// than kMaxText fails (kind input).  Tests pass a small `whole_limit`.
void detect_any_length(const FeatureTable &model, const Reading &reading, std::string_view text,
                       const RunOutput &output, size_t whole_limit = kMaxText);

// Detection of one whole text after another, each into spans exactly as
// detect_any_length gives them for that text alone.  A model that names no
// feature twice decides a text the same whatever was read before it (as
// every block of a parallel run is decided by a worker that read others),
// so one Session serves every text and keeps its words, caches and room
// for tokens: a short text then costs about its bytes, where a fresh
// Session pays for every word and table anew.  With a model that repeats
// a name, each text gets a fresh Session, as its answers depend on the run.
class TextSplitter {
 public:
  TextSplitter(const FeatureTable &model, const Reading &reading);
  TextSplitter(const TextSplitter &) = delete;
  TextSplitter &operator=(const TextSplitter &) = delete;
  // The sentences of `text`, valid until the next call.
  const std::vector<SentenceSpan> &split(std::string_view text);

 private:
  RunOutput output() { return RunOutput{Task::detect, FormKind::xml, nullptr, &found_}; }
  void fresh_session();

  const FeatureTable &model_;
  Reading reading_;
  std::vector<SentenceSpan> found_;
  std::optional<Session> session_;  // (none for a model that repeats a name)
};

// Training over a stream: the same windows as SentenceStream's, and each
// candidate's context written once the tokens its window and label need are
// final (three tokens after it, as above).  No sentence is open in training,
// so only the text from the line holding the second token before the first
// undecided candidate is kept.  Contexts and the records added to `table`
// are byte for byte those of one Training run over all of the text.
class TrainingStream : public WindowedStream<TrainingStream> {
 public:
  TrainingStream(FeatureTable &table, const Reading &reading, Output &out, size_t min_run = size_t{1} << 20);
  TrainingStream(FeatureTable &table, TextMode mode, Output &out, size_t min_run = size_t{1} << 20)
      : TrainingStream(table, Reading{mode, kTrainingRules}, out, min_run) {}

 private:
  friend class WindowedStream<TrainingStream>;
  void run(bool final);

  Session session_;
  Training training_;
  int64_t from_ = 0;  // the first undecided candidate starts here or later
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RUN_STREAM_H
