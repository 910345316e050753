#include "cli/run.h"

#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "cli/atomic_file.h"
#include "cli/sinks.h"
#include "core/base/cpu.h"
#include "core/base/error.h"
#include "core/base/memory.h"
#include "core/decide/training.h"
#include "core/model/model_file.h"
#include "core/run/parallel.h"
#include "core/run/stream.h"
#include "version.h"

namespace fullstop::cli {

namespace {

// What one read of standard input asks for.
constexpr size_t kRead = size_t{1} << 18;

// What is read while the model loads: one buffer of the most that is read
// ahead, in huge pages where the system grants them (see alloc_large), which
// then becomes the stream's own (see read_stream).  A string grown a read at
// a time zeroed each stretch before the read overwrote it, copied itself as
// it doubled, and faulted in every 4 KiB page, which on these virtual
// machines costs some 10 us a page.  2 MiB: one huge page, and one chunk of
// --jobs; the model loads in 1-2 ms, and a larger buffer would only hold
// more memory (8 MiB left `--jobs 2` 2.6 MB more RSS and was no faster).
struct EarlyText {
  static constexpr size_t kCap = size_t{2} << 20;
  std::unique_ptr<char, core::FreeDeleter> bytes;
  size_t len = 0;
};

// Reads fd into `early` while `ready` is false, as long as input is ready to
// read without waiting and there is room; true at the end of the input.
bool read_ahead(int fd, EarlyText &early, const std::atomic<bool> &ready) {
  while (!ready.load(std::memory_order_acquire) && early.len < EarlyText::kCap) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) == 0) return false;  // would wait: stop here
    if (!early.bytes) early.bytes.reset(static_cast<char *>(core::alloc_large(EarlyText::kCap)));
    ssize_t got = ::read(fd, early.bytes.get() + early.len, std::min(EarlyText::kCap - early.len, kRead));
    if (got < 0) {
      if (errno == EINTR) continue;
      core::fail(core::ErrorKind::input, std::strerror(errno));
    }
    if (got == 0) return true;
    early.len += static_cast<size_t>(got);
  }
  return false;
}

// Loads the model on a thread of its own while this thread reads the first
// of the input (what is ready without waiting, up to `cap` bytes): a run
// over a file or a full pipe does not wait for the model before its first
// read, and a run with --jobs starts its threads sooner.  A model that fails
// to load is reported as before, ahead of any input error.
bool load_while_reading(core::LoadedModel &model, const char *path, int fd, EarlyText &early) {
  // A closed standard input's descriptor is the lowest free one: the model
  // file, opened on the other thread, could get it and be read as the
  // input.  Then load first, as one thread does, and the read fails.
  if (fcntl(fd, F_GETFD) == -1) {
    core::load_model_file(model, path);
    return false;  // nothing read ahead: the reading reports the error
  }
  std::atomic<bool> ready{false};
  std::exception_ptr failed;
  std::thread loader([&] {
    try {
      core::load_model_file(model, path);
    } catch (...) {
      failed = std::current_exception();
    }
    ready.store(true, std::memory_order_release);
  });
  core::move_off_cpu(loader, core::current_cpu());
  std::exception_ptr read_failed;
  bool at_end = false;
  try {
    at_end = read_ahead(fd, early, ready);
  } catch (...) {
    read_failed = std::current_exception();
  }
  loader.join();
  if (failed) std::rethrow_exception(failed);
  if (read_failed) std::rethrow_exception(read_failed);
  return at_end;
}

template <typename Stream>
void read_stream(int fd, Stream &stream, core::Output &out, EarlyText &early, bool at_end) {
  // Text is read straight into the stream's own buffer.
  // What was read ahead stays where it is: its buffer becomes the stream's
  // (one copy and one stretch of fresh memory fewer).
  if (early.len > 0) stream.adopt(early.bytes.release(), early.len, EarlyText::kCap);
  while (!at_end) {
    // Before a read that would wait, everything decided goes out: a reader
    // at the other end of a pipe sees each sentence once it is decided.
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) == 0) {
      stream.pump();
      out.flush();
    }
    ssize_t got = ::read(fd, stream.room(kRead), kRead);
    if (got < 0) {
      if (errno == EINTR) continue;
      core::fail(core::ErrorKind::input, std::strerror(errno));
    }
    if (got == 0) break;
    stream.took(static_cast<size_t>(got));
  }
  stream.finish();
}

}  // namespace

void stream_detection(int fd, const Options &o, core::Output &out, const Warn &warn) {
  core::LoadedModel model;
  EarlyText early;
  bool at_end = load_while_reading(model, o.model_fname, fd, early);
  if (!model.warning.empty()) warn(model.warning);
  if (!model.declared.mode_note.empty()) warn(std::string(o.model_fname) + ": " + model.declared.mode_note);
  const core::Reading reading =
      core::model_reading(model, o.model_fname, o.text_mode_forced ? &o.forced_text_mode : nullptr);
  const core::RunOutput output{o.evaluate ? core::Task::evaluate : core::Task::detect, o.form, &out, nullptr};
  int jobs = core::resolve_jobs(o.jobs);
  // A model that names a feature twice is decided on one thread (parallel.h).
  if (jobs > 1 && core::parallel_safe(model.table)) {
    core::ParallelStream stream(model.table, reading, output, jobs);
    read_stream(fd, stream, out, early, at_end);
  } else {
    core::SentenceStream stream(model.table, reading, output);
    read_stream(fd, stream, out, early, at_end);
  }
  out.flush();
  std::string suspect = core::suspect_model_warning(model.load, o.model_fname);
  if (!suspect.empty()) warn(suspect);
}

void stream_training(int fd, const Options &o, core::Output &out, const char *features_def) {
  core::FeatureTable table;
  core::TrainingStream stream(table, o.forced_text_mode, out);
  EarlyText none;
  read_stream(fd, stream, out, none, false);
  out.flush();
  write_features_def(table, features_def);
}

void write_features_def(const core::FeatureTable &table, const char *path) {
  atomic_file::replace(
      path,
      [&](std::FILE *file) {
        FileSink sink(file);
        core::Output out(sink);
        core::write_feature_list(table, out);
        out.flush();
        errno = sink.error();
        return sink.ok();
      },
      atomic_file::Wording::reason);
}

// Operands are not input (text is always read from standard input), but
// silently dropping one hides a mistake such as "fullstop -m MODEL text.txt",
// which would otherwise wait at a terminal or split empty input: say so.
// And a run that will wait for typed text says it is waiting.
void explain_input(int argc, char **argv) {
  for (int i = optind; i < argc; i++)
    std::fprintf(stderr, "fullstop: warning: operand '%s' ignored; text is read from standard input\n", argv[i]);
  if (optind >= argc && isatty(0))
    std::fputs("fullstop: reading text from standard input (end it with Ctrl-D)\n", stderr);
}

int run(int argc, char **argv) {
  Options options;
  switch (parse_opts(argc, argv, options)) {
    case Request::help:
      std::fputs(usage_text(), stdout);
      flush_stdout();
      return 0;
    case Request::version:
      std::printf("fullstop %s\n", FULLSTOP_VERSION);
      flush_stdout();
      return 0;
    case Request::run:
      break;
  }
  explain_input(argc, argv);
  FdSink sink(1);
  core::Output out(sink);
  Warn warn = [](const std::string &message) { std::fprintf(stderr, "fullstop: warning: %s\n", message.c_str()); };
  if (options.model_fname != nullptr) {
    stream_detection(0, options, out, warn);
    return 0;
  }
  stream_training(0, options, out, "features.def");
  return 0;
}

}  // namespace fullstop::cli
