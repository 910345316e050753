// The tokenizer: a run's text cut into lines and tokens, each token interned
// in the lexicon, and the candidate sites visited as the tokens come.
//
// It owns what one run knows about its text: the bytes (TextBuffer), the
// words (Lexicon) and the tokens.  Nothing here is shared between runs, so
// runs on different threads never meet.
#ifndef FULLSTOP_CORE_TOKENS_TOKENIZER_H
#define FULLSTOP_CORE_TOKENS_TOKENIZER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/base/memory.h"
#include "core/text/block_classify.h"
#include "core/text/byte_class.h"
#include "core/text/text_buffer.h"
#include "core/text/text_mode.h"
#include "core/tokens/code_spans.h"
#include "core/tokens/lexicon.h"
#include "core/tokens/list_labels.h"
#include "core/tokens/reading_rules.h"
#include "core/tokens/sites.h"
#include "core/tokens/token.h"

namespace fullstop::core {

class Tokenizer {
 public:
  TextBuffer text;
  Lexicon lexicon;
  // The tokens: all of them after index(); during walk() only the most
  // recent few.
  PodArray<Token> toks;
  // How the Unicode mode reads (the model's rules; see reading_rules.h).
  // Set before the first walk: words keep the types they were interned with.
  ReadingRules rules;

  // Cuts all of the text into lines and tokens, kept in `toks` and
  // interned: line ends set `boundary`, blank lines set `para_break` on the
  // last token so far.
  void index(TextMode mode = TextMode::classic);
  // index() by the plain byte-at-a-time line scanner, which the block
  // scanner must always agree with (kept for tests).
  void index_bytewise(TextMode mode = TextMode::classic);

  // Tokenizes all of the text as index() does, but keeps only the last few
  // tokens and interns only those that stand in a visited window: one pass,
  // and memory that does not grow with the text.  Visits every candidate
  // (see sites.h).
  //
  // In the Unicode mode with edge markers, every paragraph is padded with
  // two edge markers on each side (tokens whose text, "<s>" before and
  // "</s>" after, no text can form), so its first and last two tokens have
  // full windows.
  //
  // With line breaks, a line break inside a paragraph after a token that is
  // no candidate already (see line_break_after) is visited as a candidate of
  // its own: the window is the two tokens before the break, a line-break
  // marker (kLineBreakMarkers: the site, standing at the end of the line's
  // last token, with that token's `boundary`) and the two tokens after.
  // The tokens keep their positions' meaning (before a mark, after it), so
  // the model reads a heading's line end ("Weather Outlook" <nl> "Sunny and")
  // much as a sentence mark, and learns from hard-wrapped text that most
  // line ends are none.  The windows of other candidates never hold the
  // marker.
  //
  // With code spans (see code_spans.h), no candidate whose boundary would
  // fall inside code is visited, and a fenced block reads as a paragraph of
  // its own: the token before it and its last token are paragraph ends
  // (para_break, so their boundaries are certain), with edge markers
  // between.  The text's code is found before the walk (`code`), so that
  // text without a backtick or a tilde costs one scan for them and the
  // token loop nothing.
  void walk(SiteVisitor visit, void *context, TextMode mode = TextMode::classic);
  // walk() by the plain byte-at-a-time scanner (see index_bytewise).
  void walk_bytewise(SiteVisitor visit, void *context, TextMode mode = TextMode::classic);

  // With colon breaks: a colon (a punctuation token ending in ":") that ends
  // a short line (see short_line_before) inside its paragraph ("Method:"
  // before "1. mix" on the next line) is decided by its own window and that
  // break's together: the colon's window never sees the break, and the
  // break's window (marker after the colon) says what an intro line's colon
  // means before a list or a line of text.  Only colons, and only at short
  // lines' ends: a period, comma or question mark means much the same at a
  // line end, and a colon at the end of a hard-wrapped line goes on as
  // elsewhere; the few marks at line ends in training taught the break's
  // names to split such prose (`yelled:` before a quotation on the next
  // line, `S.` before `Dearborn`).  While such a colon is visited,
  // `break_window` holds the break's five tokens (see visit_line_break for
  // their order); otherwise it is null.
  const Token *break_window = nullptr;

  // The block scanner classifies its 64-byte blocks with AVX2 where the
  // processor has it, else with SSE2; the two agree on every byte (the
  // scanner tests set this to run both).
  bool wide_blocks = wide_blocks_supported();

  // Whether the two tokens after window[2] open a list item (sites.h), as
  // this reading takes them: window[3] kept its marker bit (see add_token).
  bool list_marker_at(const Token *window) const {
    return window[3].marker && core::list_marker_at(window, text.data, rules.roman_numerals);
  }

  // Forgets the text, the words and the tokens.
  void reset();

  // The code of the last walk's text (empty without code spans).
  CodeRegions code;

 private:
  // The tokenizer's state: what to do with each new token.
  struct Walk {
    SiteVisitor visit = nullptr;  // null: keep and intern every token
    void *context = nullptr;
    bool bytewise = false;        // use the plain scanner
    bool unicode = false;         // pad paragraphs, visit line breaks and tokens before list markers
    // Set by run_walk: the flags that make a token worth a closer look (see
    // push_token), and whether a rule makes some punctuation no candidate
    // (see quiet_punct_at).
    uint8_t site_flags = 0;
    bool quiet_punct = false;
  };

  inline void intern_token(Token &t);
  inline void intern_at(Token &t, const char *bytes);
  inline void intern_window(Token *window);
  void forget_words();
  const char *tail_bytes(const Token &t);
  // kVisit and kUnicode are walk.visit != nullptr and walk.unicode, fixed
  // at compile time for the block scanner's loop (see scan_blocks_as).
  template <bool kVisit, bool kUnicode>
  inline void push_token(const Walk &walk, const Token &tok, uint8_t site_flags);
  template <bool kVisit, bool kUnicode>
  inline void add_token(const Walk &walk, int32_t start, int32_t len, uint8_t flags, bool new_paragraph,
                        uint8_t site_flags);
  void push_edges(const Walk &walk, bool after);
  void visit_line_break(const Walk &walk, Token *window);
  bool quiet_punct_at(const Token *window) const;
  uint8_t glued_flags(int32_t start, int32_t len, uint8_t flags) const;
  void visit_mark_at_line_break(const Walk &walk, Token *window);
  bool visit_initialism_run(const Walk &walk, Token *window);
  inline bool mark_at_line_break(const Token *window) const;
  // Set by run_walk: whether a closed-up mark run, and a line's first word
  // after a word joiner, may read glued (see add_token).
  bool glued_closed_ = false, glued_lines_ = false;
  void begin_run_in();
  void end_run_in(const Walk &walk);
  void keep_run_in(const Walk &walk, int32_t gone);
  inline bool count_run_in(int32_t at);
  void catch_up_run_in(const Walk &walk, int32_t end);
  void run_in_here(const Walk &walk, Token *window);
  void visit_run_in(const Walk &walk, Token *window);
  // Whether `next` may open the word after a run-in heading: it may open
  // with a capital, or with `dates` be a date's first digits before a slash
  // (see ReadingRules::run_in_dates; run_in_shape has the last word).
  // By its first byte: kRunInNext[dates] is 0 (no), 1 (yes) or 2 (a digit).
  bool may_follow_run_in(const Token &next, bool dates) const {
    const uint8_t kind = kRunInNext[dates][static_cast<unsigned char>(text.data[next.start])];
    if (kind != 2) return kind != 0;
    return next.len <= 2 && next.end() < text.data_len && text.data[next.end()] == '/';
  }
  static constexpr std::array<std::array<uint8_t, 256>, 2> kRunInNext = [] {
    std::array<std::array<uint8_t, 256>, 2> t{};
    for (int c = 0; c < 256; c++) {
      t[0][c] = t[1][c] = is_upper_byte(static_cast<unsigned char>(c)) || c >= 0x80;
      if (is_digit_byte(static_cast<unsigned char>(c))) t[1][c] = 2;
    }
    return t;
  }();
  bool may_end_run_in(const Token *window) const {
    return !window[3].edge && may_follow_run_in(window[3], rules.run_in_dates);
  }
  // The ring position of the token that push_token's slow path is at:
  // window[2], the third-last.
  int32_t window_at() const { return static_cast<int32_t>(toks.size()) - 3; }
  Token line_break_marker(const Token *window);
  Token marker_after(const Token *window, uint32_t &word, const char *marker);
  void visit_marked(const Walk &walk, Token *window, const Token &marker);
  void tokenize_line(const Walk &walk, int32_t begin, int32_t end);
  void scan_bytewise(const Walk &walk);
  void gap_flags(int32_t from, int32_t to, bool at_end);
  template <bool kVisit, bool kUnicode>
  void scan_blocks_as(const Walk &walk);
  void scan_blocks(const Walk &walk);
  void run_walk(const Walk &walk);
  bool fence_line(int32_t start);
  bool in_code(int32_t boundary);

  // Run-in headings (see catch_up_run_in): the ring position of the current
  // paragraph's first token not yet examined (INT32_MAX when the paragraph
  // asks no more), its words before that token, and the last position that
  // may end a heading.
  int32_t run_in_next_ = INT32_MAX;
  int32_t run_in_words_ = 0;
  int32_t run_in_last_ = -1;

  // The walk's way through `code`: the next fence event (the first byte of
  // a block not yet entered, or the end of the block entered; INT32_MAX
  // when none is left), and the first quiet range that may hold a boundary
  // still to come, with its begin (INT32_MAX when none).
  int32_t fence_event_ = INT32_MAX;
  size_t fence_index_ = 0;
  bool in_fence_ = false;
  int32_t quiet_begin_ = INT32_MAX;
  size_t quiet_index_ = 0;

  // A token among the last bytes of the text, copied with zeros after it for
  // interning's 8-byte loads (see tail_bytes).
  std::string tail_copy_;
  LineLabels line_labels_;
};

inline const Word &Token::w(const Tokenizer &in) const { return in.lexicon.word(word); }
inline std::string_view Token::stem(const Tokenizer &in) const { return w(in).stem; }
inline bool Token::is_upper(const Tokenizer &in) const { return w(in).is_upper; }
inline std::string_view Token::text(const Tokenizer &in) const {
  if (edge) return len != 0 ? std::string_view(edge_marker_text(len), static_cast<size_t>(len)) : in.lexicon.word_text(word);
  return {in.text.data + start, static_cast<size_t>(len)};
}

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_TOKENIZER_H
