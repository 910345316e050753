// Parallel detection fuzz target: arbitrary text decided in blocks of a few
// bytes on one to three workers (ParallelStream, what fullstop --jobs and
// fullstop_split_jobs run), fed in pieces with pumps between, must give the
// bytes of one whole-input run (a session's detect_text, which the program fuzzer holds
// to the reference model) in the form, text mode and evaluation the first
// byte picks, and the same spans.  Tiny blocks put a block edge next to every
// token, line end, blank line, edge marker and multi-byte character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/run/parallel.h"
#include "harness.h"
#include "in_process.h"

namespace {

using namespace fullstop::core;

// Records that fire often, huge, infinite, not-a-number, subnormal and
// negative-zero weights, a list marker's type, the Unicode mode's line
// breaks (short lines split), colons joined with their line break and
// initials, run-in headings (early ones split, late ones before "The"),
// initialism runs (split after one) and glued sentences (a mark closed up
// to a capital's word splits); no name twice (a model that repeats a name
// is never decided in blocks).
const char kModel[] =
    "-0.18549871816904487\ttype_0_0\n"
    "-0.7165257797629875\ttype_1_1\n"
    "-0.5032200548328043\ttype_2_2\n"
    "-0.8025710972714417\ttype_3_0\n"
    "0.39555334703030753\ttype_3_1\n"
    "-1.0261124247017253\tstem2_2_1_0_\"\n"
    "1.5653164317460644\ttext_2_.\n"
    "2.862889855938008\tstem2_2_0_1_.\n"
    "-1.8012726821995317\tstem2_2_0_1_,\n"
    "-3.764984459238817\tstem2_2_0_0_.\n"
    "-4.200115100580109\ttext_1_Mr\n"
    "1.4238358045287653\ttext_2_?\n"
    "3.5844837246107417\ttext_2_;\n"
    "1.2529614394507842\ttext_2_!\n"
    "0.8\ttype_4_3\n"
    "0.7\ttext_3_*\n"
    "1e308\ttext_1_?\n"
    "1e308\ttext_3_?\n"
    "-inf\ttext_0_#\n"
    "inf\ttext_4_#\n"
    "nan\ttext_2_~\n"
    "0x1p-1074\ttext_2_,\n"
    "-0.0\ttype_4_2\n"
    "  2.5\ttext_3_The\n"
    "-0x1.8p+1\tstem_3_the\n"
    "0.6\ttext_7_<nl-short>\n"
    "-0.4\ttext_7_<nl>\n"
    "2\ttext_6_:\n"
    "-0.9\ttype_1_7\n"
    "0.5\ttext_7_<hd>\n"
    "-0.3\ttext_7_<hd-late>\n"
    "0.4\ttext_8_The\n"
    "1.5\ttype_1_8\n"
    "5\tstem2_3_0_1_the\n";

const LoadedModel *fixed_model = nullptr;

// The form and task of a run, its output (or its spans) in `out`.
RunOutput output_of(const harness::Options &o, Output &out, std::vector<SentenceSpan> *spans) {
  RunOutput output = o.output(out);
  if (spans != nullptr) {
    output.out = nullptr;
    output.spans = spans;
  }
  return output;
}

// The model's reading; in the Unicode mode an input of even length reads
// run-in headings (and dates) too, whose sites count a paragraph's words
// from its start, and one whose length is 0 or 1 modulo 4 the other rules
// the bundled English model declares, which read back along a word (an
// initialism's run, a glued sentence's words) or forward to a code span's
// end.
bool run_in = false, english_rules = false;
Reading reading_of(TextMode mode) {
  Reading reading = model_reading(*fixed_model, "fixed.model", &mode);
  if (mode == TextMode::unicode) {
    reading.rules.run_in_headings = reading.rules.run_in_dates = run_in;
    reading.rules.glued_sentences = reading.rules.code_spans = reading.rules.initialism_runs = english_rules;
  }
  return reading;
}

std::string whole(TextMode mode, const harness::Options &o, std::string_view text,
                  std::vector<SentenceSpan> *spans) {
  StringSink sink;
  Output out(sink);
  const RunOutput output = output_of(o, out, spans);
  Session session(fixed_model->table, reading_of(mode), output);
  run_text(session, text, output);
  out.flush();
  return std::move(sink.text);
}

std::string in_blocks(TextMode mode, const harness::Options &o, std::string_view text, int jobs,
                      size_t block, uint32_t seed, std::vector<SentenceSpan> *spans) {
  StringSink sink;
  Output out(sink);
  ParallelStream stream(fixed_model->table, reading_of(mode), output_of(o, out, spans), jobs, block);
  harness::feed_in_pieces(stream, text, seed, 23);
  out.flush();
  return std::move(sink.text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  harness::init();
  auto *m = new LoadedModel;
  harness::load_model_from(*m, "fixed.model", std::string_view(kModel, sizeof kModel - 1));
  if (!parallel_safe(m->table)) harness::fail("the fixed model names a feature twice");
  fixed_model = m;
  return 0;
}

// The first byte: the block size (bits 0-2: 1 to 8 bytes), the workers (bits
// 3-4: 1 to 3), the text mode (bit 5) and the form (bits 6-7: offsets, -F,
// jsonl or evaluation); -f, text and tsv print the same sentences as -F and
// jsonl through the same calls.  The length's parity: run-in headings;
// the length modulo 4: the English rules (see reading_of).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  if (size == 0) return 0;
  uint8_t pick = bytes[0];
  std::string_view text(reinterpret_cast<const char *>(bytes) + 1, size - 1);
  size_t block = (pick & 7) + 1;
  int jobs = ((pick >> 3) & 3) % 3 + 1;
  TextMode mode = pick & 0x20 ? TextMode::unicode : TextMode::classic;
  run_in = size % 2 == 0;
  english_rules = size % 4 < 2;
  harness::Options o;
  switch (pick >> 6) {
    case 1: o.form = FormKind::lines; break;
    case 2: o.form = FormKind::jsonl; break;
    case 3: o.test = true; break;
    default: break;
  }
  std::string want = whole(mode, o, text, nullptr);
  std::string got = in_blocks(mode, o, text, jobs, block, static_cast<uint32_t>(size), nullptr);
  if (got != want) harness::mismatch("output decided in blocks", text, want, got);
  if (!o.test) {
    std::vector<SentenceSpan> want_spans, got_spans;
    whole(mode, o, text, &want_spans);
    in_blocks(mode, o, text, jobs, block, static_cast<uint32_t>(size) * 7, &got_spans);
    auto show = [](const std::vector<SentenceSpan> &spans) {
      std::string s;
      for (const SentenceSpan &x : spans) s += std::to_string(x.start) + "-" + std::to_string(x.end) + " ";
      return s;
    };
    if (show(got_spans) != show(want_spans))
      harness::mismatch("spans decided in blocks", text, show(want_spans), show(got_spans));
  }
  return 0;
}
