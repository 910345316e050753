// Run-in headings (see ReadingRules::run_in_headings): the walk's search
// for the words that end one, apart from the scanner's loop, which passes
// over the tokens they are looked for among.
#include <algorithm>

#include "core/text/byte_class.h"
#include "core/tokens/sites.h"
#include "core/tokens/tokenizer.h"

namespace fullstop::core {

// A paragraph begins with the token about to be pushed (see catch_up_run_in).
[[gnu::noinline]] void Tokenizer::begin_run_in() {
  run_in_next_ = static_cast<int32_t>(toks.size());
  run_in_words_ = 0;
  run_in_last_ = run_in_next_ + kRunInTokens - 1;
}

// The paragraph ends: its tokens that a window is formed around are
// examined, and it asks no more.
[[gnu::noinline]] void Tokenizer::end_run_in(const Walk &walk) {
  catch_up_run_in(walk, static_cast<int32_t>(toks.size()) - 2);
  run_in_next_ = INT32_MAX;
}

// `toks` is about to lose its first `gone` tokens: what is pending is
// examined first, and the positions move with the rest.
void Tokenizer::keep_run_in(const Walk &walk, int32_t gone) {
  catch_up_run_in(walk, static_cast<int32_t>(toks.size()) - 2);
  if (run_in_next_ == INT32_MAX) return;
  run_in_next_ -= gone;
  run_in_last_ -= gone;
}

// Counts the token at `at` among its paragraph's words; false, and the
// paragraph asks no more, once it is past kRunInWords words or
// kRunInTokens tokens.
inline bool Tokenizer::count_run_in(int32_t at) {
  run_in_words_ += toks.ptr[at].space_before;
  if (run_in_words_ <= kRunInWords && at <= run_in_last_) return true;
  run_in_next_ = INT32_MAX;
  return false;
}

// Run-in headings (see ReadingRules::run_in_headings): the last token of one
// of a paragraph's first kRunInWords words within its first kRunInTokens
// tokens, before a word that may open with a capital.  Most tokens are no
// candidate of any other kind, and push_token passes over them at once;
// this examines them in one pass, from run_in_next_ up to `end`, when a
// later token is visited, the paragraph ends or the ring drops tokens, so
// that the visits keep token order and a token past the paragraph's first
// words costs nothing.  A token that push_token's slow path took was
// examined there (run_in_here), or is no run-in site.
[[gnu::noinline]] void Tokenizer::catch_up_run_in(const Walk &walk, int32_t end) {
  // (Locals, which a visit cannot change, keep the loop in registers.)
  Token *const ptr = toks.ptr;
  const uint8_t taken = walk.site_flags;
  const bool dates = rules.run_in_dates;
  const int32_t stop = std::min(end, run_in_last_ + 1);
  int32_t words = run_in_words_;
  for (int32_t at = run_in_next_; at < stop; at++) {
    Token *window = ptr + at - 2;
    words += window[2].space_before;
    if (words > kRunInWords) {
      run_in_next_ = INT32_MAX;
      return;
    }
    if ((flags_of(window[2]) & taken) | (flags_of(window[3]) & (token_flag::marker | token_flag::edge))) continue;
    if (!may_follow_run_in(window[3], dates)) continue;
    run_in_words_ = words;
    visit_run_in(walk, window);
  }
  run_in_words_ = words;
  // Past the paragraph's last token that may end a heading, it asks no
  // more; a paragraph whose first token is not pushed yet may begin past
  // `end`.
  run_in_next_ = stop < end ? INT32_MAX : std::max(run_in_next_, end);
}

// The same for window[2], the token push_token's slow path is at, when it
// is no candidate of another kind.
[[gnu::noinline]] void Tokenizer::run_in_here(const Walk &walk, Token *window) {
  const int32_t at = window_at();
  if (!count_run_in(at)) return;
  run_in_next_ = at + 1;
  if (may_end_run_in(window)) visit_run_in(walk, window);
}

// Visits window[2] as the end of a run-in heading with its run-in marker,
// as a line break, when it has the shape (run_in_shape) outside code.
void Tokenizer::visit_run_in(const Walk &walk, Token *window) {
  if (!run_in_shape(window, text.data, text.data_len, rules.run_in_dates) || (window[2].end() > quiet_begin_ && in_code(window[2].end()))) return;
  const bool late = run_in_words_ > kRunInEarly;
  visit_marked(walk, window, marker_after(window, lexicon.run_in_word(late), kRunInMarkers[late]));
}

}  // namespace fullstop::core
