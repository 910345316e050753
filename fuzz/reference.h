// A deliberately plain model of the detector, written from its documented
// behaviour (README) rather than from its code, for the fuzzers to compare the
// real program against.  Nothing here is fast: every token is a struct, every
// feature name a std::string, the index a std::map.  What matters is that each
// step reads like the documentation, so a disagreement points at the program.
#ifndef FULLSTOP_FUZZ_REFERENCE_H
#define FULLSTOP_FUZZ_REFERENCE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ref {

// One model record as the detector keeps it: the name is a C string, so it
// ends at the first NUL byte of the record.
struct Record {
  std::string name;
  double weight;
};

// The outcome of loading model bytes: the records read, and where loading
// stopped early (line 0: it did not).
struct Model {
  std::vector<Record> records;
  int stop_line = 0;
};

// Reads "WEIGHT<whitespace>NAME" records the way the README documents them:
// each record is what fscanf("%lf\t%[^\n]\n") scans, and loading stops at the
// first record that does not scan.
Model load_model(std::string_view bytes);

struct Token {
  int32_t start = 0;
  int32_t len = 0;
  bool punct = false;
  bool space_before = false;  // first run of its whitespace-delimited word
  bool space_after = false;   // last run of its whitespace-delimited word
  bool boundary = false;      // last token of its input line
  bool para_break = false;    // a blank line follows
};

std::vector<Token> tokenize(std::string_view text);

enum class Mode { train, offsets, text, bare, eval };
const char *mode_name(Mode mode);

struct Result {
  std::string out;           // standard output
  std::string features_def;  // training mode only
};

// The whole run on `text`.  `model` is ignored in training mode.
Result run(std::string_view text, Mode mode, const std::vector<Record> &model);

// Every mode at once (the detection modes share their decisions), indexed by
// Mode.
std::vector<Result> run_all(std::string_view text, const std::vector<Record> &model);
// The same without the training mode (its slot is left empty).
std::vector<Result> run_detection(std::string_view text, const std::vector<Record> &model);

}  // namespace ref

#endif  // FULLSTOP_FUZZ_REFERENCE_H
