#include "intake.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

char *data = nullptr;
int32_t data_len = 0;
PodArray<Word> words;
PodArray<Token> toks;

namespace {

size_t data_cap = 0;

// Open-addressing index from (bytes, space_before, space_after) to a Word:
// slot = word index + 1, 0 = empty.
PodArray<uint32_t> word_slots;
size_t word_mask = 0;

uint32_t hash_bytes(const char *p, size_t n, uint32_t seed) {
  // FNV-1a; tokens are short, so a simple byte loop is fast enough.
  uint32_t h = 2166136261u ^ seed;
  for (size_t i = 0; i < n; i++) {
    h ^= static_cast<unsigned char>(p[i]);
    h *= 16777619u;
  }
  return h ^ (h >> 15);
}

void grow_word_slots() {
  size_t cap = word_slots.size() == 0 ? 4096 : word_slots.size() * 2;
  word_slots.release();
  word_slots.reserve(cap);
  word_slots.n = cap;
  std::memset(word_slots.ptr, 0, cap * sizeof(uint32_t));
  word_mask = cap - 1;
  for (size_t i = 0; i < words.size(); i++) {
    size_t s = words[i].hash & word_mask;
    while (word_slots[s] != 0) s = (s + 1) & word_mask;
    word_slots[s] = static_cast<uint32_t>(i + 1);
  }
}

uint32_t intern_word(int32_t start, int32_t len, bool punct, bool space_before, bool space_after) {
  if ((words.size() + 1) * 2 > word_slots.size()) grow_word_slots();
  const char *bytes = data + start;
  uint32_t flags = (space_before ? 1u : 0u) | (space_after ? 2u : 0u);
  uint32_t h = hash_bytes(bytes, static_cast<size_t>(len), flags);
  size_t s = h & word_mask;
  while (uint32_t slot = word_slots[s]) {
    const Word &w = words[slot - 1];
    if (w.hash == h && w.len == len && w.space_before == space_before &&
        w.space_after == space_after && std::memcmp(data + w.start, bytes, len) == 0)
      return slot - 1;
    s = (s + 1) & word_mask;
  }
  if (words.size() >= (1u << 30)) die("standard input: too many distinct tokens");
  Word w;
  std::memset(&w, 0, sizeof w);
  w.start = start;
  w.len = len;
  w.hash = h;
  w.is_punct = punct;
  w.is_upper = is_upper_byte(static_cast<unsigned char>(bytes[0]));
  w.space_before = space_before;
  w.space_after = space_after;
  int stem_len = len > 3 ? 3 : len;
  for (int i = 0; i < stem_len; i++) {
    char c = bytes[i];
    w.stem[i] = is_upper_byte(static_cast<unsigned char>(c)) ? static_cast<char>(c - 'A' + 'a') : c;
  }
  for (int32_t &id : w.ids) id = -1;
  uint32_t index = static_cast<uint32_t>(words.size());
  words.push_back(w);
  word_slots[s] = index + 1;
  return index;
}

[[noreturn]] void too_large() {
  die("standard input: input larger than 2147483647 bytes; offsets would overflow");
}

}  // namespace

void reset_intake() {
  std::free(data);
  data = nullptr;
  data_len = 0;
  data_cap = 0;
  words.release();
  toks.release();
  word_slots.release();
  word_mask = 0;
}

void set_input(std::string_view text) {
  reset_intake();
  if (text.size() > static_cast<size_t>(INT32_MAX)) too_large();
  data = static_cast<char *>(xrealloc(nullptr, text.size()));
  if (!text.empty()) std::memcpy(data, text.data(), text.size());
  data_len = static_cast<int32_t>(text.size());
  data_cap = text.size();
}

void read_input(int fd) {
  size_t len = 0;
  struct stat st;
  // A regular file tells its size: read it into a block of exactly that size.
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    off_t here = lseek(fd, 0, SEEK_CUR);
    if (here >= 0 && st.st_size > here) {
      size_t expect = static_cast<size_t>(st.st_size - here);
      if (expect > static_cast<size_t>(INT32_MAX)) too_large();
      data_cap = expect + 1;  // +1 so that reaching end of file costs no growth
      data = static_cast<char *>(xrealloc(data, data_cap));
    }
  }
  for (;;) {
    if (len == data_cap) {
      size_t grown = data_cap < (1u << 20) ? (1u << 20) : data_cap + data_cap / 2;
      if (grown > static_cast<size_t>(INT32_MAX) + 1) grown = static_cast<size_t>(INT32_MAX) + 1;
      if (grown <= len) too_large();
      data = static_cast<char *>(xrealloc(data, grown));
      data_cap = grown;
    }
    ssize_t got = ::read(fd, data + len, data_cap - len);
    if (got < 0) {
      if (errno == EINTR) continue;
      die(std::string("standard input: ") + std::strerror(errno));
    }
    if (got == 0) break;
    len += static_cast<size_t>(got);
    if (len > static_cast<size_t>(INT32_MAX)) too_large();
  }
  data_len = static_cast<int32_t>(len);
}

void index_input() {
  toks.clear();
  // A rough first guess (one token per six bytes) saves most regrowth.
  toks.reserve(static_cast<size_t>(data_len) / 6 + 16);
  int32_t pos = 0;
  while (pos < data_len) {
    const char *nl = static_cast<const char *>(std::memchr(data + pos, '\n', data_len - pos));
    int32_t line_end = nl ? static_cast<int32_t>(nl - data) : data_len;
    int32_t p = pos;
    while (p < line_end && (data[p] == ' ' || data[p] == '\t')) p++;
    if (p == line_end) {
      // A blank line (empty, or only spaces and tabs) ends a paragraph.
      if (!toks.empty()) toks.back().para_break = 1;
    } else {
      tokenize(p, line_end);
    }
    pos = nl ? line_end + 1 : data_len;
  }
}

void tokenize(int32_t begin, int32_t end) {
  int32_t p = begin;
  while (p < end) {
    while (p < end && is_separator_byte(static_cast<unsigned char>(data[p]))) p++;
    if (p == end) break;
    int32_t word_start = p;
    while (p < end && !is_separator_byte(static_cast<unsigned char>(data[p]))) p++;
    tokenize_word(word_start, p);
  }
  mark_boundary();
}

void tokenize_word(int32_t begin, int32_t end) {
  int32_t run = begin;
  bool punct = is_punct_byte(static_cast<unsigned char>(data[begin]));
  for (int32_t p = begin + 1; p < end; p++) {
    bool c = is_punct_byte(static_cast<unsigned char>(data[p]));
    if (c != punct) {
      add_token(run, p - run, punct, run == begin, false);
      run = p;
      punct = c;
    }
  }
  add_token(run, end - run, punct, run == begin, true);
}

void add_token(int32_t start, int32_t len, bool punct, bool space_before, bool space_after) {
  Token t;
  t.start = start;
  t.word = intern_word(start, len, punct, space_before, space_after);
  t.boundary = 0;
  t.para_break = 0;
  toks.push_back(t);
}

void mark_boundary() {
  if (!toks.empty()) toks.back().boundary = 1;
}
