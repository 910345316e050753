// Finding a model by name for --model.
#ifndef FULLSTOP_CLI_MODEL_PATH_H
#define FULLSTOP_CLI_MODEL_PATH_H

#include <string>
#include <string_view>
#include <vector>

namespace fullstop::cli {

// The folders where --model NAME looks for NAME.model, in order: those of
// FULLSTOP_MODEL_PATH (colon-separated), the installed share/fullstop/ and,
// for a program run from its build folder, the source tree's models/.
std::vector<std::string> model_search_path();

// The file that --model NAME names: NAME itself when it holds a slash or is an
// existing file, else the first NAME.model in model_search_path().  Fails
// (core::Error of kind usage) when no folder holds one.
std::string resolve_model(std::string_view name);

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_MODEL_PATH_H
