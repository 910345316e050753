// Detection: model loading, scoring of candidates, sentence output and the
// evaluation report.
#ifndef FULLSTOP_DETECT_H
#define FULLSTOP_DETECT_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "feature.h"
#include "intake.h"

// What loading a model found.
struct ModelLoad {
  size_t records = 0;     // records loaded
  bool numbered = true;   // record i had weight i, as the ids of a feature list do
  bool stopped = false;   // a record did not scan (and `warning` says why)
};

// A loaded model: its records and their index, what loading found, and the
// text mode it declares.  Never changed after loading, so any number of runs
// on any number of threads may share one.
struct LoadedModel {
  FeatureTable table;
  ModelLoad load;
  // Why loading stopped early ("NAME:LINE: REASON; loading stopped, N
  // features loaded"), or empty.
  std::string warning;
  TextMode mode = TextMode::classic;
};

// Where model bytes come from: fills buf with up to size bytes and returns
// how many (0 at the end), or -1 with errno set.
using ModelSource = std::function<ssize_t(char *buf, size_t size)>;

// Loads "WEIGHT<whitespace>NAME" records, one feature per record in source
// order.  Loading stops at the first record that does not scan, and
// `warning` says so, naming the model `name`.  `mode` is left for the caller
// to set (see declared_text_mode): a run that forces a mode never reads it.
void load_model(LoadedModel &model, const char *name, const ModelSource &source);
// The same from a file.  A file that cannot be opened throws a fullstop::Failure
// with the system's message ("PATH: REASON", printed as it is) and status 255.
void load_model_file(LoadedModel &model, const char *path);
// The same from bytes in memory.
void load_model_bytes(LoadedModel &model, const char *name, std::string_view bytes);

// The text mode a model's records declare: the first "#text-mode=NAME" record
// counts, classic when there is none.  A record naming an unknown mode throws
// fullstop::Failure naming the model.
TextMode declared_text_mode(const FeatureTable &table, const char *name);

// A warning when a model looks like a feature list (two or more records
// weighted 0, 1, 2, ...: features.def given for a model), or loaded no record
// without a warning saying why; else empty.  Output is unchanged: a model with
// no records is still a model.
std::string suspect_model_warning(const ModelLoad &load, const char *name);

// The sentence forms of the program.  With kFormatClassic, full_text and
// only_text choose among the classic three (offsets, -f, -F).
enum OutputFormat { kFormatClassic, kFormatText, kFormatJsonl, kFormatTsv };

struct DetectOptions {
  bool test = false;       // the evaluation report instead of sentences
  bool full_text = false;  // each sentence's text
  bool only_text = false;  // bare lines of text
  int format = kFormatClassic;
};

// Evaluation counters.
struct EvalCounts {
  int nfalse_positives, nfalse_negatives, ntrue_positives, ntrue_negatives, nsites;
};

// A sentence as offsets into the (original) input.
struct SentenceSpan {
  int64_t start, end;
};

// One detection run over an input whose words the scorer reads.
struct Detection {
  Detection(Input &in, Scorer &scorer, const DetectOptions &options)
      : in(in), scorer(scorer), options(options) {}
  Input &in;
  Scorer &scorer;
  DetectOptions options;
  // Where sentences and the report are printed; with `spans` set instead,
  // sentences are collected there and nothing is printed (the report's
  // error windows are printed only when `out` is set).
  Output *out = nullptr;
  std::vector<SentenceSpan> *spans = nullptr;
  // The offset of the input's first byte in the whole text: a stream runs
  // one window of its text at a time (stream.h), and sentences are printed
  // and collected by offsets from the stream's start.
  int64_t base = 0;
  EvalCounts counts{};
  std::string sentence_text, escaped_line;  // scratch

  // Walks every candidate and prints (or collects) the sentences, or the
  // evaluation report with `options.test`.  In the Unicode mode, the input
  // must have been mapped (Input::map) and offsets and texts are those of the
  // original input.
  void run(TextMode mode = TextMode::classic);
  // A stream's run over one window of its text (see SentenceStream): decides
  // the candidates whose token begins at original offset `from` or later
  // and, unless `final`, before mapped offset `limit`.  `start` is the open
  // sentence's start, as an offset from the stream's start, carried from
  // window to window, and `done` whether the last sentence was printed (the
  // Unicode mode).  With `final`, the window ends the text and the last
  // sentence is completed.  Counts add to `counts`.  With `until` at 0 or
  // more, candidates whose token begins at original offset `until` or later
  // are left undecided too (a block of a parallel run, see parallel.h).
  void run_window(TextMode mode, int32_t from, int32_t limit, bool final, int64_t &start, bool &done,
                  int32_t until = -1);
  // The document's opening line (the element forms), before any sentence.
  void begin();
  // The report (evaluation) or the document's closing line.
  void end();
  int detect_toks(const Token *window, int count);
  int detect_line_break(const Token *window);
  int detect_mark_at_line_break(const Token *window);
  void read_as_model_learnt();
  // 1.0 when the summed weights of the current event exceed 0, else 0.0.
  double test_event() const;
  void complete_sentence(int64_t start, int64_t end);
  void complete_original(int64_t start, int64_t end);
  bool complete_without_text(int64_t start, int64_t end);
  void show_toks(const Token *window, int count);
  void site(const Token *window, int64_t &start);

 private:
  bool document() const;
  void print_sentence_tag(int64_t start, int64_t end, std::string_view tail);
  void print_escaped_sentence(int64_t start, int64_t end, std::string_view text);
  void print_sentence(int64_t start, int64_t end, std::string_view text);
  bool with_text() const { return options.full_text || options.format != kFormatClassic; }
  void report_error(int &count, const char *label, const Token *window);
  void print_percent(const char *label, int numerator, int denominator);
  void print_count(const char *label, int value);
};

// The text printed for the sentence data[start, end): newlines read as
// spaces, runs of spaces become one, trailing spaces are dropped, the front is
// not trimmed.  Points into `data` or into scratch.
std::string_view normalised_text(const char *data, int32_t start, int32_t end, std::string &scratch);

#endif  // FULLSTOP_DETECT_H
