#include "driver.h"

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

void parse_opts(int argc, char **argv) {
  int c;
  while ((c = getopt(argc, argv, "m:tfF")) != -1) {
    switch (c) {
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
  reset_features();
  reset_intake();
  out_discard();
}

void run_paths(const char *features_def) {
  if (fhash == nullptr) fhash = hash_new("features");
  if (model_fname != nullptr) {
    load_model(model_fname);
    detect();
    out_flush();
  } else {
    report();
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
