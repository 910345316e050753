#include "intake.h"

#include "keyed_hash.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The AVX2 block classifier (classify64_wide), chosen at run time.
#if defined(__x86_64__) && defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define FULLSTOP_WIDE_BLOCKS 1
#include <immintrin.h>
#else
#define FULLSTOP_WIDE_BLOCKS 0
#endif

namespace {

// The offsets of the edge markers' tokens: past the input, where no input
// token starts (their text is kEdgeMarkers, see Token::text).
inline constexpr int32_t kEdgeBefore = 32, kEdgeAfter = 40;

// The most bytes one input (a whole text, or a stream's window) may hold:
// token offsets are 32-bit, and the edge markers' offsets lie up to 44 bytes
// past the text's end, so those must fit too.
inline constexpr size_t kMaxText = static_cast<size_t>(INT32_MAX) - 64;

// Zero bytes kept after the last word's bytes in `word_bytes`, so that a
// word's bytes may be read eight at a time (see long_word_is).
inline constexpr size_t kWordPadding = 8;

// The length from which len_flags_of no longer keeps a word's whole length.
inline constexpr int32_t kHugeWord = int32_t{1} << 25;

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

inline uint64_t load8(const char *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The first min(len, 8) bytes, zero-padded, of a token (len >= 1).  Reads
// 8 bytes: the caller makes sure that they are there (see
// Input::intern_token).  The mask is formed without a branch on the length,
// which is short or long in no order a branch predictor could learn.
inline uint64_t prefix_of(const char *p, int32_t len) {
  uint64_t v = load8(p);
  int32_t kept = len < 8 ? len : 8;
  return v & (~uint64_t{0} >> (64 - 8 * kept));
}

// A word's length and flags in one compare: what a slot holds beside the
// prefix.  The flags keep their bits of a token's flags byte (see
// token_flag), below the length, so that word_key forms the value from the
// byte with one mask: every lookup forms it.
inline constexpr uint8_t kWordFlags = token_flag::space_before | token_flag::space_after | token_flag::list_label;
static_assert(kWordFlags < 128);
constexpr uint32_t len_flags_of(int32_t len, uint8_t flags) {
  return static_cast<uint32_t>(len) << 7 | (flags & kWordFlags);
}
constexpr uint32_t len_flags_of(int32_t len, bool space_before, bool space_after, bool list_label) {
  return len_flags_of(len, static_cast<uint8_t>((space_before ? token_flag::space_before : 0) |
                                                (space_after ? token_flag::space_after : 0) |
                                                (list_label ? token_flag::list_label : 0)));
}
static_assert(len_flags_of(5, token_flag::space_before | token_flag::list_label | token_flag::punct) ==
              len_flags_of(5, true, false, true));
static_assert(len_flags_of(9, token_flag::space_after | token_flag::marker | token_flag::boundary) ==
              len_flags_of(9, false, true, false));

// Keyed with the process's secret (see keyed_hash.h): the tokens are
// untrusted text, and with a fixed hash anyone could send any number of
// distinct tokens that share one slot run.
// (A copy, read-only after start-up: one load less per hash than through
// hash_key()'s reference.)
const HashKey word_key = hash_key();

uint32_t hash_word(const char *p, int32_t len, uint64_t prefix, uint32_t len_flags) {
  // A word of up to eight bytes, nearly every token: one keyed multiply.
  // Its high half, folded in, carries every bit of both operands into the
  // low bits that place the slot; the second multiply of longer words'
  // final mix would only lengthen the chain of dependent steps that every
  // lookup waits on before it can read its slot.
  if (len <= 8) return static_cast<uint32_t>(hash_fold(prefix ^ word_key.k0, len_flags ^ word_key.k1));
  uint64_t h = hash_step(word_key, len_flags, prefix);
  for (int32_t i = 8; i < len; i += 8) h = hash_step(word_key, h, prefix_of(p + i, len - i < 8 ? len - i : 8));
  return static_cast<uint32_t>(hash_finish(word_key, h));
}

}  // namespace

void Input::grow_word_slots() {
  // The first index fits the text: at most one word per two bytes and slots
  // at most half full, so a short text (a library call per sentence or
  // line) clears 64 slots instead of 4096, which cost such a call more
  // than all its other work; the index grows as any other when it fills.
  size_t first = 64;
  while (first < 4096 && first < static_cast<size_t>(data_len)) first *= 2;
  size_t cap = word_slots.size() == 0 ? first : word_slots.size() * 2;
  word_slots.release();
  word_slots.reserve(cap);
  word_slots.n = cap;
  std::memset(word_slots.ptr, 0, cap * sizeof(WordSlot));
  word_mask = cap - 1;
  for (size_t i = 0; i < words.size(); i++) {
    const Word &w = words[i];
    const WordKey key = key_of(w);
    size_t s = key.hash & word_mask;
    while (word_slots[s].index != 0) s = (s + 1) & word_mask;
    word_slots[s] = WordSlot{slot_head(key, w.len, w.start), key.len_flags, static_cast<uint32_t>(i + 1)};
  }
}

// A token whose word is not in the index yet: makes room if needed, then
// creates the Word.
[[gnu::noinline]] uint32_t Input::add_word(int32_t start, const char *bytes, int32_t len,
                                           bool punct, uint64_t prefix, uint32_t h,
                                           uint32_t len_flags) {
  // At most half the slots in use while the index is small (up to 1 MiB,
  // where probes stay short and memory does not matter), at most three
  // quarters beyond: a text of millions of distinct tokens then costs no
  // more than with the eight-byte slots this index once had.
  const size_t slots = word_slots.size();
  if (words.size() + 1 > (slots <= (size_t{1} << 16) ? slots / 2 : slots / 4 * 3)) grow_word_slots();
  size_t s = h & word_mask;
  while (word_slots[s].index != 0) s = (s + 1) & word_mask;
  if (words.size() >= (1u << 29)) die("standard input: too many distinct tokens");
  if (word_bytes.size() > static_cast<size_t>(INT32_MAX) - kWordPadding - static_cast<size_t>(len))
    die("standard input: too many distinct tokens");
  Word w;
  std::memset(&w, 0, sizeof w);
  // The bytes go where the padding after the last word's began (see
  // long_word_is), and eight zeros after them.
  if (!word_bytes.empty()) word_bytes.resize(word_bytes.size() - kWordPadding);
  w.start = static_cast<int32_t>(word_bytes.size());
  word_bytes.append(bytes, static_cast<size_t>(len));
  word_bytes.append(kWordPadding, '\0');
  w.len = len;
  w.is_punct = punct;
  w.is_upper = unicode_words ? starts_upper(bytes, static_cast<size_t>(len))
                             : is_upper_byte(static_cast<unsigned char>(bytes[0]));
  w.space_before = (len_flags & token_flag::space_before) != 0;
  w.space_after = (len_flags & token_flag::space_after) != 0;
  w.list_label = (len_flags & token_flag::list_label) != 0;
  w.is_edge = start >= data_len;  // only edge markers live past the input
  w.number = unicode_words && !punct ? shape_type(bytes, len, w.space_after, typed_initials) : 0;
  int stem_len = len > 3 ? 3 : len;
  for (int i = 0; i < stem_len; i++) {
    char c = bytes[i];
    w.stem[i] = is_upper_byte(static_cast<unsigned char>(c)) ? static_cast<char>(c - 'A' + 'a') : c;
  }
  uint32_t index = static_cast<uint32_t>(words.size());
  words.push_back(w);
  if (len >= kHugeWord) huge_words = true;
  word_slots[s] = WordSlot{slot_head(WordKey{prefix, len_flags, h}, len, w.start), len_flags, index + 1};
  return index;
}

// Whether the word of a slot that a token longer than eight bytes matched
// (fingerprint and len_flags) has the token's bytes, read where the slot
// says.  len_flags keeps only the low 25 bits of a length: when a word or
// the token has 2^25 bytes or more, the Word's length is compared too.
// Compared eight bytes at a time in line, as the hash reads them (masked to
// the length): the token has eight readable bytes after its last (see
// intern_token), and the word has its padding.  A call to memcmp cost more
// than the compare for the few bytes of a typical long word, and its
// branches on the length mispredicted.
[[gnu::noinline]] bool Input::long_word_is(const WordSlot &slot, const char *bytes, int32_t len) const {
  // Either word may be of 2^25 bytes or more only when one of these holds;
  // then the slot may even be a short word's, whose head is no offset.
  if ((huge_words || len >= kHugeWord) && words[slot.index - 1].len != len) return false;
  const char *stored = word_bytes.data() + static_cast<uint32_t>(slot.head >> 8);
  if (load8(stored) != load8(bytes)) return false;  // a long word's first eight bytes, unmasked
  for (int32_t i = 8; i < len; i += 8) {
    const int32_t n = len - i < 8 ? len - i : 8;
    if (prefix_of(stored + i, n) != prefix_of(bytes + i, n)) return false;
  }
  return true;
}

// A slot's first eight bytes (see WordSlot): a word's prefix when it has at
// most eight bytes, else the high 24 bits of its key's hash (bits 40-63;
// the low ones place the slot) and the offset of its bytes (bits 8-39).  The low byte of a long word's head
// is zero and a prefix's never is (it is the token's first byte, and no
// token holds a NUL), so a short token never matches a long word's slot,
// not even one of 2^25 bytes or more that len_flags does not tell apart.
inline uint64_t Input::slot_head(const WordKey &key, int32_t len, int32_t bytes_at) {
  return len <= 8 ? key.prefix
                  : uint64_t{key.hash >> 8} << 40 | uint64_t{static_cast<uint32_t>(bytes_at)} << 8;
}

// What the word index is searched by: everything but the bytes past the
// eighth, and the hash.  `bytes` are the token's, with at least eight
// readable bytes after the token's last (see intern_token).
inline Input::WordKey Input::word_key(const char *bytes, int32_t len, uint8_t flags) {
  WordKey key;
  key.len_flags = len_flags_of(len, flags);
  key.prefix = prefix_of(bytes, len);
  key.hash = hash_word(bytes, len, key.prefix, key.len_flags);
  return key;
}

// The key of a word in the index, formed again from its bytes when the
// index grows (a Word keeps neither its hash nor its prefix: the slots have
// what lookups compare, and a text of millions of distinct tokens a smaller
// record).  The key reads up to seven bytes past the word's last: the
// padding of `word_bytes` is there.
Input::WordKey Input::key_of(const Word &w) const {
  const uint8_t flags = static_cast<uint8_t>((w.space_before ? token_flag::space_before : 0) |
                                             (w.space_after ? token_flag::space_after : 0) |
                                             (w.list_label ? token_flag::list_label : 0));
  return word_key(word_bytes.data() + w.start, w.len, flags);
}

// The Word of a token: usually one slot compare.  The index always has a
// free slot (it is at most three quarters full), so the probe ends.
[[gnu::always_inline]] inline uint32_t Input::find_word(int32_t start, const char *bytes, int32_t len,
                                                        bool punct, const WordKey &key) {
  // The index in locals for the probe (nothing changes it until add_word).
  const WordSlot *const slots = word_slots.ptr;
  const size_t mask = word_mask;
  // A short token's slot matches on its prefix; a long token's on its
  // hash's fingerprint and then its bytes.  The length decides which, as it
  // did whether to compare the bytes, in one well-ordered branch.
  for (size_t s = key.hash & mask;; s = (s + 1) & mask) {
    const WordSlot &slot = slots[s];
    if (slot.index == 0) return add_word(start, bytes, len, punct, key.prefix, key.hash, key.len_flags);
    if (slot.len_flags != key.len_flags) continue;
    if (len <= 8) {
      if (slot.head == key.prefix) return slot.index - 1;
    } else if (slot.head >> 40 == key.hash >> 8 && long_word_is(slot, bytes, len)) {
      return slot.index - 1;
    }
  }
}

namespace {

[[noreturn]] void too_large() {
  die("standard input: input larger than " + std::to_string(kMaxText) +
      " bytes in one piece; offsets would overflow");
}

}  // namespace

void Input::reserve_data(size_t cap) {
  if (borrowed) drop_text();  // the caller's buffer is not ours to grow
  data = static_cast<char *>(xrealloc(data, cap + kDataPadding));
  data_cap = cap;
  advise_huge_pages(data, cap);
}

void Input::drop_text() {
  // `data` is the mapped copy when there is an original, else the original.
  char *original = orig_data != nullptr ? orig_data : data;
  if (orig_data != nullptr) std::free(data);
  if (!borrowed) std::free(original);
  borrowed = false;
  data = nullptr;
  data_len = 0;
  data_cap = 0;
  orig_data = nullptr;
  orig_len = 0;
  input_map.segments().clear();
}

void Input::reset() {
  drop_text();
  unicode_words = false;
  words.release();
  toks.release();
  word_slots.release();
  word_mask = 0;
  word_bytes.clear();
  huge_words = false;
  edge_words[0] = edge_words[1] = kNoWord;
  line_break_words[0] = line_break_words[1] = kNoWord;
  sentence_lines = false;
  line_break_sites = true;
  mark_line_breaks = true;
  comma_line_breaks = true;
  break_window = nullptr;
  typed_initials = true;
  std::memset(punct_words, 0, sizeof punct_words);
}

void Input::replace_text(std::string_view text) {
  drop_text();
  if (text.size() > kMaxText) too_large();
  reserve_data(text.size());
  if (!text.empty()) std::memcpy(data, text.data(), text.size());
  std::memset(data + text.size(), 0, kDataPadding);
  data_len = static_cast<int32_t>(text.size());
}

void Input::borrow_window(std::string_view text) {
  if (text.empty()) {
    replace_text(text);  // an empty buffer of our own: `data` is never null
    return;
  }
  drop_text();
  if (text.size() > kMaxText) too_large();
  // Never written through: see borrow() in intake.h.
  data = const_cast<char *>(text.data());
  data_len = static_cast<int32_t>(text.size());
  borrowed = true;
}

// A fresh input (no words) is a stream's next window with the words dropped.
void Input::borrow(std::string_view text) {
  reset();
  borrow_window(text);
}

void Input::set(std::string_view text) {
  reset();
  replace_text(text);
}

void Input::read(int fd) {
  size_t len = 0;
  struct stat st;
  // A regular file tells its size: read it into a block of that size (+1, so
  // that reaching the end of the file costs no growth).
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    off_t here = lseek(fd, 0, SEEK_CUR);
    if (here >= 0 && st.st_size > here) {
      size_t expect = static_cast<size_t>(st.st_size - here);
      if (expect > kMaxText) too_large();
      reserve_data(expect + 1);
    }
  }
  for (;;) {
    if (len == data_cap) {
      size_t grown = data_cap < (1u << 20) ? (1u << 20) : data_cap + data_cap / 2;
      if (grown > kMaxText + 1) grown = kMaxText + 1;
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
    if (len > kMaxText) too_large();
  }
  if (data == nullptr) reserve_data(0);
  std::memset(data + len, 0, kDataPadding);
  data_len = static_cast<int32_t>(len);
}

// The tokenizer's state: what to do with each new token.
struct Input::Walk {
  SiteVisitor visit = nullptr;  // null: keep and intern every token
  void *context = nullptr;
  bool bytewise = false;        // use the plain scanner
  bool unicode = false;         // pad paragraphs, visit line breaks and tokens before list markers
  // Set by run_walk: the flags that make a token worth a closer look (see
  // push_token).
  uint8_t site_flags = 0;
};

namespace {
// Keep this many tokens when `toks` is compacted during a walk: a window
// needs the last five.
constexpr size_t kKeep = 4;
constexpr size_t kWalkCapacity = 4096;
}  // namespace

// Interning loads a token's bytes eight at a time, up to seven bytes past its
// end.  Tokens that end eight bytes or more before the end of the text (all
// but the last few) are read in place; the others, and the edge markers, by
// tail_bytes.  So interning never reads past the text, which lets a borrowed
// text go unpadded.
[[gnu::always_inline]] inline void Input::intern_token(Token &t) {
  intern_at(t, data_len - t.end() >= 8 ? data + t.start : tail_bytes(t));
}

[[gnu::always_inline]] inline void Input::intern_at(Token &t, const char *bytes) {
  t.word = find_word(t.start, bytes, t.len, t.punct, word_key(bytes, t.len, flags_of(t)));
}

[[gnu::noinline]] const char *Input::tail_bytes(const Token &t) {
  if (t.edge) return edge_marker_text(t.len);
  tail_copy.assign(data + t.start, static_cast<size_t>(t.len));
  tail_copy.append(8, '\0');
  return tail_copy.data();
}

// Appends a token; in a walk, visits the token two back when it is a
// candidate: punctuation, the end of a paragraph, or (Unicode mode) before a
// list marker; edge markers never are.  In the Unicode mode a line break
// after a token that is none of these is visited as a candidate of its own
// (see visit_line_break).
//
// `site_flags` is walk.site_flags, passed by value so that the scanner's
// loop keeps it in a register (a byte stored into a token could, as far as
// the compiler knows, change the walk's fields).
template <bool kVisit, bool kUnicode>
[[gnu::always_inline]] inline void Input::push_token(const Walk &walk, const Token &tok, uint8_t site_flags) {
  if (kVisit && toks.size() == kWalkCapacity) {
    std::memmove(toks.ptr, toks.ptr + kWalkCapacity - kKeep, kKeep * sizeof(Token));
    toks.n = kKeep;
  }
  // A visiting walk's ring has room for kWalkCapacity tokens (see run_walk).
  if (!kVisit && toks.n == toks.cap) toks.reserve(toks.n + 1);
  toks.ptr[toks.n++] = tok;
  if (!kVisit) {
    intern_token(toks.back());
    return;
  }
  // The token two back now has two tokens on each side (when at least two
  // precede it), and its flags are final: only the last token's can change.
  if (toks.size() < 5) return;
  Token *window = toks.end() - 5;
  const uint8_t flags = flags_of(window[2]);
  constexpr uint8_t kSite = token_flag::punct | token_flag::para_break;
  if (kUnicode) {
    // One branch for the common case: few tokens are candidates, marked
    // (see Token::marker) or, in running text, last on their line (see
    // run_walk for where lines are sentences).
    const uint8_t marked = flags_of(window[3]) & token_flag::marker;
    if (!((flags & site_flags) | marked)) return;
    if (!(flags & kSite) && !(marked && list_marker_at(window))) {
      if (line_break_after(window)) visit_line_break(walk, window);
      return;
    }
  } else if (!(flags & kSite)) {
    return;
  }
  // One test for the window rather than one per token (see intern_token):
  // when its last token ends eight bytes or more before the end of the text,
  // so do the others, but for edge markers, which push_edges interns.
  if (data_len - window[4].end() >= 8) {
    intern_window(window);
  } else {
    for (int k = 0; k < 5; k++)
      if (window[k].word == kNoWord) intern_token(window[k]);
  }
  // (In running text a line break follows only a token that ends its line,
  // which one test of the flags in hand rules out for nearly every site.)
  if (kUnicode && ((flags & token_flag::boundary) || sentence_lines) && mark_line_breaks &&
      (flags & token_flag::punct) && mark_at_line_break(window)) [[unlikely]] {
    visit_mark_at_line_break(walk, window);
    return;
  }
  walk.visit(window, walk.context);
}

// Whether the text breaks its line after window[2], inside its paragraph
// (the Unicode mode; asked of tokens that are no candidate otherwise).  In
// running text that is a line end after the token that no blank line
// follows; where lines are sentences (see map), a NUL between the token and
// the next, which is what U+2028 maps to there.  Nearly every gap between
// tokens is one byte, read without a call.
[[gnu::always_inline]] inline bool Input::line_break_after(const Token *window) const {
  const Token &t = window[2], &next = window[3];
  // An edge marker is no token of the text, and one after t ends its paragraph.
  if (!line_break_sites || t.edge || next.edge) return false;
  if (!sentence_lines) return (flags_of(t) & token_flag::boundary) != 0;
  const int32_t gap = next.start - t.end();
  if (gap <= 1) return gap == 1 && data[t.end()] == '\0';
  return std::memchr(data + t.end(), '\0', static_cast<size_t>(gap)) != nullptr;
}

// Whether the text's line that ends at mapped offset `end` (a line break
// follows) is shorter than kShortLine bytes of the original text: a
// heading, a list item, an address line, where a hard-wrapped line is about
// as long as the text's width.  A line begins after a line end (LF, CR,
// NEL, U+2028 or U+2029), or where lines are sentences (see map) after a
// U+2028 or U+2029 or a blank line (a line end there ends a sentence, not
// the text's line), or at the start of the input.  A stream's window and a
// parallel run's block begin at a line start, and where lines are sentences
// they keep kShortLine bytes more before their first candidate (see
// cut_point in stream.cpp), so the answer never depends on where one begins.
bool Input::short_line_before(int32_t end, int32_t limit) const {
  const int32_t at = original_end(end);
  const int32_t from = at > limit ? at - limit : 0;
  // (A line that begins at the start of the input is as long as `at`.)
  return line_begins_within(original_data(), from, at, sentence_lines) || at < limit;
}

// Whether the punctuation token window[2] is a colon that ends a short line,
// or a comma that ends a greeting's short line (see mark_line_breaks and
// comma_line_breaks), inside its paragraph.
inline bool Input::mark_at_line_break(const Token *window) const {
  const char last = data[window[2].end() - 1];
  if (last == ':') return line_break_after(window) && short_line_before(window[2].end());
  return last == ',' && comma_line_breaks && line_break_after(window) &&
         short_line_before(window[2].end(), kGreetingLine);
}

bool line_begins_within_bytewise(const char *bytes, int32_t from, int32_t at, bool sentence_lines) {
  const auto *text = reinterpret_cast<const unsigned char *>(bytes);
  for (int32_t i = at - 1; i >= from; i--) {
    const unsigned char c = text[i];
    // U+2028 and U+2029 end in A8 and A9 after E2 80; NEL is C2 85.
    const bool separator = (c == 0xA8 || c == 0xA9) && i >= 2 && text[i - 1] == 0x80 && text[i - 2] == 0xE2;
    if (sentence_lines) {
      if (separator) return true;
      if (c == '\n' && i > 0 && (text[i - 1] == '\n' || (text[i - 1] == '\r' && i > 1 && text[i - 2] == '\n')))
        return true;
    } else if (separator || c == '\n' || c == '\r' || (c == 0x85 && i >= 1 && text[i - 1] == 0xC2)) {
      return true;
    }
  }
  return false;
}

// Every line begins after a '\n', a '\r' or a byte above 0x7F (the last of
// a NEL, U+2028 or U+2029), so a stretch without one, as the kShortLine
// bytes before nearly every line break of hard-wrapped ASCII text are, is
// passed 16 bytes at a time; otherwise the plain loop decides.
bool line_begins_within(const char *text, int32_t from, int32_t at, bool sentence_lines) {
#if defined(__SSE2__)
  if (at - from >= 16) {
    auto odd = [text](int32_t p) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + p));
      const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
      return _mm_movemask_epi8(_mm_or_si128(ends, v)) != 0;  // (a byte's sign bit: above 0x7F)
    };
    bool any = false;
    for (int32_t p = from; p + 16 <= at && !any; p += 16) any = odd(p);
    if (!any && !odd(at - 16)) return false;
  }
#endif
  return line_begins_within_bytewise(text, from, at, sentence_lines);
}

// The line-break marker for a break after window[2] (see walk), interned.
Token Input::line_break_marker(const Token *window) {
  constexpr uint8_t kFlags = token_flag::space_before | token_flag::space_after | token_flag::edge;
  const bool short_line = short_line_before(window[2].end());
  uint32_t &word = line_break_words[short_line];
  if (word == kNoWord) {
    const char *text = kLineBreakMarkers[short_line];
    const auto len = static_cast<int32_t>(std::strlen(text));
    // Past the input, as the edge markers' words (add_word knows them so).
    word = find_word(data_len + kEdgeAfter, text, len, false, word_key(text, len, kFlags));
  }
  return token_of(window[2].end(), 0, kFlags | (flags_of(window[2]) & token_flag::boundary), word);
}

// Visits the line break after window[2] (see walk): the window's last four
// tokens, interned, with the line-break marker between the second and third.
[[gnu::noinline]] void Input::visit_line_break(const Walk &walk, Token *window) {
  for (int k = 1; k < 5; k++)
    if (window[k].word == kNoWord) intern_token(window[k]);
  const Token sites[kWindow] = {window[1], window[2], line_break_marker(window), window[3], window[4]};
  walk.visit(sites, walk.context);
}

// Visits a colon or comma that ends a short line (see mark_line_breaks): its own
// window, interned, with its line break's window in break_window for the
// visit's length.
[[gnu::noinline]] void Input::visit_mark_at_line_break(const Walk &walk, Token *window) {
  const Token sites[kWindow] = {window[1], window[2], line_break_marker(window), window[3], window[4]};
  break_window = sites;
  walk.visit(window, walk.context);
  break_window = nullptr;
}

// Interns a window's tokens that are not interned yet, all read in place,
// in token order: a word new to the index gets the next index.  (Forming all
// keys and prefetching their slots before the first probe was measured and
// not kept: see docs/performance.md.)
//
// The site's own token is nearly always a one-byte punctuation mark ("." or
// ","), a handful of words in all: once known, its word comes from
// punct_words, a table in the nearest cache, instead of a lookup's key,
// hash and probe (about 70 instructions).  A word met for the first time
// still goes through the index in its turn, so indices keep their order.
[[gnu::always_inline]] inline void Input::intern_window(Token *window) {
  Token &site = window[2];
  uint32_t *known = nullptr;
  constexpr uint8_t kShape = token_flag::punct | token_flag::list_label;
  if (site.word == kNoWord && site.len == 1 && (flags_of(site) & kShape) == token_flag::punct) {
    static_assert(token_flag::space_before == 2 && token_flag::space_after == 4);
    known = &punct_words[(flags_of(site) & (token_flag::space_before | token_flag::space_after)) >> 1]
                        [data[site.start] & 127];
    if (*known != 0) {
      site.word = *known - 1;
      known = nullptr;
    }
  }
  for (int k = 0; k < 5; k++) {
    Token &t = window[k];
    if (t.word == kNoWord) intern_at(t, data + t.start);
  }
  if (known != nullptr) *known = site.word + 1;
}

// Two edge markers: "</s>" after a paragraph, "<s>" before one.  They are
// interned here, so a window's interning need not look for them (see
// push_token); each marker's word is looked up once and then kept.
void Input::push_edges(const Walk &walk, bool after) {
  const int32_t start = data_len + (after ? kEdgeAfter : kEdgeBefore), len = after ? 4 : 3;
  constexpr uint8_t kFlags = token_flag::space_before | token_flag::space_after | token_flag::edge;
  uint32_t &known = edge_words[after];
  if (known == kNoWord) {
    Token first = token_of(start, len, kFlags);
    intern_token(first);
    known = first.word;
  }
  // Made whole with its word: setting the word in a token already in memory
  // and then copying the token made each copy wait for that store.
  const Token edge = token_of(start, len, kFlags, known);
  if (walk.visit != nullptr) {
    push_token<true, true>(walk, edge, walk.site_flags);
    push_token<true, true>(walk, edge, walk.site_flags);
  } else {
    push_token<false, true>(walk, edge, walk.site_flags);
    push_token<false, true>(walk, edge, walk.site_flags);
  }
}

namespace {
// The bytes that may follow a list label ('.', ')') and that bullets are
// ('*', '-'): the first 256 for a word's next byte, the others for a
// punctuation run's first (see add_token).
constexpr std::array<bool, 512> kMarkerByte = [] {
  std::array<bool, 512> t{};
  t['.'] = t[')'] = true;
  t[256 + '*'] = t[256 + '-'] = true;
  return t;
}();

// The marker hint (see add_token) of the token [start, start + len) of p's
// text, read byte by byte: whether a word's next byte is '.' or ')', or a
// punctuation run's first is '*' or '-'.  A token that ends its word has no
// next byte to read in the text (the last one may end it).
uint8_t marker_hint(const char *p, int32_t start, int32_t len, uint8_t flags) {
  bool punct = flags & token_flag::punct;
  if (!punct && (flags & token_flag::space_after)) return 0;
  unsigned char c = static_cast<unsigned char>(p[punct ? start : start + len]);
  return kMarkerByte[(punct ? 256 : 0) + c] ? token_flag::marker : 0;
}
}  // namespace

// Appends a token for the run [start, start + len) of `data`.  In the
// Unicode mode, a paragraph's first token is preceded by the edge markers
// that close the previous paragraph and open this one.
// `new_paragraph` is toks.empty() || toks.back().para_break, which the block
// scanner knows without reading the token (see scan_blocks_as).
template <bool kVisit, bool kUnicode>
[[gnu::always_inline]] inline void Input::add_token(const Walk &walk, int32_t start, int32_t len,
                                                    uint8_t flags, bool new_paragraph, uint8_t site_flags) {
  if (kUnicode) {
    if (new_paragraph) {
      if (!toks.empty()) push_edges(walk, true);
      push_edges(walk, false);
    }
    // A line's labels are forgotten when the next line begins.
    if (line_labels.any && (flags_of(toks.back()) & (token_flag::boundary | token_flag::edge)))
      line_labels = LineLabels{};
    // Only a word of up to four bytes that a space precedes and "." or ")"
    // follows can be a label (see label_closer); only such a word or a
    // one-byte "*" or "-" standing alone can open a list marker.  The caller
    // tells most tokens apart from these with the marker bit of `flags`, a
    // hint: set for a word whose next byte is '.' or ')' and for a
    // punctuation run whose first byte is '*' or '-' (the block scanner
    // finds both in its masks, see classify64).  Testing the flags first
    // would take branches that go either way from token to token; this one
    // is rarely taken.  A word keeps its marker bit only when it has a
    // label's shape and a closer that ends its word after it, as
    // list_marker_at asks of the word; most words that "." follows ("it.",
    // "was.") have not.
    using namespace token_flag;
    if (flags & marker) {
      const bool label_shape = (flags & (punct | space_before | space_after)) == space_before && len <= 4;
      constexpr uint8_t kAlone = punct | space_before | space_after;
      const bool bullet_shape = (flags & kAlone) == kAlone && len == 1;
      LabelReading label{false, false};
      if (label_shape) label = label_in_list_position(start, len);
      if (!(label.shape | bullet_shape)) flags &= static_cast<uint8_t>(~marker);
      if (label.position) flags |= list_label;
    }
  } else {
    flags &= static_cast<uint8_t>(~token_flag::marker);  // never set in the classic mode
  }
  push_token<kVisit, kUnicode>(walk, token_of(start, len, flags), site_flags);
}

// The flags byte of a new token.
inline uint8_t new_token_flags(bool punct, bool space_before, bool space_after) {
  return static_cast<uint8_t>((punct ? token_flag::punct : 0) | (space_before ? token_flag::space_before : 0) |
                              (space_after ? token_flag::space_after : 0));
}

namespace {

// 1 for ".", 2 for ")", 3 for ".)" at p when that ends its word, else 0.
// The text ends at `end`, which ends a word too: a borrowed text has nothing
// after its last byte to read.
int label_closer(const char *p, const char *end) {
  auto ends = [end](const char *q) {
    return q >= end || is_separator_byte(static_cast<unsigned char>(*q));
  };
  if (p >= end) return 0;
  if ((p[0] == '.' || p[0] == ')') && ends(p + 1)) return p[0] == '.' ? 1 : 2;
  return p[0] == '.' && p + 1 < end && p[1] == ')' && ends(p + 2) ? 3 : 0;
}

// The bit of a label value in LineLabels::seen, or -1 for none (below 0).
int label_bit(int number, int letter, int roman, bool upper) {
  if (number >= 0) return number;
  if (letter >= 0) return 1000 + letter;
  if (roman >= 1) return 1026 + (upper ? 40 : 0) + roman - 1;
  return -1;
}

}  // namespace

// Whether the token data[start, start + len), a word that a space precedes
// and punctuation follows, has a list label's shape and a closer after it
// (`shape`), and whether it is a list label in list position (`position`);
// records it in the line's labels when it has the shape.  Called for each
// token as it is added, when the flags of the tokens before it are final.
// The data after the token are whole (a stream's window ends after a
// newline); nothing at or after data_len is read.
Input::LabelReading Input::label_in_list_position(int32_t start, int32_t len) {
  const char *text_end = data + data_len;
  int closer = label_closer(data + start + len, text_end);
  if (closer == 0) return {false, false};
  ListLabelShape shape = list_label_of(data + start, len);
  if (!shape.any()) return {false, false};
  uint64_t(&seen)[LineLabels::kWords] = line_labels.seen[closer - 1];
  auto has = [&](int bit) { return bit >= 0 && ((seen[bit >> 6] >> (bit & 63)) & 1) != 0; };
  // A label that ends its line opens no item there: Brown sets "2." apart as
  // a sentence of its own, mostly at the end of the paragraph before its
  // item.  It still counts for the sequence.
  const char *after = data + start + len + (closer == 3 ? 2 : 1);
  while (after < text_end && (*after == ' ' || *after == '\t')) after++;
  bool position = false;
  if (after < text_end && *after != '\n' && *after != '\0') {
    const Token *prev = toks.empty() ? nullptr : &toks.back();
    position = prev == nullptr || prev->boundary || prev->edge;
    if (!position && prev->punct) {
      // After ":", or after a bullet: "*" (as Unicode bullets read) standing
      // alone, or "-" alone opening its line.
      const char *p = data + prev->start;
      bool line_first = toks.size() < 2 || toks.end()[-2].boundary || toks.end()[-2].edge;
      position = p[prev->len - 1] == ':' ||
                 (prev->len == 1 && prev->space_before && prev->space_after &&
                  (p[0] == '*' || (p[0] == '-' && line_first)));
    }
    // The next label of a sequence begun earlier on the line.
    position = position || has(label_bit(shape.number - 1, -1, -1, false)) ||
               has(label_bit(-1, shape.letter - 1, -1, false)) ||
               has(label_bit(-1, -1, shape.roman - 1, shape.upper));
  }
  for (int bit : {label_bit(shape.number, -1, -1, false), label_bit(-1, shape.letter, -1, false),
                  label_bit(-1, -1, shape.roman, shape.upper)})
    if (bit >= 0) seen[bit >> 6] |= uint64_t{1} << (bit & 63);
  line_labels.any = true;
  return {true, position};
}

void Input::tokenize_line(const Walk &walk, int32_t begin, int32_t end) {
  // One pass over the line: skip separators, then split each word into class
  // runs.  The byte at `end` (the line's newline, or the end of the input)
  // ends the last word: it is taken as a separator rather than read, since a
  // borrowed text has nothing after its last byte.
  auto class_at = [&](int32_t q) -> uint8_t { return q < end ? byte_class(data[q]) : uint8_t{kSeparator}; };
  int32_t p = begin;
  for (;;) {
    while (p < end && byte_class(data[p]) == kSeparator) p++;
    if (p >= end) break;
    int32_t run = p;
    bool first = true;
    uint8_t cls = byte_class(data[p]);
    for (;;) {
      uint8_t next;
      do next = class_at(++p);
      while (next == cls);
      bool word_ends = next == kSeparator;
      uint8_t flags = new_token_flags(cls == kPunctChar, first, word_ends);
      const bool new_paragraph = toks.empty() || toks.back().para_break;
      flags |= marker_hint(data, run, p - run, flags);
      // The plain scanner takes the walk's kind as it comes.
      if (walk.visit != nullptr) {
        if (walk.unicode) {
          add_token<true, true>(walk, run, p - run, flags, new_paragraph, walk.site_flags);
        } else {
          add_token<true, false>(walk, run, p - run, flags, new_paragraph, walk.site_flags);
        }
      } else if (walk.unicode) {
        add_token<false, true>(walk, run, p - run, flags, new_paragraph, walk.site_flags);
      } else {
        add_token<false, false>(walk, run, p - run, flags, new_paragraph, walk.site_flags);
      }
      if (word_ends) break;
      first = false;
      run = p;
      cls = next;
    }
  }
  mark_boundary();
}

// The plain scanner: line by line, byte by byte.
void Input::scan_bytewise(const Walk &walk) {
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
      tokenize_line(walk, p, line_end);
    }
    pos = nl ? line_end + 1 : data_len;
  }
}

bool wide_blocks_supported() {
#if FULLSTOP_WIDE_BLOCKS
  // (The processor's features are read once per process; asking again
  // before they are, as a library's static constructor might, reads them.)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

#if defined(__SSE2__)
namespace {

inline uint64_t movemask64(__m128i a, __m128i b, __m128i c, __m128i d) {
  return static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(a))) |
         static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(b))) << 16 |
         static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(c))) << 32 |
         static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(d))) << 48;
}

inline void classify16(const char *p, __m128i &sep, __m128i &punct, __m128i &newline) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  newline = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
  sep = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                  _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                     _mm_or_si128(newline, _mm_cmpeq_epi8(v, _mm_setzero_si128())));
  // Signed compares: bytes 0x80-0xFF are negative and fall in no range.
  auto in = [&](char lo, char hi) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(lo - 1))),
                         _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(hi + 1))));
  };
  punct = _mm_or_si128(_mm_or_si128(in(33, 47), in(58, 64)), _mm_or_si128(in(91, 96), in(123, 126)));
}

// One 64-byte block, classified: the bit masks that find where tokens start
// and end, and each byte's share of the flags of a token starting or ending
// there (see scan_blocks_as), as bytes.  A token's flags were once gathered
// from the masks bit by bit, a shift and a mask per flag and token; one
// byte load per token end now does it, and the bytes of a block cost a few
// vector operations, shared by its dozen tokens.
struct ClassifiedBlock {
  uint64_t sep, punct, newline;  // bit i is byte i
  // A token starting at byte i: punct (it is punctuation), space_before
  // (byte i-1 is a separator) and, in the Unicode mode, marker (byte i is
  // '*' or '-', which a bullet starts with).
  alignas(16) uint8_t start_flags[64];
  // A token ending just before byte i: space_after (byte i is a separator)
  // and, in the Unicode mode, marker (byte i is '.' or ')', at which a word
  // that may be a list label ends).
  alignas(16) uint8_t end_flags[64];
};

// Classifies the block at p; `sep_before` says whether the byte before it is
// a separator (the previous block's last byte, or the start of the text).
template <bool kUnicode>
inline void classify64(const char *p, bool sep_before, ClassifiedBlock &b) {
  static_assert(token_flag::punct == 1 && token_flag::space_before == 2 &&
                token_flag::space_after == 4 && token_flag::marker == 128);
  __m128i s[4], q[4], n[4];
  for (int k = 0; k < 4; k++) classify16(p + 16 * k, s[k], q[k], n[k]);
  b.sep = movemask64(s[0], s[1], s[2], s[3]);
  b.punct = movemask64(q[0], q[1], q[2], q[3]);
  b.newline = movemask64(n[0], n[1], n[2], n[3]);
  for (int k = 0; k < 4; k++) {
    // Byte i-1's separator lane at byte i.
    const __m128i carry = k == 0 ? _mm_cvtsi32_si128(sep_before ? 0xFF : 0) : _mm_srli_si128(s[k - 1], 15);
    const __m128i prev_sep = _mm_or_si128(_mm_slli_si128(s[k], 1), carry);
    __m128i start = _mm_or_si128(_mm_and_si128(q[k], _mm_set1_epi8(token_flag::punct)),
                                 _mm_and_si128(prev_sep, _mm_set1_epi8(token_flag::space_before)));
    __m128i end = _mm_and_si128(s[k], _mm_set1_epi8(token_flag::space_after));
    if constexpr (kUnicode) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
      const __m128i bullet =
          _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('*')), _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
      const __m128i closer =
          _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('.')), _mm_cmpeq_epi8(v, _mm_set1_epi8(')')));
      const __m128i marker = _mm_set1_epi8(static_cast<char>(token_flag::marker));
      start = _mm_or_si128(start, _mm_and_si128(bullet, marker));
      end = _mm_or_si128(end, _mm_and_si128(closer, marker));
    }
    _mm_store_si128(reinterpret_cast<__m128i *>(b.start_flags + 16 * k), start);
    _mm_store_si128(reinterpret_cast<__m128i *>(b.end_flags + 16 * k), end);
  }
}

#if FULLSTOP_WIDE_BLOCKS
// classify64 with 32-byte vectors, for a processor with AVX2 (see
// Input::wide_blocks): half the vector operations of a block, which is about
// a tenth of a detection run.  The SSE2 form above is its reference: the
// scanner tests run both against the byte-at-a-time scanner.  Compiled for
// AVX2 alone, out of line, so that nothing else is; a call per 64 bytes is
// cheap beside the block's work.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i in_range32(__m256i v, char lo, char hi) {
  return _mm256_and_si256(_mm256_cmpgt_epi8(v, _mm256_set1_epi8(static_cast<char>(lo - 1))),
                          _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(hi + 1)), v));
}

[[gnu::target("avx2"), gnu::always_inline]] inline uint64_t movemask64(__m256i lo, __m256i hi) {
  return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(lo))) |
         static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(hi))) << 32;
}

template <bool kUnicode>
[[gnu::target("avx2"), gnu::noinline]] void classify64_wide(const char *p, bool sep_before,
                                                             ClassifiedBlock &b) {
  __m256i v[2], s[2], q[2], n[2];
  for (int k = 0; k < 2; k++) {
    v[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * k));
    n[k] = _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('\n'));
    s[k] = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v[k], _mm256_set1_epi8(' ')),
                                           _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('\t'))),
                           _mm256_or_si256(n[k], _mm256_cmpeq_epi8(v[k], _mm256_setzero_si256())));
    q[k] = _mm256_or_si256(_mm256_or_si256(in_range32(v[k], 33, 47), in_range32(v[k], 58, 64)),
                           _mm256_or_si256(in_range32(v[k], 91, 96), in_range32(v[k], 123, 126)));
  }
  b.sep = movemask64(s[0], s[1]);
  b.punct = movemask64(q[0], q[1]);
  b.newline = movemask64(n[0], n[1]);
  // Before the first half, a vector whose last byte is the separator lane of
  // the byte before the block.
  const __m256i before = _mm256_set_epi64x(sep_before ? static_cast<int64_t>(0xFF00000000000000ull) : 0, 0, 0, 0);
  for (int k = 0; k < 2; k++) {
    // Byte i-1's separator lane at byte i: the lanes shifted by one byte
    // across the 128-bit halves (alignr shifts within each half, so each
    // half takes its first byte from the half before it).
    const __m256i prev = k == 0 ? before : s[0];
    const __m256i joined = _mm256_permute2x128_si256(prev, s[k], 0x21);
    const __m256i prev_sep = _mm256_alignr_epi8(s[k], joined, 15);
    __m256i start = _mm256_or_si256(_mm256_and_si256(q[k], _mm256_set1_epi8(token_flag::punct)),
                                    _mm256_and_si256(prev_sep, _mm256_set1_epi8(token_flag::space_before)));
    __m256i end = _mm256_and_si256(s[k], _mm256_set1_epi8(token_flag::space_after));
    if constexpr (kUnicode) {
      const __m256i bullet = _mm256_or_si256(_mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('*')),
                                             _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('-')));
      const __m256i closer = _mm256_or_si256(_mm256_cmpeq_epi8(v[k], _mm256_set1_epi8('.')),
                                             _mm256_cmpeq_epi8(v[k], _mm256_set1_epi8(')')));
      const __m256i marker = _mm256_set1_epi8(static_cast<char>(token_flag::marker));
      start = _mm256_or_si256(start, _mm256_and_si256(bullet, marker));
      end = _mm256_or_si256(end, _mm256_and_si256(closer, marker));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(b.start_flags + 32 * k), start);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(b.end_flags + 32 * k), end);
  }
}
#endif

// The block at p classified by the AVX2 form where `wide`, else by SSE2.
template <bool kUnicode>
inline void classify_block([[maybe_unused]] bool wide, const char *p, bool sep_before, ClassifiedBlock &b) {
#if FULLSTOP_WIDE_BLOCKS
  if (wide) return classify64_wide<kUnicode>(p, sep_before, b);
#endif
  classify64<kUnicode>(p, sep_before, b);
}

}  // namespace

// Line-end and paragraph flags of the last token from the gap [from, to) of
// separators that follows it, up to the next token or (at_end) the end of
// the input.  A newline in the gap ends its line; a line inside the gap that
// holds no NUL is blank and ends its paragraph.  At the end of the input the
// last token's line always ends, and a last line without a newline counts
// when it is not empty.
void Input::gap_flags(int32_t from, int32_t to, bool at_end) {
  if (toks.empty()) return;
  Token &last = toks.back();
  int newlines = 0;
  bool clean = true;  // the current line of the gap holds no NUL
  for (int32_t i = from; i < to; i++) {
    char c = data[i];
    if (c == '\n') {
      if (newlines > 0 && clean) last.para_break = 1;
      newlines++;
      clean = true;
    } else if (c == '\0') {
      clean = false;
    }
  }
  if (at_end) {
    last.boundary = 1;
    if (newlines > 0 && clean && data[to - 1] != '\n') last.para_break = 1;
  } else if (newlines > 0) {
    last.boundary = 1;
  }
}

// The fast scanner: classifies 64 bytes at a time and visits only the bytes
// where a token starts or ends, so its cost follows the number of tokens
// rather than of bytes.  A token's line-end and paragraph flags follow from
// the newlines in the gap before the next token: counted from the block's
// newline mask when the gap lies in one block (nearly always), by
// gap_flags() otherwise or when the gap holds two newlines or more.
//
// The loop is compiled once per kind of walk (visiting or keeping every
// token, Unicode or classic), so that the per-token code tests none of the
// walk's settings: the same steps as a runtime test of them would take.
template <bool kVisit, bool kUnicode>
void Input::scan_blocks_as(const Walk &walk) {
  int32_t open_start = -1;  // start of the token being scanned, or -1
  uint8_t open_flags = 0;   // its punct and space_before flags
  int32_t last_end = -1;  // end of the last token, -1 before the first
  // Whether the next token begins a paragraph: toks.empty() ||
  // toks.back().para_break, kept here since only gap_flags() sets
  // para_break (a register test per token instead of a load).
  bool new_paragraph = toks.empty() || toks.back().para_break;
  uint64_t carry_sep = 1, carry_punct = 0;  // the byte before the input: a separator
  // The input stays put during a scan; in locals, the compiler need not
  // reload them after every token written (byte-sized stores may alias
  // anything, this object's members included).
  const char *const data = this->data;
  const int32_t data_len = this->data_len;
  const uint8_t site_flags = walk.site_flags;
  alignas(16) char last[64];
  ClassifiedBlock m;
  const bool wide = wide_blocks;
  for (int32_t base = 0; base < data_len; base += 64) {
    const char *block = data + base;
    if (data_len - base < 64) {
      // The last, partial block, from a zero-padded copy: the scan reads no
      // byte past the text, which may be the caller's (borrow()).  Zeros
      // are separators, as the bytes after the input always were.
      std::memset(last, 0, sizeof last);
      std::memcpy(last, block, static_cast<size_t>(data_len - base));
      block = last;
    }
    classify_block<kUnicode>(wide, block, carry_sep != 0, m);
    uint64_t prev_sep = m.sep << 1 | carry_sep, prev_punct = m.punct << 1 | carry_punct;
    carry_sep = m.sep >> 63;
    carry_punct = m.punct >> 63;
    uint64_t change = (m.sep ^ prev_sep) | (m.punct ^ prev_punct);
    uint64_t starts = change & ~m.sep;  // a token begins here
    uint64_t ends = change & ~prev_sep;  // the token before ends here
    if (data_len - base < 64) {
      uint64_t valid = (uint64_t{1} << (data_len - base)) - 1;
      starts &= valid;
      ends &= valid;
    }
    for (;;) {
      if (open_start >= 0) {
        if (ends == 0) break;  // the token goes on into the next block
        int bit = __builtin_ctzll(ends);
        ends &= ends - 1;
        int32_t end = base + bit;
        // A word ending at '.' or ')' (a punctuation run never does: those
        // are punctuation too, and a separator is neither).
        add_token<kVisit, kUnicode>(walk, open_start, end - open_start, open_flags | m.end_flags[bit],
                                    new_paragraph, site_flags);
        new_paragraph = false;
        last_end = end;
        open_start = -1;
      }
      if (starts == 0) break;
      int bit = __builtin_ctzll(starts);
      starts &= starts - 1;
      int32_t start = base + bit;
      // The gap before this token decides the previous token's flags.  Most
      // blocks hold no newline, and then a gap inside one changes nothing.
      if (last_end >= base) {
        if (m.newline != 0) {
          uint64_t gap = (uint64_t{1} << bit) - (uint64_t{1} << (last_end - base));
          uint64_t newlines = m.newline & gap;
          if (newlines != 0) {
            if ((newlines & (newlines - 1)) == 0) {
              toks.back().boundary = 1;  // one newline: the line ended
            } else {
              gap_flags(last_end, start, false);  // blank lines, maybe
              new_paragraph = toks.back().para_break;
            }
          }
        }
      } else if (last_end >= 0) {
        gap_flags(last_end, start, false);
        new_paragraph = toks.back().para_break;
      }
      open_start = start;
      // A punctuation run starting with '*' or '-' is hinted as a marker.
      open_flags = m.start_flags[bit];
    }
  }
  if (open_start >= 0) {
    add_token<kVisit, kUnicode>(walk, open_start, data_len - open_start, open_flags | token_flag::space_after,
                                new_paragraph, site_flags);
    last_end = data_len;
  }
  if (last_end >= 0) gap_flags(last_end, data_len, true);
}

void Input::scan_blocks(const Walk &walk) {
  if (walk.visit != nullptr) {
    if (walk.unicode) {
      scan_blocks_as<true, true>(walk);
    } else {
      scan_blocks_as<true, false>(walk);
    }
  } else if (walk.unicode) {
    scan_blocks_as<false, true>(walk);
  } else {
    scan_blocks_as<false, false>(walk);
  }
}
#endif

// Cuts `data` into lines, and non-blank lines into tokens.
void Input::scan(const Walk &walk) {
#if defined(__SSE2__)
  if (!walk.bytewise) {
    scan_blocks(walk);
    return;
  }
#endif
  scan_bytewise(walk);
}

void Input::run_walk(const Walk &given) {
  Walk walk = given;
  // A token is a candidate, or in running text may be followed by a line
  // break, when it has one of these flags.  Where lines are sentences, a
  // line break is a NUL after any token that ends its word: every token
  // with a flag (one without ends no word, so no gap follows it) is looked
  // at, which costs training a little.
  const bool breaks = walk.unicode && line_break_sites;
  walk.site_flags = breaks && sentence_lines
                        ? 0xFF
                        : token_flag::punct | token_flag::para_break | (breaks ? token_flag::boundary : 0);
  toks.clear();
  unicode_words = walk.unicode;
  line_labels = LineLabels{};
  if (word_slots.size() == 0) grow_word_slots();
  if (walk.visit == nullptr) {
    // A rough first guess (one token per five bytes) saves most regrowth.
    toks.reserve(static_cast<size_t>(data_len) / 5 + 16);
  } else {
    toks.reserve(kWalkCapacity);
  }
  scan(walk);
  if (walk.unicode && !toks.empty()) push_edges(walk, true);
}

void Input::index(TextMode mode) { run_walk(Walk{nullptr, nullptr, false, mode == TextMode::unicode}); }

void Input::index_bytewise(TextMode mode) { run_walk(Walk{nullptr, nullptr, true, mode == TextMode::unicode}); }

void Input::walk(SiteVisitor visit, void *context, TextMode mode) {
  run_walk(Walk{visit, context, false, mode == TextMode::unicode});
}

void Input::walk_bytewise(SiteVisitor visit, void *context, TextMode mode) {
  run_walk(Walk{visit, context, true, mode == TextMode::unicode});
}

bool Input::list_marker_at(const Token *window) const {
  const Token &a = window[3], &b = window[4];
  if (window[2].edge || a.edge || b.edge || !a.space_before) return false;
  const char *s = data + a.start;
  // A bullet: "*" (what the Unicode bullets read as) anywhere, a hyphen only
  // at the start of a line, since " - " inside a line is mostly a dash.  A
  // bullet stands alone: "*" that opens a word is emphasis ("a *real*
  // drill"), "-" a sign ("-5 degrees").
  if (a.punct) return a.len == 1 && a.space_after && (s[0] == '*' || (s[0] == '-' && window[2].boundary));
  if (a.space_after || !b.punct || !b.space_after) return false;
  const char *t = data + b.start;
  bool closes = (b.len == 1 && (t[0] == '.' || t[0] == ')')) || (b.len == 2 && t[0] == '.' && t[1] == ')');
  return closes && list_label_of(s, a.len).any();
}

ListLabelShape list_label_of(const char *s, int32_t len) {
  ListLabelShape shape;
  if (len < 1 || len > 4) return shape;
  bool digits = len <= 3;
  int value = 0;
  for (int32_t i = 0; i < len && digits; i++) {
    digits = s[i] >= '0' && s[i] <= '9';
    value = value * 10 + (s[i] - '0');
  }
  if (digits) {
    shape.number = value;
    return shape;
  }
  if (len == 1) {
    if (s[0] < 'a' || s[0] > 'z') return shape;
    shape.letter = s[0] - 'a';
  }
  // Roman numerals up to xxxix in one case ("iv", "XII"); a lone capital
  // never gets this far.
  char low[5] = {};
  bool upper = s[0] >= 'A' && s[0] <= 'Z';
  for (int32_t i = 0; i < len; i++) {
    char c = s[i];
    if ((c >= 'A' && c <= 'Z') != upper) return shape;
    low[i] = static_cast<char>(c | 0x20);
  }
  std::string_view rest(low, static_cast<size_t>(len));
  int tens = 0;
  while (!rest.empty() && rest.front() == 'x') {
    rest.remove_prefix(1);
    tens++;
  }
  static constexpr std::string_view kUnits[] = {"", "i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix"};
  for (int unit = 0; unit < 10; unit++) {
    if (rest == kUnits[unit]) {
      shape.roman = tens * 10 + unit;
      shape.upper = upper;
    }
  }
  return shape;
}

void Input::map(bool sentence_lines_) {
  sentence_lines = sentence_lines_;
  if (orig_data != nullptr || !needs_mapping(data, static_cast<size_t>(data_len))) return;
  // The mapping never lengthens the text, so a buffer of the input's size
  // holds it.
  char *mapped = static_cast<char *>(xrealloc(nullptr, static_cast<size_t>(data_len) + kDataPadding));
  size_t n = map_unicode(data, static_cast<size_t>(data_len), mapped, input_map, sentence_lines);
  std::memset(mapped + n, 0, kDataPadding);
  orig_data = data;
  orig_len = data_len;
  data = mapped;
  data_len = static_cast<int32_t>(n);
  data_cap = n;
}

int32_t Input::original_text_start() const {
  return orig_data != nullptr && orig_len >= 3 && std::memcmp(orig_data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

int32_t Input::original_start(int32_t mapped) const {
  return orig_data != nullptr ? input_map.start(mapped) : mapped;
}

int32_t Input::original_end(int32_t mapped) const {
  return orig_data != nullptr && mapped > 0 ? input_map.end(mapped) : mapped;
}

int32_t Input::next_token_start(int32_t pos) const {
  while (pos < data_len && is_separator_byte(static_cast<unsigned char>(data[pos]))) pos++;
  return pos;
}

size_t Input::longest_word_probe() const {
  size_t longest = 0;
  for (size_t s = 0; s < word_slots.size(); s++) {
    const WordSlot &slot = word_slots[s];
    if (slot.index != 0)
      longest = std::max(longest, ((s - (key_of(words[slot.index - 1]).hash & word_mask)) & word_mask) + 1);
  }
  return longest;
}
