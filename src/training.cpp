#include "training.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
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

namespace {

[[noreturn]] void features_def_failed(const char *path, int err, FILE *f, const std::string &tmp) {
  if (f != nullptr) std::fclose(f);
  if (!tmp.empty()) std::remove(tmp.c_str());
  die(std::string(path) + ": " + std::strerror(err));
}

}  // namespace

void write_features_def(const char *path) {
  // A regular file (or a new one) is written as a temporary sibling and
  // renamed into place, so a write that fails part way never leaves a
  // truncated list where the previous one was.  Anything else (a device such
  // as /dev/null, a symbolic link, a pipe) is written in place.
  struct stat st;
  bool replace = lstat(path, &st) != 0 ? errno == ENOENT : S_ISREG(st.st_mode);
  std::string tmp;
  FILE *f = nullptr;
  if (replace) {
    tmp = std::string(path) + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
      tmp.clear();
      features_def_failed(path, errno, nullptr, tmp);
    }
    mode_t mask = umask(0);  // the mode a plain create would give
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    f = fdopen(fd, "w");
    if (f == nullptr) {
      int err = errno;
      ::close(fd);
      features_def_failed(path, err, nullptr, tmp);
    }
  } else {
    f = std::fopen(path, "w");
    if (f == nullptr) features_def_failed(path, errno, nullptr, tmp);
  }
  std::string line;
  for (const Feature *feature : feats) {
    line.clear();
    append_int(line, feature->id);
    line.push_back('\t');
    line.append(feature->text);
    line.push_back('\n');
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size())
      features_def_failed(path, errno, f, tmp);
  }
  if (std::fflush(f) != 0 || std::ferror(f)) features_def_failed(path, errno, f, tmp);
  if (std::fclose(f) != 0) features_def_failed(path, errno, nullptr, tmp);
  if (replace && std::rename(tmp.c_str(), path) != 0) features_def_failed(path, errno, nullptr, tmp);
}
