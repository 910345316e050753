// Model files: read and written here.
//
// A model is "WEIGHT<whitespace>NAME" records, one feature per record in
// file order; loading stops at the first record that does not scan.  Its
// header records declare how it reads text (see declaration.h).
#ifndef FULLSTOP_CORE_MODEL_MODEL_FILE_H
#define FULLSTOP_CORE_MODEL_MODEL_FILE_H

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/output.h"
#include "core/model/declaration.h"
#include "core/model/feature_table.h"
#include "core/tokens/reading_rules.h"

namespace fullstop::core {

// What loading a model found.
struct ModelLoad {
  size_t records = 0;    // records loaded
  bool numbered = true;  // record i had weight i, as the ids of a feature list do
  bool stopped = false;  // a record did not scan (and `warning` says why)
  size_t cr_names = 0;   // names ending in a CR, kept (CRLF line ends, classic)
};

// A loaded model: its records and their index, what loading found, and what
// it declares.  Never changed after loading, so any number of runs on any
// number of threads may share one.
struct LoadedModel {
  FeatureTable table;
  ModelLoad load;
  // Why loading stopped early ("NAME:LINE: REASON; loading stopped, N
  // features loaded"), or empty.
  std::string warning;
  ModelDeclaration declared;
};

// Where model bytes come from: fills buf with up to size bytes and returns
// how many (0 at the end), or -1 with errno set.
using ModelSource = std::function<ssize_t(char *buf, size_t size)>;

// Loads the records, as "%lf\t%[^\n]\n" scans them (any whitespace run
// separates, names keep inner and trailing blanks), except that a name of
// any length is read whole.  Loading stops at the first record that does not
// scan, and `warning` says so, naming the model `name`.  A model with CRLF
// line ends that declares the Unicode mode loses each name's trailing CR.
// Then indexes the names by word and reads the declaration.  `expected`:
// the bytes the source holds, when known (else 0), to read them at once.
void load_model(LoadedModel &model, const char *name, const ModelSource &source, size_t expected = 0);
// The same from a file.  A file that cannot be opened, or whose first read
// fails (a directory), fails (kind model_access) with the system's
// message: "PATH: REASON".
void load_model_file(LoadedModel &model, const char *path);
// The same from bytes in memory.
void load_model_bytes(LoadedModel &model, const char *name, std::string_view bytes);

// What a run with this model reads with: the declared text mode (or
// `forced`, when not null) and reading rules.  Fails (kind model, naming the
// model `name`) when the model declares a mode it reads with, or rules in
// the Unicode mode, that this version does not know.
Reading model_reading(const LoadedModel &model, const char *name, const TextMode *forced = nullptr);

// A warning when a model looks like a feature list (two or more records
// weighted 0, 1, 2, ...: features.def given for a model), has names that
// end in a CR (CRLF line ends, kept by the classic reading), or loaded no
// record without a warning saying why; else empty.  Output is unchanged: a model with
// no records is still a model.
std::string suspect_model_warning(const ModelLoad &load, const char *name);

// Writes a model: `header` as it is (see declaration_records), then
// "WEIGHT\tNAME\n" for every non-zero weight, in id order.  Weights print
// in the shortest form that reads back to the same double.
void write_model(Output &out, std::string_view header, const std::vector<double> &weights,
                 const std::function<std::string_view(size_t)> &name);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_MODEL_MODEL_FILE_H
