#include "core/tokens/tokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/text/byte_class.h"
#if defined(__SSE2__)
#include "core/text/block_classify_sse2.h"
#endif

namespace fullstop::core {

namespace {

// The block at p classified by the AVX2 form where `wide`, else by SSE2
// (or, without SSE2, by the plain form).
template <bool kUnicode>
inline void classify_block([[maybe_unused]] bool wide, const char *p, bool sep_before, ClassifiedBlock &b) {
#if FULLSTOP_WIDE_BLOCKS
  if (wide) return classify_block_avx2<kUnicode>(p, sep_before, b);
#endif
#if defined(__SSE2__)
  classify_block_sse2<kUnicode>(p, sep_before, b);
#else
  classify_block_plain(p, sep_before, kUnicode, b);
#endif
}

// The offsets of the edge markers' tokens: past the text, where no token of
// the text starts (their text is kEdgeMarkers, see Token::text).
inline constexpr int32_t kEdgeBefore = 32, kEdgeAfter = 40;
static_assert(kMaxText + kEdgeAfter + 4 <= static_cast<size_t>(INT32_MAX));

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


}  // namespace

namespace {
// Keep this many tokens when `toks` is compacted during a walk: a window
// needs the last five.
constexpr size_t kKeep = 4;
constexpr size_t kWalkCapacity = 4096;
// A passing word's record outlives every token of the ring that names it
// (see Lexicon::pass_unnamed).
static_assert(kPassingWords >= 2 * kWalkCapacity);
}  // namespace

// Interning loads a token's bytes eight at a time, up to seven bytes past its
// end.  Tokens that end eight bytes or more before the end of the text (all
// but the last few) are read in place; the others, and the edge markers, by
// tail_bytes.  So interning never reads past the text, which lets a borrowed
// text go unpadded.
[[gnu::always_inline]] inline void Tokenizer::intern_token(Token &t) {
  intern_at(t, text.data_len - t.end() >= 8 ? text.data + t.start : tail_bytes(t));
}

[[gnu::always_inline]] inline void Tokenizer::intern_at(Token &t, const char *bytes) {
  t.word = lexicon.find(t.start, bytes, t.len, t.punct, lexicon.key(bytes, t.len, flags_of(t)));
}

[[gnu::noinline]] const char *Tokenizer::tail_bytes(const Token &t) {
  if (t.edge) return edge_marker_text(t.len);
  tail_copy_.assign(text.data + t.start, static_cast<size_t>(t.len));
  tail_copy_.append(8, '\0');
  return tail_copy_.data();
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
[[gnu::always_inline]] inline void Tokenizer::push_token(const Walk &walk, const Token &tok, uint8_t site_flags) {
  if (kVisit && toks.size() == kWalkCapacity) {
    if (run_in_next_ != INT32_MAX) [[unlikely]] keep_run_in(walk, kWalkCapacity - kKeep);
    std::memmove(toks.ptr, toks.ptr + kWalkCapacity - kKeep, kKeep * sizeof(Token));
    toks.n = kKeep;
    // The only tokens left that hold a word: where a bounded lexicon can
    // forget its words without a window losing one.  (Not before an edge
    // marker, which comes with its word: the next time, then.)
    if (lexicon.over_limit() && tok.word == kNoWord) [[unlikely]] forget_words();
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
    // (Run-in headings among these tokens are looked for later, in one
    // pass: see catch_up_run_in.)
    const uint8_t marked = flags_of(window[3]) & token_flag::marker;
    if (!((flags & site_flags) | marked)) return;
    const int32_t at = window_at();
    if (run_in_next_ < at) catch_up_run_in(walk, at);
    // Every site's boundary is at the end of window[2] (a line break's
    // too); none falls inside code.
    if (window[2].end() > quiet_begin_ && !window[2].edge && in_code(window[2].end())) [[unlikely]]
      return;
    if (!(flags & kSite) && !(marked && list_marker_at(window))) {
      if (line_break_after(window, text.data, rules.line_breaks, text.sentence_lines())) {
        visit_line_break(walk, window);
      } else if (run_in_next_ == at) [[unlikely]] {
        run_in_here(walk, window);
      }
      return;
    }
    // Punctuation that some models read as no candidate (rarely asked).
    if ((flags & token_flag::punct) && walk.quiet_punct && quiet_punct_at(window)) [[unlikely]]
      return;
  } else if (!(flags & kSite)) {
    return;
  }
  // One test for the window rather than one per token (see intern_token):
  // when its last token ends eight bytes or more before the end of the text,
  // so do the others, but for edge markers, which push_edges interns.
  if (text.data_len - window[4].end() >= 8) {
    intern_window(window);
  } else {
    for (int k = 0; k < 5; k++)
      if (window[k].word == kNoWord) intern_token(window[k]);
  }
  // (In running text a line break follows only a token that ends its line,
  // which one test of the flags in hand rules out for nearly every site.)
  if (kUnicode && ((flags & token_flag::boundary) || text.sentence_lines()) && rules.colon_breaks &&
      (flags & token_flag::punct) && mark_at_line_break(window)) [[unlikely]] {
    visit_mark_at_line_break(walk, window);
    return;
  }
  // (A letter closed up between two periods: rare, so one branch for all.)
  if (kUnicode && rules.initialism_runs && window[1].len == 1 && !window[1].space_before && !window[1].edge &&
      window[2].start == window[1].end() && text.data[window[2].start] == '.') [[unlikely]] {
    if (visit_initialism_run(walk, window)) return;
  }
  walk.visit(window, walk.context);
}

// With initialism runs (see ReadingRules): when window[1] is the last
// letter of a run of two to four capitals closed up with periods, and the
// run's last period follows it, visits the site with the run's word
// ("U.K") in its place.  The run lies inside one word, so inside one line,
// and a walk's text always holds its line from the start (see
// run/stream.h): its bytes are there whether the text came whole, in a
// stream's windows or in blocks, and every reading finds the same run.  A
// run that more letters, a digit or a period continue to the left
// ("AB.C.D.", "Mr.J.K.", a fifth letter) is none.  Returns whether it
// visited.
[[gnu::noinline]] bool Tokenizer::visit_initialism_run(const Walk &walk, Token *window) {
  const auto *const d = reinterpret_cast<const unsigned char *>(text.data);
  const int32_t last = window[1].start;
  // (Not inside a run: "U.S" of "U.S.S.R." is none.)
  const int32_t after = window[2].start + 1;
  if (!is_upper_byte(d[last]) || (after < text.data_len && is_upper_byte(d[after]))) return false;
  int32_t first = last, letters = 1;
  while (first >= 2 && d[first - 1] == '.' && is_upper_byte(d[first - 2])) {
    first -= 2;
    if (++letters > 4) return false;
  }
  if (letters < 2) return false;
  if (first > 0) {
    const unsigned char c = d[first - 1];
    if (c == '.' || is_digit_byte(c) || is_upper_byte(c) || is_lower_byte(c)) return false;
  }
  Token run = token_of(first, window[1].end() - first, flags_of(window[1]));
  intern_token(run);
  const Token sites[kWindow] = {window[0], run, window[2], window[3], window[4]};
  walk.visit(sites, walk.context);
  return true;
}

namespace {
bool all_digits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}
}  // namespace

// Whether the punctuation token window[2] is no candidate by the rules
// that make some punctuation none: with inverted openers, a run that "¿"
// or "¡" ends (mapped to '`') inside its word, which opens what follows;
// with guillemet openers, a run that ends in '`' ("«", or a typewriter
// quote that opens), spaced or not ("(« De"), for a sentence never ends on
// the mark that opens a quotation;
// with ordinal periods, the "." of "1.º", "2.ª", "n.º" and "3.er".
bool Tokenizer::quiet_punct_at(const Token *window) const {
  const Token &t = window[2];
  if (t.edge) return false;
  const char *s = text.data + t.start;
  if (s[t.len - 1] == '`' && (rules.guillemet_openers || (rules.inverted_openers && !t.space_after)))
    return true;
  if (t.space_after) return false;
  if (!rules.ordinal_periods || t.len != 1 || s[0] != '.' || t.space_before) return false;
  const Token &before = window[1], &after = window[3];
  if (before.edge || before.punct || after.edge || after.punct) return false;
  const std::string_view number(text.data + before.start, static_cast<size_t>(before.len));
  const std::string_view suffix(text.data + after.start, static_cast<size_t>(after.len));
  return (all_digits(number) || number == "n" || number == "N") &&
         (suffix.starts_with("\xC2\xBA") || suffix.starts_with("\xC2\xAA") || suffix == "er");
}

// A new token's flags with glued sentences (see ReadingRules): a mark run
// closed up between the shapes gets the space after it that the sentence
// end would have had; in sentence-per-line text, the first word of a line
// that a word joiner (a NUL, mapped) opens loses the space before it, as
// it would have read in running text.
[[gnu::noinline]] uint8_t Tokenizer::glued_flags(int32_t start, int32_t len, uint8_t flags) const {
  using namespace token_flag;
  const char *const data = text.data;
  if (toks.empty() || toks.back().edge) return flags;
  const Token &prev = toks.back();
  if ((flags & (punct | space_before | space_after)) == punct) {
    if (!prev.punct && prev.end() == start && glued_marks(data, start, len) &&
        glued_left(data, prev.start, prev.len) && glued_right(data, text.data_len, start + len))
      flags |= space_after;
  } else if ((flags & (punct | space_before)) == space_before && text.sentence_lines() && start >= 2 &&
             data[start - 1] == '\0' && data[start - 2] == '\n' && toks.size() >= 2) {
    const Token &left = toks.end()[-2];
    if (prev.punct && !prev.space_before && !left.punct && !left.edge && glued_marks(data, prev.start, prev.len) &&
        glued_left(data, left.start, left.len) && glued_right(data, text.data_len, start))
      flags &= static_cast<uint8_t>(~space_before);
  }
  return flags;
}

// Whether a boundary at `boundary` falls inside code (see code_spans.h).
// Asked with boundaries in text order, so ranges before one are passed for good.
[[gnu::noinline]] bool Tokenizer::in_code(int32_t boundary) {
  while (quiet_index_ < code.quiet.size() && code.quiet[quiet_index_].end <= boundary) quiet_index_++;
  quiet_begin_ = quiet_index_ < code.quiet.size() ? code.quiet[quiet_index_].begin : INT32_MAX;
  return boundary > quiet_begin_;
}

// At the first token of a line that starts at or after the next fence
// event: the line opens a fenced block, or follows one.  Either way the
// last token so far ends a paragraph (see walk).  Returns whether the token
// at `start` begins a new one.
[[gnu::noinline]] bool Tokenizer::fence_line(int32_t start) {
  bool cut = false;
  while (start >= fence_event_) {
    if (!in_fence_) {
      fence_event_ = code.fences[fence_index_].end;
    } else {
      fence_index_++;
      fence_event_ = fence_index_ < code.fences.size() ? code.fences[fence_index_].begin : INT32_MAX;
    }
    in_fence_ = !in_fence_;
    cut = true;
  }
  if (cut && !toks.empty()) toks.back().para_break = 1;
  return cut;
}

// A marker token standing at the end of window[2] (a line break's or a
// run-in heading's, see walk), its word interned the first time and kept in
// `word`, past the text as the edge markers' words (the lexicon knows them
// so).
Token Tokenizer::marker_after(const Token *window, uint32_t &word, const char *marker) {
  constexpr uint8_t kFlags = token_flag::space_before | token_flag::space_after | token_flag::edge;
  if (word == kNoWord) {
    const auto len = static_cast<int32_t>(std::strlen(marker));
    word = lexicon.find(text.data_len + kEdgeAfter, marker, len, false, lexicon.key(marker, len, kFlags));
  }
  return token_of(window[2].end(), 0, kFlags | (flags_of(window[2]) & token_flag::boundary), word);
}

// The line-break marker for a break after window[2] (see walk), interned.
Token Tokenizer::line_break_marker(const Token *window) {
  const bool short_line = short_line_before(text, window[2].end());
  return marker_after(window, lexicon.line_break_word(short_line), kLineBreakMarkers[short_line]);
}

// Visits a marker's site: the window's last four tokens, interned, with the
// marker between the second and third.
void Tokenizer::visit_marked(const Walk &walk, Token *window, const Token &marker) {
  for (int k = 1; k < 5; k++)
    if (window[k].word == kNoWord) intern_token(window[k]);
  const Token sites[kWindow] = {window[1], window[2], marker, window[3], window[4]};
  walk.visit(sites, walk.context);
}

// Visits the line break after window[2] (see walk).
[[gnu::noinline]] void Tokenizer::visit_line_break(const Walk &walk, Token *window) {
  visit_marked(walk, window, line_break_marker(window));
}

// Whether the punctuation token window[2] is a colon that ends a short line,
// or with comma breaks a comma that ends a greeting's shorter one (see
// ReadingRules), inside its paragraph.
inline bool Tokenizer::mark_at_line_break(const Token *window) const {
  const char last = text.data[window[2].end() - 1];
  if (last != ':' && (last != ',' || !rules.comma_breaks)) return false;
  return line_break_after(window, text.data, rules.line_breaks, text.sentence_lines()) &&
         short_line_before(text, window[2].end(), last == ':' ? kShortLine : kGreetingLine);
}

// Visits a colon or comma that ends a short line (see break_window): its own
// window, interned, with its line break's window in break_window for the
// visit's length.
[[gnu::noinline]] void Tokenizer::visit_mark_at_line_break(const Walk &walk, Token *window) {
  const Token sites[kWindow] = {window[1], window[2], line_break_marker(window), window[3], window[4]};
  break_window = sites;
  walk.visit(window, walk.context);
  break_window = nullptr;
}

// Forgets the lexicon's words in a walk: the few tokens kept that were
// interned are interned again, as new words, in token order.  (Edge
// markers are among them, and a window's interning never looks for those.)
[[gnu::noinline]] void Tokenizer::forget_words() {
  lexicon.forget_words();
  for (Token &t : toks)
    if (t.word != kNoWord) intern_token(t);
}

// Interns a window's tokens that are not interned yet, all read in place,
// in token order: a word new to the index gets the next index.  (Forming all
// keys and prefetching their slots before the first probe gains nothing:
// see docs/performance.md.)
//
// The site's own token is nearly always a one-byte punctuation mark ("." or
// ","), a handful of words in all: once known, its word comes from
// punct_words, a table in the nearest cache, instead of a lookup's key,
// hash and probe (about 70 instructions).  A word met for the first time
// still goes through the index in its turn, so indices keep their order.
[[gnu::always_inline]] inline void Tokenizer::intern_window(Token *window) {
  Token &site = window[2];
  uint32_t *known = nullptr;
  constexpr uint8_t kShape = token_flag::punct | token_flag::list_label;
  if (site.word == kNoWord && site.len == 1 && (flags_of(site) & kShape) == token_flag::punct) {
    known = &lexicon.punct_word(flags_of(site), text.data[site.start]);
    if (*known != 0) {
      site.word = *known - 1;
      known = nullptr;
    }
  }
  for (int k = 0; k < 5; k++) {
    Token &t = window[k];
    if (t.word == kNoWord) intern_at(t, text.data + t.start);
  }
  if (known != nullptr) *known = site.word + 1;
}

// Two edge markers: "</s>" after a paragraph, "<s>" before one.  They are
// interned here, so a window's interning need not look for them (see
// push_token); each marker's word is looked up once and then kept.
void Tokenizer::push_edges(const Walk &walk, bool after) {
  const int32_t start = text.data_len + (after ? kEdgeAfter : kEdgeBefore), len = after ? 4 : 3;
  constexpr uint8_t kFlags = token_flag::space_before | token_flag::space_after | token_flag::edge;
  uint32_t &known = lexicon.edge_word(after);
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

// Appends a token for the run [start, start + len) of the text.  In the
// Unicode mode with edge markers, a paragraph's first token is preceded by
// the edge markers that close the previous paragraph and open this one.
// `new_paragraph` is toks.empty() || toks.back().para_break, which the block
// scanner knows without reading the token (see scan_blocks_as).
template <bool kVisit, bool kUnicode>
[[gnu::always_inline]] inline void Tokenizer::add_token(const Walk &walk, int32_t start, int32_t len,
                                                    uint8_t flags, bool new_paragraph, uint8_t site_flags) {
  if (kUnicode) {
    if (new_paragraph && rules.edge_markers) {
      if (kVisit && run_in_next_ != INT32_MAX) end_run_in(walk);
      if (!toks.empty()) push_edges(walk, true);
      push_edges(walk, false);
      if (kVisit && rules.run_in_headings) begin_run_in();
    }
    // A line's labels are forgotten when the next line begins.
    if (line_labels_.any() && (flags_of(toks.back()) & (token_flag::boundary | token_flag::edge)))
      line_labels_.clear();
    // Only a word of up to four bytes that a space precedes and "." or ")"
    // follows can be a label (see label_closer); only such a word or a
    // one-byte "*" or "-" standing alone can open a list marker.  The caller
    // tells most tokens apart from these with the marker bit of `flags`, a
    // hint: set for a word whose next byte is '.' or ')' and for a
    // punctuation run whose first byte is '*' or '-' (the block scanner
    // finds both in its masks, see block_classify.h).  Testing the flags first
    // would take branches that go either way from token to token; this one
    // is rarely taken.  A word keeps its marker bit only when it has a
    // label's shape and a closer that ends its word after it, as
    // list_marker_at asks of the word; most words that "." follows ("it.",
    // "was.") have not.
    // Without the list-label rule no token is either.
    using namespace token_flag;
    if (flags & marker) {
      const bool label_shape = (flags & (punct | space_before | space_after)) == space_before && len <= 4;
      constexpr uint8_t kAlone = punct | space_before | space_after;
      const bool bullet_shape = (flags & kAlone) == kAlone && len == 1;
      LineLabels::Reading label{false, false};
      if (label_shape && rules.list_labels) {
        const Token *prev = toks.empty() ? nullptr : &toks.back();
        const Token *before = toks.size() < 2 ? nullptr : &toks.end()[-2];
        label = line_labels_.read(text.data, text.data_len, start, len, prev, before, rules.roman_numerals,
                                  rules.labels_in_position);
      }
      // With labels in position, a label elsewhere ("vom 2. Juli") opens
      // no item: the word loses its marker bit, so the token before it is
      // no candidate.
      const bool opens_item = rules.labels_in_position ? label.position : label.shape;
      if (!(opens_item | (bullet_shape && rules.list_labels))) flags &= static_cast<uint8_t>(~marker);
      if (label.position) flags |= list_label;
    }
    // Only a mark run closed up on both sides, or in sentence-per-line text
    // a word after a space, can read glued: the flags rule out nearly every
    // token before glued_flags reads the tokens around it.  The shape is
    // tested first, and the walk's settings only as it asks: testing the
    // rule and the text's kind first took 8 instructions a token, and a
    // register holding them through the scanner's loop spilled others.
    const uint8_t shape = flags & (punct | space_before | space_after);
    if (shape == punct ? glued_closed_ : glued_lines_ && (shape & (punct | space_before)) == space_before) [[unlikely]]
      flags = glued_flags(start, len, flags);
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

void Tokenizer::tokenize_line(const Walk &walk, int32_t begin, int32_t end) {
  const char *const data = text.data;
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
  if (!toks.empty()) toks.back().boundary = 1;
}

// The plain scanner: line by line, byte by byte.
void Tokenizer::scan_bytewise(const Walk &walk) {
  const char *const data = text.data;
  const int32_t data_len = text.data_len;
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
      if (p >= fence_event_) fence_line(p);
      tokenize_line(walk, p, line_end);
    }
    pos = nl ? line_end + 1 : data_len;
  }
}

// Line-end and paragraph flags of the last token from the gap [from, to) of
// separators that follows it, up to the next token or (at_end) the end of
// the input.  A newline in the gap ends its line; a line inside the gap that
// holds no NUL is blank and ends its paragraph.  At the end of the input the
// last token's line always ends, and a last line without a newline counts
// when it is not empty.
void Tokenizer::gap_flags(int32_t from, int32_t to, bool at_end) {
  const char *const data = text.data;
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
void Tokenizer::scan_blocks_as(const Walk &walk) {
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
  const char *const data = text.data;
  const int32_t data_len = text.data_len;
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
            // (A fence event is always at a line's first token.)
            if (kUnicode && start >= fence_event_) [[unlikely]]
              new_paragraph |= fence_line(start);
          }
        }
      } else if (last_end >= 0) {
        gap_flags(last_end, start, false);
        new_paragraph = toks.back().para_break;
        if (kUnicode && start >= fence_event_) new_paragraph |= fence_line(start);
      } else if (kUnicode && start >= fence_event_) {
        fence_line(start);  // the text's first token opens a block
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

void Tokenizer::scan_blocks(const Walk &walk) {
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

void Tokenizer::run_walk(const Walk &given) {
  Walk walk = given;
  // A token is a candidate, or in running text may be followed by a line
  // break, when it has one of these flags (see site_flags).
  walk.site_flags = site_flags(walk.unicode, rules, text.sentence_lines());
  glued_closed_ = walk.unicode && rules.glued_sentences;
  glued_lines_ = glued_closed_ && text.sentence_lines();
  walk.quiet_punct = walk.unicode && (maps_openers(rules) || rules.ordinal_periods);
  run_in_next_ = INT32_MAX;
  run_in_words_ = 0;
  run_in_last_ = -1;
  toks.clear();
  if (lexicon.over_limit()) lexicon.forget_words();
  lexicon.begin_walk(text.data_len, WordTyping{walk.unicode, rules}, walk.visit != nullptr);
  line_labels_.clear();
  code.clear();
  if (walk.unicode && rules.code_spans) find_code(text, maps_openers(rules), code);
  fence_index_ = quiet_index_ = 0;
  in_fence_ = false;
  fence_event_ = code.fences.empty() ? INT32_MAX : code.fences[0].begin;
  quiet_begin_ = code.quiet.empty() ? INT32_MAX : code.quiet[0].begin;
  if (walk.visit == nullptr) {
    // A rough first guess (one token per five bytes) saves most regrowth.
    toks.reserve(static_cast<size_t>(text.data_len) / 5 + 16);
  } else {
    toks.reserve(kWalkCapacity);
  }
  if (walk.bytewise) {
    scan_bytewise(walk);
  } else {
    scan_blocks(walk);
  }
  if (walk.unicode && rules.edge_markers && !toks.empty()) {
    if (run_in_next_ != INT32_MAX) end_run_in(walk);
    push_edges(walk, true);
  }
}

void Tokenizer::index(TextMode mode) { run_walk(Walk{nullptr, nullptr, false, mode == TextMode::unicode}); }

void Tokenizer::index_bytewise(TextMode mode) { run_walk(Walk{nullptr, nullptr, true, mode == TextMode::unicode}); }

void Tokenizer::walk(SiteVisitor visit, void *context, TextMode mode) {
  run_walk(Walk{visit, context, false, mode == TextMode::unicode});
}

void Tokenizer::walk_bytewise(SiteVisitor visit, void *context, TextMode mode) {
  run_walk(Walk{visit, context, true, mode == TextMode::unicode});
}

void Tokenizer::reset() {
  text.drop();
  lexicon.reset();
  toks.release();
  break_window = nullptr;
  line_labels_.clear();
  code = CodeRegions();
}

}  // namespace fullstop::core
