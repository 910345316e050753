// Detection on several threads (fullstop --jobs, fullstop_split_jobs), byte
// for byte the output of a run on one.
//
// Safe points.  A decision reads a five-token window, the flags of its tokens
// (line and paragraph ends, which follow from the gap after each token) and,
// in the Unicode mode, the edge markers around paragraphs.  All of that is
// fixed by the text from the start of the line holding the second token
// before the candidate to the line after its third token after: a line start
// (just after a line end, see text/line_ends.h) is where either text mode's
// mapping and tokenizer begin afresh.  So the text is divided as
// SentenceStream divides its windows.  A block of text [L, R) ends just after a line end; it decides the
// candidates whose token begins at or after its `from` and before `until`,
// the start of the third-last token before R, so every flag in every window
// it decides is final.  The next block decides from that `until` on and
// begins at the line holding the second token before it, so its first
// windows see the same two tokens as a whole run does (with run-in
// headings, more: see context_words in tokens/sites.h).  The coordinating
// thread finds each cut by mapping and tokenizing only the last few lines
// before R.
//
// Order.  Workers decide blocks at the same time, each with a Session of
// its own, and the coordinator writes their results in input
// order; while it waits for a block, it decides blocks itself (so `jobs`
// threads in all do the work).  The one thing a block cannot know is where the sentence open at
// its start began (in some earlier block): a worker prints every sentence
// after its block's first decision and returns that decision's end, and the
// coordinator prints the sentence up to it from the text it keeps (from the
// line holding the open sentence, as SentenceStream keeps it).  Evaluation
// adds up the blocks' counts and prints a block's error windows while the
// running count of their kind is under ten.
//
// State.  Without a repeated feature name a Scorer answers every lookup the
// same whatever it met before (its caches only save work), so blocks are
// independent.  A model that names a feature twice makes the answer for that
// name depend on how many distinct unknown names the run formed before (see
// Scorer): parallel_safe() is false for it, and callers run one thread.
//
// Training stays on one thread: feature ids are numbered in order of first
// appearance in the whole input, so a block's ids depend on every block before
// it, and renumbering block-local ids in order would cost the writer about
// what forming them costs.
//
// Memory.  A few blocks per worker are in flight at a time.  The coordinator
// keeps the text in chunks of several blocks, and a block's worker reads its
// text in place there (into its Session: one copy, as one thread makes); a
// chunk that fills is left to the blocks that read it, the text still needed
// (the undecided text and the open sentence) goes on in another, and a chunk
// is used again once every block that read it has been written.  Never the
// whole input.
#ifndef FULLSTOP_CORE_RUN_PARALLEL_H
#define FULLSTOP_CORE_RUN_PARALLEL_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/decide/sentence_sink.h"
#include "core/model/feature_table.h"
#include "core/run/session.h"
#include "core/text/line_ends.h"
#include "core/text/text_buffer.h"
#include "core/text/unicode_map.h"

namespace fullstop::core {

// The text a block decides, about: big enough that handing it over costs
// nothing next to deciding it, small enough that two workers stay busy on a
// few MB.
inline constexpr size_t kDefaultBlockSize = size_t{1} << 18;

// The largest --jobs value accepted.
inline constexpr int kMaxJobs = 1024;

// The worker count for a requested one: 0 means all online CPUs.
int resolve_jobs(int jobs);
// Whether independent blocks decide as one run does with this model (false
// when it names a feature twice).
bool parallel_safe(const FeatureTable &model);

// Detection (or evaluation) of text fed in pieces, decided by `jobs` worker
// threads; used like SentenceStream, with the same output.  `block_size` is
// the text per block (tests make it tiny, so that every block edge is met).
class ParallelStream {
 public:
  ParallelStream(const FeatureTable &model, const Reading &reading, const RunOutput &output, int jobs,
                 size_t block_size = kDefaultBlockSize);
  ~ParallelStream();
  ParallelStream(const ParallelStream &) = delete;
  ParallelStream &operator=(const ParallelStream &) = delete;

  void feed(const char *bytes, size_t len);
  // The same for text read in place: up to `len` bytes are written at
  // room(len), and took(n) takes the first n.
  char *room(size_t len);
  void took(size_t n);
  // The same for the stream's first text, with the buffer it was read into
  // (`cap` bytes from malloc or alloc_large, freed with std::free): it
  // becomes the first chunk.
  void adopt(char *bytes, size_t len, size_t cap);
  // Decides and writes all that the text so far allows (before waiting).
  void pump();
  // The text ended: decides the rest and completes the output.
  void finish();

  // Bytes of text held for blocks and the writer now (tests bound them).
  size_t held() const;

 private:
  struct Job;
  struct Chunk;

  void work();
  void run_job(Session &session, Job &job);
  void stop_workers();
  void decide(Session &session, Job &job) const;
  void dispatch_blocks();
  bool find_cut(int64_t end, int64_t reach, int64_t &cut, int64_t &context);
  // The line start `line` moved out of any fenced block of the text
  // [context_, end) (see outside_fences in stream.h).
  int64_t outside_fences(int64_t end, int64_t line) const;
  bool try_block(int64_t end, int64_t reach);
  void submit(std::shared_ptr<Job> job);
  void write_oldest();
  void write(Job &job);
  void keep_open_text(const Job &job, int64_t to);
  void print_open(int64_t end);
  void begin();
  void make_room(size_t len);
  int64_t line_start(int64_t pos) const;
  const char *at(int64_t pos) const { return text_ + (pos - base_); }
  int64_t total() const { return base_ + static_cast<int64_t>(used_); }

  const FeatureTable &model_;
  Reading reading_;
  TextMode mode_;
  RunOutput output_;
  bool evaluating_;
  LineEnds ends_;  // where blocks may end
  size_t block_size_;
  size_t max_in_flight_;
  size_t chunk_size_;

  // The coordinator's text: bytes from offset base_ (a line start) on, the
  // first used_ bytes of chunk_, which begin at text_.
  Chunk *chunk_ = nullptr;
  char *text_ = nullptr;
  int64_t base_ = 0;
  size_t used_ = 0;
  // Every chunk, the current one too.
  std::vector<std::unique_ptr<Chunk>> chunks_;
  // Blocks submitted and blocks written so far.
  uint64_t submitted_ = 0, written_ = 0;
  int64_t from_ = 0;     // the next block decides from here
  int64_t context_ = 0;  // and its text begins here
  int64_t scan_ = 0;     // no block end is looked for before here
  std::string mapped_;   // scratch of find_cut
  OffsetMap map_;

  // The writer's state.
  bool begun_ = false, finished_ = false, opened_ = false;
  int64_t open_ = 0;   // where the open sentence begins
  // Its text from open_ to covered_, when sentences are printed.
  std::string open_text_;
  int64_t covered_ = 0;
  bool done_ = false;  // the last sentence was completed (Unicode mode)
  bool blank_ = true;  // no block written so far held a token or a NUL
  EvalCounts counts_{};
  RunSinks sinks_;
  // A padded copy of the open sentence's text, to print it from.
  TextBuffer printer_text_;
  // The coordinator's own, for the blocks it decides while it waits.
  Session own_;

  std::deque<std::shared_ptr<Job>> in_flight_;  // in input order
  std::mutex mutex_;
  std::condition_variable work_ready_, job_done_;
  std::deque<std::shared_ptr<Job>> queue_;  // not yet taken by a worker
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RUN_PARALLEL_H
