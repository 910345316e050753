#include "cli/options.h"

#include <getopt.h>

#include <string>
#include <string_view>

#include "cli/model_path.h"
#include "core/base/error.h"
#include "core/model/declaration.h"
#include "core/run/parallel.h"

namespace fullstop::cli {

namespace {

// Long options return codes above any short option's, so that getopt_long's
// '?' can tell a bad long option (optopt 0 or one of these) from an unknown
// short one (optopt the character), which is ignored.
enum LongCode : int {
  kHelp = 256,
  kVersion,
  kModel,
  kEvaluate,
  kWithText,
  kTextOnly,
  kFormat,
  kTextMode,
  kJobs,
  kListModels,
  kReading,
};

const option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"model", required_argument, nullptr, kModel},
    {"evaluate", no_argument, nullptr, kEvaluate},
    {"with-text", no_argument, nullptr, kWithText},
    {"text-only", no_argument, nullptr, kTextOnly},
    {"format", required_argument, nullptr, kFormat},
    {"text-mode", required_argument, nullptr, kTextMode},
    {"jobs", required_argument, nullptr, kJobs},
    {"list-models", no_argument, nullptr, kListModels},
    {"reading", required_argument, nullptr, kReading},
    {nullptr, 0, nullptr, 0},
};

void set_format(Options &o, std::string_view name) {
  if (!core::parse_form_name(name, &o.form))
    core::fail(core::ErrorKind::usage,
               "unknown format '" + std::string(name) + "' for --format (" + std::string(core::kFormNames) + ")");
}

// --jobs N: a whole number from 0 (all online CPUs) to kMaxJobs, digits only.
int parse_jobs(std::string_view text) {
  int n = 0;
  bool ok = !text.empty() && text.size() <= 4;
  for (char c : text) {
    ok = ok && c >= '0' && c <= '9';
    if (ok) n = n * 10 + (c - '0');
  }
  if (!ok || n > core::kMaxJobs)
    core::fail(core::ErrorKind::usage, "bad number of jobs '" + std::string(text) + "' for --jobs (0 to " +
                                           std::to_string(core::kMaxJobs) + "; 0: all online CPUs)");
  return n;
}

}  // namespace

const char *usage_text() {
  return "Usage: fullstop [OPTION]... < TEXT\n"
         "Finds sentence boundaries in TEXT with a linear model or, without one,\n"
         "prints training contexts for fullstop-train and writes features.def.\n"
         "\n"
         "  -m MODEL              detect sentences with the model file MODEL\n"
         "      --model=MODEL     the same; a MODEL without a slash or a .model ending\n"
         "                        that is not a file names MODEL.model in the model\n"
         "                        folders (--model en: the bundled English model,\n"
         "                        de, fr, es, pt, nl: German, French, Spanish,\n"
         "                        Portuguese, Dutch)\n"
         "  -t, --evaluate        with a model: score its decisions against the line\n"
         "                        ends of sentence-per-line TEXT\n"
         "  -f, --with-text       each sentence element holds its text, unescaped\n"
         "  -F, --text-only       each sentence as a bare line of text\n"
         "      --format=FORMAT   the sentence form:\n"
         "                          xml    offsets elements (the default)\n"
         "                          text   elements with their text as XML\n"
         "                          lines  bare lines of text (as -F)\n"
         "                          jsonl  one JSON object per sentence: start, end, text\n"
         "                          tsv    start, end and text, tab-separated\n"
         "                        the last of -f, -F and --format wins, except that -f\n"
         "                        leaves the -F form as it is\n"
         "      --text-mode=MODE  classic (bytes, ASCII rules) or unicode (UTF-8 text\n"
         "                        mapped onto the same features, offsets and text of\n"
         "                        the original); default: the mode the model declares\n"
         "                        in a \"#text-mode=MODE\" record, else classic;\n"
         "                        training mode uses classic unless told otherwise\n"
         "      --reading=RULES   training mode in the Unicode mode: read with these\n"
         "                        reading rules (a comma-separated list), or with the\n"
         "                        default ones changed (+RULE, -RULE); give\n"
         "                        fullstop-train the same, so the model declares\n"
         "                        them (a model is always read as it declares)\n"
         "      --jobs=N          decide detection and evaluation on N threads (0: all\n"
         "                        online CPUs; default 1), with the same output;\n"
         "                        training, and a model that names a feature twice,\n"
         "                        run on one\n"
         "      --list-models     list the models that --model NAME finds, one a line:\n"
         "                        name, language, text mode and file, tab-separated\n"
         "      --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Model folders, in order: those in FULLSTOP_MODEL_PATH (colon-separated), the\n"
         "share/fullstop/ installed beside the program (for a program in its build\n"
         "folder, the source tree's models/), then the share/fullstop/ of the prefix\n"
         "it was built for.  Operands are not read: TEXT comes from standard input.\n"
         "Unknown short options are reported and ignored.\n"
         "See fullstop(1) and fullstop-model(5).\n";
}

Request parse_opts(int argc, char **argv, Options &o) {
  Request request = Request::run;
  int c;
  while ((c = getopt_long(argc, argv, "m:tfF", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case 'm':
        o.model_fname = optarg;
        break;
      case 't':
      case kEvaluate:
        o.evaluate = true;
        break;
      case 'f':
      case kWithText:
        // -f after -F keeps the bare lines, as it always has.
        if (o.form != core::FormKind::lines) o.form = core::FormKind::xml_with_text;
        break;
      case 'F':
      case kTextOnly:
        o.form = core::FormKind::lines;
        break;
      case kModel:
        o.resolved_model = resolve_model(optarg);
        o.model_fname = o.resolved_model.c_str();
        break;
      case kFormat:
        set_format(o, optarg);
        break;
      case kTextMode:
        // Its message has always stood alone, and scripts may match it whole.
        if (!core::parse_text_mode(optarg, &o.forced_text_mode))
          core::fail(core::ErrorKind::usage_alone, "unknown text mode '" + std::string(optarg) + "' (known: " +
                                                       std::string(core::kTextModeNames) + ")");
        o.text_mode_forced = true;
        break;
      case kJobs:
        o.jobs = parse_jobs(optarg);
        break;
      case kReading: {
        std::string problem;
        if (!core::parse_reading_option(optarg, o.training_rules, problem))
          core::fail(core::ErrorKind::usage, problem + " for --reading");
        o.reading_given = true;
        break;
      }
      case kHelp:
        if (request == Request::run) request = Request::help;
        break;
      case kVersion:
        if (request == Request::run) request = Request::version;
        break;
      case kListModels:
        if (request == Request::run) request = Request::list_models;
        break;
      default:  // getopt has already reported it
        if (optopt == 0 || optopt >= kHelp) core::fail(core::ErrorKind::usage, "");
        break;
    }
  }
  return request;
}

}  // namespace fullstop::cli
