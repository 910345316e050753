// Trainer fuzz target: the readers of the context stream and of features.def,
// and, for small well-formed pairs, the fit and the model it writes.
//
// The first input byte picks what to do with the rest:
//   byte % 3 == 0: the rest is a context stream;
//   byte % 3 == 1: the rest is a features.def;
//   byte % 3 == 2: contexts, a NUL byte, then a features.def: check the ids,
//                  fit and write the model.
// Each reader is compared with a plain grammar of its format: the same inputs
// must be accepted, a rejection must name the first bad line, and the stream
// reader must agree with itself whatever block size it reads in.  A written
// model must read back, through the detector's documented record format, as
// exactly the non-zero weights under their feature names.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.h"
#include "core/base/output.h"
#include "core/model/model_file.h"
#include "harness.h"
#include "reference.h"
#include "train/trainer.h"

namespace {

using fullstop::train::Contexts;
using fullstop::train::FeatureNames;
namespace train = fullstop::train;

// A plain reading of a format: what it holds if well formed, else the line at
// fault (0 when the fault is not on one line, such as an empty stream).
struct Verdict {
  bool ok = true;
  size_t line = 0;
  void reject(size_t at) {
    if (ok) {
      ok = false;
      line = at;
    }
  }
};

std::vector<std::string_view> split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    size_t at = text.find(sep);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// A whole unsigned decimal number that fits `max`; leading zeros allowed.
bool number(std::string_view text, uint64_t max, uint64_t &value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    auto digit = static_cast<uint64_t>(c - '0');
    if (digit > max || value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

// The context stream: lines "2", "LABEL N ID COUNT ..." (ids ascending,
// counts from 1), "1-LABEL 0", single blanks between numbers.
Verdict read_contexts_plainly(std::string_view text, Contexts &out) {
  Verdict v;
  std::vector<std::string_view> lines = split(text, '\n');
  std::string_view partial = lines.back();  // after the last newline
  lines.pop_back();
  int label = 0;
  for (size_t i = 0; i < lines.size() && v.ok; i++) {
    size_t line = i + 1;
    std::vector<std::string_view> fields = split(lines[i], ' ');
    uint64_t a = 0, b = 0;
    switch (i % 3) {
      case 0:
        if (lines[i] != "2") v.reject(line);
        break;
      case 1: {
        if (fields.size() < 2 || !number(fields[0], 1, a) || !number(fields[1], UINT32_MAX, b) ||
            fields.size() != 2 + 2 * b) {
          v.reject(line);
          break;
        }
        label = static_cast<int>(a);
        uint64_t previous = 0;
        for (uint64_t k = 0; k < b; k++) {
          uint64_t id = 0, count = 0;
          if (!number(fields[2 + 2 * k], UINT32_MAX, id) ||
              !number(fields[3 + 2 * k], UINT32_MAX, count) || count == 0 ||
              (k > 0 && id <= previous)) {
            v.reject(line);
            break;
          }
          out.features.push_back({static_cast<uint32_t>(id), static_cast<uint32_t>(count)});
          previous = id;
        }
        out.labels.push_back(static_cast<uint8_t>(label));
        out.starts.push_back(out.features.size());
        break;
      }
      case 2:
        if (fields.size() != 2 || !number(fields[0], 1, a) || a != static_cast<uint64_t>(1 - label) ||
            !number(fields[1], 0, b))
          v.reject(line);
        break;
    }
  }
  if (!partial.empty()) v.reject(lines.size() + 1);
  if (lines.size() % 3 != 0) v.reject(lines.size());
  if (lines.empty()) v.reject(0);
  return v;
}

// features.def: lines "ID<tab>NAME", ids 0, 1, 2, ...; a name is not empty,
// has no blank or tab, and is unique.  As a model is read back by the
// detector, a name must also come back from a "WEIGHT<tab>NAME" record as
// itself, or the trainer would write a model that means something else.
Verdict read_names_plainly(std::string_view text, std::vector<std::string_view> &names) {
  Verdict v;
  std::vector<std::string_view> lines = split(text, '\n');
  std::string_view partial = lines.back();  // after the last newline
  lines.pop_back();
  for (size_t i = 0; i < lines.size() && v.ok; i++) {
    size_t line = i + 1;
    std::string_view entry = lines[i];
    size_t tab = entry.find('\t');
    uint64_t id = 0;
    if (tab == std::string_view::npos || !number(entry.substr(0, tab), UINT64_MAX, id) || id != i) {
      v.reject(line);
      break;
    }
    std::string_view name = entry.substr(tab + 1);
    bool readable = false;
    if (!name.empty() && name.find_first_of(" \t") == std::string_view::npos) {
      ref::Model back = ref::load_model("1\t" + std::string(name) + "\n");
      readable = back.stop_line == 0 && back.records.size() == 1 && back.records[0].name == name;
    }
    if (!readable) {
      v.reject(line);
      break;
    }
    names.push_back(name);
  }
  if (!partial.empty()) v.reject(lines.size() + 1);
  if (!v.ok) return v;
  // The first name that repeats an earlier one.
  std::vector<std::pair<std::string_view, size_t>> sorted;
  for (size_t i = 0; i < names.size(); i++) sorted.push_back({names[i], i});
  std::sort(sorted.begin(), sorted.end());
  size_t repeat = SIZE_MAX;
  for (size_t i = 1; i < sorted.size(); i++)
    if (sorted[i].first == sorted[i - 1].first) repeat = std::min(repeat, sorted[i].second);
  if (repeat != SIZE_MAX) v.reject(repeat + 1);
  return v;
}

template <typename F>
std::string error_of(F &&f) {
  try {
    f();
  } catch (const fullstop::core::Error &e) {
    return e.what();
  }
  return "";
}

// The message a rejection should start with.
std::string where(const char *source, const Verdict &v) {
  return v.line == 0 ? std::string(source) + ": " : std::string(source) + ":" + std::to_string(v.line) + ": ";
}

void expect_verdict(const char *what, std::string_view input, const Verdict &want,
                    const std::string &error) {
  if (want.ok && !error.empty())
    harness::fail(std::string(what) + " rejected a well-formed input: " + error + "\ninput:\n" +
                  harness::show(input));
  if (!want.ok && error.empty())
    harness::fail(std::string(what) + " accepted an input with a fault on line " +
                  std::to_string(want.line) + "\ninput:\n" + harness::show(input));
  if (!want.ok && error.rfind(where("src", want), 0) != 0)
    harness::fail(std::string(what) + " blamed the wrong line: '" + error + "', expected '" +
                  where("src", want) + "...'\ninput:\n" + harness::show(input));
}

bool same(const Contexts &a, const Contexts &b) {
  if (a.labels != b.labels || a.starts != b.starts || a.features.size() != b.features.size()) return false;
  for (size_t i = 0; i < a.features.size(); i++)
    if (a.features[i].id != b.features[i].id || a.features[i].count != b.features[i].count) return false;
  return true;
}

Contexts check_contexts(std::string_view text, size_t block, bool &ok) {
  Contexts want;
  Verdict verdict = read_contexts_plainly(text, want);
  Contexts whole;
  std::string error = error_of([&] { whole = train::parse_contexts(text, "src"); });
  expect_verdict("parse_contexts", text, verdict, error);
  if (verdict.ok && !same(whole, want)) harness::fail("parse_contexts read different contexts\ninput:\n" + harness::show(text));

  // The stream reader, in blocks that split lines anywhere, must agree.
  std::string copy(text);
  FILE *in = copy.empty() ? std::fopen("/dev/null", "rb") : fmemopen(copy.data(), copy.size(), "rb");
  if (in == nullptr) harness::fail("cannot open a memory stream");
  Contexts streamed;
  std::string stream_error = error_of([&] { streamed = train::read_contexts(in, "src", block); });
  std::fclose(in);
  if (stream_error != error || (error.empty() && !same(streamed, whole)))
    harness::fail("read_contexts in blocks of " + std::to_string(block) + " gave '" + stream_error +
                  "' where parse_contexts gave '" + error + "'\ninput:\n" + harness::show(text));
  ok = verdict.ok;
  return whole;
}

FeatureNames check_names(std::string_view text, bool &ok) {
  std::vector<std::string_view> want;
  Verdict verdict = read_names_plainly(text, want);
  FeatureNames names;
  std::string error = error_of([&] { names = train::parse_feature_names(text, "src"); });
  expect_verdict("parse_feature_names", text, verdict, error);
  if (verdict.ok) {
    bool equal = names.size() == want.size();
    for (size_t i = 0; equal && i < want.size(); i++) equal = names.name(i) == want[i];
    if (!equal) harness::fail("parse_feature_names read different names\ninput:\n" + harness::show(text));
  }
  ok = verdict.ok;
  return names;
}

void check_fit(std::string_view input, const Contexts &contexts, const FeatureNames &names,
               uint8_t selector) {
  // Every id must be named; the first context that uses one that is not is blamed.
  size_t bad = SIZE_MAX;
  for (size_t i = 0; i < contexts.size() && bad == SIZE_MAX; i++)
    for (size_t k = contexts.starts[i]; k < contexts.starts[i + 1]; k++)
      if (contexts.features[k].id >= names.size()) bad = i;
  std::string error = error_of([&] { train::check_feature_ids(contexts, "ctx", names, "def"); });
  std::string want = bad == SIZE_MAX ? "" : "ctx:" + std::to_string(train::context_line(bad)) + ": ";
  if (error.rfind(want, 0) != 0 || error.empty() != want.empty())
    harness::fail("check_feature_ids said '" + error + "', expected '" + want + "...'\ninput:\n" +
                  harness::show(input));
  if (bad != SIZE_MAX || contexts.size() > 200 || names.size() > 200) return;

  train::FitOptions options;
  const train::Solver solvers[] = {train::Solver::l1, train::Solver::l2, train::Solver::l2_dual};
  options.solver = solvers[(selector / 3) % 3];
  options.cost = (selector / 9) % 3 == 0 ? 0.1 : (selector / 9) % 3 == 1 ? 1.0 : 10.0;
  std::vector<double> weights;
  if (!error_of([&] { weights = train::fit(contexts, names.size(), options); }).empty()) return;
  if (weights.size() != names.size()) harness::fail("fit returned the wrong number of weights");
  double accuracy = train::training_accuracy(weights, contexts);
  if (!(accuracy >= 0.0 && accuracy <= 1.0)) harness::fail("training accuracy out of range");

  fullstop::core::StringSink sink;
  fullstop::core::Output out(sink);
  std::string write_error =
      error_of([&] { fullstop::core::write_model(out, "", weights, [&](size_t id) { return names.name(id); }); });
  out.flush();
  std::string model_text = std::move(sink.text);
  if (!write_error.empty()) harness::fail("write_model failed: " + write_error);

  ref::Model back = ref::load_model(model_text);
  std::vector<ref::Record> expected;
  for (size_t id = 0; id < weights.size(); id++)
    if (weights[id] != 0.0) expected.push_back({std::string(names.name(id)), weights[id]});
  bool equal = back.stop_line == 0 && back.records.size() == expected.size();
  for (size_t i = 0; equal && i < expected.size(); i++)
    equal = back.records[i].name == expected[i].name &&
            std::memcmp(&back.records[i].weight, &expected[i].weight, sizeof(double)) == 0;
  if (!equal)
    harness::fail("the model written does not read back as its weights\nmodel:\n" +
                  harness::show(model_text) + "\ninput:\n" + harness::show(input));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  harness::init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  if (size == 0) return 0;
  uint8_t selector = bytes[0];
  std::string_view rest(reinterpret_cast<const char *>(bytes) + 1, size - 1);
  size_t block = 1 + (selector / 3) % 13;
  bool ok = false;
  switch (selector % 3) {
    case 0:
      check_contexts(rest, block, ok);
      break;
    case 1:
      check_names(rest, ok);
      break;
    case 2: {
      size_t nul = rest.find('\0');
      if (nul == std::string_view::npos) return 0;
      bool names_ok = false;
      Contexts contexts = check_contexts(rest.substr(0, nul), block, ok);
      FeatureNames names = check_names(rest.substr(nul + 1), names_ok);
      if (ok && names_ok) check_fit(rest, contexts, names, selector);
      break;
    }
  }
  return 0;
}
