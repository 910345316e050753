// Text intake and tokens: the whole input in one buffer, cut into tokens.
//
// A token is a maximal run of one character class (punctuation or not) inside
// a whitespace-delimited word, so "(Stop.)" yields "(", "Stop" and ".)".
// Every token with the same bytes and the same word position (first run of its
// word, last run of its word) forms the same feature names, so tokens are
// interned as `Word` records: a token is its offset and length, its word and
// a few flags, its text is its bytes in the input, and per-word work is done once.
#ifndef FULLSTOP_INTAKE_H
#define FULLSTOP_INTAKE_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "unicode.h"
#include "util.h"

// Window positions 0..4 times the four feature templates.
inline constexpr int kWindow = 5;
inline constexpr int kTemplates = 4;

// One distinct (text, space_before, space_after) combination.
struct Word {
  int32_t start;  // offset of its bytes in the input's `word_bytes`
  int32_t len;
  uint8_t is_punct;      // a punctuation run
  uint8_t is_upper;      // first byte is A-Z
  uint8_t space_before;  // first run of its whitespace-delimited word
  uint8_t space_after;   // last run of its whitespace-delimited word
  uint8_t is_edge;       // a text-edge marker of the Unicode mode
  uint8_t number;        // the Unicode mode's type value of a number or an initial (shape_type), else 0
  uint8_t list_label;    // a list label in list position (Unicode mode; see Token::list_label)
  char stem[4];          // first three bytes, A-Z lowered, NUL-terminated
};

// The input buffer holds every byte of the input, NULs included; offsets
// everywhere are offsets into it.  A buffer the input owns has at least
// kDataPadding zero bytes after the last byte, so that printing sentence text
// may load 16 bytes at a time up to the end.  The tokenizer itself never
// reads past the last byte (a borrowed text has no padding; see borrow()).
inline constexpr size_t kDataPadding = 64;

// The text of the Unicode mode's edge markers, "<s>" (three bytes) before a
// paragraph and "</s>" (four) after one, zero-padded for 8-byte loads.  No
// input forms these tokens ("<", "s" and ">" are runs of two classes).
alignas(8) inline constexpr char kEdgeMarkers[2][16] = {"<s>", "</s>"};
inline const char *edge_marker_text(int32_t len) { return kEdgeMarkers[len == 4]; }
// The line-break markers (see Input::walk): "<nl>" after a line of
// kShortLine bytes or more, "<nl-short>" after a shorter one.  A marker
// stands where the token before the break ends and takes no bytes of the
// text: an edge token of length 0, whose text is its word's.
alignas(8) inline constexpr char kLineBreakMarkers[2][16] = {"<nl>", "<nl-short>"};
inline constexpr int32_t kShortLine = 40;
// A comma ends a greeting or sign-off line ("Hi Anna,", "Best regards,")
// when its line is shorter than this (see Input::comma_line_breaks): a
// hard-wrapped line is cut only where the next word would pass the width,
// so it is this short only before a word of 15 bytes or more.
inline constexpr int32_t kGreetingLine = 25;

inline constexpr uint32_t kNoWord = 0xFFFFFFFFu;

struct Input;

// Whether the block scanner can classify with AVX2 here (an x86-64 build by
// GCC or Clang, on a processor that has it; see Input::wide_blocks).
bool wide_blocks_supported();

struct Token {
  int32_t start;
  int32_t len;
  uint32_t word;  // index in the input's `words`, or kNoWord until the token is interned
  uint8_t punct : 1;         // a punctuation run
  uint8_t space_before : 1;  // first run of its whitespace-delimited word
  uint8_t space_after : 1;   // last run of its whitespace-delimited word
  uint8_t boundary : 1;      // last token of an input line
  uint8_t para_break : 1;    // a blank line followed its line
  uint8_t edge : 1;          // a marker before or after a paragraph (Unicode mode)
  // A list label in list position (Unicode mode): a token of list-label shape
  // (see list_label_of), directly followed by ".", ")" or ".)" and then by
  // more of its line, that opens its line, follows ":" or a bullet, or
  // continues the sequence of a label earlier on its line ("1." ... "2.").
  // Such a token interns as a word of its own, which forms type value 6.
  uint8_t list_label : 1;
  // The token may open a list item's marker (Unicode mode; always 0 in the
  // classic mode): a one-byte "*" or "-" that a space precedes, or a word of
  // list-label shape (list_label_of) that a space precedes and ".", ")" or
  // ".)" ending its word follows.  A necessary condition of list_marker_at's
  // (the token as window[3]), tested once when the token is made, so that
  // the walk asks it of most windows with one bit.
  uint8_t marker : 1;

  inline const Word &w(const Input &in) const;
  int32_t end() const { return start + len; }
  inline std::string_view text(const Input &in) const;
  std::string_view stem(const Input &in) const { return w(in).stem; }
  bool is_punct() const { return punct; }
  bool is_upper(const Input &in) const { return w(in).is_upper; }
};
static_assert(sizeof(Token) == 16);

// A token's flags as one byte, for the scanner's per-token tests: a few
// masks on one load instead of a load, shift and mask per bit-field.  The
// bits are the bit-fields' in declaration order, as the x86-64 and AArch64
// ABIs lay them out (Tokenizer.FlagsByteIsTheBitFields checks each; not a
// static_assert, since not every compiler evaluates a bit_cast of
// bit-fields at compile time).
namespace token_flag {
inline constexpr uint8_t punct = 1, space_before = 2, space_after = 4, boundary = 8,
                         para_break = 16, edge = 32, list_label = 64, marker = 128;
}
// Token's layout without bit-fields.
struct TokenBytes {
  int32_t start;
  int32_t len;
  uint32_t word;
  uint8_t flags;
};
static_assert(sizeof(TokenBytes) == sizeof(Token));
// (The byte read in place: a bit_cast of the whole token may go through a
// copy on the stack.)
inline uint8_t flags_of(const Token &t) {
  uint8_t flags;
  std::memcpy(&flags, reinterpret_cast<const unsigned char *>(&t) + offsetof(TokenBytes, flags), 1);
  return flags;
}
inline Token token_of(int32_t start, int32_t len, uint8_t flags, uint32_t word = kNoWord) {
  return std::bit_cast<Token>(TokenBytes{start, len, word, flags});
}

// Called with the five tokens i-2 .. i+2 around each token i (i >= 2) that is
// punctuation or followed by a blank line, in token order, as soon as token
// i+2 exists.  The five tokens are interned; window[2] is token i.  In the
// Unicode mode also at line breaks and before list markers (see walk).
using SiteVisitor = void (*)(const Token *window, void *context);

// Everything one run knows about its input: the bytes, the Unicode mode's
// mapping, the interned words and the tokens.  A run owns one; nothing here
// is shared between runs, so runs on different threads never meet.
struct Input {
  Input() = default;
  Input(const Input &) = delete;
  Input &operator=(const Input &) = delete;
  ~Input() { reset(); }

  char *data = nullptr;
  int32_t data_len = 0;
  PodArray<Word> words;
  // The tokens: all of them after index(); during walk() only the most
  // recent few.
  PodArray<Token> toks;

  // Reads all of file descriptor fd.  Input that would pass the range of
  // 32-bit offsets fails (Error) before any output.
  void read(int fd);
  // Takes a copy of text (callers that do not read a stream).
  void set(std::string_view text);
  // Reads text where it is, without a copy: the caller keeps it unchanged
  // until the input is reset or dropped.  Nothing writes to it, and nothing
  // here reads past its last byte: the block scanner classifies the last,
  // partial block from a padded copy, and interning copies the few tokens
  // near the end (see intern_token).  Only runs that collect spans or counts
  // may read a borrowed text: printing sentence text relies on the padding.
  // In the Unicode mode, map() still builds its mapped (owned, padded) copy
  // when the text holds anything to map.
  void borrow(std::string_view text);
  // Takes a copy of text in place of the current text, keeping the words
  // (a stream's next window: word indices stay valid for the run's caches).
  void replace_text(std::string_view text);
  // Reads text in place, as borrow() does, in place of the current text,
  // keeping the words: a stream's next window without a copy, for runs that
  // print no sentence text (see borrow()).
  void borrow_window(std::string_view text);

  // Cuts all of `data` into lines and tokens, kept in `toks` and interned: line
  // ends set `boundary`, blank lines set `para_break` on the last token so far.
  void index(TextMode mode = TextMode::classic);
  // index() by the plain byte-at-a-time line scanner, which the fast scanner
  // must always agree with (kept for tests and for targets without SSE2).
  void index_bytewise(TextMode mode = TextMode::classic);

  // Tokenizes all of `data` as index() does, but keeps only the last few
  // tokens and interns only those that stand in a visited window: one pass, and
  // memory that does not grow with the input.
  //
  // In the Unicode mode, every paragraph is padded with two edge markers on
  // each side (tokens whose text, "<s>" before and "</s>" after, no input can
  // form), so its first and last two tokens have full windows; and a token is
  // also visited when the two after it look like a list item's marker (see
  // list_marker_at).
  //
  // A line break inside a paragraph after a token that is no candidate
  // already (see line_break_after) is visited as a candidate of its own:
  // the window is the two tokens before the break, a line-break marker
  // (kLineBreakMarkers: the site, standing at the end of the line's last
  // token, with that token's `boundary`) and the two tokens after.  The tokens keep their
  // positions' meaning (before a mark, after it), so the model reads a
  // heading's line end ("Weather Outlook" <nl> "Sunny and") much as a
  // sentence mark, and learns from hard-wrapped text that most line ends
  // are none.  The windows of other candidates never hold the marker.
  void walk(SiteVisitor visit, void *context, TextMode mode = TextMode::classic);
  // Whether a Unicode walk visits line breaks (see above): always in
  // training; in detection only for a model that knows them (see
  // reads_line_breaks in feature.h).
  bool line_break_sites = true;
  // A colon (a punctuation token ending in ":") that ends a short line (see
  // short_line_before) inside its paragraph ("Method:" before "1. mix" on
  // the next line) is decided by its own window and that break's together:
  // the colon's window never sees the break, and the break's window (marker
  // after the colon) says what an intro line's colon means before a list or
  // a line of text.  Only colons, and only at short lines' ends: a period,
  // comma or question mark means much the same at a line end, and a colon
  // at the end of a hard-wrapped line goes on as elsewhere; the few marks at
  // line ends in training taught the break's names to split such prose
  // (`yelled:` before a quotation on the next line, `S.` before `Dearborn`).
  // While such a colon is visited, `break_window` holds the break's five
  // tokens (see visit_line_break for their order); otherwise it is null.
  // Always in training; in detection only for a model that learnt it (see
  // reads_mark_line_breaks in feature.h).  Needs line_break_sites.
  bool mark_line_breaks = true;
  // A comma that ends a line shorter than kGreetingLine bytes inside its
  // paragraph ("Hi Anna," or "Best regards," before the next line) is
  // decided the same way: the break tells the greeting and the sign-off on
  // lines of their own from "Hi Anna, thanks" and "Thanks, Tom" inside a
  // line, which its window reads alike.  Always in training; in detection
  // only for a model that learnt it (see reads_comma_line_breaks in
  // feature.h).  Needs mark_line_breaks.
  bool comma_line_breaks = true;
  const Token *break_window = nullptr;
  // Whether a Unicode walk types one capital letter as an initial (7, see
  // shape_type): always in training; in detection only for a model that
  // learnt the type (see reads_initials in feature.h).  Set before the
  // first walk: words keep the type they were interned with.
  bool typed_initials = true;
  // The block scanner classifies its 64-byte blocks with AVX2 where the
  // processor has it, else with SSE2; the two agree on every byte (the
  // scanner tests set this to run both).
  bool wide_blocks = wide_blocks_supported();
  // walk() by the plain byte-at-a-time scanner (see index_bytewise).
  void walk_bytewise(SiteVisitor visit, void *context, TextMode mode = TextMode::classic);

  // True when window[3] and window[4], the two tokens after window[2], open a
  // list item: a bullet ("*" as a word of its own, as Unicode bullets read,
  // or "-" alone starting the line after window[2]'s), or a token of list-label shape
  // (list_label_of) directly followed by ".", ")" or ".)" that ends its word.  The token before such a
  // marker is a candidate in the Unicode mode, so the model learns from its
  // features whether an item begins there; nothing forces the decision.
  bool list_marker_at(const Token *window) const;

  // --- The Unicode mode's input mapping -------------------------------------
  // Maps `data` onto the ASCII feature space (see unicode.h) when it holds
  // anything to map; the original bytes stay available for output.
  // `sentence_lines`: the input holds one sentence per line (training and
  // evaluation), so a line break of the text is written as U+2028 (see
  // map_unicode).
  void map(bool sentence_lines = false);
  // The original input (what map() was given; `data` when nothing was
  // mapped or in the classic mode) and its length.
  const char *original_data() const { return orig_data != nullptr ? orig_data : data; }
  int32_t original_len() const { return orig_data != nullptr ? orig_len : data_len; }
  // Where the text of the original input begins: after a UTF-8 byte order
  // mark, if it starts with one (Unicode mode), else 0.
  int32_t original_text_start() const;
  // Original offsets of a mapped token start and a mapped token end.
  int32_t original_start(int32_t mapped) const;
  int32_t original_end(int32_t mapped) const;
  // The offset of the first byte at or after pos that is no separator, or
  // data_len: where the token after pos begins.
  int32_t next_token_start(int32_t pos) const;

  // Marks the last token so far as the end of its line.
  void mark_boundary() {
    if (!toks.empty()) toks.back().boundary = 1;
  }

  // The bytes of a word.
  std::string_view word_text(uint32_t word) const {
    return std::string_view(word_bytes).substr(static_cast<size_t>(words[word].start),
                                               static_cast<size_t>(words[word].len));
  }

  // The most slots a lookup in the word index visits now (tests bound it).
  size_t longest_word_probe() const;

  // Forgets all input, tokens and words.
  // Frees the input and its mapping, keeping the words.
  void drop_text();
  void reset();

 private:
  // A slot holds the whole key of a word of up to eight bytes (its prefix,
  // length and flags), so that looking up such a token, nearly every token,
  // reads one 16-byte slot and never the Word record: on text whose word
  // table lies outside the nearest caches, each line touched is a stall.
  //
  // A longer word's slot holds, in place of its prefix, 24 bits of its
  // key's hash and the offset of its bytes in `word_bytes` (slot_head in
  // intake.cpp): a lookup that meets another long word's slot tells them
  // apart by the hash without reading anything else, and a match compares
  // the bytes at that offset, one line, without first reading the Word
  // record for where they are.
  struct WordSlot {
    uint64_t head;       // the first (up to) eight bytes, zero-padded; see above for long words
    uint32_t len_flags;  // length and flags (len_flags_of in intake.cpp)
    uint32_t index;      // word index + 1; 0 = empty
  };
  struct Walk;

  size_t data_cap = 0;  // usable bytes in `data`, padding not counted
  // The original text is the caller's (borrow()): never freed, grown or
  // written here.
  bool borrowed = false;
  // A token among the last bytes of the text, copied with zeros after it for
  // interning's 8-byte loads (see tail_bytes).
  std::string tail_copy;
  // The Unicode mode's input: the original bytes when `data` holds their
  // mapping (else null), and the map between the two.
  char *orig_data = nullptr;
  int32_t orig_len = 0;
  OffsetMap input_map;
  // Words are read as Unicode text (any script's capitals count) in a walk of
  // the Unicode mode.
  bool unicode_words = false;
  // The list labels seen so far on the current line (Unicode mode), so that
  // "2." after "1." on one line is known as the next item's label.  One bit
  // per closer ('.', ')', ".)") and label value (see label_bit); cleared at
  // every line start, so that a window that begins at a line start (a
  // stream's) sees what a reading of the whole text sees.
  struct LineLabels {
    static constexpr int kBits = 1000 + 26 + 40 + 40;
    static constexpr int kWords = (kBits + 63) / 64;
    uint64_t seen[3][kWords];
    bool any;
  };
  LineLabels line_labels{};
  // Open-addressing index from (bytes, space_before, space_after) to a Word.
  // A slot is the word's first eight bytes, its length and flags and its
  // index: sixteen bytes, at most half of them in use (three quarters in an
  // index past 1 MiB; see add_word).  Only a word longer than eight bytes
  // whose slot matches has its bytes compared (in `word_bytes`).
  PodArray<WordSlot> word_slots;
  size_t word_mask = 0;
  // The bytes of every word, so that a word outlives the text it came from,
  // and eight zero bytes after the last (see long_word_is).
  std::string word_bytes;
  // A word of 2^25 bytes or more is in the index: len_flags no longer tells
  // lengths apart (see long_word_is).
  bool huge_words = false;
  // The words of the edge markers "<s>" and "</s>" and of the line-break
  // marker once interned, else kNoWord.
  uint32_t edge_words[2] = {kNoWord, kNoWord};
  uint32_t line_break_words[2] = {kNoWord, kNoWord};  // "<nl>", "<nl-short>"
  // The input holds one sentence per line (see map()): its line ends are
  // sentence ends, and a line break of the text is a NUL that U+2028 mapped to.
  bool sentence_lines = false;
  // The words of one-byte punctuation tokens met so far, plus one (0: not
  // yet), by their space_before and space_after flags and their byte: what
  // nearly every site's token is, found without a lookup (see intern_window).
  uint32_t punct_words[4][128] = {};

  void reserve_data(size_t cap);
  void grow_word_slots();
  bool long_word_is(const WordSlot &slot, const char *bytes, int32_t len) const;
  uint32_t add_word(int32_t start, const char *bytes, int32_t len, bool punct, uint64_t prefix,
                    uint32_t h, uint32_t len_flags);
  struct WordKey {
    uint64_t prefix;
    uint32_t len_flags;
    uint32_t hash;
  };
  static inline WordKey word_key(const char *bytes, int32_t len, uint8_t flags);
  WordKey key_of(const Word &w) const;
  static inline uint64_t slot_head(const WordKey &key, int32_t len, int32_t bytes_at);
  inline uint32_t find_word(int32_t start, const char *bytes, int32_t len, bool punct,
                            const WordKey &key);
  const char *tail_bytes(const Token &t);
  inline void intern_token(Token &t);
  inline void intern_at(Token &t, const char *bytes);
  inline void intern_window(Token *window);
  // kVisit and kUnicode are walk.visit != nullptr and walk.unicode, fixed
  // at compile time for the block scanner's loop (see scan_blocks).
  template <bool kVisit, bool kUnicode>
  inline void push_token(const Walk &walk, const Token &tok, uint8_t site_flags);
  struct LabelReading {
    bool shape, position;
  };
  LabelReading label_in_list_position(int32_t start, int32_t len);
  void push_edges(const Walk &walk, bool after);
  inline bool line_break_after(const Token *window) const;
  bool short_line_before(int32_t end, int32_t limit = kShortLine) const;
  inline bool mark_at_line_break(const Token *window) const;
  void visit_line_break(const Walk &walk, Token *window);
  void visit_mark_at_line_break(const Walk &walk, Token *window);
  Token line_break_marker(const Token *window);
  template <bool kVisit, bool kUnicode>
  inline void add_token(const Walk &walk, int32_t start, int32_t len, uint8_t flags, bool new_paragraph,
                        uint8_t site_flags);
  void tokenize_line(const Walk &walk, int32_t begin, int32_t end);
  void scan_bytewise(const Walk &walk);
  void gap_flags(int32_t from, int32_t to, bool at_end);
  template <bool kVisit, bool kUnicode>
  void scan_blocks_as(const Walk &walk);
  void scan_blocks(const Walk &walk);
  void scan(const Walk &walk);
  void run_walk(const Walk &walk);
};

inline const Word &Token::w(const Input &in) const { return in.words[word]; }
inline std::string_view Token::text(const Input &in) const {
  if (edge) return len != 0 ? std::string_view(edge_marker_text(len), static_cast<size_t>(len)) : in.word_text(word);
  return {in.data + start, static_cast<size_t>(len)};
}

// The type value the Unicode mode gives a token of `len` bytes that are all
// ASCII digits: 4 for up to three digits (the size of list numbers, counts,
// days and hours), 5 for longer ones (years, amounts); 0 for any other token.
// The classic mode reads numbers as ordinary words (type 0), so there every
// list number, "2" or "14", is learnt on its own; a type of their own lets a
// model generalise over them.
inline uint8_t number_type(const char *bytes, int32_t len) {
  for (int32_t i = 0; i < len; i++)
    if (bytes[i] < '0' || bytes[i] > '9') return 0;
  return len <= 3 ? 4 : 5;
}

// The type value the Unicode mode gives a word by its shape: a number's
// (number_type), or with `initials` 7 for one capital ASCII letter that ends
// no word (a mark follows it): an initial ("J." of "J. F. Kennedy", "A.B."
// of "A.B. Carver") or a letter of an initialism ("U.S."), which otherwise
// types as any capitalised word (1) and leaves each letter's own weights (a
// "Q." met a few times) to tell a name's initial from the end of "in the
// U.S.".  Not "I", the pronoun far more often ("I'm", "I."); a word's type
// depends on its key only (text and spacing), as its other names do.
inline uint8_t shape_type(const char *bytes, int32_t len, bool space_after, bool initials) {
  if (initials && len == 1 && bytes[0] >= 'A' && bytes[0] <= 'Z' && bytes[0] != 'I' && !space_after) return 7;
  return number_type(bytes, len);
}

// What a token of list-label shape is: one to three ASCII digits (`number`
// 0..999), one lower-case letter (`letter` 0..25), or a roman numeral up to
// xxxix in one case, of two letters or more in upper case (`roman` 1..39,
// `upper`); "i", "v" and "x" are both letters and numerals.  A capital letter
// alone is far more often an initial ("John F. Kennedy") than a label, and
// words such as "mix" or "did" spelt with a numeral's letters are no numerals.
struct ListLabelShape {
  int number = -1, letter = -1, roman = -1;
  bool upper = false;
  bool any() const { return number >= 0 || letter >= 0 || roman >= 0; }
};
ListLabelShape list_label_of(const char *bytes, int32_t len);

// Whether a line begins in text[from, at) (see Input::short_line_before):
// after a line end, or where lines are sentences after U+2028, U+2029 or a
// blank line.  The plain loop is the reference the 16-byte scan must agree
// with.
bool line_begins_within(const char *text, int32_t from, int32_t at, bool sentence_lines);
bool line_begins_within_bytewise(const char *text, int32_t from, int32_t at, bool sentence_lines);

// Character classes of the C locale, whatever the process locale is.  Bytes
// 0x80 to 0xFF are word characters, never upper case.
inline constexpr bool is_punct_byte(unsigned char c) {
  return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) ||
         (c >= 123 && c <= 126);
}
inline bool is_upper_byte(unsigned char c) { return c >= 'A' && c <= 'Z'; }
// Word separators: space, tab, newline, and NUL (a NUL never joins a word).
inline constexpr bool is_separator_byte(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\0';
}

#endif  // FULLSTOP_INTAKE_H
