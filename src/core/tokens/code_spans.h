// Code in markdown text (the Unicode mode's code-spans rule): stretches of a
// text where no sentence boundary falls.
//
// A fenced block opens at a line whose first bytes after blanks are a run of
// three or more backticks or tildes (for backticks, with no backtick after
// the run on that line: "```ls```" is inline code).  It holds its lines up
// to the closing fence line (blanks, a run of the same byte at least as long
// as the opening one, blanks), or up to a blank line or the end of the text,
// whichever comes first; so an unclosed fence holds nothing beyond its
// paragraph, and whatever cuts a text at blank lines never cuts a block.  A
// block is a sentence of its own: a boundary before its first token and
// after its last, none inside (see Tokenizer::walk).
//
// An inline code span is a run of backticks and the next run of as many on
// the same line, outside fenced blocks.  In prose a backtick is also an
// apostrophe ("Levi`s") or an opening quote (`so to speak'), so the opening
// run must start where a word may start (at the line's start, or after a
// blank or punctuation), the closing one end where a word may end, and the
// code be padded with a blank on both sides or on neither (a quote opened
// with two backticks, ``so'', is never closed by a run after a blank); a
// run without such a partner is text.  No boundary falls inside a span: after
// its opening run or anywhere up to its closing one.
#ifndef FULLSTOP_CORE_TOKENS_CODE_SPANS_H
#define FULLSTOP_CORE_TOKENS_CODE_SPANS_H

#include <cstdint>
#include <vector>

#include "core/text/text_buffer.h"

namespace fullstop::core {

// A fenced block: the start of its opening line, its first byte (the fence,
// which opens the block's first token) and the end of its last token.
struct CodeFence {
  int32_t line, begin, end;
};

// [begin, end): a boundary at an offset strictly between the two falls inside code.
struct CodeRange {
  int32_t begin, end;
};

struct CodeRegions {
  std::vector<CodeFence> fences;  // in text order
  std::vector<CodeRange> quiet;   // the blocks and the inline spans, in text order, disjoint

  void clear() {
    fences.clear();
    quiet.clear();
  }
};

// The code of the (mapped) text data[0, len), which must begin at a line
// start outside any block.  Lines end at '\n'; a blank line holds only
// spaces and tabs, as the tokenizer's paragraphs have it.  Text with no
// backtick and no tilde has none, which one scan finds.
void find_code(const char *data, int32_t len, CodeRegions &out);

// The code of a mapped text.  With `mapped_openers` (inverted or guillemet
// openers), "\xC2\xBF", "\xC2\xA1" and "\xC2\xAB" map to a backtick as
// well; they mark no code, so they are read here as the punctuation they
// are (three of them opening a line must not open a block).
void find_code(const TextBuffer &text, bool mapped_openers, CodeRegions &out);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_CODE_SPANS_H
