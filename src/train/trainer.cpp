#include "train/trainer.h"

#include <linear.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>

#include "core/base/error.h"
#include "core/model/templates.h"

namespace fullstop::train {

using core::ErrorKind;

namespace {

// Quotes input text for an error message, keeping it short and printable.
std::string quote(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::string out = "'";
  for (char c : text.substr(0, kMax)) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    } else {
      out += c;
    }
  }
  if (text.size() > kMax) out += "...";
  out += '\'';
  return out;
}

[[noreturn]] void fail(std::string_view source, const std::string &reason) {
  core::fail(ErrorKind::data, std::string(source) + ": " + reason);
}

[[noreturn]] void fail(std::string_view source, std::size_t line, const std::string &reason) {
  core::fail(ErrorKind::data, std::string(source) + ":" + std::to_string(line) + ": " + reason);
}

[[noreturn]] void fit_failed(const std::string &reason) { core::fail(ErrorKind::fit, reason); }

std::string system_error_text() { return std::strerror(errno); }

// Reads a whole decimal number with nothing around it (from_chars alone would accept a prefix).
template <typename T>
bool parse_whole(std::string_view text, T &value) {
  const char *end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// The blank-separated tokens of one line of the context stream. The detector writes exactly
// one blank between tokens and none at either end; anything else means the stream is not
// what we think it is, so it is rejected rather than skipped.
class LineTokens {
 public:
  LineTokens(std::string_view line, std::string_view source, std::size_t number)
      : line_(line), source_(source), number_(number) {}

  bool at_end() const { return pos_ == line_.size() && !after_blank_; }

  std::string_view token(const char *what) {
    if (pos_ == line_.size()) {
      if (after_blank_) fail(source_, number_, "stray blank at the end of the line");
      fail(source_, number_, std::string("line ends where ") + what + " should be");
    }
    if (line_[pos_] == ' ') fail(source_, number_, std::string("stray blank before ") + what);
    std::size_t blank = line_.find(' ', pos_);
    std::string_view token = line_.substr(pos_, blank - pos_);
    if (blank == std::string_view::npos) {
      pos_ = line_.size();
      after_blank_ = false;
    } else {
      pos_ = blank + 1;
      after_blank_ = true;
    }
    return token;
  }

  std::uint32_t number(const char *what) {
    std::string_view text = token(what);
    std::uint32_t value = 0;
    if (!parse_whole(text, value)) {
      bool digits =
          std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (digits)
        fail(source_, number_, std::string(what) + " " + quote(text) + " is out of range");
      fail(source_, number_, std::string("expected ") + what + ", found " + quote(text));
    }
    return value;
  }

  void expect_end(const std::string &what_came_before) {
    if (at_end()) return;
    if (pos_ == line_.size()) fail(source_, number_, "stray blank at the end of the line");
    fail(source_, number_,
         "unexpected " + quote(line_.substr(pos_)) + " after " + what_came_before);
  }

 private:
  std::string_view line_;
  std::string_view source_;
  std::size_t number_;
  std::size_t pos_ = 0;
  bool after_blank_ = false;
};

// Parses the context stream as it arrives, in blocks that may split lines anywhere.
class ContextParser {
 public:
  explicit ContextParser(std::string_view source) : source_(source) {}

  void feed(std::string_view chunk) {
    if (!partial_.empty()) {
      std::size_t newline = chunk.find('\n');
      if (newline == std::string_view::npos) {
        partial_.append(chunk);
        return;
      }
      partial_.append(chunk.substr(0, newline));
      line(partial_);
      partial_.clear();
      chunk.remove_prefix(newline + 1);
    }
    for (std::size_t newline; (newline = chunk.find('\n')) != std::string_view::npos;) {
      line(chunk.substr(0, newline));
      chunk.remove_prefix(newline + 1);
    }
    partial_.assign(chunk);
  }

  Contexts finish() {
    if (!partial_.empty()) {
      fail(source_, line_ + 1, "the last line has no newline (truncated stream?)");
    }
    if (expect_ != Expect::header) {
      fail(source_, line_, "the stream ends inside a context (truncated stream?)");
    }
    if (contexts_.size() == 0) fail(source_, "no contexts: the stream is empty");
    return std::move(contexts_);
  }

 private:
  enum class Expect { header, event, complement };

  void line(std::string_view text) {
    ++line_;
    switch (expect_) {
      case Expect::header:
        header(text);
        expect_ = Expect::event;
        break;
      case Expect::event:
        event(text);
        expect_ = Expect::complement;
        break;
      case Expect::complement:
        complement(text);
        expect_ = Expect::header;
        break;
    }
  }

  void header(std::string_view text) {
    if (text == "2") return;
    std::uint32_t count = 0;
    if (parse_whole(text, count)) {
      fail(source_, line_,
           "the context header announces " + std::to_string(count) + " event lines; expected 2");
    }
    fail(source_, line_,
         "expected the context header '2', found " +
             (text.empty() ? std::string("an empty line") : quote(text)));
  }

  void event(std::string_view text) {
    LineTokens tokens(text, source_, line_);
    std::uint32_t label = tokens.number("a label");
    if (label > 1) fail(source_, line_, "label must be 0 or 1, found " + std::to_string(label));
    std::uint32_t pairs = tokens.number("the number of (id, count) pairs");
    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < pairs; ++i) {
      if (tokens.at_end()) {
        fail(source_, line_,
             "the line announces " + std::to_string(pairs) + " (id, count) pairs but has only " +
                 std::to_string(i));
      }
      std::uint32_t id = tokens.number("a feature id");
      if (i > 0 && id <= previous) {
        fail(source_, line_,
             "feature ids must ascend, but " + std::to_string(id) + " follows " +
                 std::to_string(previous));
      }
      std::uint32_t count = tokens.number("a feature count");
      if (count == 0) {
        fail(source_, line_, "feature " + std::to_string(id) + " has count 0; counts start at 1");
      }
      contexts_.features.push_back({id, count});
      previous = id;
    }
    if (!tokens.at_end()) {
      tokens.expect_end("the " + std::to_string(pairs) + " announced (id, count) pairs");
    }
    contexts_.labels.push_back(static_cast<std::uint8_t>(label));
    contexts_.starts.push_back(contexts_.features.size());
  }

  // The "no sentence end" outcome: the complementary label and no features of its own.
  void complement(std::string_view text) {
    LineTokens tokens(text, source_, line_);
    std::uint32_t expected = 1u - contexts_.labels.back();
    std::uint32_t label = tokens.number("a label");
    if (label != expected) {
      fail(source_, line_,
           "the second event line must have label " + std::to_string(expected) +
               ", the complement of the first, found " + std::to_string(label));
    }
    std::uint32_t pairs = tokens.number("the number of (id, count) pairs");
    if (pairs != 0) {
      fail(source_, line_,
           "the second event line must have no features, found " + std::to_string(pairs));
    }
    tokens.expect_end("'" + std::to_string(label) + " 0'");
  }

  std::string_view source_;
  std::string partial_;  // a line split across blocks
  std::size_t line_ = 0;
  Expect expect_ = Expect::header;
  Contexts contexts_;
};

std::string read_whole_file(const std::string &path) {
  std::FILE *in = std::fopen(path.c_str(), "rb");
  if (!in) fail(path, "cannot open: " + system_error_text());
  std::string data;
  std::size_t used = 0;
  for (;;) {
    data.resize(used + (1 << 20));
    std::size_t got = std::fread(data.data() + used, 1, data.size() - used, in);
    used += got;
    if (got == 0) break;
  }
  bool failed = std::ferror(in);
  std::string reason = system_error_text();
  std::fclose(in);
  if (failed) fail(path, "cannot read: " + reason);
  data.resize(used);
  return data;
}

void print_nothing(const char *) {}
void print_to_stderr(const char *text) { std::fputs(text, stderr); }

int liblinear_solver(Solver solver) {
  switch (solver) {
    case Solver::l2:
      return L2R_LR;
    case Solver::l1:
      return L1R_LR;
    case Solver::l2_dual:
      return L2R_LR_DUAL;
  }
  return L2R_LR;
}

struct ModelDeleter {
  void operator()(model *m) const { free_and_destroy_model(&m); }
};

}  // namespace

// ---------------------------------------------------------------------------------------------

FeatureNames parse_feature_names(std::string_view text, std::string_view source) {
  FeatureNames names;
  std::size_t line = 0;
  while (!text.empty()) {
    ++line;
    std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) {
      fail(source, line, "the last line has no newline (truncated file?)");
    }
    std::string_view entry = text.substr(0, newline);
    text.remove_prefix(newline + 1);

    std::size_t tab = entry.find('\t');
    if (tab == std::string_view::npos) {
      fail(source, line,
           entry.empty() ? std::string("empty line")
                         : "expected 'ID<tab>NAME', found " + quote(entry));
    }
    std::string_view id_text = entry.substr(0, tab);
    std::string_view name = entry.substr(tab + 1);
    std::uint64_t id = 0;
    if (!parse_whole(id_text, id)) {
      fail(source, line, "feature id " + quote(id_text) + " is not a number");
    }
    std::size_t expected = names.size();
    if (id < expected) {
      fail(source, line,
           "feature id " + std::to_string(id) + " is defined again (first on line " +
               std::to_string(id + 1) + ")");
    }
    if (id != expected) {
      fail(source, line,
           "expected feature id " + std::to_string(expected) + ", found " + std::to_string(id) +
               ": ids must run from 0 up without gaps");
    }
    if (name.empty()) fail(source, line, "feature " + std::to_string(id) + " has an empty name");
    if (name.find_first_of(" \t") != std::string_view::npos) {
      fail(source, line, "feature name " + quote(name) + " contains a blank or tab");
    }
    // The detector reads a model record's name as a C string after skipping the
    // whitespace that follows the weight, so such a name would come back as a
    // different one.  A carriage return inside a name is fine: text with CRLF
    // line ends gives tokens that end in one, and the detector keeps it.
    if (name.find('\0') != std::string_view::npos) {
      fail(source, line, "feature name " + quote(name) + " contains a NUL byte");
    }
    if (name[0] == '\r' || name[0] == '\v' || name[0] == '\f') {
      fail(source, line, "feature name " + quote(name) + " starts with whitespace");
    }
    if (expected >= UINT32_MAX) fail(source, line, "too many features");
    names.text.append(name);
    names.ends.push_back(names.text.size());
  }

  // A model is keyed by name, so two ids with one name would make it ambiguous. Sorting ids
  // by name finds repeats without a hash table as big as the table itself.
  std::vector<std::uint32_t> order(names.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return names.name(a) < names.name(b); });
  std::size_t first = 0, repeat = SIZE_MAX;
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (names.name(order[i]) == names.name(order[i - 1]) && order[i] < repeat) {
      first = order[i - 1];
      repeat = order[i];
    }
  }
  if (repeat != SIZE_MAX) {
    fail(source, repeat + 1,
         "feature name " + quote(names.name(repeat)) + " is already the name of feature " +
             std::to_string(first) + " (line " + std::to_string(first + 1) + ")");
  }
  return names;
}

FeatureNames read_feature_names(const std::string &path) {
  return parse_feature_names(read_whole_file(path), path);
}

Contexts parse_contexts(std::string_view text, std::string_view source) {
  ContextParser parser(source);
  parser.feed(text);
  return parser.finish();
}

Contexts read_contexts(std::FILE *in, std::string_view source, std::size_t block_size) {
  ContextParser parser(source);
  std::vector<char> block(std::max<std::size_t>(block_size, 1));
  for (;;) {
    std::size_t got = std::fread(block.data(), 1, block.size(), in);
    if (got == 0) break;
    parser.feed(std::string_view(block.data(), got));
  }
  if (std::ferror(in)) fail(source, "cannot read: " + system_error_text());
  return parser.finish();
}

void check_feature_ids(const Contexts &contexts, std::string_view source, const FeatureNames &names,
                       std::string_view names_source) {
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    for (std::size_t k = contexts.starts[i]; k < contexts.starts[i + 1]; ++k) {
      std::uint32_t id = contexts.features[k].id;
      if (id >= names.size()) {
        fail(source, context_line(i),
             "feature id " + std::to_string(id) + " is not defined in " +
                 std::string(names_source) + ", which has " + std::to_string(names.size()) +
                 " features");
      }
    }
  }
}

namespace {

// The template and window position of a name the detector forms at positions 0 to 4, as
// kTemplates * position + template, or -1 for any other name.
int name_slot(std::string_view name) {
  core::NameParts parts;
  if (!core::parse_feature_name(name, parts) || parts.position >= core::kWindow || parts.value.empty()) return -1;
  return core::kTemplates * parts.position + parts.which;
}

}  // namespace

void check_names_match(const Contexts &contexts, std::string_view source, const FeatureNames &names,
                       std::string_view names_source) {
  std::vector<bool> used(names.size(), false);
  std::size_t distinct = 0;
  for (const FeatureCount &f : contexts.features) {
    if (f.id < used.size() && !used[f.id]) {
      used[f.id] = true;
      ++distinct;
    }
  }
  if (names.size() > 2 * distinct + 16) {
    fail(names_source, "lists " + std::to_string(names.size()) + " features but " +
                           std::string(source) + " uses only " + std::to_string(distinct) +
                           " of them: the two are not from the same run of fullstop");
  }
  std::vector<std::int8_t> slot(names.size());
  for (std::size_t id = 0; id < names.size(); ++id) {
    slot[id] = static_cast<std::int8_t>(name_slot(names.name(id)));
    if (slot[id] < 0) return;  // not the detector's names: nothing more to check
  }
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    std::uint32_t seen = 0;
    for (std::size_t k = contexts.starts[i]; k < contexts.starts[i + 1]; ++k) {
      const FeatureCount &f = contexts.features[k];
      if (f.id >= names.size()) continue;  // check_feature_ids reports these
      int s = slot[f.id];
      std::string what = "feature " + std::to_string(f.id) + " " + quote(names.name(f.id)) +
                         " (from " + std::string(names_source) + ")";
      if (f.count != 1) {
        fail(source, context_line(i),
             what + " has count " + std::to_string(f.count) +
                 ", but a window forms each name once: the names are not from the same run");
      }
      if (seen & (1u << s)) {
        fail(source, context_line(i),
             what + " is a second " + std::string(core::kTemplateNames[s % core::kTemplates]) +
                 " name at window position " + std::to_string(s / core::kTemplates) +
                 ": the names are not from the same run");
      }
      seen |= 1u << s;
    }
  }
}

// ---------------------------------------------------------------------------------------------

std::optional<Solver> parse_solver(std::string_view name) {
  if (name == "l2") return Solver::l2;
  if (name == "l1") return Solver::l1;
  if (name == "l2dual") return Solver::l2_dual;
  return std::nullopt;
}

std::string_view solver_name(Solver solver) {
  switch (solver) {
    case Solver::l2:
      return "l2";
    case Solver::l1:
      return "l1";
    case Solver::l2_dual:
      return "l2dual";
  }
  return "?";
}

double default_eps(Solver solver) { return solver == Solver::l2_dual ? 0.1 : 0.01; }

std::vector<double> fit(const Contexts &contexts, std::size_t num_features,
                        const FitOptions &options) {
  if (contexts.size() == 0) fit_failed("no contexts to fit");
  if (contexts.size() > static_cast<std::size_t>(INT_MAX) ||
      num_features >= static_cast<std::size_t>(INT_MAX)) {
    fit_failed("too many contexts or features for liblinear");
  }
  std::vector<double> weights(num_features, 0.0);
  // Nothing to weigh: every context scores 0, which is the best a model without features
  // and without an intercept can do anyway.
  if (num_features == 0) return weights;

  // liblinear numbers features from 1 and ends each row with index -1.
  std::vector<feature_node> nodes;
  nodes.reserve(contexts.features.size() + contexts.size());
  std::vector<double> y(contexts.size());
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    for (std::size_t k = contexts.starts[i]; k < contexts.starts[i + 1]; ++k) {
      const FeatureCount &f = contexts.features[k];
      if (f.id >= num_features) fit_failed("feature id out of range");
      nodes.push_back({static_cast<int>(f.id) + 1, static_cast<double>(f.count)});
    }
    nodes.push_back({-1, 0.0});
    y[i] = contexts.labels[i];
  }
  std::vector<feature_node *> rows(contexts.size());
  for (std::size_t i = 0; i < contexts.size(); ++i) rows[i] = &nodes[contexts.starts[i] + i];

  problem prob{};
  prob.l = static_cast<int>(contexts.size());
  prob.n = static_cast<int>(num_features);
  prob.y = y.data();
  prob.x = rows.data();
  prob.bias = -1;  // no intercept: the detector adds up feature weights and nothing else

  parameter param{};
  param.solver_type = liblinear_solver(options.solver);
  param.eps = options.eps > 0 ? options.eps : default_eps(options.solver);
  param.C = options.cost;
  param.p = 0.1;  // unused by the logistic solvers, but checked
  if (const char *problem_text = check_parameter(&prob, &param)) {
    fit_failed(std::string("liblinear rejects the parameters: ") + problem_text);
  }

  set_print_string_function(options.verbose ? print_to_stderr : print_nothing);
  std::unique_ptr<model, ModelDeleter> fitted(::train(&prob, &param));
  if (!fitted) fit_failed("liblinear failed to fit the model");

  // liblinear orders the classes as it first meets them in the data and its weight vector
  // favours whichever came first. With a single class (all contexts alike) the weights
  // favour that class. Either way: flip if the favoured class is "no sentence end".
  std::vector<int> labels(static_cast<std::size_t>(get_nr_class(fitted.get())));
  get_labels(fitted.get(), labels.data());
  double sign = labels.at(0) == 1 ? 1.0 : -1.0;
  for (std::size_t id = 0; id < num_features; ++id) {
    double w = sign * get_decfun_coef(fitted.get(), static_cast<int>(id) + 1, 0);
    if (!std::isfinite(w)) fit_failed("the fit diverged (non-finite weights)");
    weights[id] = w == 0.0 ? 0.0 : w;  // no "-0" in the model
  }

  // The objective liblinear minimised, recomputed: C times the summed logistic loss plus the
  // regulariser. A C so large that this overflows leaves liblinear with nothing to minimise,
  // and it returns weights that mean nothing (typically all zero).
  double regulariser = 0.0;
  for (double w : weights) regulariser += options.solver == Solver::l1 ? std::fabs(w) : 0.5 * w * w;
  double loss = 0.0;
  std::size_t featured_ends = 0, featured_others = 0;
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    double margin = (contexts.labels[i] == 1 ? 1.0 : -1.0) * score(weights, contexts, i);
    loss += margin > 0 ? std::log1p(std::exp(-margin)) : -margin + std::log1p(std::exp(margin));
    bool featured = contexts.starts[i + 1] > contexts.starts[i];
    (contexts.labels[i] == 1 ? featured_ends : featured_others) += featured;
  }
  double objective = regulariser + options.cost * loss;
  if (!std::isfinite(objective)) {
    char cost[32];
    std::snprintf(cost, sizeof cost, "%g", options.cost);
    fit_failed(std::string("the fit failed: its objective is not finite with C = ") + cost +
                     " (try a smaller -c)");
  }
  if (featured_ends != 0 && featured_others != 0 && count_nonzero(weights) == 0) {
    fit_failed(
        "the fit failed: every weight is zero although contexts with features have both labels "
        "(try a larger -c, or a different -e)");
  }
  return weights;
}

double score(const std::vector<double> &weights, const Contexts &contexts, std::size_t i) {
  double sum = 0.0;
  for (std::size_t k = contexts.starts[i]; k < contexts.starts[i + 1]; ++k) {
    const FeatureCount &f = contexts.features[k];
    if (f.id < weights.size()) sum += weights[f.id] * f.count;
  }
  return sum;
}

double training_accuracy(const std::vector<double> &weights, const Contexts &contexts) {
  if (contexts.size() == 0) return 0.0;
  std::size_t right = 0;
  for (std::size_t i = 0; i < contexts.size(); ++i) {
    bool predicted_end = score(weights, contexts, i) > 0.0;
    right += predicted_end == (contexts.labels[i] == 1);
  }
  return static_cast<double>(right) / static_cast<double>(contexts.size());
}

std::size_t count_nonzero(const std::vector<double> &weights) {
  return static_cast<std::size_t>(
      std::count_if(weights.begin(), weights.end(), [](double w) { return w != 0.0; }));
}

}  // namespace fullstop::train
