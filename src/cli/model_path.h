// Finding a model by name for --model.
#ifndef FULLSTOP_CLI_MODEL_PATH_H
#define FULLSTOP_CLI_MODEL_PATH_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fullstop::cli {

// The folders where --model NAME looks for NAME.model, in order: those of
// FULLSTOP_MODEL_PATH (colon-separated), the models that came with the
// program (the installed share/fullstop/ beside it or, for a program run
// from its build folder, the source tree's models/), and the data folder
// fixed at build time (core/model/model_search.h).
std::vector<std::string> model_search_path();

// The file that --model NAME names: NAME itself when it holds a slash, ends
// in ".model" or is an existing file, else the first NAME.model in
// model_search_path().  Fails (core::Error of kind usage) when no folder
// holds one.
std::string resolve_model(std::string_view name);

// What --list-models prints: a line for each model that --model NAME finds
// (the first of each name), sorted by name, with its name, language, text
// mode and file, tab-separated.  A model that cannot be read is listed with
// the text mode "unreadable", and `warn` gets the reason.
std::string model_list(const std::function<void(const std::string &)> &warn);

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_MODEL_PATH_H
