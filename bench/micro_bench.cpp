// Microbenchmarks of the detector's inner parts, to guide speed work:
// tokenizing, the candidate walk (feature ids, scores), a library call on a
// short text, feature name forming and lookup, training contexts, and the
// hash table.  Inputs: the Brown test text and the bundled
// model (FULLSTOP_ROOT, default the current folder).
#include "../tests/unit/classic_state.h"
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fullstop/fullstop.h"
#include "fullstop/hash.h"

namespace {

std::string root() {
  const char *r = std::getenv("FULLSTOP_ROOT");
  return r ? r : ".";
}

const std::string &brown_text() {
  static std::string text = [] {
    std::ifstream in(root() + "/data/brown/test.txt", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string t = ss.str();
    if (t.empty()) {
      std::fprintf(stderr, "micro_bench: run scripts/brown-data first (or set FULLSTOP_ROOT)\n");
      std::exit(1);
    }
    return t;
  }();
  return text;
}

void BM_Tokenize(benchmark::State &state) {
  const std::string &text = brown_text();
  for (auto _ : state) {
    reset_run();
    set_input(text);
    index_input();
    benchmark::DoNotOptimize(toks.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  reset_run();
}
BENCHMARK(BM_Tokenize)->Unit(benchmark::kMillisecond);

// The detection walk over one text, the model loaded and the caches warm (a
// second pass), so it measures the steady state of a long run.
void BM_DetectWalk(benchmark::State &state) {
  const std::string &text = brown_text();
  reset_run();
  set_input(text);
  index_input();
  std::string model = root() + "/models/en.model";
  load_model(model.c_str());
  auto walk = [] {
    int ends = 0;
    for (size_t i = 2; i + 2 < toks.size(); i++)
      if (toks[i].is_punct() || toks[i].para_break) ends += detect_toks(&toks[i - 2], 5);
    return ends;
  };
  walk();
  for (auto _ : state) benchmark::DoNotOptimize(walk());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  reset_run();
}
BENCHMARK(BM_DetectWalk)->Unit(benchmark::kMillisecond);

// fullstop_split on one short text at a time, as a program splitting a
// sentence, a line or a chat message per call does: the cost of a run's
// own state (word index, caches) set up for a few tokens.
void BM_SplitShortText(benchmark::State &state) {
  char *error = nullptr;
  std::string path = root() + "/models/en.model";
  fullstop_model *model = fullstop_model_load(path.c_str(), &error);
  if (model == nullptr) {
    state.SkipWithError(error);
    std::free(error);
    return;
  }
  const std::string text = "Mr. Smith went to Washington. He saw the U.S. Capitol! Did he like it?";
  for (auto _ : state) {
    fullstop_span *spans = nullptr;
    int64_t n = fullstop_split(model, text.data(), text.size(), &spans, &error);
    benchmark::DoNotOptimize(n);
    std::free(spans);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  fullstop_model_free(model);
}
BENCHMARK(BM_SplitShortText)->Unit(benchmark::kMicrosecond);

// Forming the twenty names of a window and looking each up, as the plain
// reading does for every candidate.
void BM_FeatureNamesAndLookup(benchmark::State &state) {
  reset_run();
  set_input(brown_text());
  index_input();
  std::string model = root() + "/models/en.model";
  load_model(model.c_str());
  std::string name;
  size_t windows = 0;
  for (auto _ : state) {
    for (size_t i = 2; i + 2 < toks.size() && i < 20000; i++) {
      if (!toks[i].is_punct()) continue;
      for (int p = 0; p < 5; p++)
        for (int which = 0; which < 4; which++) {
          feature_name(name, which, p, toks[i - 2 + p]);
          benchmark::DoNotOptimize(find_feature(name));
        }
      windows++;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(windows));
  reset_run();
}
BENCHMARK(BM_FeatureNamesAndLookup)->Unit(benchmark::kMillisecond);

// Training contexts of the Brown test text, each pass a fresh run (its own
// feature table, so names are formed and numbered again); output discarded.
// Arg 1: the fast path, 0: every context through the event (the reference).
void BM_TrainingContexts(benchmark::State &state) {
  struct Discard : Sink {
    void put(const char *, size_t) override {}
  };
  const std::string &text = brown_text();
  for (auto _ : state) {
    Tokenizer in;
    in.text.copy(text);
    FeatureTable table;
    Scorer scorer(in, table);
    Discard sink;
    Output out(sink);
    Training training(in, scorer, out);
    training.plain = state.range(0) == 0;
    training.report();
    out.flush();
    benchmark::DoNotOptimize(table.feats.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TrainingContexts)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_HashAddFind(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<std::string> keys;
  for (int i = 0; i < n; i++) keys.push_back("text_" + std::to_string(i % 5) + "_w" + std::to_string(i));
  for (auto _ : state) {
    HashTable *t = hash_new("bench");
    for (const std::string &k : keys) hash_add(t, strdup(k.c_str()), t);
    for (const std::string &k : keys) benchmark::DoNotOptimize(hash_find(t, k.c_str()));
    hash_free(t);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_HashAddFind)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
