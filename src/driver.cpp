#include "driver.h"

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
#include <string_view>
#include <thread>
#include <vector>

#include "atomic_file.h"
#include "model_path.h"
#include "parallel.h"
#include "stream.h"
#include "training.h"
#include "util.h"
#include "version.h"

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
    {nullptr, 0, nullptr, 0},
};

void set_format(DetectOptions &d, std::string_view name) {
  d.full_text = d.only_text = false;
  d.format = kFormatClassic;
  if (name == "xml") {
  } else if (name == "lines") {
    d.full_text = d.only_text = true;
  } else if (name == "text") {
    d.format = kFormatText;
  } else if (name == "jsonl") {
    d.format = kFormatJsonl;
  } else if (name == "tsv") {
    d.format = kFormatTsv;
  } else {
    throw UsageError("unknown format '" + std::string(name) +
                     "' for --format (xml, text, lines, jsonl or tsv)");
  }
}

// --jobs N: a whole number from 0 (all online CPUs) to kMaxJobs, digits only.
int parse_jobs(std::string_view text) {
  int n = 0;
  bool ok = !text.empty() && text.size() <= 4;
  for (char c : text) {
    ok = ok && c >= '0' && c <= '9';
    if (ok) n = n * 10 + (c - '0');
  }
  if (!ok || n > kMaxJobs)
    throw UsageError("bad number of jobs '" + std::string(text) + "' for --jobs (0 to " +
                     std::to_string(kMaxJobs) + "; 0: all online CPUs)");
  return n;
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
         "      --jobs=N          decide detection and evaluation on N threads (0: all\n"
         "                        online CPUs; default 1), with the same output;\n"
         "                        training, and a model that names a feature twice,\n"
         "                        run on one\n"
         "      --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Model folders, in order: those in FULLSTOP_MODEL_PATH (colon-separated), the\n"
         "installed share/fullstop/ and, for a program in its build folder, the source\n"
         "tree's models/.  Operands are not read: TEXT comes from standard input.\n"
         "Unknown short options are reported and ignored.\n"
         "See fullstop(1) and fullstop-model(5).\n";
}

Request parse_opts(int argc, char **argv, Options &o) {
  Request request = Request::run;
  DetectOptions &d = o.detect;
  int c;
  while ((c = getopt_long(argc, argv, "m:tfF", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case 'm':
        o.model_fname = optarg;
        break;
      case 't':
      case kEvaluate:
        d.test = true;
        break;
      case 'f':
      case kWithText:
        // -f after -F keeps the bare lines, as it always has.
        d.format = kFormatClassic;
        d.full_text = true;
        break;
      case 'F':
      case kTextOnly:
        d.format = kFormatClassic;
        d.only_text = true;
        d.full_text = true;
        break;
      case kModel:
        o.resolved_model = resolve_model(optarg);
        o.model_fname = o.resolved_model.c_str();
        break;
      case kFormat:
        set_format(d, optarg);
        break;
      case kTextMode:
        // Its message has always stood alone, and scripts may match it whole.
        if (!parse_text_mode(optarg, &o.forced_text_mode))
          throw UsageError("unknown text mode '" + std::string(optarg) +
                           "' (known: classic, unicode)",
                           false);
        o.text_mode_forced = true;
        break;
      case kJobs:
        o.jobs = parse_jobs(optarg);
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

void write_features_def(const FeatureTable &table, const char *path) {
  std::string lines;
  atomic_file::Failure f = atomic_file::replace(path, [&](std::FILE *out) {
    // Lines gathered into chunks of about 64 KiB, one fwrite each (a call
    // per line cost as much as forming the line).
    for (const Feature *feature : table.feats) {
      append_int(lines, feature->id);
      lines.push_back('\t');
      lines.append(feature->text);
      lines.push_back('\n');
      if (lines.size() >= (size_t{1} << 16)) {
        if (std::fwrite(lines.data(), 1, lines.size(), out) != lines.size()) return false;
        lines.clear();
      }
    }
    return std::fwrite(lines.data(), 1, lines.size(), out) == lines.size();
  });
  if (f) die(std::string(path) + ": " + std::strerror(f.error));
}

void run_paths(Input &in, const Options &o, Output &out, const char *features_def, const Warn &warn) {
  if (o.model_fname != nullptr) {
    LoadedModel model;
    load_model_file(model, o.model_fname);
    detection_path(in, model, o.model_fname, o, out, warn);
    std::string suspect = suspect_model_warning(model.load, o.model_fname);
    if (!suspect.empty()) warn(suspect);
  } else {
    FeatureTable table;
    training_path(in, table, o, out);
    write_features_def(table, features_def);
  }
}

void detection_path(Input &in, const LoadedModel &model, const char *name, const Options &o,
                    Output &out, const Warn &warn) {
  if (!model.warning.empty()) warn(model.warning);
  TextMode mode = o.text_mode_forced ? o.forced_text_mode : declared_text_mode(model.table, name);
  if (mode == TextMode::unicode) in.map(o.detect.test);
  Scorer scorer(in, model.table);
  Detection detection(in, scorer, o.detect);
  detection.out = &out;
  detection.run(mode);
  out.flush();
}

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
  std::unique_ptr<char, FreeDeleter> bytes;
  size_t len = 0;
};

// Reads fd into `early` while `ready` is false, as long as input is ready to
// read without waiting and there is room; true at the end of the input.
bool read_ahead(int fd, EarlyText &early, const std::atomic<bool> &ready) {
  while (!ready.load(std::memory_order_acquire) && early.len < EarlyText::kCap) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) == 0) return false;  // would wait: stop here
    if (!early.bytes) early.bytes.reset(static_cast<char *>(alloc_large(EarlyText::kCap)));
    ssize_t got = ::read(fd, early.bytes.get() + early.len, std::min(EarlyText::kCap - early.len, kRead));
    if (got < 0) {
      if (errno == EINTR) continue;
      die(std::string("standard input: ") + std::strerror(errno));
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
bool load_while_reading(LoadedModel &model, const char *path, int fd, EarlyText &early) {
  // A closed standard input's descriptor is the lowest free one: the model
  // file, opened on the other thread, could get it and be read as the
  // input.  Then load first, as one thread does, and the read fails.
  if (fcntl(fd, F_GETFD) == -1) {
    load_model_file(model, path);
    return false;  // nothing read ahead: the reading reports the error
  }
  std::atomic<bool> ready{false};
  std::exception_ptr failed;
  std::thread loader([&] {
    try {
      load_model_file(model, path);
    } catch (...) {
      failed = std::current_exception();
    }
    ready.store(true, std::memory_order_release);
  });
  move_off_cpu(loader, current_cpu());
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
void read_stream(int fd, Stream &stream, Output &out, EarlyText &early, bool at_end) {
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
      die(std::string("standard input: ") + std::strerror(errno));
    }
    if (got == 0) break;
    stream.took(static_cast<size_t>(got));
  }
  stream.finish();
}

}  // namespace

void stream_detection(int fd, const Options &o, Output &out, const Warn &warn) {
  LoadedModel model;
  EarlyText early;
  bool at_end = load_while_reading(model, o.model_fname, fd, early);
  if (!model.warning.empty()) warn(model.warning);
  TextMode mode = o.text_mode_forced ? o.forced_text_mode : declared_text_mode(model.table, o.model_fname);
  int jobs = resolve_jobs(o.jobs);
  // A model that names a feature twice is decided on one thread (parallel.h).
  if (jobs > 1 && parallel_safe(model.table)) {
    ParallelStream stream(model.table, mode, o.detect, &out, nullptr, jobs);
    read_stream(fd, stream, out, early, at_end);
  } else {
    SentenceStream stream(model.table, mode, o.detect, &out, nullptr);
    read_stream(fd, stream, out, early, at_end);
  }
  out.flush();
  std::string suspect = suspect_model_warning(model.load, o.model_fname);
  if (!suspect.empty()) warn(suspect);
}

void training_path(Input &in, FeatureTable &table, const Options &o, Output &out) {
  if (o.text_mode_forced && o.forced_text_mode == TextMode::unicode) in.map(true);
  Scorer scorer(in, table);
  Training training(in, scorer, out);
  training.report(o.forced_text_mode);
  out.flush();
}

void stream_training(int fd, const Options &o, Output &out, const char *features_def) {
  FeatureTable table;
  TrainingStream stream(table, o.forced_text_mode, out);
  EarlyText none;
  read_stream(fd, stream, out, none, false);
  out.flush();
  write_features_def(table, features_def);
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
  Options options;
  switch (parse_opts(argc, argv, options)) {
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
  FdSink sink(1);
  Output out(sink);
  Warn warn = [](const std::string &message) {
    std::fprintf(stderr, "fullstop: warning: %s\n", message.c_str());
  };
  if (options.model_fname != nullptr) {
    stream_detection(0, options, out, warn);
    return 0;
  }
  stream_training(0, options, out, "features.def");
  return 0;
}
