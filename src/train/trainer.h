// Fitting the detector's sentence-end model from its training output.
//
// The detector, run without a model, writes one context per candidate site (a small
// maximum-entropy event file) and the table of feature names (features.def). Here we read
// both and fit a two-outcome maximum-entropy model, which is plain logistic regression without
// an intercept, with liblinear; core/model/model_file.h writes the weights in the detector's
// model format.
//
// Bad input fails with a core::Error of kind data whose message names the file at fault and,
// where there is one, the line: "contexts.txt:14: label must be 0 or 1, found '7'"; a fit that
// fails, with one of kind fit.
#ifndef FULLSTOP_TRAIN_TRAINER_H
#define FULLSTOP_TRAIN_TRAINER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fullstop::train {

// ---------------------------------------------------------------------------------------------
// Feature names: features.def, lines "ID\tNAME\n" with ids 0, 1, 2, ... in order.

// Stored back to back rather than as one std::string each: the table can have millions of
// entries, and only the names of the features with a non-zero weight are ever looked at.
struct FeatureNames {
  std::string text;               // all names, concatenated
  std::vector<std::size_t> ends;  // name i is text[ends[i - 1], ends[i]), with ends[-1] = 0

  std::size_t size() const { return ends.size(); }
  std::string_view name(std::size_t id) const {
    std::size_t begin = id == 0 ? 0 : ends[id - 1];
    return std::string_view(text).substr(begin, ends[id] - begin);
  }
};

// `source` is only used in error messages.
FeatureNames parse_feature_names(std::string_view text, std::string_view source);
FeatureNames read_feature_names(const std::string &path);

// ---------------------------------------------------------------------------------------------
// Contexts: the training stream, three lines per candidate site:
//   2
//   LABEL N ID1 COUNT1 ... IDN COUNTN
//   1-LABEL 0

struct FeatureCount {
  std::uint32_t id;
  std::uint32_t count;
};

struct Contexts {
  std::vector<std::uint8_t> labels;       // 1: a sentence ends at the site
  std::vector<std::size_t> starts = {0};  // context i has features[starts[i], starts[i + 1])
  std::vector<FeatureCount> features;     // ids ascending within a context

  std::size_t size() const { return labels.size(); }
};

// The stream's layout is rigid, so a context's position tells its line: this is the line
// holding the features of context i (0-based), for error messages about its features.
constexpr std::size_t context_line(std::size_t i) { return 3 * i + 2; }

// Both reject anything but a well-formed stream of at least one context. read_contexts reads
// `block_size` bytes at a time, so a stream of any size costs memory only for what it holds.
Contexts parse_contexts(std::string_view text, std::string_view source);
Contexts read_contexts(std::FILE *in, std::string_view source, std::size_t block_size = 1 << 20);

// Every feature id used must have a name. The stream and the table are produced together,
// but from separate files, so a mismatch (a stale features.def) must be caught here.
void check_feature_ids(const Contexts &contexts, std::string_view source, const FeatureNames &names,
                       std::string_view names_source);

// The ids alone cannot show a features.def from another run whose list is long enough, so
// this checks what the two formats do allow:
//  - the list is not much longer than the ids used: every name the detector lists comes from
//    a window it wrote out, so a list with more than twice as many names as the contexts use
//    (plus 16) belongs to other contexts;
//  - when every name has the detector's form (core/model/templates.h) with a window position
//    from 0 to 4, each context can hold each template at each position at most once, with
//    count 1: a window forms every name once.
void check_names_match(const Contexts &contexts, std::string_view source, const FeatureNames &names,
                       std::string_view names_source);

// ---------------------------------------------------------------------------------------------
// Fitting.

enum class Solver {
  l2,       // L2-regularised logistic regression, primal trust-region Newton
  l1,       // L1-regularised logistic regression: sparse models
  l2_dual,  // L2-regularised logistic regression, dual coordinate descent
};

std::optional<Solver> parse_solver(std::string_view name);  // "l2", "l1", "l2dual"
std::string_view solver_name(Solver solver);
double default_eps(Solver solver);  // liblinear's own default stopping tolerance

// The defaults are meant to be tuned on held-out data: change them here only.
struct FitOptions {
  // L1 with C = 10 was best on the Brown dev split (boundary F1 0.984) and keeps the model
  // small: about 6,000 non-zero weights where L2 keeps all 100,000.
  Solver solver = Solver::l1;
  double cost = 10.0;    // liblinear's C: larger means weaker regularisation
  double eps = 0.0;      // stopping tolerance; 0 means default_eps(solver)
  bool verbose = false;  // pass liblinear's progress messages on to stderr
};

// Returns one weight per feature id (size num_features), oriented so that a context's score,
// the sum of weight * count over its features, is > 0 exactly when the model gives the
// sentence end a probability > 0.5. There is no intercept: a context without features scores 0.
//
// A fit is refused (kind fit) when its objective or a weight is not finite, or when it
// gives no non-zero weight although the contexts have both labels: writing such a model
// would silently replace a working one with one that never or always ends sentences.
//
// If every context has the same label there is nothing to discriminate; the weights then
// reproduce that one outcome for every context seen in training (positive weights if all
// contexts end a sentence, negative ones if none does). Callers may want to warn.
std::vector<double> fit(const Contexts &contexts, std::size_t num_features,
                        const FitOptions &options);

double score(const std::vector<double> &weights, const Contexts &contexts, std::size_t i);
// The share of contexts whose label the weights get right, deciding as the detector does.
double training_accuracy(const std::vector<double> &weights, const Contexts &contexts);
std::size_t count_nonzero(const std::vector<double> &weights);

}  // namespace fullstop::train

#endif  // FULLSTOP_TRAIN_TRAINER_H
