// fullstop-train: fits the detector's model from its training contexts.
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <getopt.h>

#include "cli/exit_status.h"
#include "cli/model_output.h"
#include "cli/sinks.h"
#include "core/base/error.h"
#include "core/model/declaration.h"
#include "core/model/templates.h"
#include "core/text/text_mode.h"
#include "train/trainer.h"
#include "version.h"

namespace {

using namespace fullstop;
using core::ErrorKind;

constexpr const char *kProgram = "fullstop-train";

void usage(std::FILE *out) {
  train::FitOptions defaults;
  std::string forms;
  for (std::string_view prefix : core::kTemplatePrefixes) forms += (forms.empty() ? "" : ", ") + std::string(prefix) + "P_";
  std::fprintf(out,
               "Usage: %s [OPTION]... -o MODEL [CONTEXTS]\n"
               "Fits the sentence-end model to the training contexts that fullstop prints\n"
               "when run without a model, and writes it as WEIGHT<tab>NAME records.\n"
               "\n"
               "  CONTEXTS               the context stream; '-' or none: standard input\n"
               "  -o, --output=MODEL     where to write the model ('-': standard output);\n"
               "                         required\n"
               "  -d, --features=PATH    the feature names fullstop wrote\n"
               "                         (default: features.def)\n"
               "  -s, --solver=SOLVER    the regularisation (default: %s):\n"
               "                           l1: L1-regularised logistic regression, sparse\n"
               "                           l2: L2-regularised logistic regression\n"
               "                           l2dual: L2-regularised, solved in the dual\n"
               "  -c, --cost=COST        inverse regularisation strength, > 0 (default: %g)\n"
               "  -e, --eps=EPS          stopping tolerance, > 0\n"
               "                         (default: %g for l2 and l1, %g for l2dual)\n"
               "  -v, --verbose          show the solver's progress on standard error\n"
               "      --text-mode=MODE   record the text mode the contexts were made in\n"
               "                         (classic or unicode, as given to fullstop): the\n"
               "                         model then declares it in its first record,\n"
               "                         \"0<tab>#text-mode=MODE\", and fullstop uses it;\n"
               "                         in the Unicode mode a second record,\n"
               "                         \"0<tab>#reading=RULES\", lists the reading rules\n"
               "                         fullstop's training reads with\n"
               "      --reading=RULES    the reading rules the contexts were made with\n"
               "                         (as given to fullstop --reading: a list, or\n"
               "                         +RULE and -RULE changing the default), for the\n"
               "                         reading record; needs --text-mode=unicode\n"
               "  -h, --help             show this help and exit\n"
               "      --version          show the version and exit\n"
               "\n"
               "The names are read after the whole context stream (fullstop writes them last),\n"
               "so fullstop can pipe its contexts straight in: see fullstop-train-model\n"
               "(scripts/train-model in the source tree) and fullstop-train(1).\n"
               "\n"
               "Before fitting, the contexts and the names must agree as far as their formats\n"
               "show: every id used has a name; the list has at most twice as many names as\n"
               "the contexts use (plus 16); and when all names have fullstop's form\n"
               "(%s), no context holds two names of one\n"
               "template and window position, or a count other than 1.  A fit whose objective\n"
               "or weights are not finite, or whose weights are all zero although contexts\n"
               "with features have both labels, is an error.  On any error no model is\n"
               "written and an existing one is kept.\n",
               kProgram, std::string(train::solver_name(defaults.solver)).c_str(), defaults.cost,
               train::default_eps(train::Solver::l2), train::default_eps(train::Solver::l2_dual),
               forms.c_str());
}

[[noreturn]] void usage_error(const std::string &message) { core::fail(ErrorKind::usage, message); }

double positive_number(char option, std::string_view text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      value <= 0) {
    usage_error(std::string("-") + option + " needs a positive number, not '" + std::string(text) +
                "'");
  }
  return value;
}

struct Settings {
  std::string input = "-";
  std::string output;
  std::string names = "features.def";
  bool text_mode_given = false;  // else the model declares none
  core::TextMode text_mode = core::TextMode::classic;
  core::ReadingRules rules = core::kTrainingRules;  // --reading
  bool reading_given = false;
  train::FitOptions fit;
};

// What the command line asks for besides a fit.
enum class Request { fit, help, version };

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"features", required_argument, nullptr, 'd'},
    {"solver", required_argument, nullptr, 's'},
    {"cost", required_argument, nullptr, 'c'},
    {"eps", required_argument, nullptr, 'e'},
    {"verbose", no_argument, nullptr, 'v'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"text-mode", required_argument, nullptr, 'T'},
    {"reading", required_argument, nullptr, 'R'},
    {nullptr, 0, nullptr, 0},
};

Request parse_command_line(int argc, char **argv, Settings &settings) {
  Request request = Request::fit;
  int c;
  while ((c = getopt_long(argc, argv, "o:d:s:c:e:vh", kLongOptions, nullptr)) != -1) {
    std::string_view value = optarg != nullptr ? optarg : "";
    switch (c) {
      case 'o':
        settings.output = std::string(value);
        break;
      case 'd':
        settings.names = std::string(value);
        break;
      case 's':
        if (auto solver = train::parse_solver(value)) {
          settings.fit.solver = *solver;
        } else {
          usage_error("unknown solver '" + std::string(value) + "' (l2, l1 or l2dual)");
        }
        break;
      case 'c':
      case 'e':
        (c == 'c' ? settings.fit.cost : settings.fit.eps) =
            positive_number(static_cast<char>(c), value);
        break;
      case 'v':
        settings.fit.verbose = true;
        break;
      case 'T':
        if (!core::parse_text_mode(value, &settings.text_mode))
          usage_error("unknown text mode '" + std::string(value) + "' (classic or unicode)");
        settings.text_mode_given = true;
        break;
      case 'R': {
        std::string problem;
        if (!core::parse_reading_option(value, settings.rules, problem)) usage_error(problem + " for --reading");
        settings.reading_given = true;
        break;
      }
      case 'h':
        return Request::help;
      case 'V':
        return Request::version;
      default:  // getopt has printed what was wrong
        usage_error("");
    }
  }
  if (optind < argc) settings.input = argv[optind++];
  if (optind < argc) usage_error("more than one context stream given");
  if (settings.output.empty()) usage_error("no model file given (-o MODEL)");
  if (settings.reading_given && !(settings.text_mode_given && settings.text_mode == core::TextMode::unicode))
    usage_error("--reading needs --text-mode=unicode: the classic mode has no reading rules");
  return request;
}

int fit_model(const Settings &settings) {
  auto start = std::chrono::steady_clock::now();

  std::string source = settings.input == "-" ? "<stdin>" : settings.input;
  train::Contexts contexts;
  if (settings.input == "-") {
    contexts = train::read_contexts(stdin, source);
  } else {
    std::FILE *in = std::fopen(settings.input.c_str(), "rb");
    if (!in) core::fail(ErrorKind::data, settings.input + ": cannot open: " + std::strerror(errno));
    try {
      contexts = train::read_contexts(in, source);
    } catch (...) {
      std::fclose(in);
      throw;
    }
    std::fclose(in);
  }
  train::FeatureNames names = train::read_feature_names(settings.names);
  train::check_feature_ids(contexts, source, names, settings.names);
  train::check_names_match(contexts, source, names, settings.names);

  std::size_t ends = 0;
  for (auto label : contexts.labels) ends += label;
  if (ends == 0 || ends == contexts.size()) {
    std::fprintf(stderr,
                 "%s: warning: %s: every context is labelled %d, so the model will predict "
                 "that everywhere\n",
                 kProgram, source.c_str(), ends == 0 ? 0 : 1);
  }

  std::vector<double> weights = train::fit(contexts, names.size(), settings.fit);
  // The model declares the text mode it was trained in and, in the Unicode
  // mode, the reading rules fullstop's training read with.
  std::string header;
  if (settings.text_mode_given) header = core::declaration_records(settings.text_mode, settings.rules);
  cli::write_model_file(settings.output, header, weights, [&](size_t id) { return names.name(id); });

  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr,
               "%s: %zu contexts (%zu sentence ends), %zu features, %zu non-zero weights, "
               "training accuracy %.4f%%, %.2f s\n",
               kProgram, contexts.size(), ends, names.size(), train::count_nonzero(weights),
               100.0 * train::training_accuracy(weights, contexts), seconds);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    Settings settings;
    switch (parse_command_line(argc, argv, settings)) {
      case Request::help:
        usage(stdout);
        cli::flush_stdout();
        return 0;
      case Request::version:
        std::printf("%s %s\n", kProgram, FULLSTOP_VERSION);
        cli::flush_stdout();
        return 0;
      case Request::fit:
        break;
    }
    return fit_model(settings);
  } catch (const core::Error &e) {
    return cli::exit_status(e, kProgram);
  } catch (const std::bad_alloc &) {
    return cli::out_of_memory_status(kProgram);
  }
}
