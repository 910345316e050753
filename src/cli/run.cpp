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
#include "cli/model_path.h"
#include "cli/input_files.h"
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

// Reads the input into `early` while `ready` is false, as long as input is
// ready to read without waiting and there is room; true at the end of the
// input.
bool read_ahead(InputFiles &input, EarlyText &early, const std::atomic<bool> &ready) {
  while (!ready.load(std::memory_order_acquire) && early.len < EarlyText::kCap) {
    if (input.would_wait()) return false;  // would wait: stop here
    if (!early.bytes) early.bytes.reset(static_cast<char *>(core::alloc_large(EarlyText::kCap)));
    size_t got = input.read(early.bytes.get() + early.len, std::min(EarlyText::kCap - early.len, kRead));
    if (got == 0 && input.at_end()) return true;
    early.len += got;
  }
  return false;
}

// Loads the model on a thread of its own while this thread reads the first
// of the input (what is ready without waiting, up to `cap` bytes): a run
// over a file or a full pipe does not wait for the model before its first
// read, and a run with --jobs starts its threads sooner.  A model that fails
// to load is reported as before, ahead of any input error.
bool load_while_reading(core::LoadedModel &model, const char *path, InputFiles &input, EarlyText &early) {
  // A closed standard input's descriptor is the lowest free one: the model
  // file, opened on the other thread, could get it and be read as the
  // input.  Then load first, as one thread does, and the read fails.
  if (input.reads_stdin() && fcntl(0, F_GETFD) == -1) {
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
    at_end = read_ahead(input, early, ready);
  } catch (...) {
    read_failed = std::current_exception();
  }
  loader.join();
  if (failed) std::rethrow_exception(failed);
  if (read_failed) std::rethrow_exception(read_failed);
  return at_end;
}

template <typename Stream>
void read_stream(InputFiles &input, Stream &stream, core::Output &out, EarlyText &early, bool at_end) {
  // Text is read straight into the stream's own buffer.
  // What was read ahead stays where it is: its buffer becomes the stream's
  // (one copy and one stretch of fresh memory fewer).
  if (early.len > 0) stream.adopt(early.bytes.release(), early.len, EarlyText::kCap);
  while (!at_end) {
    // Before a read that would wait, everything decided goes out: a reader
    // at the other end of a pipe sees each sentence once it is decided.
    if (input.would_wait()) {
      stream.pump();
      out.flush();
    }
    size_t got = input.read(stream.room(kRead), kRead);
    if (got == 0) {
      at_end = input.at_end();  // else the next file follows
      continue;
    }
    stream.took(got);
  }
  stream.finish();
}

}  // namespace

void stream_detection(InputFiles &input, const Options &o, core::Output &out, const Warn &warn) {
  core::LoadedModel model;
  EarlyText early;
  bool at_end = load_while_reading(model, o.model_fname, input, early);
  if (!model.warning.empty()) warn(model.warning);
  if (!model.declared.mode_note.empty()) warn(std::string(o.model_fname) + ": " + model.declared.mode_note);
  const core::Reading reading =
      core::model_reading(model, o.model_fname, o.text_mode_forced ? &o.forced_text_mode : nullptr);
  const core::RunOutput output{o.evaluate ? core::Task::evaluate : core::Task::detect, o.form, &out, nullptr};
  int jobs = core::resolve_jobs(o.jobs);
  // A model that names a feature twice is decided on one thread (parallel.h).
  if (jobs > 1 && core::parallel_safe(model.table)) {
    core::ParallelStream stream(model.table, reading, output, jobs);
    read_stream(input, stream, out, early, at_end);
  } else {
    core::SentenceStream stream(model.table, reading, output);
    read_stream(input, stream, out, early, at_end);
  }
  out.flush();
  std::string suspect = core::suspect_model_warning(model.load, o.model_fname);
  if (!suspect.empty()) warn(suspect);
}

void stream_training(InputFiles &input, const Options &o, core::Output &out, const char *features_def) {
  core::FeatureTable table;
  core::TrainingStream stream(table, core::Reading{o.forced_text_mode, o.training_rules}, out);
  EarlyText none;
  read_stream(input, stream, out, none, false);
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

// The classic command line (short options, --jobs) reads standard input
// whatever follows the options, as it always has; silently dropping an
// operand would hide a mistake such as "fullstop -m MODEL text.txt", which
// would then wait at a terminal or split empty input: say so.  A command
// line that speaks the long options reads its operands as files.
std::vector<std::string> input_names(int argc, char **argv, const Options &options) {
  std::vector<std::string> names;
  for (int i = optind; i < argc; i++) {
    if (options.reads_operands)
      names.emplace_back(argv[i]);
    else
      std::fprintf(stderr, "fullstop: warning: operand '%s' ignored; text is read from standard input\n", argv[i]);
  }
  return names;
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
    case Request::list_models:
      std::fputs(model_list([](const std::string &message) {
                   std::fprintf(stderr, "fullstop: warning: %s\n", message.c_str());
                 }).c_str(),
                 stdout);
      return 0;
    case Request::run:
      break;
  }
  // A model is read as it declares: rules given for detection would read
  // text as it was never trained, so --reading is training's alone.
  if (options.reading_given && options.model_fname != nullptr)
    core::fail(core::ErrorKind::usage, "--reading is for training (no model): a model is read as it declares");
  if (options.reading_given && options.forced_text_mode != core::TextMode::unicode)
    core::fail(core::ErrorKind::usage, "--reading needs --text-mode=unicode: the classic mode has no reading rules");
  InputFiles input(input_names(argc, argv, options));
  FdSink sink(1);
  core::Output out(sink);
  Warn warn = [](const std::string &message) { std::fprintf(stderr, "fullstop: warning: %s\n", message.c_str()); };
  try {
    input.check();
    if (options.model_fname != nullptr)
      stream_detection(input, options, out, warn);
    else
      stream_training(input, options, out, "features.def");
  } catch (const core::Error &e) {
    // A text that cannot be read, or passes a limit, is named: standard
    // input or the file operand being read.
    if (e.kind() != core::ErrorKind::input) throw;
    std::fprintf(stderr, "fullstop: %s: %s\n", input.name().c_str(), e.what());
    return 1;
  }
  return 0;
}

}  // namespace fullstop::cli
