#include "core/tokens/code_spans.h"

#include <cstring>
#include <string>

#include "core/text/byte_class.h"

namespace fullstop::core {

namespace {

inline unsigned char at(const char *data, int32_t i) { return static_cast<unsigned char>(data[i]); }
inline bool blank_byte(unsigned char c) { return c == ' ' || c == '\t'; }
// A byte of a word: neither a separator nor punctuation.
inline bool word_byte(unsigned char c) { return !is_separator_byte(c) && !is_punct_byte(c); }

int32_t skip_blanks(const char *data, int32_t p, int32_t end) {
  while (p < end && blank_byte(at(data, p))) p++;
  return p;
}

// The length of the run of data[p] from p on, up to end.
int32_t run_length(const char *data, int32_t p, int32_t end) {
  int32_t q = p;
  while (q < end && data[q] == data[p]) q++;
  return q - p;
}

// The length of the fence that opens a block at p (the line's first byte
// after blanks; the line ends at eol), or 0.
int32_t opening_fence(const char *data, int32_t p, int32_t eol) {
  if (data[p] != '`' && data[p] != '~') return 0;
  const int32_t n = run_length(data, p, eol);
  if (n < 3) return 0;
  if (data[p] == '`' && std::memchr(data + p + n, '`', static_cast<size_t>(eol - p - n)) != nullptr) return 0;
  return n;
}

// Whether the line [p, eol) (p after its blanks) closes a block opened by
// `n` bytes `fence`.
bool closing_fence(const char *data, int32_t p, int32_t eol, char fence, int32_t n) {
  if (p == eol || data[p] != fence) return false;
  const int32_t m = run_length(data, p, eol);
  return m >= n && skip_blanks(data, p + m, eol) == eol;
}

// The end of the last token of the line [p, eol), or -1 when it has none.
int32_t content_end(const char *data, int32_t p, int32_t eol) {
  while (eol > p && is_separator_byte(at(data, eol - 1))) eol--;
  return eol > p ? eol : -1;
}

struct Run {
  int32_t start, len;
};

// The inline spans of the line [p, eol), outside blocks.  Each run of
// backticks is paired with the next closing run of its length (see
// code_spans.h): the runs are listed once, and each one's next possible
// partner found in one backward pass, so a line of many unmatched runs
// costs no more than its length.
void find_spans(const char *data, int32_t p, int32_t eol, std::vector<CodeRange> &quiet) {
  const void *first = std::memchr(data + p, '`', static_cast<size_t>(eol - p));
  if (first == nullptr) return;
  std::vector<Run> runs;
  int32_t longest = 0;
  for (int32_t i = static_cast<int32_t>(static_cast<const char *>(first) - data); i < eol;) {
    if (data[i] != '`') {
      const void *next = std::memchr(data + i, '`', static_cast<size_t>(eol - i));
      if (next == nullptr) break;
      i = static_cast<int32_t>(static_cast<const char *>(next) - data);
    }
    const int32_t n = run_length(data, i, eol);
    runs.push_back({i, n});
    if (n > longest) longest = n;
    i += n;
  }
  if (runs.size() < 2) return;
  // partner[k]: the first run after k of k's length that may close a span.
  std::vector<int32_t> partner(runs.size(), -1), next_closer(static_cast<size_t>(longest) + 1, -1);
  for (size_t k = runs.size(); k-- > 0;) {
    const Run &r = runs[k];
    partner[k] = next_closer[static_cast<size_t>(r.len)];
    const int32_t after = r.start + r.len;
    if (after == eol || !word_byte(at(data, after))) next_closer[static_cast<size_t>(r.len)] = static_cast<int32_t>(k);
  }
  for (size_t k = 0; k < runs.size(); k++) {
    const Run &r = runs[k];
    const bool opens = r.start == p || !word_byte(at(data, r.start - 1));
    if (!opens || partner[k] < 0) continue;
    const Run &close = runs[static_cast<size_t>(partner[k])];
    // Padded on both sides ("`` `x` ``") or on neither: a quote opened with
    // two backticks (``so'') is never closed by a run after a blank.
    const bool open_padded = r.start + r.len == eol || blank_byte(at(data, r.start + r.len));
    if (open_padded != blank_byte(at(data, close.start - 1))) continue;
    quiet.push_back({r.start, close.start + close.len});
    k = static_cast<size_t>(partner[k]);
  }
}

}  // namespace

void find_code(const char *data, int32_t len, CodeRegions &out) {
  out.clear();
  const auto n = static_cast<size_t>(len);
  if (std::memchr(data, '`', n) == nullptr && std::memchr(data, '~', n) == nullptr) return;
  auto line_end = [&](int32_t pos) {
    const void *nl = std::memchr(data + pos, '\n', static_cast<size_t>(len - pos));
    return nl != nullptr ? static_cast<int32_t>(static_cast<const char *>(nl) - data) : len;
  };
  int32_t pos = 0;
  while (pos < len) {
    int32_t eol = line_end(pos);
    const int32_t p = skip_blanks(data, pos, eol);
    const int32_t fence = p < eol ? opening_fence(data, p, eol) : 0;
    if (fence == 0) {
      if (p < eol) find_spans(data, p, eol, out.quiet);
      pos = eol + 1;
      continue;
    }
    // A block: this line and the next ones up to a closing fence line, a
    // blank line or the end of the text.
    CodeFence block{pos, p, content_end(data, p, eol)};
    for (pos = eol + 1; pos < len; pos = eol + 1) {
      eol = line_end(pos);
      const int32_t q = skip_blanks(data, pos, eol);
      if (q == eol) break;
      const int32_t end = content_end(data, q, eol);
      if (end >= 0) block.end = end;
      if (closing_fence(data, q, eol, data[p], fence)) {
        pos = eol + 1;
        break;
      }
    }
    out.fences.push_back(block);
    out.quiet.push_back({block.begin, block.end});
  }
}

void find_code(const TextBuffer &text, bool mapped_openers, CodeRegions &out) {
  const auto n = static_cast<size_t>(text.data_len);
  if (!mapped_openers || text.original_data() == text.data || std::memchr(text.data, '`', n) == nullptr) {
    find_code(text.data, text.data_len, out);
    return;
  }
  std::string plain(text.data, n);
  for (size_t i = 0; i < n; i++)
    if (plain[i] == '`' && text.original_data()[text.original_start(static_cast<int32_t>(i))] != '`') plain[i] = '\'';
  find_code(plain.data(), text.data_len, out);
}

}  // namespace fullstop::core
