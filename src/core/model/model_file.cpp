#include "core/model/model_file.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/base/error.h"
#include "core/base/memory.h"

namespace fullstop::core {

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

// A model saved with CRLF line ends has a CR at the end of every name.  The
// classic reading keeps it there (so no such name matches a token, and the
// model decides nothing): those names are counted for a warning, nothing
// more.  A model that declares the Unicode mode is read as its maker meant,
// each name's one trailing CR dropped; its mode record is read so too.
// Some names end in a CR rightly (a classic model trained on CRLF text
// names the CR token), so only a model whose every name does is taken for
// one with CRLF line ends.
void read_line_ends(LoadedModel &m) {
  auto ends_in_cr = [](std::string_view name) { return !name.empty() && name.back() == '\r'; };
  size_t with_cr = 0;
  std::string_view mode;
  bool mode_seen = false;
  for (const Feature *f : m.table.feats) {
    std::string_view name = f->name();
    with_cr += ends_in_cr(name);
    if (!mode_seen && name.starts_with(kTextModeRecord)) {
      mode_seen = true;
      mode = name.substr(kTextModeRecord.size());
    }
  }
  if (with_cr == 0 || with_cr < m.table.feats.size()) return;
  TextMode declared = TextMode::classic;
  if (!ends_in_cr(mode) || !parse_text_mode(mode.substr(0, mode.size() - 1), &declared) ||
      declared != TextMode::unicode) {
    m.load.cr_names = with_cr;
    return;
  }
  std::vector<std::pair<std::string, double>> records;
  records.reserve(m.table.feats.size());
  for (const Feature *f : m.table.feats) {
    std::string_view name = f->name();
    if (ends_in_cr(name)) name.remove_suffix(1);
    records.emplace_back(name, f->weight);
  }
  m.table.clear();
  for (const auto &[name, weight] : records) m.table.build(name, weight);
}

void warn_stopped(LoadedModel &m, const char *path, const std::string &where, const char *reason) {
  m.load.stopped = true;
  m.warning = std::string(path) + where + ": " + reason + "; loading stopped, " +
              std::to_string(m.table.feats.size()) + " features loaded";
}

}  // namespace

namespace {

inline bool is_scan_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one record of the plain shape at p (before `end`): whitespace, a
// decimal weight ("-0.125", "3", "1.5e-07": an optional minus, digits, an
// optional fraction of one digit or more, an optional exponent) directly
// followed by a space or tab, spaces and tabs, and a name that starts with
// an ASCII byte and holds no NUL, up to a newline.  1 with the record, the
// start of the next one (the bytes after the newline) and the lines the
// record spans; 0 when the bytes there are of any other shape (left to the
// scanner, which also reads a name on a later line than its weight); -1
// when they end before the record does.
int plain_record(const char *p, const char *end, double &weight, std::string_view &name, const char *&next,
                 long long &lines) {
  lines = 1;  // the record's own line end, and any blank lines before it
  for (; p < end && is_scan_space(*p); p++) lines += *p == '\n';
  // The weight: std::from_chars reads the longest number there (the shape
  // above, and also "5." and "5.e3", which are left to the scanner), to the
  // same correctly rounded double as strtod in the C locale (loading runs
  // in it, see CLocaleHere) at a fifth of strtod's cost; out of range,
  // strtod gives the infinity or the denormal that the scanner would.
  const char *number = p;
  const char *digit = p < end && *p == '-' ? p + 1 : p;
  if (digit == end) return -1;
  if (*digit < '0' || *digit > '9') return 0;
  auto parsed = std::from_chars(number, end, weight);
  p = parsed.ptr;
  // (An exponent cut off by the end of the bytes read may go on.)
  const bool cut = p == end || ((*p == 'e' || *p == 'E') &&
                                (p + 1 == end || ((p[1] == '-' || p[1] == '+') && p + 2 == end)));
  if (cut) return -1;
  if (*p != ' ' && *p != '\t') return 0;
  const char *dot = static_cast<const char *>(std::memchr(number, '.', static_cast<size_t>(p - number)));
  if (dot != nullptr && (dot[1] < '0' || dot[1] > '9')) return 0;
  if (parsed.ec != std::errc()) {
    char *converted = nullptr;
    weight = std::strtod(number, &converted);
    if (converted != p) return 0;
  }
  const char *newline = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
  if (newline == nullptr) return -1;
  while (p < newline && (*p == ' ' || *p == '\t')) p++;
  // A locale may count more bytes as blanks than the six of is_scan_space,
  // but never an ASCII one: a name that starts with any other byte is left
  // to the scanner.  A name that starts on a later line is too.
  if (p == newline || static_cast<unsigned char>(*p) >= 0x80 || is_scan_space(*p)) return 0;
  if (std::memchr(p, '\0', static_cast<size_t>(newline - p)) != nullptr) return 0;
  name = std::string_view(p, static_cast<size_t>(newline - p));
  next = newline + 1;
  return 1;
}

// About how many records `bytes` begin: the lines that start with a
// weight's first character, no more than one per 8 bytes (so that a file
// of short lines of another shape reserves little).
size_t likely_records(std::string_view bytes) {
  size_t lines = 0;
  for (size_t at = 0; at < bytes.size();) {
    lines += (bytes[at] >= '0' && bytes[at] <= '9') || bytes[at] == '-';
    const void *newline = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
    if (newline == nullptr) break;
    at = static_cast<size_t>(static_cast<const char *>(newline) - bytes.data()) + 1;
  }
  return std::min(lines, bytes.size() / 8);
}

// Loads the records of the plain shape (see plain_record) from the start of
// the source, as the scanner in load_model would, without the C library's
// formatted input (which costs some 4,000 instructions a record: most of the
// start-up of a run with the bundled model).  The scanner converts a weight
// with strtod too, so the weights are the same doubles.  At the first record
// of any other shape, or at the end of the source, the bytes not loaded are
// left in r.replay for the scanner, which takes over from there: what it
// loads, and where and why it stops, are as if it had read the whole source.
//
// A source of known size (a file, bytes in memory) is read at once, up to
// a few MiB, and the table reserves room for the records counted in it:
// growing the index as the records come rehashes it five times for the
// bundled model, each time on fresh pages.
void load_plain_records(LoadedModel &model, ModelReader &r, size_t expected) {
  std::string &buf = r.replay;
  size_t at = 0;  // buf[at...] is not loaded yet
  bool ended = false;
  constexpr size_t kChunk = size_t{1} << 16, kFirstMax = size_t{4} << 20;
  size_t chunk = std::clamp(expected + 1, kChunk, kFirstMax);
  for (bool first = true;; first = false) {
    double weight = 0;
    std::string_view name;
    const char *next = nullptr;
    long long lines = 0;
    int got = plain_record(buf.data() + at, buf.data() + buf.size(), weight, name, next, lines);
    if (got == 1) {
      model.load.numbered = model.load.numbered && weight == static_cast<double>(model.load.records);
      model.load.records++;
      model.table.build(name, weight);
      size_t record_end = static_cast<size_t>(next - buf.data());
      r.line += lines;
      at = record_end;
      continue;
    }
    if (got == 0 || ended) break;
    // The record goes on past the bytes read: read more.
    buf.erase(0, at);
    at = 0;
    size_t had = buf.size();
    buf.resize(had + chunk);
    ssize_t n = read_source(r, buf.data() + had, chunk);
    buf.resize(had + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0) r.replay_error = errno;
    if (n <= 0) ended = true;
    chunk = kChunk;
    if (first) model.table.reserve(likely_records(buf));
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

void load_model(LoadedModel &model, const char *path, const ModelSource &source, size_t expected) {
  CLocaleHere c_locale;
  ModelReader reader;
  reader.source = &source;
  model.load = ModelLoad{};
  model.warning.clear();
  load_plain_records(model, reader, expected);
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
        // Appended rather than ":" + ...: GCC 12 at -O3 with _FORTIFY_SOURCE
        // (the package build) takes that for an overflow, a false -Wstringop-overflow.
        std::string where(":");
        where += std::to_string(stopped_line(reader));
        warn_stopped(model, path, where,
                     converted == 0 ? "not a weight and feature name" : "weight without a feature name");
      }
      break;  // EOF with no error: nothing but whitespace was left
    }
  } catch (...) {
    std::fclose(f);
    throw;
  }
  std::fclose(f);
  read_line_ends(model);
  // Detection's lookups by word (see FeatureTable::index_by_word); a model
  // that repeats a name is read through its names.
  model.table.index_by_word();
  model.declared = read_declaration(model.table);
}

// A path that opens but whose first read fails (a directory, a device or
// pipe that refuses reads) holds no model at all, as one that cannot be
// opened: the same failure, not an empty model with a warning (a directory
// named by mistake would otherwise split nothing and report success).  A
// read error after some bytes stops loading where it is, as a bad record
// does.
void load_model_file(LoadedModel &model, const char *path) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  const int open_error = errno;
  // Worded as perror words it: "PATH: REASON", or the reason alone for an
  // empty path (-m '').
  const std::string where = *path != '\0' ? std::string(path) + ": " : std::string();
  if (fd < 0) fail(ErrorKind::model_access, where + std::strerror(open_error));
  bool read_any = false;
  int unreadable = 0;
  ModelSource source = [&](char *buf, size_t size) {
    ssize_t n = ::read(fd, buf, size);
    if (n < 0 && errno != EINTR && !read_any) unreadable = errno;
    read_any = read_any || n > 0;
    return n;
  };
  // A regular file is read at once (see load_plain_records).
  struct stat st {};
  const size_t expected = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
  try {
    load_model(model, path, source, expected);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  if (unreadable != 0) fail(ErrorKind::model_access, where + std::strerror(unreadable));
}

void load_model_bytes(LoadedModel &model, const char *name, std::string_view bytes) {
  size_t at = 0;
  ModelSource source = [&](char *buf, size_t size) -> ssize_t {
    size_t n = std::min(size, bytes.size() - at);
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return static_cast<ssize_t>(n);
  };
  load_model(model, name, source, bytes.size());
}

std::string suspect_model_warning(const ModelLoad &m, const char *path) {
  if (m.records >= 2 && m.numbered)
    return std::string(path) + ": looks like a feature list (as features.def), not a model: its " +
           std::to_string(m.records) + " weights are 0, 1, 2, ... in order";
  if (m.cr_names > 0)
    return std::string(path) + ": the model's lines end in CR LF: " + std::to_string(m.cr_names) +
           " feature names end in a CR, which no token forms (save the model with LF line ends)";
  if (m.records == 0 && !m.stopped)
    return std::string(path) + ": no model records loaded; sentences end only at blank lines";
  return std::string();
}


Reading model_reading(const LoadedModel &model, const char *name, const TextMode *forced) {
  const ModelDeclaration &d = model.declared;
  if (forced == nullptr && !d.mode_problem.empty()) fail(ErrorKind::model, std::string(name) + ": " + d.mode_problem);
  const TextMode mode = forced != nullptr ? *forced : d.mode;
  if (mode == TextMode::unicode && !d.rules_problem.empty())
    fail(ErrorKind::model, std::string(name) + ": " + d.rules_problem);
  return Reading{mode, d.rules};
}

void write_model(Output &out, std::string_view header, const std::vector<double> &weights,
                 const std::function<std::string_view(size_t)> &name) {
  out.write(header);
  for (size_t id = 0; id < weights.size(); ++id) {
    if (weights[id] == 0.0) continue;
    char *p = out.reserve(32);
    auto [end, ec] = std::to_chars(p, p + 32, weights[id]);
    if (ec != std::errc()) fail(ErrorKind::internal, "cannot format the weight of feature " + std::to_string(id));
    out.commit(end);
    out.put('\t');
    out.write(name(id));
    out.put('\n');
  }
}

}  // namespace fullstop::core
