#include "core/run/session.h"

#include "core/decide/detection.h"
#include "core/decide/training.h"

namespace fullstop::core {

namespace {
bool names_text(const void *model, const char *bytes, int32_t len, uint64_t prefix) {
  return static_cast<const FeatureTable *>(model)->names_text(std::string_view(bytes, static_cast<size_t>(len)),
                                                               prefix);
}
uint32_t word_signature(const void *model, const Word &w) {
  return Scorer::unnamed_signature(*static_cast<const FeatureTable *>(model), w);
}
}  // namespace

RunSinks::RunSinks(const RunOutput &output, TextMode mode) {
  if (output.task == Task::evaluate) {
    if (output.out != nullptr) errors_ = &printer_.emplace(*output.out);
  } else if (output.out != nullptr) {
    sentences_ = &renderer_.emplace(*output.out, output.form, mode);
  } else if (output.spans != nullptr) {
    sentences_ = &spans_.emplace(*output.spans);
  }
}

Session::Session(const FeatureTable &model, const Reading &reading, const RunOutput &output)
    : scorer(tokens, model), mode_(reading.mode), task_(output.task), copy_(output.prints_text()) {
  tokens.rules = reading.rules;
  // Detection and evaluation keep only a bounded number of words, however
  // many distinct ones the text holds (see kDetectionWords); training
  // numbers every word it meets, and keeps them all.
  tokens.lexicon.set_limit(kDetectionWords, kDetectionWordBytes);
  share_unnamed(true);
}

void Session::share_unnamed(bool share) {
  scorer.share_unnamed(share);
  // Only over a model indexed by word can the scorer read a word whose
  // text it does not name without the word's index (see Scorer); one that
  // repeats a name must count the names every word forms.
  const FeatureTable &model = scorer.table();
  const bool pass = share && model.indexed_by_word() && !model.has_repeats();
  tokens.lexicon.pass_unnamed(pass ? names_text : nullptr, pass ? word_signature : nullptr, pass ? &model : nullptr);
}

Session::Session(FeatureTable &table, const Reading &reading)
    : scorer(tokens, table), mode_(reading.mode), task_(Task::train), copy_(false) {
  tokens.rules = reading.rules;
}

void Session::take(std::string_view text) {
  if (copy_) {
    tokens.text.copy(text);
  } else {
    tokens.text.borrow(text);
  }
  if (mode_ == TextMode::unicode) tokens.text.map(task_ != Task::detect, map_rules(tokens.rules));
  tokens.code.clear();  // (found by the walk)
}

void detect_text(Session &session, std::string_view text, SentenceSink &sink) {
  session.take(text);
  Detection detection(session.tokens, session.scorer, session.mode(), sink);
  sink.begin();
  detection.run();
  sink.end();
  session.drop();
}

EvalCounts evaluate_text(Session &session, std::string_view text, EvaluationSink *errors) {
  session.take(text);
  Evaluation evaluation(session.tokens, session.scorer, session.mode(), errors);
  evaluation.run();
  if (errors != nullptr) errors->report(evaluation.counts);
  session.drop();
  return evaluation.counts;
}

void train_text(Session &session, std::string_view text, Output &contexts) {
  session.take(text);
  Training training(session.tokens, session.scorer, contexts);
  training.report(session.mode());
  session.drop();
}

EvalCounts run_text(Session &session, std::string_view text, const RunOutput &output) {
  RunSinks sinks(output, session.mode());
  if (output.task == Task::evaluate) return evaluate_text(session, text, sinks.errors());
  if (sinks.sentences() != nullptr) detect_text(session, text, *sinks.sentences());
  return EvalCounts{};
}

}  // namespace fullstop::core
