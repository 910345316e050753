#include "reference.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace ref {

namespace {

// The C locale's classes, spelled out.
bool is_punct(unsigned char c) {
  return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
         (c >= '{' && c <= '~');
}
bool is_separator(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\0'; }
bool is_upper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool is_c_space(char c) { return c != '\0' && std::strchr(" \t\n\v\f\r", c) != nullptr; }

// The feature index as the hash table documents it: a name may have several
// records; a lookup answers the one in front; a new record goes in front; and
// every time the table grows (when an addition would make the entries
// outnumber the buckets, starting at 1024) the order of each name's records is
// reversed.
class Index {
 public:
  int32_t find(const std::string &name) const {
    auto it = chains_.find(name);
    return it == chains_.end() ? -1 : it->second.back();  // back() is the front of the chain
  }
  void add(const std::string &name, int32_t id) {
    if (static_cast<float>(count_ + 1) / static_cast<float>(size_) > 1.0f) {
      size_ *= 2;
      for (auto &[key, ids] : chains_) std::reverse(ids.begin(), ids.end());
    }
    chains_[name].push_back(id);
    count_++;
  }

 private:
  std::unordered_map<std::string, std::vector<int32_t>> chains_;
  int64_t size_ = 1024;
  int64_t count_ = 0;
};

struct Features {
  Index index;
  std::vector<std::string> names;
  std::vector<double> weights;

  int32_t add(const std::string &name, double weight) {
    auto id = static_cast<int32_t>(names.size());
    names.push_back(name);
    weights.push_back(weight);
    index.add(name, id);
    return id;
  }
  int32_t find_or_add(const std::string &name) {
    int32_t id = index.find(name);
    return id >= 0 ? id : add(name, 0.0);
  }
};

std::string stem_of(std::string_view text) {
  std::string stem(text.substr(0, 3));
  for (char &c : stem)
    if (is_upper(static_cast<unsigned char>(c))) c = static_cast<char>(c - 'A' + 'a');
  return stem;
}

// The twenty names of a five-token window, position by position, each
// position's four templates in order.  (Filled into reused strings: the
// fuzzers call this for every candidate of every input.)
void window_names(std::string_view text, const std::vector<Token> &toks, size_t first,
                  std::string (&names)[20]) {
  for (int p = 0; p < 5; p++) {
    const Token &t = toks[first + p];
    std::string_view bytes = text.substr(t.start, t.len);
    char pos = static_cast<char>('0' + p);
    std::string stem = stem_of(bytes);
    char type = t.punct ? '2' : (is_upper(static_cast<unsigned char>(bytes[0])) ? '1' : '0');
    std::string *n = names + 4 * p;
    n[0].assign("text_").append(1, pos).append("_").append(bytes);
    n[1].assign("stem_").append(1, pos).append("_").append(stem);
    n[2].assign("stem2_").append(1, pos).append("_").append(t.space_before ? "1" : "0").append("_");
    n[2].append(t.space_after ? "1" : "0").append("_").append(stem);
    n[3].assign("type_").append(1, pos).append("_").append(1, type);
  }
}

// The window's feature ids, looked up (and created) in name order, then
// ascending as an event holds them.
void window_ids(Features &features, std::string_view text, const std::vector<Token> &toks,
                size_t first, int32_t (&ids)[20]) {
  static std::string names[20];
  window_names(text, toks, first, names);
  for (int k = 0; k < 20; k++) ids[k] = features.find_or_add(names[k]);
  std::sort(ids, ids + 20);
}

std::string normalised(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') c = ' ';
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string percent(int numerator, int denominator) {
  if (denominator == 0) return "-nan%\n";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f%%\n", numerator * 100.0 / denominator);
  return buf;
}

}  // namespace

const char *mode_name(Mode mode) {
  switch (mode) {
    case Mode::train:
      return "training";
    case Mode::offsets:
      return "detection";
    case Mode::text:
      return "detection -f";
    case Mode::bare:
      return "detection -F";
    case Mode::eval:
      return "evaluation";
  }
  return "?";
}

Model load_model(std::string_view bytes) {
  Model model;
  if (bytes.empty()) return model;
  std::string copy(bytes);
  FILE *m = fmemopen(copy.data(), copy.size(), "r");
  if (m == nullptr) std::abort();
  for (;;) {
    long at = std::ftell(m);
    double weight = 0;
    char *name = nullptr;
    int converted = std::fscanf(m, "%lf\t%m[^\n]\n", &weight, &name);
    if (converted == 2) model.records.push_back({std::string(name), weight});
    std::free(name);
    if (converted == 2) continue;
    if (converted != EOF) {
      // The line that holds the first byte of the record that did not scan.
      auto offset = static_cast<size_t>(at);
      while (offset < copy.size() && is_c_space(copy[offset])) offset++;
      model.stop_line = 1 + static_cast<int>(std::count(copy.begin(), copy.begin() + offset, '\n'));
    }
    break;
  }
  std::fclose(m);
  return model;
}

std::vector<Token> tokenize(std::string_view text) {
  std::vector<Token> toks;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(pos, end - pos);
    if (line.find_first_not_of(" \t") == std::string_view::npos) {
      if (!toks.empty()) toks.back().para_break = true;
    } else {
      bool any = false;
      size_t i = pos;
      while (i < end) {
        if (is_separator(static_cast<unsigned char>(text[i]))) {
          i++;
          continue;
        }
        size_t word_end = i;
        while (word_end < end && !is_separator(static_cast<unsigned char>(text[word_end])))
          word_end++;
        for (size_t run = i; run < word_end;) {
          bool punct = is_punct(static_cast<unsigned char>(text[run]));
          size_t run_end = run;
          while (run_end < word_end && is_punct(static_cast<unsigned char>(text[run_end])) == punct)
            run_end++;
          Token t;
          t.start = static_cast<int32_t>(run);
          t.len = static_cast<int32_t>(run_end - run);
          t.punct = punct;
          t.space_before = run == i;
          t.space_after = run_end == word_end;
          toks.push_back(t);
          any = true;
          run = run_end;
        }
        i = word_end;
      }
      if (any) toks.back().boundary = true;
    }
    pos = end + 1;
  }
  return toks;
}

namespace {

Result train(std::string_view text, const std::vector<Token> &toks) {
  Result result;
  Features features;
  for (size_t i = 2; i + 2 < toks.size(); i++) {
    if (!toks[i].punct) continue;
    int32_t ids[20];
    window_ids(features, text, toks, i - 2, ids);
    int label = toks[i].boundary ? 1 : 0;
    result.out += "2\n" + std::to_string(label) + " 20";
    for (int32_t id : ids) result.out += " " + std::to_string(id) + " 1";
    result.out += "\n" + std::to_string(1 - label) + " 0\n";
  }
  for (size_t id = 0; id < features.names.size(); id++)
    result.features_def += std::to_string(id) + "\t" + features.names[id] + "\n";
  return result;
}

// The four detection modes' outputs: a sentence ends after a candidate whose
// window's weights sum to more than zero, and always before a blank line.
void detect(std::string_view text, const std::vector<Token> &toks, const std::vector<Record> &model,
            std::vector<Result> &results) {
  std::string &offsets = results[static_cast<int>(Mode::offsets)].out;
  std::string &with_text = results[static_cast<int>(Mode::text)].out;
  std::string &bare = results[static_cast<int>(Mode::bare)].out;
  std::string &eval = results[static_cast<int>(Mode::eval)].out;
  Features features;
  for (const Record &r : model) features.add(r.name, r.weight);
  auto sentence = [&](int32_t start, int32_t end) {
    std::string s = normalised(text.substr(start, end - start));
    std::string head = "<sentence start=\"" + std::to_string(start) + "\" end=\"" + std::to_string(end) + "\"";
    offsets += head + "/>\n";
    with_text += head + ">" + s + "</sentence>\n";
    bare += s + "\n";
  };
  auto window_text = [&](size_t first) {
    std::string s;
    for (size_t k = first; k < first + 5; k++) s += " " + std::string(text.substr(toks[k].start, toks[k].len));
    return s + "\n";
  };

  int fp = 0, fn = 0, tp = 0, tn = 0, sites = 0;
  offsets += "<sentence-list>\n";
  with_text += "<sentence-list>\n";
  int32_t start = 0;
  for (size_t i = 2; i + 2 < toks.size(); i++) {
    const Token &t = toks[i];
    if (!t.punct && !t.para_break) continue;
    int32_t ids[20];
    window_ids(features, text, toks, i - 2, ids);
    double score = 0.0;
    for (int32_t id : ids) score += features.weights[id];
    bool end = score > 0.0 || t.para_break;
    if (end && !t.boundary) {
      if (fp++ < 10) eval += "false positive: " + window_text(i - 2);
    } else if (!end && t.boundary) {
      if (fn++ < 10) eval += "false negative: " + window_text(i - 2);
    } else if (end) {
      tp++;
    } else {
      tn++;
    }
    sites++;
    if (end) {
      sentence(start, t.start + t.len);
      start = toks[i + 1].start;
    }
  }
  eval += "tested " + std::to_string(sites) + " sites\n";
  eval += "nfalse_positives = " + std::to_string(fp) + "\n";
  eval += "nfalse_negatives = " + std::to_string(fn) + "\n";
  eval += "ntrue_positives = " + std::to_string(tp) + "\n";
  eval += "ntrue_negatives = " + std::to_string(tn) + "\n";
  eval += "accuracy  = " + percent(tp + tn, sites);
  eval += "precision = " + percent(tp, fp + tp);
  eval += "recall = " + percent(tp, fn + tp);
  sentence(start, static_cast<int32_t>(text.size()));
  offsets += "</sentence-list>\n";
  with_text += "</sentence-list>\n";
}

}  // namespace

std::vector<Result> run_all(std::string_view text, const std::vector<Record> &model) {
  std::vector<Token> toks = tokenize(text);
  std::vector<Result> results(5);
  results[static_cast<int>(Mode::train)] = train(text, toks);
  detect(text, toks, model, results);
  return results;
}

std::vector<Result> run_detection(std::string_view text, const std::vector<Record> &model) {
  std::vector<Result> results(5);
  detect(text, tokenize(text), model, results);
  return results;
}

Result run(std::string_view text, Mode mode, const std::vector<Record> &model) {
  std::vector<Token> toks = tokenize(text);
  if (mode == Mode::train) return train(text, toks);
  std::vector<Result> results(5);
  detect(text, toks, model, results);
  return results[static_cast<int>(mode)];
}

}  // namespace ref
