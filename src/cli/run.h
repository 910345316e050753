// The fullstop program's run: standard input read as a stream into a
// detection, evaluation or training run, output to standard output.
#ifndef FULLSTOP_CLI_RUN_H
#define FULLSTOP_CLI_RUN_H

#include <functional>
#include <string>
#include <vector>

#include "cli/input_files.h"
#include "cli/options.h"
#include "core/base/output.h"
#include "core/model/feature_table.h"

namespace fullstop::cli {

// Where the program's warnings go (each without the "fullstop: warning: "
// prefix).
using Warn = std::function<void(const std::string &)>;

// Detection (or evaluation) reading the input as a stream: each
// sentence is printed once decided, and output is flushed before every read
// that would wait.  With options.jobs other than 1, blocks of the stream are
// decided on several threads (core/run/parallel.h), with the same output.
void stream_detection(InputFiles &input, const Options &options, core::Output &out, const Warn &warn);
// Training reading the input as a stream: each context is written
// once decided, output is flushed before every read that would wait, and the
// feature list goes to `features_def` at the end.
void stream_training(InputFiles &input, const Options &options, core::Output &out, const char *features_def);
// Writes the feature list to path, replacing the file whole (atomic_file.h).
void write_features_def(const core::FeatureTable &table, const char *path);

// What the run reads: the operands after the options when the command line
// reads them (Options::reads_operands), else standard input, with a warning
// for each operand ignored.
std::vector<std::string> input_names(int argc, char **argv, const Options &options);

// The whole run; returns the exit status or fails.
int run(int argc, char **argv);

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_RUN_H
