#include "training.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "feature.h"

void new_context() { out_write("2\n", 2); }

void show_event(int label) {
  out_int(label);
  out_char(' ');
  out_int(nnz);
  for (int k = 0; k < nnz; k++) {
    out_char(' ');
    out_int(e_feats[k]);
    out_char(' ');
    out_int(e_vals[k]);
  }
  out_char('\n');
}

void report_toks(const Token *window, int count, int label) {
  new_context();
  new_event();
  do_features(window, count);
  show_event(label);
  new_event();
  show_event(label == 0 ? 1 : 0);
}

void report() {
  const int64_t n = static_cast<int64_t>(toks.size());
  for (int64_t i = 2; i < n - 2; i++) {
    if (toks[i].is_punct()) report_toks(&toks[i - 2], kWindow, toks[i].boundary);
  }
}

void write_features_def(const char *path) {
  FILE *f = std::fopen(path, "w");
  if (f == nullptr) die(std::string(path) + ": " + std::strerror(errno));
  std::string line;
  for (const Feature *feature : feats) {
    line.clear();
    append_int(line, feature->id);
    line.push_back('\t');
    line.append(feature->text);
    line.push_back('\n');
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) {
      int err = errno;
      std::fclose(f);
      die(std::string(path) + ": " + std::strerror(err));
    }
  }
  if (std::fflush(f) != 0 || std::ferror(f)) {
    int err = errno;
    std::fclose(f);
    die(std::string(path) + ": " + std::strerror(err));
  }
  if (std::fclose(f) != 0) die(std::string(path) + ": " + std::strerror(errno));
}
