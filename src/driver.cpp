#include "driver.h"

#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <string>
#include <unistd.h>

#include "detect.h"
#include "feature.h"
#include "intake.h"
#include "training.h"
#include "util.h"

const char *model_fname = nullptr;
int do_test = 0;
int full_text = 0;
int only_text = 0;
TextMode forced_text_mode = TextMode::classic;
bool text_mode_forced = false;

namespace {

enum LongOption { kTextMode = 0x100 };

const struct option kLongOptions[] = {
    {"text-mode", required_argument, nullptr, kTextMode},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

void parse_opts(int argc, char **argv) {
  int c;
  while ((c = getopt_long(argc, argv, "m:tfF", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case kTextMode:
        if (!parse_text_mode(optarg, &forced_text_mode)) {
          std::fprintf(stderr, "fullstop: unknown text mode '%s' (known: classic, unicode)\n", optarg);
          std::exit(2);
        }
        text_mode_forced = true;
        break;
      case 'm':
        model_fname = optarg;
        break;
      case 't':
        do_test = 1;
        break;
      case 'f':
        full_text = 1;
        break;
      case 'F':
        only_text = 1;
        full_text = 1;
        break;
      default:  // getopt has already reported it
        break;
    }
  }
}

void reset_run() {
  model_fname = nullptr;
  do_test = full_text = only_text = 0;
  forced_text_mode = TextMode::classic;
  text_mode_forced = false;
  reset_features();
  reset_intake();
  out_discard();
}

void run_paths(const char *features_def) {
  if (fhash == nullptr) fhash = hash_new("features");
  if (model_fname != nullptr) {
    load_model(model_fname);
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

int run(int argc, char **argv) {
  parse_opts(argc, argv);
  read_input(0);
  run_paths("features.def");
  return 0;
}
