#include "core/run/parallel.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>
#include <system_error>

#include "core/base/cpu.h"
#include "core/base/error.h"
#include "core/base/memory.h"
#include "core/decide/detection.h"
#include "core/decide/evaluation.h"
#include "core/run/stream.h"

namespace fullstop::core {

namespace {

// Marks a sentence that began before its block (see parallel.h).
constexpr int64_t kOpen = -1;

}  // namespace

int resolve_jobs(int jobs) { return std::min(jobs <= 0 ? online_cpus() : jobs, kMaxJobs); }

bool parallel_safe(const FeatureTable &model) { return !model.has_repeats(); }

// Text of the coordinator's: never moved while a block may read it.
struct ParallelStream::Chunk {
  explicit Chunk(size_t size) : bytes(static_cast<char *>(alloc_large(size))), size(size) {}
  Chunk(char *owned, size_t size) : bytes(owned), size(size) {}
  ~Chunk() { std::free(bytes); }
  Chunk(const Chunk &) = delete;
  Chunk &operator=(const Chunk &) = delete;
  char *bytes;
  size_t size;
  // Blocks numbered below this may read it (until they are written).
  uint64_t readers_end = 0;
};

struct ParallelStream::Job {
  // The block's text, from offset `base` on, in a chunk of the coordinator's.
  const char *text = nullptr;
  size_t len = 0;
  int64_t base = 0;
  int64_t from = 0, until = -1;  // the candidates it decides (until -1: to the end)
  // Results: the sentences (whole-text offsets; the first one's start kOpen
  // when it began before the block), the output of all but the first, where
  // the sentence after the last decision begins, and the counts.
  std::vector<SentenceSpan> found;
  std::string out;
  int64_t tail = kOpen;
  bool done = false;
  bool blank = false;  // the block holds no token and no NUL (Detection::blank)
  EvalCounts counts{};
  std::exception_ptr error;
  bool ready = false;
};

ParallelStream::ParallelStream(const FeatureTable &model, const Reading &reading, const RunOutput &output,
                               int jobs, size_t block_size)
    : model_(model), reading_(reading), mode_(reading.mode), output_(output),
      evaluating_(output.task == Task::evaluate), ends_(reading.mode, evaluating_), block_size_(std::max<size_t>(block_size, 1)),
      // Eight blocks a chunk, 2 MiB at the default block size: one huge
      // page, which alloc_large rounds a chunk up to anyway (with four, half
      // of each page was faulted in and never used).  The text carried over
      // to the next chunk (what is not yet cut into blocks, and the open
      // sentence) is usually under a block, so about a sixteenth of the text
      // is copied twice.
      chunk_size_(8 * block_size_), sinks_(output, reading.mode), own_(model, reading, output) {
  int n = resolve_jobs(jobs);
  max_in_flight_ = 2 * static_cast<size_t>(n) + 1;
  // The coordinating thread decides blocks too whenever it would wait for
  // one, so `jobs` threads in all do the work, and no more run than asked.
  threads_.reserve(static_cast<size_t>(n - 1));
  try {
    const int cpu = n > 1 ? current_cpu() : -1;
    for (int i = 1; i < n; i++) {
      threads_.emplace_back([this] { work(); });
      move_off_cpu(threads_.back(), cpu);
    }
  } catch (const std::system_error &e) {
    stop_workers();
    fail(ErrorKind::resource, std::string("cannot start a thread: ") + e.what());
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

// A worker: one Session for all its blocks (words and caches carry over, as
// in one run), blocks taken in input order.
void ParallelStream::work() {
  Session session(model_, reading_, output_);
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    run_job(session, *job);
  }
}

void ParallelStream::run_job(Session &session, Job &job) {
  try {
    decide(session, job);
  } catch (...) {
    job.error = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job.ready = true;
  }
  job_done_.notify_all();
}

void ParallelStream::decide(Session &session, Job &job) const {
  // As in SentenceStream::run: a block whose sentences print no text
  // (offsets, spans, evaluation) is read where it lies in its chunk, which
  // stays unchanged until the block is written; printing text needs the
  // padded copy.
  session.take(std::string_view(job.text, job.len));
  StringSink sink;
  Output out(sink);
  const CandidateRange range{static_cast<int32_t>(job.from - job.base), -1,
                             job.until < 0 ? -1 : static_cast<int32_t>(job.until - job.base)};
  if (evaluating_) {
    // The block's first ten errors of each kind (see write).
    EvaluationPrinter errors(out);
    Evaluation e(session.tokens, session.scorer, mode_, output_.out != nullptr ? &errors : nullptr);
    e.run_window(range);
    job.counts = e.counts;
  } else {
    // The sentences' text is about as long as the block's (offsets are
    // shorter): room for it saves regrowing the string.
    if (output_.out != nullptr) sink.text.reserve(job.len + Output::kCapacity);
    SpanSink found(job.found);
    Detection d(session.tokens, session.scorer, mode_, found);
    int64_t start = kOpen;
    d.run_window(range, false, start, job.done);
    job.blank = d.blank();
    job.tail = start == kOpen ? kOpen : start + job.base;
    if (output_.out != nullptr) {
      // Every sentence but the first is the block's own: print it here.
      Renderer renderer(out, output_.form, mode_);
      const char *bytes = session.tokens.text.original_data();
      for (size_t i = 1; i < job.found.size(); i++) {
        const SentenceSpan &s = job.found[i];
        renderer.sentence(job.base + s.start, job.base + s.end, bytes + s.start);
      }
    }
  }
  out.flush();
  session.drop();
  job.out = std::move(sink.text);
  for (SentenceSpan &s : job.found) {
    if (s.start != kOpen) s.start += job.base;
    s.end += job.base;
  }
}

// base_ is a line start: the line ends of the text kept tell the rest.
int64_t ParallelStream::line_start(int64_t pos) const {
  return base_ + static_cast<int64_t>(ends_.line_start(text_, static_cast<size_t>(pos - base_), used_));
}

size_t ParallelStream::held() const {
  size_t n = 0;
  for (const std::unique_ptr<Chunk> &c : chunks_) n += c->size;
  return n;
}

// Room for `len` more bytes.  Blocks in flight read their text where it is,
// so a full chunk is left as it is, and the text still needed (from the line
// holding the next block's context on) is copied to a chunk that no block
// reads any more, or a new one.
void ParallelStream::make_room(size_t len) {
  if (chunk_ != nullptr && chunk_->size - used_ >= len) return;
  int64_t keep = line_start(context_);
  size_t kept = static_cast<size_t>(total() - keep);
  size_t size = std::max(chunk_size_, 2 * (kept + len));
  if (chunk_ != nullptr) chunk_->readers_end = submitted_;
  Chunk *next = nullptr;
  for (size_t i = 0; i < chunks_.size() && next == nullptr; i++) {
    Chunk *c = chunks_[i].get();
    if (c == chunk_ || c->readers_end > written_) continue;
    if (c->size >= size) {
      next = c;
    } else {  // free but too small (the open sentence grew): let it go
      chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(i--));
    }
  }
  if (next == nullptr) {
    chunks_.push_back(std::make_unique<Chunk>(size));
    next = chunks_.back().get();
  }
  if (kept > 0) std::memcpy(next->bytes, at(keep), kept);
  chunk_ = next;
  text_ = next->bytes;
  base_ = keep;
  used_ = kept;
}

// For a block ending at `end` (just after a line end): the start of the
// third-last token before it (`cut`) and the line start before the second
// token before that (`context`), looking back no further than `reach` bytes
// (and never before the text kept).  False when there are too few tokens.
bool ParallelStream::find_cut(int64_t end, int64_t reach, int64_t &cut, int64_t &context) {
  int64_t lo = end - reach > base_ ? line_start(end - reach) : base_;
  for (int64_t span = 512;; span *= 4) {
    int64_t s = end - span > lo ? line_start(end - span) : lo;
    const char *p = at(s);
    size_t n = static_cast<size_t>(end - s);
    const char *data = p;
    bool mapped = mode_ == TextMode::unicode && needs_mapping(p, n);
    if (mapped) {
      mapped_.resize(n);
      n = map_unicode(p, n, mapped_.data(), map_, evaluating_, map_rules(reading_.rules));
      data = mapped_.data();
    }
    int64_t third = token_start_back(data, static_cast<int64_t>(n), 3);
    int64_t fifth = third >= 0 ? context_start(data, third, reading_.rules) : -1;
    auto original = [&](int64_t m) { return s + (mapped ? map_.start(static_cast<int32_t>(m)) : m); };
    // At the start of the text the next block may begin at 0, whatever
    // precedes its first candidate (as SentenceStream's first window).
    if (fifth >= 0 || (third >= 0 && s == 0)) {
      cut = original(third);
      // Where lines are sentences (evaluation), kShortLine bytes more: see
      // short_line_before in tokens/sites.h.
      const int64_t back = evaluating_ ? kShortLine : 0;
      context = fifth >= 0 ? line_start(std::max(base_, original(fifth) - back)) : 0;
      context = outside_fences(end, context);
      return true;
    }
    if (s <= lo) return false;
  }
}

// The block's text is mapped and searched for code only when it holds a
// backtick or a tilde, which no other byte maps to.
int64_t ParallelStream::outside_fences(int64_t end, int64_t line) const {
  if (mode_ != TextMode::unicode || !reading_.rules.code_spans || line <= context_) return line;
  const char *p = at(context_);
  const auto n = static_cast<size_t>(end - context_);
  if (std::memchr(p, '`', n) == nullptr && std::memchr(p, '~', n) == nullptr) return line;
  TextBuffer text;
  text.borrow(std::string_view(p, n));
  text.map(evaluating_, map_rules(reading_.rules));
  CodeRegions code;
  find_code(text, maps_openers(reading_.rules), code);
  return context_ + core::outside_fences(text, code.fences, line - context_);
}

bool ParallelStream::try_block(int64_t end, int64_t reach) {
  int64_t cut = 0, context = 0;
  // A block must decide something, but for the first: it opens the output
  // (the document's first line) when one thread would.
  if (!find_cut(end, reach, cut, context) || cut < from_ || (cut == from_ && opened_)) return false;
  auto job = std::make_shared<Job>();
  job->text = at(context_);
  job->len = static_cast<size_t>(end - context_);
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
    open_ = mode_ == TextMode::unicode && base_ == 0 && used_ >= 3 &&
                    std::memcmp(at(0), "\xEF\xBB\xBF", 3) == 0
                ? 3
                : 0;
    covered_ = open_;
  }
  while (in_flight_.size() >= max_in_flight_) write_oldest();
  submitted_++;
  in_flight_.push_back(job);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(job));
  }
  work_ready_.notify_one();
}

// Cuts off blocks of about block_size_ bytes while the text allows.  A
// block reads again the text from its context's line start to from_: a
// line or two of most text, but a whole line where a line is a paragraph
// or a document, which blocks of block_size_ would read about twice.  So
// when that is kLongKept to 512 KiB, a block takes twice as much new text (as
// StreamText::took waits for a stream's next window), and the text is read
// about 1.3 times.  The blocks in flight and their chunks grow with them:
// four times as much took the peak memory of UD's French from 28 to 50 MB,
// and lines longer still keep the blocks as they are.
void ParallelStream::dispatch_blocks() {
  int64_t total = this->total();
  for (;;) {
    const int64_t again = from_ - context_;
    const bool long_line = again >= static_cast<int64_t>(kLongKept) && again <= (int64_t{512} << 10);
    const int64_t size = long_line ? std::max(static_cast<int64_t>(block_size_), 2 * again)
                                   : static_cast<int64_t>(block_size_);
    int64_t look = std::max(scan_, from_ + size - 1);
    if (look >= total) return;
    size_t next = ends_.next_start(text_, static_cast<size_t>(look - base_), used_);
    if (next == 0) {
      // A CR at the end ends a line only if no LF follows: look again.
      scan_ = std::max(look, total - 1);
      return;
    }
    int64_t end = base_ + static_cast<int64_t>(next);
    // Too few tokens near this line end: look again a block further on, so
    // that text without tokens costs a bounded search per block.
    int64_t reach = static_cast<int64_t>(std::max(block_size_, size_t{1} << 16));
    scan_ = try_block(end, reach) ? end : end + static_cast<int64_t>(block_size_) - 1;
  }
}

void ParallelStream::feed(const char *bytes, size_t len) {
  char *at = room(len);
  if (len > 0) std::memcpy(at, bytes, len);
  took(len);
}

void ParallelStream::adopt(char *bytes, size_t len, size_t cap) {
  std::unique_ptr<char, FreeDeleter> owned(bytes);
  if (chunk_ != nullptr || base_ != 0) {  // not the first text: copy it
    feed(bytes, len);
    return;
  }
  auto chunk = std::make_unique<Chunk>(bytes, cap);
  owned.release();  // the chunk's now
  chunks_.push_back(std::move(chunk));
  chunk_ = chunks_.back().get();
  text_ = bytes;
  used_ = 0;
  took(len);
}

char *ParallelStream::room(size_t len) {
  make_room(len);
  return text_ + used_;
}

void ParallelStream::took(size_t n) {
  used_ += n;
  dispatch_blocks();
  // Whatever is decided already goes out, without waiting for the rest.
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (in_flight_.empty() || !in_flight_.front()->ready) break;
    }
    write_oldest();
  }
}

void ParallelStream::pump() {
  if (chunk_ == nullptr) make_room(0);
  dispatch_blocks();
  // Then all the text up to the last line end, as SentenceStream decides it.
  int64_t total = this->total();
  if (total > from_) {
    size_t last = ends_.last_start(text_, static_cast<size_t>(from_ - base_), used_);
    if (last != 0) {
      int64_t end = base_ + static_cast<int64_t>(last);
      if (try_block(end, total)) scan_ = std::max(scan_, end);
    }
  }
  if (opened_) begin();
  while (!in_flight_.empty()) write_oldest();
}

void ParallelStream::finish() {
  if (finished_) return;
  finished_ = true;
  if (chunk_ == nullptr) make_room(0);
  dispatch_blocks();
  int64_t total = this->total();
  auto job = std::make_shared<Job>();
  job->text = at(context_);
  job->len = static_cast<size_t>(total - context_);
  job->base = context_;
  job->from = from_;
  submit(std::move(job));
  while (!in_flight_.empty()) write_oldest();
  begin();
  // A Unicode-mode text that no block found a token (or NUL) in has no
  // sentence, as in one run (Detection::run).
  if (!evaluating_ && !done_ && !(blank_ && mode_ == TextMode::unicode)) print_open(total);
  if (evaluating_ && sinks_.errors() != nullptr) sinks_.errors()->report(counts_);
  if (!evaluating_ && sinks_.sentences() != nullptr) sinks_.sentences()->end();
  chunk_ = nullptr;
  text_ = nullptr;
  chunks_.clear();
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
    run_job(own_, *taken);
  }
  write(*job);
  written_++;
}

void ParallelStream::begin() {
  if (begun_) return;
  begun_ = true;
  if (!evaluating_ && sinks_.sentences() != nullptr) sinks_.sentences()->begin();
}

void ParallelStream::write(Job &job) {
  if (job.error) std::rethrow_exception(job.error);
  begin();
  if (evaluating_) {
    // The block printed its first ten errors of each kind; the run prints
    // the first ten of all.
    int fp = counts_.nfalse_positives, fn = counts_.nfalse_negatives;
    std::string_view lines = job.out;
    while (!lines.empty() && output_.out != nullptr) {
      size_t n = lines.find('\n') + 1;
      std::string_view line = lines.substr(0, n);
      int &seen = line.starts_with("false positive: ") ? fp : fn;
      if (seen <= 9) output_.out->write(line);
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
  int64_t end = job.base + static_cast<int64_t>(job.len);
  blank_ = blank_ && job.blank;
  if (job.found.empty()) {
    keep_open_text(job, end);
    return;
  }
  keep_open_text(job, job.found[0].end);
  print_open(job.found[0].end);
  if (output_.out != nullptr) {
    output_.out->write(job.out);
  } else if (output_.spans != nullptr) {
    output_.spans->insert(output_.spans->end(), job.found.begin() + 1, job.found.end());
  }
  open_ = job.tail;
  done_ = job.done;
  open_text_.clear();
  // After the last sentence of the text there is nothing left to print.
  covered_ = done_ ? end : open_;
  keep_open_text(job, end);
}

// The open sentence's text up to `to`, taken from a block being written (its
// chunk holds it until then): the sentence may go on over many blocks, and
// the coordinator's chunks keep only what the next blocks read.
void ParallelStream::keep_open_text(const Job &job, int64_t to) {
  if (output_.out == nullptr || evaluating_ || to <= covered_) return;
  open_text_.append(job.text + (covered_ - job.base), static_cast<size_t>(to - covered_));
  covered_ = to;
}

// The open sentence, ending at `end`, as a whole run reports it.
void ParallelStream::print_open(int64_t end) {
  SentenceSink *sentences = sinks_.sentences();
  if (sentences == nullptr) return;
  const char *bytes = nullptr;
  if (sentences->reads_text()) {
    // The text kept may go on past `end` (to the end of the block written).
    printer_text_.copy(std::string_view(open_text_).substr(0, static_cast<size_t>(end - open_)));
    bytes = printer_text_.data;
  }
  sentences->sentence(open_, end, bytes);
}

}  // namespace fullstop::core
