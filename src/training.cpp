#include "training.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "feature.h"

void new_context() { out_write("2\n", 2); }

void show_event(int label) {
  // At most 1020 entries of two numbers, formatted straight into the output
  // buffer in chunks that always fit.
  out_int(label);
  out_char(' ');
  out_int(nnz);
  for (int k = 0; k < nnz;) {
    char *p = out_reserve(64 * 24);
    for (int end = std::min(nnz, k + 64); k < end; k++) {
      *p++ = ' ';
      p = format_uint(p, static_cast<uint32_t>(e_feats[k]));
      *p++ = ' ';
      p = format_uint(p, static_cast<uint32_t>(e_vals[k]));
    }
    out_commit(p);
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
  // Every punctuation token with two tokens on either side; a blank line
  // alone makes no candidate here.
  walk_input(
      [](const Token *window, void *) {
        if (window[2].is_punct()) report_toks(window, kWindow, window[2].boundary);
      },
      nullptr);
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
