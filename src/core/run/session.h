// The one setup of a run: what it does and where its results go
// (RunOutput), and the state it reads its text with (Session: the
// tokenizer, with the model's reading rules, and the scorer over the
// model's table).  Every entry point sets its runs up here: the program's
// streams, the library's calls, a parallel run's workers.
#ifndef FULLSTOP_CORE_RUN_SESSION_H
#define FULLSTOP_CORE_RUN_SESSION_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/output.h"
#include "core/decide/evaluation.h"
#include "core/decide/sentence_sink.h"
#include "core/model/feature_table.h"
#include "core/model/scorer.h"
#include "core/render/evaluation_report.h"
#include "core/render/form.h"
#include "core/render/renderer.h"
#include "core/tokens/reading_rules.h"
#include "core/tokens/tokenizer.h"

namespace fullstop::core {

enum class Task : uint8_t {
  detect,    // sentences
  evaluate,  // decisions against the line ends of sentence-per-line text
  train,     // training contexts and the feature list
};

// What a detection or evaluation run gives back, and where: printed to
// `out` (sentences in `form`; evaluation's first errors and its report), or
// the sentences as spans, or (evaluation) only counts.
struct RunOutput {
  Task task = Task::detect;
  FormKind form = FormKind::xml;
  Output *out = nullptr;
  std::vector<SentenceSpan> *spans = nullptr;  // detection without `out`

  // Whether the run prints sentences with their text, which reads up to
  // 16 bytes past a sentence's end: it then takes a padded copy of each
  // text it reads (see TextBuffer); every other run reads text in place.
  bool prints_text() const { return task == Task::detect && out != nullptr && make_form(form)->needs_text(); }
};

// The sinks a RunOutput's runs report to.
class RunSinks {
 public:
  RunSinks(const RunOutput &output, TextMode mode);
  RunSinks(const RunSinks &) = delete;
  RunSinks &operator=(const RunSinks &) = delete;
  // Detection's (null in evaluation, or with neither output nor spans).
  SentenceSink *sentences() { return sentences_; }
  // Evaluation's (null without an output).
  EvaluationSink *errors() { return errors_; }

 private:
  std::optional<Renderer> renderer_;
  std::optional<SpanSink> spans_;
  std::optional<EvaluationPrinter> printer_;
  SentenceSink *sentences_ = nullptr;
  EvaluationSink *errors_ = nullptr;
};

class Session {
 public:
  // Detection or evaluation with a model's table, reading as `reading` says.
  Session(const FeatureTable &model, const Reading &reading, const RunOutput &output);
  // Training: every name formed gets a record in `table`; the Unicode mode
  // reads with `reading`'s rules (kTrainingRules unless a recipe chose).
  Session(FeatureTable &table, const Reading &reading);
  Session(FeatureTable &table, TextMode mode) : Session(table, Reading{mode, kTrainingRules}) {}
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  Tokenizer tokens;
  Scorer scorer;

  TextMode mode() const { return mode_; }
  Task task() const { return task_; }

  // Takes the run's next text (a whole text, a stream's window, a block):
  // a padded copy when the run prints text, else read in place (the caller
  // keeps it until the next take() or drop()); mapped in the Unicode mode,
  // as sentence lines in evaluation and training.  The words of earlier
  // text stay.
  void take(std::string_view text);
  // Forgets the text, keeping the words.
  void drop() { tokens.text.drop(); }
  // Whether detection reads the words whose text the model does not name
  // by their signature, not kept in the lexicon (Lexicon::pass_unnamed,
  // Scorer::share_unnamed): on by default, off for the plain way that
  // tests compare it with.
  void share_unnamed(bool share);

 private:
  TextMode mode_;
  Task task_;
  bool copy_;
};

// Runs over a whole text, as the library's calls make them: every sentence
// to `sink`, with its begin() and end(); the counts, errors to `errors`
// (may be null) with its report; the training contexts to `contexts`.
void detect_text(Session &session, std::string_view text, SentenceSink &sink);
EvalCounts evaluate_text(Session &session, std::string_view text, EvaluationSink *errors);
void train_text(Session &session, std::string_view text, Output &contexts);
// Detection or evaluation of a whole text with the session's results where
// `output` says (the output the session was made for); the counts of an
// evaluation.
EvalCounts run_text(Session &session, std::string_view text, const RunOutput &output);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RUN_SESSION_H
