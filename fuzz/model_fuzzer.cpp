// Model-loader fuzz target: arbitrary bytes as the model file, then detection
// and evaluation of a fixed text.  The records loaded, the warning about a
// record that stops loading, and both outputs are compared with the reference
// model of the documented format ("%lf\t%[^\n]\n" records).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"
#include "in_process.h"
#include "reference.h"

namespace {

// Sentence-per-line text with paragraph breaks, abbreviations, quotes and
// enough distinct windows that the feature index grows past its first 1024
// entries during detection.
const char kText[] =
    "Dr. Watson arrived at 10 a.m. on Monday.\n"
    "He had been expected since the previous week, and the delay had caused some concern.\n"
    "\"Where were you?\" asked Mrs. Hudson.\n"
    "He said nothing; the U.S. mail (as usual) was late.\n"
    "\n"
    "Mr. Smith met him at St. Paul's at 3:30 p.m. sharp!\n"
    "It rained... Then it stopped?! Nobody knew why -- not even Prof. Lee.\n"
    "Prices rose 4.5% in Jan. and fell 2% in Feb.; analysts (e.g. J. R. Doe) were surprised.\n"
    "\t  \n"
    "She wrote: \"Come at once.\" He came.\n"
    "'Yes,' he said, 'it is so.'\n"
    "The file was named report.txt, not report.doc!\n"
    "Section 3(b)(ii) applies; see pp. 12-15, vol. IV.\n"
    "Is it 1.5 or 1,5? The answer: neither.\n"
    "WHO said THAT? The U.N. did.\n"
    "Email me at a.b@c.com. Thanks!\n"
    "\xc3\x89t\xc3\xa9 arriv\xc3\xa9. Caf\xc3\xa9 ferm\xc3\xa9.\n"
    "Line with CR.\r\n"
    "The meeting (scheduled for 9 a.m.) began late; nobody minded.\n"
    "Temperatures hit 40\xc2\xb0" "C in Aug. and stayed there.\n"
    "Ask Gen. Grant, Sen. Byrd or Gov. Hill -- they'll know.\n"
    "Why not? Because! That's why...\n"
    "Items: apples, pears, etc.; also plums.\n"
    "Call 555-0100, ext. 42, before 5 p.m. Fri.\n"
    "A.B.C. Corp. reported $1.2 bn. in sales.\n"
    "\"Stop!\" she cried. \"Now!\"\n"
    "He left (finally).\n"
    "No. 7 won; No. 8 lost.\n"
    "x . y ! z ? w\n"
    "End of text. Really the end\n";

const char kModelName[] = "fuzzed.model";

void check_mode(std::string_view model_bytes, const ref::Model &model, bool eval,
                const ref::Result &want) {
  harness::Options options;
  options.test = eval;
  options.form = eval ? harness::FormKind::xml : harness::FormKind::xml_with_text;
  // The reference reads text in the classic mode; a model's mode record
  // (which a fuzzed model may hold) must not switch the program away from it.
  options.text_mode_forced = true;
  options.forced_text_mode = harness::TextMode::classic;
  harness::LoadedModel loaded;
  harness::load_model_from(loaded, kModelName, model_bytes);
  harness::RunResult got;
  harness::run_in_process(got, std::string_view(kText, sizeof kText - 1), &loaded, kModelName, options);
  const std::vector<harness::Feature *> &feats = loaded.table.feats;

  // The records loaded are the first features, in file order.
  if (feats.size() < model.records.size())
    harness::fail("fewer features than model records: " + std::to_string(feats.size()) + " < " +
                  std::to_string(model.records.size()) + "\nmodel:\n" + harness::show(model_bytes));
  for (size_t i = 0; i < model.records.size(); i++) {
    const ref::Record &r = model.records[i];
    double w = feats[i]->weight;
    bool same_weight = std::isnan(r.weight) ? std::isnan(w) : std::memcmp(&w, &r.weight, sizeof w) == 0;
    if (r.name != feats[i]->text || !same_weight) {
      char numbers[128];
      std::snprintf(numbers, sizeof numbers, "weight %a, expected %a", w, r.weight);
      harness::fail("record " + std::to_string(i) + " loaded as '" + harness::show(feats[i]->text) +
                    "' " + numbers + ", expected name '" + harness::show(r.name) + "'\nmodel:\n" +
                    harness::show(model_bytes));
    }
  }

  if (got.out != want.out)
    harness::mismatch(eval ? "evaluation output" : "detection output", model_bytes, want.out, got.out);
  // A record that does not scan stops loading with a warning naming the file
  // and line; a model that loads whole is silent.
  if (model.stop_line == 0) {
    if (!got.err.empty()) harness::mismatch("standard error", model_bytes, "", got.err);
  } else {
    std::string where = std::string(kModelName) + ":" + std::to_string(model.stop_line) + ":";
    if (got.err.find(where) == std::string::npos || got.err.find("warning") == std::string::npos ||
        std::count(got.err.begin(), got.err.end(), '\n') != 1)
      harness::mismatch("warning", model_bytes, "fullstop: warning: " + where + " ...\n", got.err);
  }
}

// A model saved with CRLF line ends by a maker of the Unicode mode (every
// name ends in a CR, and the first mode record is "#text-mode=unicode" and
// its CR) loads with each name's CR dropped, as its maker meant; any other
// model keeps its names as scanned.
void read_crlf_as_its_maker_meant(ref::Model &model) {
  if (model.records.empty()) return;
  for (const ref::Record &r : model.records)
    if (r.name.empty() || r.name.back() != '\r') return;
  auto mode = std::find_if(model.records.begin(), model.records.end(),
                           [](const ref::Record &r) { return r.name.starts_with("#text-mode="); });
  if (mode == model.records.end() || mode->name != "#text-mode=unicode\r") return;
  for (ref::Record &r : model.records) r.name.pop_back();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  harness::init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  std::string_view model_bytes(reinterpret_cast<const char *>(bytes), size);
  ref::Model model = ref::load_model(model_bytes);
  read_crlf_as_its_maker_meant(model);
  std::vector<ref::Result> want = ref::run_detection(std::string_view(kText, sizeof kText - 1), model.records);
  check_mode(model_bytes, model, false, want[static_cast<int>(ref::Mode::text)]);
  check_mode(model_bytes, model, true, want[static_cast<int>(ref::Mode::eval)]);
  return 0;
}
