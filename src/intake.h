// Text intake and tokens: the whole input in one buffer, cut into tokens.
//
// A token is a maximal run of one character class (punctuation or not) inside
// a whitespace-delimited word, so "(Stop.)" yields "(", "Stop" and ".)".
// Every token with the same bytes and the same word position (first run of its
// word, last run of its word) forms the same feature names, so tokens are
// interned as `Word` records: a token is just its offset, its word and two
// flags, its text is its bytes in `data`, and per-word work is done once.
#ifndef FULLSTOP_INTAKE_H
#define FULLSTOP_INTAKE_H

#include <cstdint>
#include <string_view>

#include "util.h"

// Window positions 0..4 times the four feature templates.
inline constexpr int kWindow = 5;
inline constexpr int kTemplates = 4;

// One distinct (text, space_before, space_after) combination.
struct Word {
  int32_t start;  // offset of the first occurrence in `data`
  int32_t len;
  uint64_t prefix;  // the first (up to) eight bytes, zero-padded: a fast equality test
  uint32_t hash;
  uint8_t is_punct;      // a punctuation run
  uint8_t is_upper;      // first byte is A-Z
  uint8_t space_before;  // first run of its whitespace-delimited word
  uint8_t space_after;   // last run of its whitespace-delimited word
  char stem[4];          // first three bytes, A-Z lowered, NUL-terminated
  // Feature ids this word forms at each window position, by template, or -1
  // when not yet looked up (see do_features).
  int32_t ids[kWindow * kTemplates];
  // Per window position, valid while ids[position * kTemplates] is: a bit
  // per template whose feature has a non-zero weight, and the sum and the sum
  // of magnitudes of those weights (see score_window).
  uint8_t weighted[kWindow];
  double weight_sum[kWindow];
  double weight_abs[kWindow];
};

// The input buffer: every byte of standard input, NULs included.  Offsets
// everywhere are offsets into it.  At least kDataPadding zero bytes follow the
// last byte, so word-sized loads near the end stay inside the block.
inline constexpr size_t kDataPadding = 8;
extern char *data;
extern int32_t data_len;

extern PodArray<Word> words;

struct Token {
  int32_t start;
  uint32_t word : 29;
  uint32_t punct : 1;       // copy of the word's is_punct, read by every candidate walk
  uint32_t boundary : 1;    // last token of an input line
  uint32_t para_break : 1;  // a blank line followed its line

  const Word &w() const { return words[word]; }
  int32_t end() const { return start + w().len; }
  std::string_view text() const { return {data + start, static_cast<size_t>(w().len)}; }
  std::string_view stem() const { return w().stem; }
  bool is_punct() const { return punct; }
  bool is_upper() const { return w().is_upper; }
  bool space_before() const { return w().space_before; }
  bool space_after() const { return w().space_after; }
};
static_assert(sizeof(Token) == 8);

extern PodArray<Token> toks;

// Reads all of file descriptor fd into `data`.  Input that would pass the
// range of 32-bit offsets ends the run before any output.
void read_input(int fd);
// Sets `data` to a copy of text (tests and tools that do not read a stream).
void set_input(std::string_view text);
// Cuts `data` into lines and tokens: line ends set `boundary`, blank lines set
// `para_break` on the last token so far.
void index_input();
// Splits the line [begin, end) of `data` (leading spaces and tabs already
// skipped; data[end] is its newline or the end of the input) into words at
// separators, each word into class runs with a token for each, then marks
// the line end.
void tokenize(int32_t begin, int32_t end);
// Appends a token for the run [start, start + len) of `data`.
void add_token(int32_t start, int32_t len, bool punct, bool space_before, bool space_after);
void mark_boundary();

// Forgets all input, tokens and words.
void reset_intake();

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
