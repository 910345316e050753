// The Unicode text mode on arbitrary bytes:
//  - the mapping and its offsets against the plain character-by-character
//    reference (tests/unit/unicode_reference.h);
//  - detection with an empty model (no window scores above zero), whose
//    sentences are exactly the paragraphs the reference finds, in the offsets
//    form and as -F lines;
//  - detection with a model that splits freely (for odd lengths, read with
//    the bundled English model's rules), whose sentences must be in order,
//    not overlap, start and end at character edges of the original, end at
//    the input's end, print as lines free of line-end characters, and be
//    the same when the input is streamed in random pieces.
//  - training (for odd lengths with the English model's rules), whose
//    contexts and feature list read as a stream in random pieces must be
//    those of the whole input.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/unit/unicode_reference.h"
#include "core/render/sentence_text.h"
#include "core/text/unicode_map.h"
#include "harness.h"
#include "in_process.h"

namespace {

using namespace fullstop::core;

const LoadedModel *empty_model = nullptr;
const LoadedModel *splitting_model = nullptr;

// Splits after nearly every punctuation mark, before list markers, and at
// text edges, so that sentences end everywhere the walk allows.  List labels
// in list position (type 6) split before them and never after, so that a
// label typed differently in a stream's window than in the whole text
// changes the sentences.  Line breaks split after short lines before a
// capital, so that a line's length read differently in a stream's window
// changes them too, and a colon that a line break follows splits, so that
// a mark's joined break window read differently changes them as well.
const char kSplittingModel[] =
    "0\t#text-mode=unicode\n"
    "3\ttype_2_2\n"
    "1\ttype_0_3\n"
    "1\ttype_4_3\n"
    "-0.5\ttype_3_0\n"
    "2\ttype_3_2\n"
    "2.5\ttype_3_6\n"
    "-4\ttype_1_6\n"
    "0.5\ttext_7_<nl-short>\n"
    "-0.5\ttext_7_<nl>\n"
    "4\ttext_6_:\n"
    "1\ttype_8_1\n";

// The same weights read with every rule the bundled English model declares
// (initialism runs, glued sentences, code spans, run-in headings and dates
// among them), and weights that split after an initialism's run and before
// a word glued to a mark, so that a rule read differently in a stream's
// window than in the whole text changes the sentences.
const char kEnglishRules[] =
    "0\t#reading=edge-markers,list-labels,roman-numerals,number-types,line-breaks,colon-breaks,comma-breaks,"
    "initials,pronoun-i,code-spans,glued-sentences,run-in-headings,run-in-dates,initialism-runs\n"
    "1.5\ttype_1_8\n"
    "5\tstem2_3_0_1_the\n"
    "0.5\ttext_7_<hd>\n";
const LoadedModel *english_model = nullptr;
Reading english_model_reading;

std::string run(std::string_view input, const LoadedModel *model, bool text_only) {
  harness::Options options;
  if (text_only) options.form = FormKind::lines;
  options.text_mode_forced = true;
  options.forced_text_mode = TextMode::unicode;
  harness::RunResult got;
  harness::run_in_process(got, input, model, "fuzz.model", options);
  if (!got.err.empty()) harness::mismatch("standard error", input, "", got.err);
  std::string streamed =
      harness::stream_in_process(input, *model, "fuzz.model", options, static_cast<uint32_t>(input.size()) * 7u);
  if (streamed != got.out) harness::mismatch("streamed output", input, got.out, streamed);
  return got.out;
}

// Training in the Unicode mode, streamed against the whole input; with
// `english`, read as the bundled English model's recipe trains it.
void check_training(std::string_view input, bool english) {
  harness::Options options;
  options.text_mode_forced = true;
  options.forced_text_mode = TextMode::unicode;
  if (english) options.training_rules = english_model_reading.rules;
  harness::RunResult got;
  harness::run_in_process(got, input, nullptr, "", options);
  std::string whole = got.out + "--\n" + got.features_def;
  std::string streamed = harness::train_stream_in_process(input, TextMode::unicode, static_cast<uint32_t>(input.size()) * 13u,
                                                          options.training_rules);
  if (streamed != whole) harness::mismatch("streamed training", input, whole, streamed);
}

std::string offsets_form(const std::vector<std::pair<size_t, size_t>> &spans) {
  std::string out = "<sentence-list>\n";
  for (auto [s, e] : spans)
    out += "<sentence start=\"" + std::to_string(s) + "\" end=\"" + std::to_string(e) + "\"/>\n";
  return out + "</sentence-list>\n";
}

// The -F line of a sentence: whitespace runs of any kind as one space,
// trailing whitespace dropped.
std::string reference_line(std::string_view text) {
  std::string out;
  bool space = false;
  for (const uref::Char &c : uref::decode(text)) {
    int32_t cp = c.cp;
    bool blank = cp == ' ' || (cp >= '\t' && cp <= '\r') || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
                 (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
                 cp == 0x205F || cp == 0x3000;
    if (blank) {
      space = true;
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += text.substr(c.start, c.len);
  }
  return out;
}

std::vector<std::pair<size_t, size_t>> parse_offsets(std::string_view out, std::string_view input) {
  std::vector<std::pair<size_t, size_t>> spans;
  size_t pos = 0;
  while ((pos = out.find("start=\"", pos)) != std::string_view::npos) {
    size_t s = std::strtoull(out.data() + pos + 7, nullptr, 10);
    size_t e_at = out.find("end=\"", pos);
    if (e_at == std::string_view::npos) harness::fail("no end attribute\n" + harness::show(input));
    size_t e = std::strtoull(out.data() + e_at + 5, nullptr, 10);
    spans.emplace_back(s, e);
    pos = e_at;
  }
  return spans;
}

void check_mapping(std::string_view input, bool sentence_lines) {
  uref::Mapped want = uref::map(input, sentence_lines);
  std::string got(input.size(), '\0');
  OffsetMap map;
  got.resize(map_unicode(input.data(), input.size(), got.data(), map, sentence_lines));
  if (got != want.text) harness::mismatch("mapped text", input, want.text, got);
  if (!needs_mapping(input.data(), input.size()) && !(map.identity() && got == input))
    harness::fail("needs_mapping() said no, but the text maps\n" + harness::show(input));
  for (size_t m = 0; m < got.size(); m++) {
    if ((m == 0 || want.from[m - 1] != want.from[m]) &&
        static_cast<size_t>(map.start(static_cast<int32_t>(m))) != want.from[m].first)
      harness::fail("start of mapped byte " + std::to_string(m) + "\n" + harness::show(input));
    if ((m + 1 == got.size() || want.from[m + 1] != want.from[m]) &&
        static_cast<size_t>(map.end(static_cast<int32_t>(m + 1))) != want.from[m].second)
      harness::fail("end after mapped byte " + std::to_string(m) + "\n" + harness::show(input));
  }
}

void check_unsplit(std::string_view input) {
  std::vector<std::pair<size_t, size_t>> want = uref::unsplit_sentences(input);
  std::string got = run(input, empty_model, false);
  std::string expected = offsets_form(want);
  if (got != expected) harness::mismatch("offsets with an empty model", input, expected, got);
  std::string lines;
  for (auto [s, e] : want) lines += reference_line(input.substr(s, e - s)) + "\n";
  got = run(input, empty_model, true);
  if (got != lines) harness::mismatch("-F lines with an empty model", input, lines, got);
}

void check_split(std::string_view input, const LoadedModel *model) {
  std::vector<std::pair<size_t, size_t>> spans = parse_offsets(run(input, model, false), input);
  // Blank text is no sentence, whatever the model.
  if (uref::unsplit_sentences(input).empty()) {
    if (!spans.empty()) harness::fail("a sentence in blank text\n" + harness::show(input));
    return;
  }
  size_t bom = input.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  if (spans.empty() || spans.front().first != bom || spans.back().second != input.size())
    harness::fail("sentences do not run from the start to the end\n" + harness::show(input));
  // Every sentence edge falls between characters of the original.
  std::vector<bool> edge(input.size() + 1, false);
  for (const uref::Char &c : uref::decode(input)) edge[c.start] = true;
  edge[input.size()] = true;
  size_t prev_end = 0;
  for (auto [s, e] : spans) {
    if (s < prev_end || e < s || e > input.size() || !edge[s] || !edge[e])
      harness::fail("sentence [" + std::to_string(s) + ", " + std::to_string(e) +
                    ") out of order or inside a character\n" + harness::show(input));
    prev_end = e;
  }
  std::string lines = run(input, model, true);
  std::string want;
  for (auto [s, e] : spans) want += reference_line(input.substr(s, e - s)) + "\n";
  if (lines != want) harness::mismatch("-F lines", input, want, lines);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  harness::init();
  auto *empty = new LoadedModel;
  harness::load_model_from(*empty, "empty.model", "");
  empty_model = empty;
  auto *splitting = new LoadedModel;
  harness::load_model_from(*splitting, "splitting.model", kSplittingModel);
  splitting_model = splitting;
  auto *english = new LoadedModel;
  harness::load_model_from(*english, "english.model", std::string(kSplittingModel) + kEnglishRules);
  english_model = english;
  english_model_reading = model_reading(*english, "english.model", nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  std::string_view input(reinterpret_cast<const char *>(bytes), size);
  check_mapping(input, false);
  check_mapping(input, true);
  check_unsplit(input);
  // Odd lengths with the English model's rules.
  check_split(input, size % 2 == 0 ? splitting_model : english_model);
  check_training(input, size % 2 != 0);
  return 0;
}
