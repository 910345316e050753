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

// Whether the element getopt reads next is a long option: the first from
// optind on that starts with "-", as getopt skips operands (an element in
// the middle of a group of short options keeps optind on it; "--" ends the
// options).
bool next_option_is_long(int argc, char **argv) {
  for (int i = optind > 0 ? optind : 1; i < argc; i++) {
    const char *e = argv[i];
    if (e[0] == '-' && e[1] != '\0') return e[1] == '-' && e[2] != '\0';
  }
  return false;
}

// The option that asks for detection output, as the user wrote it, or null.
const char *detection_only(int c) {
  switch (c) {
    case 't': return "-t";
    case 'f': return "-f";
    case 'F': return "-F";
    case kEvaluate: return "--evaluate";
    case kWithText: return "--with-text";
    case kTextOnly: return "--text-only";
    case kFormat: return "--format";
    default: return nullptr;
  }
}

// Said after the option that needs the model.  Every line starts with the
// program's name, as the others do.
constexpr const char *kNoModel =
    " needs a model, and none was given.\n"
    "fullstop: Choose one with --model: --model en (the bundled English model),\n"
    "fullstop: --model NAME (NAME.model in the model folders) or --model FILE.\n"
    "fullstop: Without a model fullstop trains instead; to train on purpose, give\n"
    "fullstop: no option but --text-mode and --jobs: fullstop --text-mode=unicode < TRAIN.lines";

}  // namespace

const char *usage_text() {
  return "Usage: fullstop [OPTION]... --model=MODEL [FILE]...\n"
         "  or:  fullstop -m MODEL [-t] [-f|-F] < TEXT\n"
         "  or:  fullstop [--text-mode=MODE] < SENTENCES      (training: no model)\n"
         "Finds sentence boundaries in TEXT with a linear model: --model en is the\n"
         "bundled English model.  Without a model fullstop TRAINS instead: it prints\n"
         "training contexts for fullstop-train and writes features.def here.\n"
         "\n"
         "A command line with a long option (but --jobs) reads its FILE operands in\n"
         "order, as cat does (- is standard input; none: standard input), and asks for\n"
         "a model when it asks for sentences (-t, -f, -F, --evaluate, --with-text,\n"
         "--text-only, --format): a run that forgot the model is refused, not trained.\n"
         "The classic command line (short options, and --jobs) reads standard input\n"
         "alone, warns about operands, and trains when there is no -m.\n"
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
         "it was built for.  Unknown short options are reported and ignored.  Reading\n"
         "a terminal, fullstop says so (end the text with Ctrl-D).\n"
         "See fullstop(1) and fullstop-model(5).\n";
}

Request parse_opts(int argc, char **argv, Options &o) {
  Request request = Request::run;
  const char *detection_option = nullptr;  // the first that only detection reads
  // getopt reports a bad option under argv[0].  A short option's report
  // stays the C library's own, under the name the program was run by, as
  // it always was; a bad long option, which only the new command line has,
  // is reported under "fullstop", as every other message of the program.
  char *const run_name = argv[0];
  char name[] = "fullstop";
  int c;
  for (;;) {
    argv[0] = next_option_is_long(argc, argv) ? name : run_name;
    c = getopt_long(argc, argv, "m:tfF", kLongOptions, nullptr);
    argv[0] = run_name;
    if (c == -1) break;
    if (c >= kHelp && c != kJobs) o.reads_operands = true;
    if (detection_option == nullptr) detection_option = detection_only(c);
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
  if (request == Request::run && o.reads_operands && o.model_fname == nullptr && detection_option != nullptr)
    core::fail(core::ErrorKind::usage, std::string(detection_option) + kNoModel);
  return request;
}

}  // namespace fullstop::cli
