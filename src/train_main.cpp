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

#include "trainer.h"
#include "version.h"

namespace {

constexpr const char *kProgram = "fullstop-train";

void usage(std::FILE *out) {
  fullstop::FitOptions defaults;
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
               "                         \"0<tab>#text-mode=MODE\", and fullstop uses it\n"
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
               "(text_P_, stem_P_, stem2_P_, type_P_), no context holds two names of one\n"
               "template and window position, or a count other than 1.  A fit whose objective\n"
               "or weights are not finite, or whose weights are all zero although contexts\n"
               "with features have both labels, is an error.  On any error no model is\n"
               "written and an existing one is kept.\n",
               kProgram, std::string(fullstop::solver_name(defaults.solver)).c_str(), defaults.cost,
               fullstop::default_eps(fullstop::Solver::l2),
               fullstop::default_eps(fullstop::Solver::l2_dual));
}

[[noreturn]] void usage_error(const std::string &message) {
  if (!message.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  std::fprintf(stderr, "Try '%s --help'.\n", kProgram);
  std::exit(2);
}

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
  std::string text_mode;  // empty: the model declares none
  fullstop::FitOptions fit;
};

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
    {nullptr, 0, nullptr, 0},
};

Settings parse_command_line(int argc, char **argv) {
  Settings settings;
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
        if (auto solver = fullstop::parse_solver(value)) {
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
        if (value != "classic" && value != "unicode")
          usage_error("unknown text mode '" + std::string(value) + "' (classic or unicode)");
        settings.text_mode = std::string(value);
        break;
      case 'h':
        usage(stdout);
        std::exit(0);
      case 'V':
        std::printf("%s %s\n", kProgram, FULLSTOP_VERSION);
        std::exit(0);
      default:  // getopt has printed what was wrong
        usage_error("");
    }
  }
  if (optind < argc) settings.input = argv[optind++];
  if (optind < argc) usage_error("more than one context stream given");
  if (settings.output.empty()) usage_error("no model file given (-o MODEL)");
  return settings;
}

int train(const Settings &settings) {
  auto start = std::chrono::steady_clock::now();

  std::string source = settings.input == "-" ? "<stdin>" : settings.input;
  fullstop::Contexts contexts;
  if (settings.input == "-") {
    contexts = fullstop::read_contexts(stdin, source);
  } else {
    std::FILE *in = std::fopen(settings.input.c_str(), "rb");
    if (!in) {
      throw fullstop::TrainError(settings.input + ": cannot open: " + std::strerror(errno));
    }
    try {
      contexts = fullstop::read_contexts(in, source);
    } catch (...) {
      std::fclose(in);
      throw;
    }
    std::fclose(in);
  }
  fullstop::FeatureNames names = fullstop::read_feature_names(settings.names);
  fullstop::check_feature_ids(contexts, source, names, settings.names);
  fullstop::check_names_match(contexts, source, names, settings.names);

  std::size_t ends = 0;
  for (auto label : contexts.labels) ends += label;
  if (ends == 0 || ends == contexts.size()) {
    std::fprintf(stderr,
                 "%s: warning: %s: every context is labelled %d, so the model will predict "
                 "that everywhere\n",
                 kProgram, source.c_str(), ends == 0 ? 0 : 1);
  }

  std::vector<double> weights = fullstop::fit(contexts, names.size(), settings.fit);
  std::string header;
  if (!settings.text_mode.empty()) header = "0\t#text-mode=" + settings.text_mode + "\n";
  fullstop::write_model_file(settings.output, weights, names, header);

  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr,
               "%s: %zu contexts (%zu sentence ends), %zu features, %zu non-zero weights, "
               "training accuracy %.4f%%, %.2f s\n",
               kProgram, contexts.size(), ends, names.size(), fullstop::count_nonzero(weights),
               100.0 * fullstop::training_accuracy(weights, contexts), seconds);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  Settings settings = parse_command_line(argc, argv);
  try {
    return train(settings);
  } catch (const fullstop::TrainError &e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "%s: out of memory\n", kProgram);
  }
  return 1;
}
