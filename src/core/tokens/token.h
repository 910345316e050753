// Tokens and words.
//
// A token is a maximal run of one character class (punctuation or not) inside
// a whitespace-delimited word, so "(Stop.)" yields "(", "Stop" and ".)".
// Every token with the same bytes and the same word position (first run of its
// word, last run of its word) forms the same feature names, so tokens are
// interned as `Word` records (see lexicon.h): a token is its offset and
// length, its word and a few flags, its text is its bytes in the text, and
// per-word work is done once.
#ifndef FULLSTOP_CORE_TOKENS_TOKEN_H
#define FULLSTOP_CORE_TOKENS_TOKEN_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/text/block_classify.h"

namespace fullstop::core {

class Tokenizer;

// The tokens of a candidate's window: two before it, the candidate, two after.
inline constexpr int kWindow = 5;

// One distinct (text, space_before, space_after) combination.
struct Word {
  int32_t start;  // offset of its bytes in the lexicon's bytes
  int32_t len;
  uint8_t is_punct;      // a punctuation run
  uint8_t is_upper;      // it starts with a capital (A-Z; in the Unicode mode of any script)
  uint8_t space_before;  // first run of its whitespace-delimited word
  uint8_t space_after;   // last run of its whitespace-delimited word
  uint8_t is_edge;       // a marker of the Unicode mode (a paragraph's edge or a line break)
  uint8_t number;        // the Unicode mode's type of a number or an initial (word_shape_type), else 0
  uint8_t list_label;    // a list label in list position (Unicode mode; see Token::list_label)
  char stem[4];          // first three bytes, A-Z lowered, NUL-terminated
};

// The text of the Unicode mode's edge markers, "<s>" (three bytes) before a
// paragraph and "</s>" (four) after one, zero-padded for 8-byte loads.  No
// text forms these tokens ("<", "s" and ">" are runs of two classes).
alignas(8) inline constexpr char kEdgeMarkers[2][16] = {"<s>", "</s>"};
inline const char *edge_marker_text(int32_t len) { return kEdgeMarkers[len == 4]; }
// The line-break markers (see Tokenizer::walk): "<nl>" after a line of
// kShortLine bytes or more, "<nl-short>" after a shorter one.  A marker
// stands where the token before the break ends and takes no bytes of the
// text: an edge token of length 0, whose text is its word's.
alignas(8) inline constexpr char kLineBreakMarkers[2][16] = {"<nl>", "<nl-short>"};
inline constexpr int32_t kShortLine = 40;
// The run-in heading markers (see ReadingRules::run_in_headings): "<hd>"
// after one of a paragraph's first kRunInEarly words, "<hd-late>" after a
// later one of its first kRunInWords (among its first kRunInTokens tokens).
// Like a line break's, a marker stands at the end of the token before it
// and takes no bytes.
alignas(8) inline constexpr char kRunInMarkers[2][16] = {"<hd>", "<hd-late>"};
inline constexpr int32_t kRunInEarly = 3, kRunInWords = 16, kRunInTokens = 48;
// A comma ends a greeting or sign-off line ("Hi Anna,", "Best regards,")
// when its line is shorter than this (see ReadingRules::comma_breaks): a
// hard-wrapped line is cut only where the next word would pass the width,
// so it is this short only before a word of 15 bytes or more.
inline constexpr int32_t kGreetingLine = 25;

inline constexpr uint32_t kNoWord = 0xFFFFFFFFu;

struct Token {
  int32_t start;
  int32_t len;
  uint32_t word;  // index in the lexicon's `words`, or kNoWord until the token is interned
  uint8_t punct : 1;         // a punctuation run
  uint8_t space_before : 1;  // first run of its whitespace-delimited word
  uint8_t space_after : 1;   // last run of its whitespace-delimited word
  uint8_t boundary : 1;      // last token of a line of the text
  uint8_t para_break : 1;    // a blank line followed its line
  uint8_t edge : 1;          // a marker before or after a paragraph, or of a line break (Unicode mode)
  // A list label in list position (Unicode mode): a token of list-label shape
  // (see list_label_of), directly followed by ".", ")" or ".)" and then by
  // more of its line, that opens its line, follows ":" or a bullet, or
  // continues the sequence of a label earlier on its line ("1." ... "2.").
  // Such a token interns as a word of its own, which forms type value 6.
  uint8_t list_label : 1;
  // The token may open a list item's marker (Unicode mode; always 0 in the
  // classic mode): a one-byte "*" or "-" that a space precedes, or a word of
  // list-label shape (list_label_of) that a space precedes and ".", ")" or
  // ".)" ending its word follows (with labels in position, only a label in
  // list position: see ReadingRules).  A necessary condition of list_marker_at's
  // (the token as window[3]), tested once when the token is made, so that
  // the walk asks it of most windows with one bit.
  uint8_t marker : 1;

  inline const Word &w(const Tokenizer &in) const;
  int32_t end() const { return start + len; }
  inline std::string_view text(const Tokenizer &in) const;
  inline std::string_view stem(const Tokenizer &in) const;
  bool is_punct() const { return punct; }
  inline bool is_upper(const Tokenizer &in) const;
};
static_assert(sizeof(Token) == 16);

// A token's flags as one byte, for the scanner's per-token tests: a few
// masks on one load instead of a load, shift and mask per bit-field.  The
// bits are the bit-fields' in declaration order, as the x86-64 and AArch64
// ABIs lay them out (Tokenizer.FlagsByteIsTheBitFields checks each; not a
// static_assert, since not every compiler evaluates a bit_cast of
// bit-fields at compile time).
namespace token_flag {
inline constexpr uint8_t punct = 1, space_before = 2, space_after = 4, boundary = 8, para_break = 16, edge = 32,
                         list_label = 64, marker = 128;
}
// The block classifier hands out these bits of a token's flags.
static_assert(token_flag::punct == block_flag::punct && token_flag::space_before == block_flag::space_before &&
              token_flag::space_after == block_flag::space_after && token_flag::marker == block_flag::marker);

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

// Called with the five tokens i-2 .. i+2 around each candidate token i
// (i >= 2), in token order, as soon as token i+2 exists.  The five tokens
// are interned; window[2] is token i.  See Tokenizer::walk for the
// candidates.
using SiteVisitor = void (*)(const Token *window, void *context);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_TOKEN_H
