#include "driver.h"

#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "detect.h"
#include "feature.h"
#include "intake.h"
#include "model_path.h"
#include "training.h"
#include "util.h"
#include "version.h"

const char *model_fname = nullptr;
int do_test = 0;
int full_text = 0;
int only_text = 0;
int output_format = kFormatClassic;
TextMode forced_text_mode = TextMode::classic;
bool text_mode_forced = false;

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
    {nullptr, 0, nullptr, 0},
};

// The model named by the last --model; model_fname points into it.
std::string resolved_model;

void set_format(std::string_view name) {
  full_text = only_text = 0;
  output_format = kFormatClassic;
  if (name == "xml") {
  } else if (name == "lines") {
    full_text = only_text = 1;
  } else if (name == "text") {
    output_format = kFormatText;
  } else if (name == "jsonl") {
    output_format = kFormatJsonl;
  } else if (name == "tsv") {
    output_format = kFormatTsv;
  } else {
    throw UsageError("unknown format '" + std::string(name) +
                     "' for --format (xml, text, lines, jsonl or tsv)");
  }
}

}  // namespace

const char *usage_text() {
  return "Usage: fullstop [OPTION]... < TEXT\n"
         "Finds sentence boundaries in TEXT with a linear model or, without one,\n"
         "prints training contexts for fullstop-train and writes features.def.\n"
         "\n"
         "  -m MODEL              detect sentences with the model file MODEL\n"
         "      --model=MODEL     the same; a MODEL without a slash that is not a file\n"
         "                        names MODEL.model in the model folders (--model en:\n"
         "                        the bundled English model)\n"
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
         "      --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Model folders, in order: those in FULLSTOP_MODEL_PATH (colon-separated), the\n"
         "installed share/fullstop/ and, for a program in its build folder, the source\n"
         "tree's models/.  Operands are not read: TEXT comes from standard input.\n"
         "Unknown short options are reported and ignored.\n"
         "See fullstop(1) and fullstop-model(5).\n";
}

Request parse_opts(int argc, char **argv) {
  Request request = Request::run;
  int c;
  while ((c = getopt_long(argc, argv, "m:tfF", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case 'm':
        model_fname = optarg;
        break;
      case 't':
      case kEvaluate:
        do_test = 1;
        break;
      case 'f':
      case kWithText:
        // -f after -F keeps the bare lines, as it always has.
        output_format = kFormatClassic;
        full_text = 1;
        break;
      case 'F':
      case kTextOnly:
        output_format = kFormatClassic;
        only_text = 1;
        full_text = 1;
        break;
      case kModel:
        resolved_model = resolve_model(optarg);
        model_fname = resolved_model.c_str();
        break;
      case kFormat:
        set_format(optarg);
        break;
      case kTextMode:
        // Its message has always stood alone, and scripts may match it whole.
        if (!parse_text_mode(optarg, &forced_text_mode))
          throw UsageError("unknown text mode '" + std::string(optarg) +
                           "' (known: classic, unicode)",
                           false);
        text_mode_forced = true;
        break;
      case kHelp:
        if (request == Request::run) request = Request::help;
        break;
      case kVersion:
        if (request == Request::run) request = Request::version;
        break;
      default:  // getopt has already reported it
        if (optopt == 0 || optopt >= kHelp) throw UsageError("");
        break;
    }
  }
  return request;
}

void reset_run() {
  model_fname = nullptr;
  do_test = full_text = only_text = 0;
  forced_text_mode = TextMode::classic;
  text_mode_forced = false;
  output_format = kFormatClassic;
  resolved_model.clear();
  optind = 0;  // getopt starts afresh
  reset_features();
  reset_intake();
  out_discard();
}

void run_paths(const char *features_def) {
  if (model_fname != nullptr) {
    load_model(model_fname);
    keep_unknown_names(false);
    TextMode mode = text_mode_forced ? forced_text_mode : declared_text_mode(model_fname);
    if (mode == TextMode::unicode) map_input();
    detect(mode);
    out_flush();
  } else {
    if (text_mode_forced && forced_text_mode == TextMode::unicode) map_input();
    report(forced_text_mode);
    out_flush();
    write_features_def(features_def);
  }
}

// Operands are not input (text is always read from standard input), but
// silently dropping one hides a mistake such as "fullstop -m MODEL text.txt",
// which would otherwise wait at a terminal or split empty input: say so.
// And a run that will wait for typed text says it is waiting.
void explain_input(int argc, char **argv) {
  for (int i = optind; i < argc; i++)
    std::fprintf(stderr, "fullstop: warning: operand '%s' ignored; text is read from standard input\n",
                 argv[i]);
  if (optind >= argc && isatty(0))
    std::fputs("fullstop: reading text from standard input (end it with Ctrl-D)\n", stderr);
}

int run(int argc, char **argv) {
  switch (parse_opts(argc, argv)) {
    case Request::help:
      std::fputs(usage_text(), stdout);
      return 0;
    case Request::version:
      std::printf("fullstop %s\n", FULLSTOP_VERSION);
      return 0;
    case Request::run:
      break;
  }
  explain_input(argc, argv);
  read_input(0);
  run_paths("features.def");
  if (model_fname != nullptr) warn_suspect_model(model_fname);
  return 0;
}
