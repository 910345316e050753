#include "parallel.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>
#include <system_error>

namespace {

// Marks a sentence that began before its block (see parallel.h).
constexpr int64_t kOpen = -1;

inline int byte_kind(unsigned char c) { return is_separator_byte(c) ? 2 : is_punct_byte(c) ? 1 : 0; }

// Where the n-th token counted back from `end` starts in data[0, end), or -1
// (data[0] begins a line).  As SentenceStream counts them.
int64_t token_start_back(const char *data, int64_t end, int n) {
  for (int64_t p = end - 1; p >= 0; p--) {
    int k = byte_kind(static_cast<unsigned char>(data[p]));
    if (k != 2 && (p == 0 || byte_kind(static_cast<unsigned char>(data[p - 1])) != k) && --n == 0)
      return p;
  }
  return -1;
}

}  // namespace

int online_cpus() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  if (n < 1) n = static_cast<long>(std::thread::hardware_concurrency());
  return n < 1 ? 1 : static_cast<int>(std::min<long>(n, kMaxJobs));
}

int resolve_jobs(int jobs) { return jobs <= 0 ? online_cpus() : std::min(jobs, kMaxJobs); }

bool parallel_safe(const FeatureTable &model) { return !model.has_repeats(); }

struct ParallelStream::Job {
  std::string text;  // the block's text, from offset `base` on
  int64_t base = 0;
  int64_t from = 0, until = -1;  // the candidates it decides (until -1: to the end)
  // Results: the sentences (whole-text offsets; the first one's start kOpen
  // when it began before the block), the output of all but the first, where
  // the sentence after the last decision begins, and the counts.
  std::vector<SentenceSpan> found;
  std::string out;
  int64_t tail = kOpen;
  bool done = false;
  EvalCounts counts{};
  std::exception_ptr error;
  bool ready = false;
};

ParallelStream::ParallelStream(const FeatureTable &model, TextMode mode, const DetectOptions &options,
                               Output *out, std::vector<SentenceSpan> *spans, int jobs,
                               size_t block_size)
    : model_(model), mode_(mode), options_(options), out_(out), spans_(spans),
      block_size_(std::max<size_t>(block_size, 1)), printer_scorer_(printer_in_, model),
      own_scorer_(own_in_, model) {
  int n = resolve_jobs(jobs);
  max_in_flight_ = 2 * static_cast<size_t>(n) + 1;
  // The coordinating thread decides blocks too whenever it would wait for
  // one, so `jobs` threads in all do the work, and no more run than asked.
  threads_.reserve(static_cast<size_t>(n - 1));
  try {
    for (int i = 1; i < n; i++) threads_.emplace_back([this] { work(); });
  } catch (const std::system_error &e) {
    stop_workers();
    die(std::string("cannot start a thread: ") + e.what());
  } catch (...) {
    stop_workers();
    throw;
  }
}

ParallelStream::~ParallelStream() { stop_workers(); }

void ParallelStream::stop_workers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  for (std::thread &t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
}

// A worker: one Input and one Scorer for all its blocks (words and caches
// carry over, as in one run), blocks taken in input order.
void ParallelStream::work() {
  Input in;
  Scorer scorer(in, model_);
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    run_job(in, scorer, *job);
  }
}

void ParallelStream::run_job(Input &in, Scorer &scorer, Job &job) {
  try {
    decide(in, scorer, job);
  } catch (...) {
    job.error = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job.ready = true;
  }
  job_done_.notify_all();
}

void ParallelStream::decide(Input &in, Scorer &scorer, Job &job) const {
  in.replace_text(job.text);
  StringSink sink;
  // The sentences' text is about as long as the block's (offsets are shorter):
  // room for it saves regrowing the string.
  if (out_ != nullptr && !options_.test) sink.text.reserve(job.text.size() + Output::kCapacity);
  std::string().swap(job.text);
  if (mode_ == TextMode::unicode) in.map();
  Detection d(in, scorer, options_);
  Output out(sink);
  d.out = &out;
  d.spans = &job.found;
  int64_t start = kOpen;
  d.run_window(mode_, static_cast<int32_t>(job.from - job.base), -1, false, start, job.done,
               job.until < 0 ? -1 : static_cast<int32_t>(job.until - job.base));
  job.counts = d.counts;
  job.tail = start == kOpen ? kOpen : start + job.base;
  if (out_ != nullptr && !options_.test) {
    // Every sentence but the first is the block's own: print it here.
    d.spans = nullptr;
    d.base = job.base;
    for (size_t i = 1; i < job.found.size(); i++) {
      const SentenceSpan &s = job.found[i];
      if (mode_ == TextMode::unicode) {
        d.complete_original(s.start, s.end);
      } else {
        d.complete_sentence(s.start, s.end);
      }
    }
  }
  out.flush();
  job.out = std::move(sink.text);
  for (SentenceSpan &s : job.found) {
    if (s.start != kOpen) s.start += job.base;
    s.end += job.base;
  }
}

int64_t ParallelStream::line_start(int64_t pos) const {
  while (pos > base_ && pending_[static_cast<size_t>(pos - base_ - 1)] != '\n') pos--;
  return pos;
}

// For a block ending at `end` (just after a newline): the start of the
// third-last token before it (`cut`) and the line start before the second
// token before that (`context`), looking back no further than `reach` bytes
// (and never before the text kept).  False when there are too few tokens.
bool ParallelStream::find_cut(int64_t end, int64_t reach, int64_t &cut, int64_t &context) {
  int64_t lo = end - reach > base_ ? line_start(end - reach) : base_;
  for (int64_t span = 512;; span *= 4) {
    int64_t s = end - span > lo ? line_start(end - span) : lo;
    const char *p = pending_.data() + (s - base_);
    size_t n = static_cast<size_t>(end - s);
    const char *data = p;
    bool mapped = mode_ == TextMode::unicode && needs_mapping(p, n);
    if (mapped) {
      mapped_.resize(n);
      n = map_unicode(p, n, mapped_.data(), map_);
      data = mapped_.data();
    }
    int64_t third = token_start_back(data, static_cast<int64_t>(n), 3);
    int64_t fifth = third >= 0 ? token_start_back(data, third, 2) : -1;
    auto original = [&](int64_t m) { return s + (mapped ? map_.start(static_cast<int32_t>(m)) : m); };
    // At the start of the text the next block may begin at 0, whatever
    // precedes its first candidate (as SentenceStream's first window).
    if (fifth >= 0 || (third >= 0 && s == 0)) {
      cut = original(third);
      context = fifth >= 0 ? line_start(original(fifth)) : 0;
      return true;
    }
    if (s <= lo) return false;
  }
}

bool ParallelStream::try_block(int64_t end, int64_t reach) {
  int64_t cut = 0, context = 0;
  // A block must decide something, but for the first: it opens the output
  // (the document's first line) when one thread would.
  if (!find_cut(end, reach, cut, context) || cut < from_ || (cut == from_ && opened_)) return false;
  auto job = std::make_shared<Job>();
  job->text.assign(pending_, static_cast<size_t>(context_ - base_), static_cast<size_t>(end - context_));
  job->base = context_;
  job->from = from_;
  job->until = cut;
  from_ = cut;
  context_ = context;
  submit(std::move(job));
  return true;
}

void ParallelStream::submit(std::shared_ptr<Job> job) {
  if (!opened_) {
    // The first sentence begins after a byte order mark (Unicode mode).
    opened_ = true;
    open_ = mode_ == TextMode::unicode && base_ == 0 && pending_.size() >= 3 &&
                    std::memcmp(pending_.data(), "\xEF\xBB\xBF", 3) == 0
                ? 3
                : 0;
  }
  while (in_flight_.size() >= max_in_flight_) write_oldest();
  in_flight_.push_back(job);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(job));
  }
  work_ready_.notify_one();
}

// Cuts off blocks of about block_size_ bytes while the text allows.
void ParallelStream::dispatch_blocks() {
  int64_t total = base_ + static_cast<int64_t>(pending_.size());
  for (;;) {
    int64_t look = std::max(scan_, from_ + static_cast<int64_t>(block_size_) - 1);
    if (look >= total) return;
    const void *nl = std::memchr(pending_.data() + (look - base_), '\n', static_cast<size_t>(total - look));
    if (nl == nullptr) {
      scan_ = total;
      return;
    }
    int64_t end = base_ + (static_cast<const char *>(nl) - pending_.data()) + 1;
    // Too few tokens near this line end: look again a block further on, so
    // that text without tokens costs a bounded search per block.
    int64_t reach = static_cast<int64_t>(std::max(block_size_, size_t{1} << 16));
    scan_ = try_block(end, reach) ? end : end + static_cast<int64_t>(block_size_) - 1;
  }
}

void ParallelStream::feed(const char *bytes, size_t len) {
  pending_.append(bytes, len);
  dispatch_blocks();
  // Whatever is decided already goes out, without waiting for the rest.
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (in_flight_.empty() || !in_flight_.front()->ready) break;
    }
    write_oldest();
  }
  trim();
}

void ParallelStream::pump() {
  dispatch_blocks();
  // Then all the text up to the last newline, as SentenceStream decides it.
  int64_t total = base_ + static_cast<int64_t>(pending_.size());
  if (total > from_) {
    const void *nl = memrchr(pending_.data() + (from_ - base_), '\n', static_cast<size_t>(total - from_));
    if (nl != nullptr) {
      int64_t end = base_ + (static_cast<const char *>(nl) - pending_.data()) + 1;
      if (try_block(end, total)) scan_ = std::max(scan_, end);
    }
  }
  if (opened_) begin();
  while (!in_flight_.empty()) write_oldest();
  trim();
}

void ParallelStream::finish() {
  if (finished_) return;
  finished_ = true;
  dispatch_blocks();
  int64_t total = base_ + static_cast<int64_t>(pending_.size());
  auto job = std::make_shared<Job>();
  job->text.assign(pending_, static_cast<size_t>(context_ - base_), std::string::npos);
  job->base = context_;
  job->from = from_;
  submit(std::move(job));
  while (!in_flight_.empty()) write_oldest();
  begin();
  if (!options_.test && !done_) print_sentence(open_, total);
  Detection d(printer_in_, printer_scorer_, options_);
  d.out = out_;
  d.spans = spans_;
  d.counts = counts_;
  d.end();
  std::string().swap(pending_);
}

// Waits for the oldest block, deciding blocks nobody has taken meanwhile.
void ParallelStream::write_oldest() {
  std::shared_ptr<Job> job = std::move(in_flight_.front());
  in_flight_.pop_front();
  for (;;) {
    std::shared_ptr<Job> taken;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (queue_.empty()) {
        job_done_.wait(lock, [&] { return job->ready; });
        break;
      }
      if (job->ready) break;
      taken = std::move(queue_.front());
      queue_.pop_front();
    }
    run_job(own_in_, own_scorer_, *taken);
  }
  write(*job);
}

void ParallelStream::begin() {
  if (begun_) return;
  begun_ = true;
  Detection d(printer_in_, printer_scorer_, options_);
  d.out = out_;
  d.spans = spans_;
  if (out_ != nullptr || spans_ != nullptr) d.begin();
}

void ParallelStream::write(Job &job) {
  if (job.error) std::rethrow_exception(job.error);
  begin();
  if (options_.test) {
    // The block printed its first ten errors of each kind; the run prints
    // the first ten of all.
    int fp = counts_.nfalse_positives, fn = counts_.nfalse_negatives;
    std::string_view lines = job.out;
    while (!lines.empty() && out_ != nullptr) {
      size_t n = lines.find('\n') + 1;
      std::string_view line = lines.substr(0, n);
      int &seen = line.starts_with("false positive: ") ? fp : fn;
      if (seen <= 9) out_->write(line);
      seen++;
      lines.remove_prefix(n);
    }
    counts_.nfalse_positives += job.counts.nfalse_positives;
    counts_.nfalse_negatives += job.counts.nfalse_negatives;
    counts_.ntrue_positives += job.counts.ntrue_positives;
    counts_.ntrue_negatives += job.counts.ntrue_negatives;
    counts_.nsites += job.counts.nsites;
    return;
  }
  if (job.found.empty()) return;
  print_sentence(open_, job.found[0].end);
  if (spans_ != nullptr) {
    spans_->insert(spans_->end(), job.found.begin() + 1, job.found.end());
  } else if (out_ != nullptr) {
    out_->write(job.out);
  }
  open_ = job.tail;
  done_ = job.done;
}

// A sentence from the text kept, as Detection prints it.
void ParallelStream::print_sentence(int64_t start, int64_t end) {
  if (spans_ != nullptr) {
    spans_->push_back(SentenceSpan{start, end});
    return;
  }
  if (out_ == nullptr) return;
  printer_in_.set(std::string_view(pending_.data() + (start - base_), static_cast<size_t>(end - start)));
  Detection d(printer_in_, printer_scorer_, options_);
  d.out = out_;
  d.base = start;
  if (mode_ == TextMode::unicode) {
    d.complete_original(0, end - start);
  } else {
    d.complete_sentence(0, end - start);
  }
}

// Drops the text no block and no sentence to print needs any more, when
// that is at least half of it (so each byte moves a bounded number of times).
void ParallelStream::trim() {
  int64_t keep = context_;
  if (out_ != nullptr && !options_.test) keep = std::min(keep, open_);
  keep = line_start(keep);
  size_t drop = static_cast<size_t>(keep - base_);
  if (drop == 0 || drop < pending_.size() / 2) return;
  pending_.erase(0, drop);
  base_ = keep;
}
