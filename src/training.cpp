#include "training.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "atomic_file.h"
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

void report(TextMode mode) {
  // Every punctuation token with two tokens on either side; a blank line
  // alone makes no candidate here.
  if (mode == TextMode::unicode) {
    walk_input(
        [](const Token *window, void *) {
          if (window[2].is_punct() || list_marker_at(window))
            report_toks(window, kWindow, window[2].boundary);
        },
        nullptr, mode);
    return;
  }
  walk_input(
      [](const Token *window, void *) {
        if (window[2].is_punct()) report_toks(window, kWindow, window[2].boundary);
      },
      nullptr);
}

void write_features_def(const char *path) {
  std::string line;
  atomic_file::Failure f = atomic_file::replace(path, [&line](std::FILE *out) {
    for (const Feature *feature : feats) {
      line.clear();
      append_int(line, feature->id);
      line.push_back('\t');
      line.append(feature->text);
      line.push_back('\n');
      if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) return false;
    }
    return true;
  });
  if (f) die(std::string(path) + ": " + std::strerror(f.error));
}
