#include "detect.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "escape.h"

namespace {

// The model file as the scanner reads it: every byte handed to the C
// library's stream is also kept in `pending` until the records that consumed
// it are done, so that a record that stops loading can be located by line,
// whatever kind of file the model is.
struct ModelReader {
  const ModelSource *source = nullptr;
  std::string pending;  // bytes read; those from `done` on are not yet consumed
  size_t done = 0;
  long long line = 1;   // line of pending[done]
  int error = 0;        // errno of a failed read
  // Bytes that load_plain_records() read but left to the scanner, handed
  // out before any more are read from the source; and the errno of a read
  // that failed there, reported once they are all handed out.
  std::string replay;
  size_t replayed = 0;
  int replay_error = 0;
};

// One read from the source, retried when interrupted.
ssize_t read_source(ModelReader &r, char *buf, size_t size) {
  ssize_t n;
  do n = (*r.source)(buf, size);
  while (n < 0 && errno == EINTR);
  return n;
}

ssize_t read_model_bytes(void *cookie, char *buf, size_t size) {
  ModelReader &r = *static_cast<ModelReader *>(cookie);
  ssize_t n;
  if (r.replayed < r.replay.size()) {
    n = static_cast<ssize_t>(std::min(size, r.replay.size() - r.replayed));
    std::memcpy(buf, r.replay.data() + r.replayed, static_cast<size_t>(n));
    r.replayed += static_cast<size_t>(n);
  } else if (r.replay_error != 0) {
    errno = r.replay_error;
    n = -1;
  } else {
    n = read_source(r, buf, size);
  }
  if (n < 0) {
    r.error = errno;
    return -1;
  }
  if (r.done > 0) {  // drop consumed bytes before keeping more
    r.pending.erase(0, r.done);
    r.done = 0;
  }
  r.pending.append(buf, static_cast<size_t>(n));
  return n;
}

// A record of `consumed` bytes was loaded: forget its bytes, count its lines.
void consume(ModelReader &r, size_t consumed) {
  size_t end = std::min(r.done + consumed, r.pending.size());
  for (size_t i = r.done; i < end; i++) r.line += r.pending[i] == '\n';
  r.done = end;
}

// The line on which the record that stopped loading begins: past the
// whitespace that the scan skips.
long long stopped_line(const ModelReader &r) {
  long long line = r.line;
  for (size_t i = r.done; i < r.pending.size(); i++) {
    char c = r.pending[i];
    if (c == '\0' || std::strchr(" \t\n\v\f\r", c) == nullptr) break;
    line += c == '\n';
  }
  return line;
}

void warn_stopped(LoadedModel &m, const char *path, const std::string &where, const char *reason) {
  m.load.stopped = true;
  m.warning = std::string(path) + where + ": " + reason + "; loading stopped, " +
              std::to_string(m.table.feats.size()) + " features loaded";
}

// The first byte in [p, e) that normalising would change: a newline, or a
// space right after a space.  Most sentences have none, and are printed
// straight from the input.
const char *first_irregular(const char *p, const char *e) {
  if (p == e) return e;
  if (*p == '\n') return p;
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' '), newline = _mm_set1_epi8('\n');
  for (const char *q = p + 1; q < e; q += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
    __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q - 1));
    __m128i odd = _mm_or_si128(_mm_cmpeq_epi8(v, newline),
                               _mm_and_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(before, space)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(odd));
    if (mask != 0) {
      const char *hit = q + __builtin_ctz(mask);
      return hit < e ? hit : e;
    }
  }
  return e;
#else
  for (const char *q = p + 1; q < e; q++)
    if (*q == '\n' || (*q == ' ' && q[-1] == ' ')) return q;
  return e;
#endif
}

}  // namespace

std::string_view normalised_text(const char *data, int32_t start, int32_t end, std::string &scratch) {
  const char *p = data + start, *e = data + end;
  const char *odd = first_irregular(p, e);
  if (odd == e) {
    // Nothing to change but a single trailing space.
    std::string_view text(p, static_cast<size_t>(e - p));
    if (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
  }
  // The bytes before `odd` stay as they are.  From there: newlines read as
  // spaces, a space after a space is dropped, and every other byte (tabs and
  // carriage returns too) is kept.
  scratch.resize(static_cast<size_t>(e - p));
  char *d = scratch.data() + (odd - p);
  std::memcpy(scratch.data(), p, static_cast<size_t>(odd - p));
  for (; odd < e; odd++) {
    char c = *odd == '\n' ? ' ' : *odd;
    if (c == ' ' && d > scratch.data() && d[-1] == ' ') continue;
    *d++ = c;
  }
  while (d > scratch.data() && d[-1] == ' ') d--;
  scratch.resize(static_cast<size_t>(d - scratch.data()));
  return scratch;
}

namespace {

inline bool is_scan_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one record of the plain shape at p (before `end`): whitespace, a
// decimal weight ("-0.125", "3", "1.5e-07": an optional minus, digits, an
// optional fraction of one digit or more, an optional exponent) directly
// followed by a space or tab, whitespace, and a name that starts with an
// ASCII byte and holds no NUL, up to a newline.  1 with the record and the start of the next one (the bytes
// after the newline); 0 when the bytes there are of any other shape (left
// to the scanner); -1 when they end before the record does.
int plain_record(const char *p, const char *end, double &weight, std::string_view &name, const char *&next) {
  while (p < end && is_scan_space(*p)) p++;
  const char *number = p;
  if (p < end && *p == '-') p++;
  auto digits = [&] {
    const char *from = p;
    while (p < end && *p >= '0' && *p <= '9') p++;
    return p > from;
  };
  if (!digits()) return p == end ? -1 : 0;
  if (p < end && *p == '.') {
    p++;
    if (!digits()) return p == end ? -1 : 0;
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    p++;
    if (p < end && (*p == '-' || *p == '+')) p++;
    if (!digits()) return p == end ? -1 : 0;
  }
  if (p == end) return -1;
  if (*p != ' ' && *p != '\t') return 0;
  // The shape above is what std::from_chars reads, to the same correctly
  // rounded double as strtod in the C locale (loading runs in it, see
  // CLocaleHere) at a fifth of strtod's cost; out of range, strtod gives
  // the infinity or the denormal that the scanner would.
  auto parsed = std::from_chars(number, p, weight);
  if (parsed.ec != std::errc() || parsed.ptr != p) {
    char *converted = nullptr;
    weight = std::strtod(number, &converted);
    if (converted != p) return 0;
  }
  while (p < end && is_scan_space(*p)) p++;
  // A locale may count more bytes as blanks than the six above, but never
  // an ASCII one: a name that starts with any other byte is left to the
  // scanner.
  if (p < end && static_cast<unsigned char>(*p) >= 0x80) return 0;
  const char *newline = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
  if (newline == nullptr) return -1;
  if (std::memchr(p, '\0', static_cast<size_t>(newline - p)) != nullptr) return 0;
  name = std::string_view(p, static_cast<size_t>(newline - p));
  next = newline + 1;
  return 1;
}

// Loads the records of the plain shape (see plain_record) from the start of
// the source, as the scanner in load_model would, without the C library's
// formatted input (which costs some 4,000 instructions a record: most of the
// start-up of a run with the bundled model).  The scanner converts a weight
// with strtod too, so the weights are the same doubles.  At the first record
// of any other shape, or at the end of the source, the bytes not loaded are
// left in r.replay for the scanner, which takes over from there: what it
// loads, and where and why it stops, are as if it had read the whole source.
void load_plain_records(LoadedModel &model, ModelReader &r) {
  std::string &buf = r.replay;
  size_t at = 0;  // buf[at...] is not loaded yet
  bool ended = false;
  constexpr size_t kChunk = size_t{1} << 16;
  for (;;) {
    double weight = 0;
    std::string_view name;
    const char *next = nullptr;
    int got = plain_record(buf.data() + at, buf.data() + buf.size(), weight, name, next);
    if (got == 1) {
      model.load.numbered = model.load.numbered && weight == static_cast<double>(model.load.records);
      model.load.records++;
      model.table.build(name, weight);
      size_t record_end = static_cast<size_t>(next - buf.data());
      r.line += std::count(static_cast<const char *>(buf.data() + at), next, '\n');
      at = record_end;
      continue;
    }
    if (got == 0 || ended) break;
    // The record goes on past the bytes read: read more.
    buf.erase(0, at);
    at = 0;
    size_t had = buf.size();
    buf.resize(had + kChunk);
    ssize_t n = read_source(r, buf.data() + had, kChunk);
    buf.resize(had + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0) r.replay_error = errno;
    if (n <= 0) ended = true;
  }
  buf.erase(0, at);
}

// The C locale on this thread while it lives: a model reads the same in a
// program that has set another LC_NUMERIC (or LC_CTYPE, which decides what
// the scanner takes for blanks) as in the programs, which never set one.
class CLocaleHere {
 public:
  CLocaleHere() : c_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0))) {
    if (c_ != static_cast<locale_t>(0)) old_ = uselocale(c_);
  }
  ~CLocaleHere() {
    if (c_ == static_cast<locale_t>(0)) return;
    uselocale(old_);
    freelocale(c_);
  }
  CLocaleHere(const CLocaleHere &) = delete;
  CLocaleHere &operator=(const CLocaleHere &) = delete;

 private:
  locale_t c_;
  locale_t old_ = static_cast<locale_t>(0);
};

}  // namespace

void load_model(LoadedModel &model, const char *path, const ModelSource &source) {
  CLocaleHere c_locale;
  ModelReader reader;
  reader.source = &source;
  model.load = ModelLoad{};
  model.warning.clear();
  load_plain_records(model, reader);
  FILE *f = fopencookie(&reader, "r", cookie_io_functions_t{read_model_bytes, nullptr, nullptr, nullptr});
  if (f == nullptr) out_of_memory();
  // Records are scanned exactly as "%lf\t%[^\n]\n" scans them (any
  // whitespace run separates, names keep inner and trailing blanks), except
  // that a name of any length is read whole.  Nothing is read much past the
  // record where loading stops, so an endless file costs nothing.
  try {
    for (;;) {
      double weight = 0;
      char *name = nullptr;
      int consumed = -1;
      int converted = std::fscanf(f, "%lf\t%m[^\n]\n%n", &weight, &name, &consumed);
      if (converted == 2) {
        std::unique_ptr<char, decltype(&std::free)> owned(name, &std::free);
        model.load.numbered = model.load.numbered && weight == static_cast<double>(model.load.records);
        model.load.records++;
        model.table.build(name, weight);
        if (consumed >= 0) consume(reader, static_cast<size_t>(consumed));
        continue;
      }
      std::free(name);
      if (reader.error != 0) {
        std::string reason = std::string("read error: ") + std::strerror(reader.error);
        warn_stopped(model, path, "", reason.c_str());
      } else if (converted != EOF) {
        warn_stopped(model, path, ":" + std::to_string(stopped_line(reader)),
                     converted == 0 ? "not a weight and feature name" : "weight without a feature name");
      }
      break;  // EOF with no error: nothing but whitespace was left
    }
  } catch (...) {
    std::fclose(f);
    throw;
  }
  std::fclose(f);
  // Detection's lookups by word (see FeatureTable::index_by_word); a model
  // that repeats a name is read through its names.
  model.table.index_by_word();
}

void load_model_file(LoadedModel &model, const char *path) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fullstop::Failure(std::string(path) + ": " + std::strerror(errno), 255, true);
  ModelSource source = [fd](char *buf, size_t size) { return ::read(fd, buf, size); };
  try {
    load_model(model, path, source);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

void load_model_bytes(LoadedModel &model, const char *name, std::string_view bytes) {
  size_t at = 0;
  ModelSource source = [&](char *buf, size_t size) -> ssize_t {
    size_t n = std::min(size, bytes.size() - at);
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return static_cast<ssize_t>(n);
  };
  load_model(model, name, source);
}

TextMode declared_text_mode(const FeatureTable &table, const char *path) {
  for (const Feature *f : table.feats) {
    std::string_view name = f->text;
    if (name.substr(0, kTextModeRecord.size()) != kTextModeRecord) continue;
    std::string_view value = name.substr(kTextModeRecord.size());
    TextMode mode;
    if (!parse_text_mode(value, &mode))
      die(std::string(path) + ": unknown text mode '" + std::string(value) +
          "' (known: classic, unicode)");
    return mode;
  }
  return TextMode::classic;
}

std::string suspect_model_warning(const ModelLoad &m, const char *path) {
  if (m.records >= 2 && m.numbered)
    return std::string(path) + ": looks like a feature list (as features.def), not a model: its " +
           std::to_string(m.records) + " weights are 0, 1, 2, ... in order";
  if (m.records == 0 && !m.stopped)
    return std::string(path) + ": no model records loaded; sentences end only at blank lines";
  return std::string();
}

// A line break's window, scored by the run's line-break scorer (see
// Scorer::line_breaks); out of line, as few windows are.
[[gnu::noinline]] int Detection::detect_line_break(const Token *window) {
  return scorer.line_breaks().score_window_sign(window);
}

double Detection::test_event() const {
  double score = 0.0;
  for (int k = 0; k < scorer.nnz; k++) score += scorer.weight(scorer.e_feats[k]);
  return score > 0.0 ? 1.0 : 0.0;
}

// A colon or comma that ends a short line (see Input::mark_line_breaks): the sum of
// its window's weights and its line break's; out of line, as few are.
[[gnu::noinline]] int Detection::detect_mark_at_line_break(const Token *window) {
  const double score = scorer.score_window(window) + scorer.line_breaks().score_window(in.break_window);
  return score > 0.0 ? 1 : 0;
}

int Detection::detect_toks(const Token *window, int count) {
  if (count == kWindow) {
    if (in.break_window != nullptr) [[unlikely]] return detect_mark_at_line_break(window);
    if (!window[2].edge) [[likely]] return scorer.score_window_sign(window);
    return detect_line_break(window);
  }
  scorer.new_event();
  scorer.do_features(window, count);
  return static_cast<int>(test_event());
}

// Prints `<sentence start="START" end="END` and then `tail`, with one
// reservation and constant-size copies: this is printed for every sentence.
void Detection::print_sentence_tag(int64_t start, int64_t end, std::string_view tail) {
  char *p = out->reserve(72 + tail.size());
  std::memcpy(p, "<sentence start=\"", 17);
  p = format_uint64(p + 17, static_cast<uint64_t>(start));
  std::memcpy(p, "\" end=\"", 7);
  p = format_uint64(p + 7, static_cast<uint64_t>(end));
  std::memcpy(p, tail.data(), tail.size());
  out->commit(p + tail.size());
}

// One sentence in a --format form other than the classic three.  `text` is
// the sentence's text as either text mode prints it.
void Detection::print_escaped_sentence(int64_t start, int64_t end, std::string_view text) {
  std::string &line = escaped_line;
  line.clear();
  switch (options.format) {
    case kFormatText:
      print_sentence_tag(start, end, "\">");
      append_xml_text(line, text);
      line += "</sentence>\n";
      break;
    case kFormatJsonl:
      line += "{\"start\":";
      line += std::to_string(start);
      line += ",\"end\":";
      line += std::to_string(end);
      line += ",\"text\":\"";
      append_json_string(line, text);
      line += "\"}\n";
      break;
    case kFormatTsv:
      line += std::to_string(start);
      line += '\t';
      line += std::to_string(end);
      line += '\t';
      append_tsv_field(line, text);
      line += '\n';
      break;
  }
  out->write(line);
}

void Detection::print_sentence(int64_t start, int64_t end, std::string_view text) {
  if (options.format != kFormatClassic) {
    print_escaped_sentence(start, end, text);
    return;
  }
  if (options.only_text) {
    out->write(text);
    out->put('\n');
    return;
  }
  print_sentence_tag(start, end, "\">");
  out->write(text);
  out->write("</sentence>\n");
}

// A sentence of the Unicode mode, by original offsets.
// A sentence that needs no text: collected as a span, or printed as a bare
// offsets tag.  False when its text is to be printed.
bool Detection::complete_without_text(int64_t start, int64_t end) {
  if (spans != nullptr) {
    spans->push_back(SentenceSpan{base + start, base + end});
    return true;
  }
  if (with_text()) return false;
  print_sentence_tag(base + start, base + end, "\"/>\n");
  return true;
}

void Detection::complete_original(int64_t start, int64_t end) {
  if (complete_without_text(start, end)) return;
  print_sentence(base + start, base + end,
                 unicode_sentence_text(in.original_data() + start, static_cast<size_t>(end - start),
                                       sentence_text));
}

void Detection::complete_sentence(int64_t start, int64_t end) {
  if (complete_without_text(start, end)) return;
  print_sentence(base + start, base + end,
                 normalised_text(in.data, static_cast<int32_t>(start), static_cast<int32_t>(end),
                                 sentence_text));
}

void Detection::show_toks(const Token *window, int count) {
  for (int k = 0; k < count; k++) {
    out->put(' ');
    out->write(window[k].text(in));
  }
  out->put('\n');
}

// Prints the window of one of the first ten errors of a kind, and counts it.
void Detection::report_error(int &count, const char *label, const Token *window) {
  if (count <= 9 && out != nullptr) {
    out->write(label);
    show_toks(window, kWindow);
  }
  count++;
}

void Detection::print_percent(const char *label, int numerator, int denominator) {
  out->write(label, std::strlen(label));
  if (denominator == 0) {
    // 0/0 in double precision: what the C library prints for that NaN on x86-64.
    out->write("-nan%\n");
    return;
  }
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%.2f%%\n", numerator * 100.0 / denominator);
  out->write(buf, static_cast<size_t>(n));
}

void Detection::print_count(const char *label, int value) {
  out->write(label, std::strlen(label));
  out->integer(value);
  out->put('\n');
}

// start: the offset where the sentence being collected begins.
void Detection::site(const Token *window, int64_t &start) {
  const Token &t = window[2];
  int decision = detect_toks(window, kWindow);
  if (t.para_break) decision = 1;
  if (options.test) {
    EvalCounts &c = counts;
    if (decision == 1 && t.boundary == 0) {
      report_error(c.nfalse_positives, "false positive: ", window);
    } else if (decision == 0 && t.boundary == 1) {
      report_error(c.nfalse_negatives, "false negative: ", window);
    } else if (decision == 1) {
      c.ntrue_positives++;
    } else {
      c.ntrue_negatives++;
    }
    c.nsites++;
    return;
  }
  if (decision == 1) {
    complete_sentence(start, t.end());
    start = window[3].start;
  }
}

namespace {

struct ClassicSentences {
  Detection *d;
  int64_t start;  // offset where the sentence being collected begins
};

void detect_site(const Token *window, void *context) {
  auto &s = *static_cast<ClassicSentences *>(context);
  s.d->site(window, s.start);
}

// The Unicode mode's sentences.  A sentence ends at the end of its last
// token and the next begins at the next token, wherever the edge markers
// stand; a boundary after the last token opens no empty sentence, and the
// last sentence takes the trailing whitespace, so that the sentences cover
// the input up to its end.
struct UnicodeSentences {
  Detection *d;
  int64_t start;      // original offset where the open sentence begins
  bool done = false;  // the last sentence has been printed
};

void detect_site_unicode(const Token *window, void *context) {
  UnicodeSentences &s = *static_cast<UnicodeSentences *>(context);
  Detection &d = *s.d;
  if (d.options.test) {
    d.site(window, s.start);  // counts only
    return;
  }
  const Token &t = window[2];
  if (t.para_break == 0 && d.detect_toks(window, kWindow) == 0) return;
  const Input &in = d.in;
  int32_t next = in.next_token_start(t.end());
  if (next == in.data_len) {
    d.complete_original(s.start, in.original_len());
    s.done = true;
    return;
  }
  d.complete_original(s.start, in.original_end(t.end()));
  s.start = in.original_start(next);
}

}  // namespace

bool Detection::document() const {
  return spans == nullptr && !options.only_text &&
         (options.format == kFormatClassic || options.format == kFormatText);
}

void Detection::begin() {
  if (!options.test && document()) out->write("<sentence-list>\n");
}

void Detection::end() {
  if (options.test) {
    if (out == nullptr) return;
    const EvalCounts &c = counts;
    out->write("tested ");
    out->integer(c.nsites);
    out->write(" sites\n");
    print_count("nfalse_positives = ", c.nfalse_positives);
    print_count("nfalse_negatives = ", c.nfalse_negatives);
    print_count("ntrue_positives = ", c.ntrue_positives);
    print_count("ntrue_negatives = ", c.ntrue_negatives);
    print_percent("accuracy  = ", c.ntrue_positives + c.ntrue_negatives, c.nsites);
    print_percent("precision = ", c.ntrue_positives, c.nfalse_positives + c.ntrue_positives);
    print_percent("recall = ", c.ntrue_positives, c.nfalse_negatives + c.ntrue_positives);
    return;
  }
  if (document()) out->write("</sentence-list>\n");
}

// What the model learnt decides how the walk reads the text: whether line
// breaks are candidates, colons at short lines' ends and commas at very
// short ones' are joined with their break, and lone capitals before a mark
// type as initials.  Set before each walk (a stream's window or a block has
// an Input of its own, or a reset one).
void Detection::read_as_model_learnt() {
  in.line_break_sites = reads_line_breaks(scorer.table());
  // A model that learnt commas at line breaks was trained with colons
  // joined too, though its fit may have kept none of their names.
  in.comma_line_breaks = reads_comma_line_breaks(scorer.table());
  in.mark_line_breaks = in.comma_line_breaks || reads_mark_line_breaks(scorer.table());
  in.typed_initials = reads_initials(scorer.table());
}

void Detection::run(TextMode mode) {
  counts = EvalCounts{};
  read_as_model_learnt();
  // The element forms are one document; the line forms have no wrapper.
  begin();
  // Candidates: punctuation tokens and tokens followed by a blank line, each
  // with two tokens on either side.
  ClassicSentences classic{this, 0};
  UnicodeSentences unicode{this, in.original_text_start()};
  if (mode == TextMode::unicode) {
    in.walk(detect_site_unicode, &unicode, mode);
  } else {
    in.walk(detect_site, &classic);
  }
  if (!options.test) {
    if (mode == TextMode::unicode) {
      if (!unicode.done) complete_original(unicode.start, in.original_len());
    } else {
      complete_sentence(classic.start, in.data_len);
    }
  }
  end();
}

namespace {

// A window of a stream: the candidates it decides, and the sentences' state.
struct WindowSentences {
  UnicodeSentences unicode;
  int32_t from, limit;  // see Detection::run_window
  bool is_unicode;
  int32_t until;
};

void window_site(const Token *window, void *context) {
  auto &s = *static_cast<WindowSentences *>(context);
  const Token &t = window[2];
  if (s.limit >= 0 && t.start >= s.limit) return;
  int32_t at = s.unicode.d->in.original_start(t.start);
  if (at < s.from || (s.until >= 0 && at >= s.until)) return;
  if (s.is_unicode) {
    detect_site_unicode(window, &s.unicode);
  } else {
    s.unicode.d->site(window, s.unicode.start);
  }
}

}  // namespace

void Detection::run_window(TextMode mode, int32_t from, int32_t limit, bool final, int64_t &start,
                           bool &done, int32_t until) {
  WindowSentences s{UnicodeSentences{this, start - base, done}, from, final ? -1 : limit,
                    mode == TextMode::unicode, until};
  read_as_model_learnt();
  in.walk(window_site, &s, mode);
  if (final && !options.test) {
    if (mode == TextMode::unicode) {
      if (!s.unicode.done) complete_original(s.unicode.start, in.original_len());
      s.unicode.done = true;
    } else {
      complete_sentence(s.unicode.start, in.data_len);
    }
  }
  start = s.unicode.start + base;
  done = s.unicode.done;
}
