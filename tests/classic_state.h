// Tests drive the detector's pieces one call at a time, as the program once
// did through its globals.  Here one process-wide run (input, a feature table
// that loading and training share, its scorer, a detection and an output to
// standard output) stands behind the old names, so each test reads as a
// sequence of steps.  Only tests and benchmarks use this: the library and the
// programs keep every run's state in objects of their own.
#ifndef FULLSTOP_TESTS_CLASSIC_STATE_H
#define FULLSTOP_TESTS_CLASSIC_STATE_H

#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "detect.h"
#include "driver.h"
#include "feature.h"
#include "intake.h"
#include "training.h"
#include "util.h"

struct ClassicState {
  Input in;
  LoadedModel model;
  Scorer scorer{in, model.table};
  FdSink sink{1};
  Output out{sink};
  Detection detection{in, scorer, DetectOptions{}};
  Training training{in, scorer, out};
  ClassicState() { detection.out = &out; }

  void reset() {
    in.reset();
    model.table.clear();
    model.load = ModelLoad{};
    model.warning.clear();
    scorer.~Scorer();
    new (&scorer) Scorer(in, model.table);
    detection.options = DetectOptions{};
    detection.counts = EvalCounts{};
    out.discard();
  }
};

inline ClassicState &state() {
  static ClassicState *s = new ClassicState;  // lives until exit
  return *s;
}
inline Input &input() { return state().in; }

inline char *&data = state().in.data;
inline int32_t &data_len = state().in.data_len;
inline PodArray<Word> &words = state().in.words;
inline PodArray<Token> &toks = state().in.toks;
inline const std::vector<Feature *> &feats = state().model.table.feats;
inline int &nnz = state().scorer.nnz;
inline int32_t (&e_feats)[1024] = state().scorer.e_feats;
inline int32_t (&e_vals)[1024] = state().scorer.e_vals;
inline EvalCounts &eval_counts = state().detection.counts;
inline ModelLoad &model_load = state().model.load;

inline void reset_run() { state().reset(); }
inline void reset_intake() { state().in.reset(); }
inline void reset_features() {
  state().model.table.clear();
  ClassicState &s = state();
  s.scorer.~Scorer();
  new (&s.scorer) Scorer(s.in, s.model.table);
}

// Intake.
inline void set_input(std::string_view text) { input().set(text); }
inline void read_input(int fd) { input().read(fd); }
inline void index_input(TextMode mode = TextMode::classic) { input().index(mode); }
inline void index_input_bytewise(TextMode mode = TextMode::classic) { input().index_bytewise(mode); }
inline void walk_input(SiteVisitor visit, void *context, TextMode mode = TextMode::classic) {
  input().walk(visit, context, mode);
}
inline bool list_marker_at(const Token *window) { return input().list_marker_at(window); }
inline void map_input() { input().map(); }
inline const char *original_data() { return input().original_data(); }
inline int32_t original_len() { return input().original_len(); }
inline int32_t original_text_start() { return input().original_text_start(); }
inline int32_t original_start(int32_t m) { return input().original_start(m); }
inline int32_t original_end(int32_t m) { return input().original_end(m); }
inline int32_t next_token_start(int32_t pos) { return input().next_token_start(pos); }
inline void mark_boundary() { input().mark_boundary(); }
inline size_t longest_word_probe() { return input().longest_word_probe(); }

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
  feature_name(out, which, p, t, input());
}

// Detection and training.
inline void load_model(const char *path) {
  load_model_file(state().model, path);
  if (!state().model.warning.empty())
    std::fprintf(stderr, "fullstop: warning: %s\n", state().model.warning.c_str());
}
inline void detect(TextMode mode = TextMode::classic) { state().detection.run(mode); }
inline int detect_toks(const Token *window, int count) {
  return state().detection.detect_toks(window, count);
}
inline double test_event() { return state().detection.test_event(); }
inline void complete_sentence(int32_t start, int32_t end) {
  state().detection.complete_sentence(start, end);
}
inline void show_toks(const Token *window, int count) { state().detection.show_toks(window, count); }
inline std::string_view normalised_text(int32_t start, int32_t end, std::string &scratch) {
  return normalised_text(data, start, end, scratch);
}
inline void report(TextMode mode = TextMode::classic) { state().training.report(mode); }
inline void out_flush() { state().out.flush(); }
inline void out_discard() { state().out.discard(); }

#endif  // FULLSTOP_TESTS_CLASSIC_STATE_H
