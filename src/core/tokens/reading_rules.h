// How a model reads text in the Unicode mode: the rules it was trained
// with, one switch each.  A model declares them in a header record (see
// model/declaration.h), computed once when it loads; the tokenizer, the
// candidate sites and the word types read them, never the model's names.
// The classic mode has no rules: its reading is fixed.
//
// To add a rule: a switch here (on in kTrainingRules, so that training
// reads with it), a row in the table of model/declaration.cpp (its name in
// the record, and what a model from before the record was written reads),
// and the code that reads the switch.
#ifndef FULLSTOP_CORE_TOKENS_READING_RULES_H
#define FULLSTOP_CORE_TOKENS_READING_RULES_H

#include "core/text/text_mode.h"

namespace fullstop::core {

struct ReadingRules {
  // Each paragraph is padded with two edge markers on either side ("<s>"
  // before, "</s>" after), so its first and last tokens have full windows.
  bool edge_markers = true;
  // A list label in list position ("2." opening a line, after ":" or a
  // bullet, or after "1." on its line) is a word of its own, typed 6, and
  // the token before a list item's marker is a candidate.
  bool list_labels = true;
  // Roman numerals up to xxxix count as list labels (English).
  bool roman_numerals = true;
  // Numbers are typed by their size: 4 for up to three digits, 5 beyond.
  bool number_types = true;
  // A line break inside a paragraph is a candidate of its own (see
  // Tokenizer::walk).
  bool line_breaks = true;
  // A colon that ends a short line is decided by its own window and its line
  // break's together (see Tokenizer::break_window).  Needs line_breaks.
  bool colon_breaks = true;
  // A comma that ends a line shorter than kGreetingLine bytes inside its
  // paragraph ("Hi Anna," or "Best regards," before the next line) is
  // decided the same way: the break tells the greeting and the sign-off on
  // lines of their own from "Hi Anna, thanks" and "Thanks, Tom" inside a
  // line, which its window reads alike.  Needs colon_breaks.
  bool comma_breaks = true;
  // One capital letter that a mark follows is an initial, typed 7.
  bool initials = true;
  // "I" is the English pronoun, never an initial.
  bool pronoun_i = true;
  // Code in markdown (see code_spans.h): no boundary falls inside an inline
  // code span or a fenced block, and a fenced block is a sentence of its own.
  bool code_spans = true;

  bool operator==(const ReadingRules &) const = default;
};

// The rules training reads with: every rule this version knows.
inline constexpr ReadingRules kTrainingRules{};

// What a run reads with: the text mode and, in the Unicode mode, the rules.
struct Reading {
  TextMode mode = TextMode::classic;
  ReadingRules rules;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_READING_RULES_H
