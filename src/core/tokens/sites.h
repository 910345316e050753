// Candidate sites: where the walk asks for a decision, driven by the text
// mode and the model's reading rules.
//
// In both modes a candidate is a punctuation token, or a token that a blank
// line follows (detection).  In the Unicode mode also, with the rules that
// ask for them, the token before a list item's marker (list_labels) and a
// line break inside a paragraph after a token that is no candidate already
// (line_breaks: a site of its own, whose window holds a line-break marker;
// see Tokenizer::walk).
#ifndef FULLSTOP_CORE_TOKENS_SITES_H
#define FULLSTOP_CORE_TOKENS_SITES_H

#include <cstdint>
#include <cstring>

#include "core/text/text_buffer.h"
#include "core/tokens/reading_rules.h"
#include "core/tokens/token.h"

namespace fullstop::core {

// The flags that make a token worth a closer look in a walk (see
// Tokenizer::push_token): punctuation and paragraph ends; in the Unicode
// mode with line breaks, a line end too (where lines are sentences, a line
// break is a NUL after any token that ends its word: every token with a
// flag, which is every token that ends a word, is looked at).
inline uint8_t site_flags(bool unicode, const ReadingRules &rules, bool sentence_lines) {
  const bool breaks = unicode && rules.line_breaks;
  return breaks && sentence_lines ? 0xFF
                                  : token_flag::punct | token_flag::para_break | (breaks ? token_flag::boundary : 0);
}

// True when window[3] and window[4], the two tokens after window[2], open a
// list item: a bullet ("*" as a word of its own, as Unicode bullets read, or
// "-" alone starting the line after window[2]'s), or a token of list-label
// shape (list_label_of) directly followed by ".", ")" or ".)" that ends its
// word.  The token before such a marker is a candidate in the Unicode mode
// with list labels, so the model learns from its features whether an item
// begins there; nothing forces the decision.
bool list_marker_at(const Token *window, const char *text, bool roman_numerals);

// Whether the text breaks its line after window[2], inside its paragraph
// (asked of tokens that are no candidate otherwise).  In running text that
// is a line end after the token that no blank line follows; where lines are
// sentences (see TextBuffer::map), a NUL between the token and the next,
// which is what U+2028 maps to there.  Nearly every gap between tokens is
// one byte, read without a call.
[[gnu::always_inline]] inline bool line_break_after(const Token *window, const char *text, bool line_breaks,
                                                    bool sentence_lines) {
  const Token &t = window[2], &next = window[3];
  // An edge marker is no token of the text, and one after t ends its paragraph.
  if (!line_breaks || t.edge || next.edge) return false;
  if (!sentence_lines) return (flags_of(t) & token_flag::boundary) != 0;
  const int32_t gap = next.start - t.end();
  if (gap <= 1) return gap == 1 && text[t.end()] == '\0';
  return std::memchr(text + t.end(), '\0', static_cast<size_t>(gap)) != nullptr;
}

// The shapes glued sentences are read in (see ReadingRules::glued_sentences
// and Tokenizer::glued_flags): the word before the mark, the word after it
// and the mark run.
bool glued_left(const char *data, int32_t start, int32_t len);
bool glued_right(const char *data, int32_t data_len, int32_t start);
bool glued_marks(const char *data, int32_t start, int32_t len);

// With run-in headings: whether window[2] has the shape of a run-in
// heading's end: a word that is no short word in lower case ("of", "the"),
// and a word opening with a capital follows it, with more of the paragraph
// after that ("1.2 Scope" alone is a paragraph of its own); with `dates`, a
// date written with slashes may follow instead (see
// ReadingRules::run_in_dates).  Where in its paragraph it stands is the
// walk's to say (see Tokenizer::catch_up_run_in).
bool run_in_shape(const Token *window, const char *text, int32_t text_len, bool dates);

// How much a stream's window or a parallel run's block keeps before its
// first undecided candidate (from a line start on), so that every candidate
// it decides reads as in the whole text: two tokens, its window's; with
// run-in headings, kRunInWords + 1 words.  A window that begins inside a
// paragraph counts that paragraph's words from there (see
// Tokenizer::catch_up_run_in), and a candidate with that many words before it
// is none in either reading.
inline int context_words(const ReadingRules &rules) { return rules.run_in_headings ? kRunInWords + 1 : 0; }

// Whether the text's line that ends at mapped offset `end` (a line break
// follows) is shorter than kShortLine bytes of the original text: a
// heading, a list item, an address line, where a hard-wrapped line is about
// as long as the text's width.  A line begins after a line end (LF, CR,
// NEL, U+2028 or U+2029), or where lines are sentences after a U+2028 or
// U+2029 or a blank line (a line end there ends a sentence, not the text's
// line), or at the start of the text.  A stream's window and a parallel
// run's block begin at a line start, and where lines are sentences they
// keep kShortLine bytes more before their first candidate (see cut_point
// in run/stream.cpp), so the answer never depends on where one begins.
// `limit` shortens the line for a comma's greeting (kGreetingLine).
bool short_line_before(const TextBuffer &text, int32_t end, int32_t limit = kShortLine);

// Whether a line begins in text[from, at) (see short_line_before): after a
// line end, or where lines are sentences after U+2028, U+2029 or a blank
// line.  The plain loop is the reference the 16-byte scan must agree with.
bool line_begins_within(const char *text, int32_t from, int32_t at, bool sentence_lines);
bool line_begins_within_bytewise(const char *text, int32_t from, int32_t at, bool sentence_lines);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_SITES_H
