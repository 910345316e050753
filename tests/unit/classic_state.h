// Tests drive the detector's pieces one call at a time.  Here one
// process-wide run (a tokenizer, a feature table that loading and training
// share, its scorer, and an output to standard output) stands behind short
// names, so each test reads as a sequence of steps.  Only tests and
// benchmarks use this: the library and the programs keep every run's state
// in objects of their own (core/run/session.h).
#ifndef FULLSTOP_TESTS_UNIT_CLASSIC_STATE_H
#define FULLSTOP_TESTS_UNIT_CLASSIC_STATE_H

#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "cli/sinks.h"
#include "core/base/output.h"
#include "core/decide/decision.h"
#include "core/decide/detection.h"
#include "core/decide/evaluation.h"
#include "core/decide/training.h"
#include "core/model/model_file.h"
#include "core/model/scorer.h"
#include "core/model/templates.h"
#include "core/render/evaluation_report.h"
#include "core/render/renderer.h"
#include "core/render/sentence_text.h"
#include "core/tokens/tokenizer.h"

namespace classic {

using namespace fullstop::core;

struct ClassicState {
  Tokenizer in;
  LoadedModel model;
  Scorer scorer{in, model.table};
  fullstop::cli::FdSink sink{1};
  Output out{sink};
  Training training{in, scorer, out};
  EvalCounts counts{};

  void reset() {
    in.reset();
    in.rules = ReadingRules{};
    model.table.clear();
    model.load = ModelLoad{};
    model.warning.clear();
    model.declared = ModelDeclaration{};
    scorer.~Scorer();
    new (&scorer) Scorer(in, model.table);
    counts = EvalCounts{};
    out.discard();
  }
};

inline ClassicState &state() {
  static ClassicState *s = new ClassicState;  // lives until exit
  return *s;
}
inline Tokenizer &input() { return state().in; }

inline char *&data = state().in.text.data;
inline int32_t &data_len = state().in.text.data_len;
inline PodArray<Word> &words = state().in.lexicon.words;
inline PodArray<Token> &toks = state().in.toks;
inline const std::vector<Feature *> &feats = state().model.table.feats;
inline int &nnz = state().scorer.nnz;
inline int32_t (&e_feats)[1024] = state().scorer.e_feats;
inline int32_t (&e_vals)[1024] = state().scorer.e_vals;
inline EvalCounts &eval_counts = state().counts;
inline ModelLoad &model_load = state().model.load;

inline void reset_run() { state().reset(); }
inline void reset_intake() { state().in.reset(); }
inline void reset_features() {
  state().model.table.clear();
  ClassicState &s = state();
  s.scorer.~Scorer();
  new (&s.scorer) Scorer(s.in, s.model.table);
}

// Text.
inline void set_input(std::string_view text) {
  input().reset();
  input().text.copy(text);
}
inline void index_input(TextMode mode = TextMode::classic) { input().index(mode); }
inline void index_input_bytewise(TextMode mode = TextMode::classic) { input().index_bytewise(mode); }
inline void walk_input(SiteVisitor visit, void *context, TextMode mode = TextMode::classic) {
  input().walk(visit, context, mode);
}
inline bool list_marker_at(const Token *window) { return input().list_marker_at(window); }
inline void map_input(bool sentence_lines = false) { input().text.map(sentence_lines, map_rules(input().rules)); }
inline const char *original_data() { return input().text.original_data(); }
inline int32_t original_len() { return input().text.original_len(); }
inline int32_t original_text_start() { return input().text.original_text_start(); }
inline int32_t original_start(int32_t m) { return input().text.original_start(m); }
inline int32_t original_end(int32_t m) { return input().text.original_end(m); }
inline int32_t next_token_start(int32_t pos) { return input().text.next_token_start(pos); }
inline size_t longest_word_probe() { return input().lexicon.longest_probe(); }

// Features.
inline Feature *build_feature(std::string_view name, double weight) {
  return state().model.table.build(name, weight);
}
inline const Feature *find_feature(std::string_view name) { return state().scorer.find(name); }
inline int64_t feature_index_size() { return state().scorer.index_size(); }
inline uint64_t feature_index_probes() { return state().scorer.probes(); }
inline uint64_t feature_index_lookups() { return state().scorer.lookups(); }
inline void keep_unknown_names(bool keep) { state().scorer.keep_unknown_names(keep); }
inline double feature_weight(int32_t id) { return state().scorer.weight(id); }
inline void new_event() { state().scorer.new_event(); }
inline void new_feature(std::string_view name) { state().scorer.new_feature(name); }
inline void new_feature(const char *name) { state().scorer.new_feature(std::string_view(name)); }
inline void new_feature(const std::string &name) { state().scorer.new_feature(std::string_view(name)); }
inline void new_feature(int32_t id) { state().scorer.new_feature(id); }
inline void do_features(const Token *window, int count) { state().scorer.do_features(window, count); }
inline double score_window(const Token *window) { return state().scorer.score_window(window); }
inline int score_window_sign(const Token *window) { return state().scorer.score_window_sign(window); }
inline void feature_name(std::string &out, int which, int p, const Token &t) {
  fullstop::core::feature_name(out, which, p, t, input());
}

// Detection and training.
inline void load_model(const char *path) {
  load_model_file(state().model, path);
  if (!state().model.warning.empty())
    std::fprintf(stderr, "fullstop: warning: %s\n", state().model.warning.c_str());
}
// Detection of the whole text, printed in `form` (the document lines too),
// or evaluation with the report, to standard output.
inline void detect(TextMode mode = TextMode::classic, FormKind form = FormKind::xml) {
  Renderer renderer(state().out, form, mode);
  Detection detection(state().in, state().scorer, mode, renderer);
  renderer.begin();
  detection.run();
  renderer.end();
}
inline void evaluate(TextMode mode = TextMode::classic) {
  EvaluationPrinter printer(state().out);
  Evaluation evaluation(state().in, state().scorer, mode, &printer);
  evaluation.run();
  state().counts = evaluation.counts;
  printer.report(evaluation.counts);
}
inline int detect_toks(const Token *window, int count) {
  if (count == kWindow) return decide(state().scorer, state().in, window);
  return decide_event(state().scorer, window, count);
}
inline double test_event() { return fullstop::core::test_event(state().scorer); }
// The classic sentence [start, end) as -f prints it.
inline void complete_sentence(int32_t start, int32_t end) {
  Renderer renderer(state().out, FormKind::xml_with_text, TextMode::classic);
  renderer.sentence(start, end, data + start);
}
inline void show_toks(const Token *window, int count) {
  for (int k = 0; k < count; k++) {
    state().out.put(' ');
    state().out.write(window[k].text(input()));
  }
  state().out.put('\n');
}
inline std::string_view normalised_text(int32_t start, int32_t end, std::string &scratch) {
  return fullstop::core::normalised_text(data, start, end, scratch);
}
inline void report(TextMode mode = TextMode::classic) { state().training.report(mode); }
inline void out_flush() { state().out.flush(); }
inline void out_discard() { state().out.discard(); }

}  // namespace classic

using namespace classic;

#endif  // FULLSTOP_TESTS_UNIT_CLASSIC_STATE_H
