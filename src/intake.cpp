#include "intake.h"

#include <array>
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

size_t data_cap = 0;  // usable bytes in `data`, padding not counted

// Byte classes for the tokenizer's inner loops.
enum : uint8_t { kWordChar = 0, kPunctChar = 1, kSeparator = 2 };
constexpr std::array<uint8_t, 256> kByteClass = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; c++)
    t[c] = is_separator_byte(static_cast<unsigned char>(c))
               ? kSeparator
               : (is_punct_byte(static_cast<unsigned char>(c)) ? kPunctChar : kWordChar);
  return t;
}();
inline uint8_t byte_class(char c) { return kByteClass[static_cast<unsigned char>(c)]; }

// Open-addressing index from (bytes, space_before, space_after) to a Word.
// Each slot carries the word's key fields, so that finding a token's word
// touches only the slot (and, for tokens over eight bytes, their bytes), not
// the much larger Word record.
struct WordSlot {
  uint64_t prefix;    // first eight bytes, zero-padded
  uint32_t hash;
  uint32_t len_flags;  // length << 2 | space_after << 1 | space_before
  uint32_t index;      // word index + 1; 0 = empty
  int32_t start;       // where the word's bytes are in `data`
};
PodArray<WordSlot> word_slots;
size_t word_mask = 0;

inline uint64_t load8(const char *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The first min(len, 8) bytes, zero-padded.  Reads 8 bytes, which the
// padding after `data` makes safe.
inline uint64_t prefix_of(const char *p, int32_t len) {
  uint64_t v = load8(p);
  return len >= 8 ? v : v & ((uint64_t{1} << (8 * len)) - 1);
}

inline uint64_t mix(uint64_t h) {
  h ^= h >> 32;
  h *= 0x9E3779B97F4A7C15ull;
  return h ^ (h >> 29);
}

uint32_t hash_word(const char *p, int32_t len, uint64_t prefix, uint32_t flags) {
  uint64_t h = mix(prefix ^ (static_cast<uint64_t>(len) << 2 | flags));
  for (int32_t i = 8; i < len; i += 8) h = mix(h ^ prefix_of(p + i, len - i < 8 ? len - i : 8));
  return static_cast<uint32_t>(h);
}

uint32_t len_flags_of(int32_t len, bool space_before, bool space_after) {
  return static_cast<uint32_t>(len) << 2 | (space_after ? 2u : 0u) | (space_before ? 1u : 0u);
}

void grow_word_slots() {
  size_t cap = word_slots.size() == 0 ? 4096 : word_slots.size() * 2;
  word_slots.release();
  word_slots.reserve(cap);
  word_slots.n = cap;
  std::memset(word_slots.ptr, 0, cap * sizeof(WordSlot));
  word_mask = cap - 1;
  for (size_t i = 0; i < words.size(); i++) {
    const Word &w = words[i];
    size_t s = w.hash & word_mask;
    while (word_slots[s].index != 0) s = (s + 1) & word_mask;
    word_slots[s] = WordSlot{w.prefix, w.hash, len_flags_of(w.len, w.space_before, w.space_after),
                             static_cast<uint32_t>(i + 1), w.start};
  }
}

uint32_t intern_word(int32_t start, int32_t len, bool punct, bool space_before, bool space_after) {
  if ((words.size() + 1) * 2 > word_slots.size()) grow_word_slots();
  const char *bytes = data + start;
  uint32_t len_flags = len_flags_of(len, space_before, space_after);
  uint64_t prefix = prefix_of(bytes, len);
  uint32_t h = hash_word(bytes, len, prefix, len_flags & 3);
  size_t s = h & word_mask;
  while (word_slots[s].index != 0) {
    const WordSlot &slot = word_slots[s];
    if (slot.hash == h && slot.prefix == prefix && slot.len_flags == len_flags &&
        (len <= 8 || std::memcmp(data + slot.start + 8, bytes + 8, len - 8) == 0))
      return slot.index - 1;
    s = (s + 1) & word_mask;
  }
  if (words.size() >= (1u << 29)) die("standard input: too many distinct tokens");
  Word w;
  std::memset(&w, 0, sizeof w);
  w.start = start;
  w.len = len;
  w.prefix = prefix;
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
  word_slots[s] = WordSlot{prefix, h, len_flags, index + 1, start};
  return index;
}

[[noreturn]] void too_large() {
  die("standard input: input larger than 2147483647 bytes; offsets would overflow");
}

void reserve_data(size_t cap) {
  data = static_cast<char *>(xrealloc(data, cap + kDataPadding));
  data_cap = cap;
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
  reserve_data(text.size());
  if (!text.empty()) std::memcpy(data, text.data(), text.size());
  std::memset(data + text.size(), 0, kDataPadding);
  data_len = static_cast<int32_t>(text.size());
}

void read_input(int fd) {
  size_t len = 0;
  struct stat st;
  // A regular file tells its size: read it into a block of that size (+1, so
  // that reaching the end of the file costs no growth).
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    off_t here = lseek(fd, 0, SEEK_CUR);
    if (here >= 0 && st.st_size > here) {
      size_t expect = static_cast<size_t>(st.st_size - here);
      if (expect > static_cast<size_t>(INT32_MAX)) too_large();
      reserve_data(expect + 1);
    }
  }
  for (;;) {
    if (len == data_cap) {
      size_t grown = data_cap < (1u << 20) ? (1u << 20) : data_cap + data_cap / 2;
      if (grown > static_cast<size_t>(INT32_MAX) + 1) grown = static_cast<size_t>(INT32_MAX) + 1;
      if (grown <= len) too_large();
      reserve_data(grown);
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
  if (data == nullptr) reserve_data(0);
  std::memset(data + len, 0, kDataPadding);
  data_len = static_cast<int32_t>(len);
}

void index_input() {
  toks.clear();
  // A rough first guess (one token per five bytes) saves most regrowth.
  toks.reserve(static_cast<size_t>(data_len) / 5 + 16);
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
  // One pass over the line: skip separators, then split each word into class
  // runs.  The byte at `end` is the line's newline or the zero padding after
  // the input, both separators, so the inner loops need no bounds checks.
  int32_t p = begin;
  for (;;) {
    while (byte_class(data[p]) == kSeparator && p < end) p++;
    if (p >= end) break;
    int32_t run = p;
    bool first = true;
    uint8_t cls = byte_class(data[p]);
    for (;;) {
      uint8_t next;
      do next = byte_class(data[++p]);
      while (next == cls);
      bool word_ends = next == kSeparator;
      add_token(run, p - run, cls == kPunctChar, first, word_ends);
      if (word_ends) break;
      first = false;
      run = p;
      cls = next;
    }
  }
  mark_boundary();
}

void add_token(int32_t start, int32_t len, bool punct, bool space_before, bool space_after) {
  Token t;
  t.start = start;
  t.word = intern_word(start, len, punct, space_before, space_after);
  t.punct = punct;
  t.boundary = 0;
  t.para_break = 0;
  toks.push_back(t);
}

void mark_boundary() {
  if (!toks.empty()) toks.back().boundary = 1;
}
