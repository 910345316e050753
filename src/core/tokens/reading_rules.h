// How a model reads text in the Unicode mode: the rules it was trained
// with, one switch each.  A model declares them in a header record (see
// model/declaration.h), computed once when it loads; the tokenizer, the
// candidate sites and the word types read them, never the model's names.
// The classic mode has no rules: its reading is fixed.
//
// To add a rule: a switch here, a row in the table of model/declaration.cpp
// (its name in the record, and what a model from before the record was
// written reads), and the code that reads the switch.  A rule that every
// model should read with is on by default, and so in kTrainingRules; one
// that serves some languages only is off, and a recipe turns it on for
// training (fullstop --reading, fullstop-train --reading), which writes it
// into the model's record.
#ifndef FULLSTOP_CORE_TOKENS_READING_RULES_H
#define FULLSTOP_CORE_TOKENS_READING_RULES_H

#include "core/text/text_mode.h"
#include "core/text/unicode_map.h"

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
  // "I" is the English pronoun, never an initial.  Elsewhere "I." is an
  // initial ("I. Kant") or a ruler's number ("Wilhelm I.").
  bool pronoun_i = true;
  // Code in markdown (see code_spans.h): no boundary falls inside an inline
  // code span or a fenced block, and a fenced block is a sentence of its own.
  bool code_spans = true;

  // The rules below are off unless a model's training turned them on.

  // With list labels, the token before a label is a candidate only where
  // the label stands in list position (see Token::list_label): in German,
  // Dutch or Portuguese running text "vom 2. Juli", "der 2. Weltkrieg" and
  // "até dia 20. Uma" hold a label's shape mid-sentence, and a candidate
  // before each is a decision the model can only get wrong.  A label after
  // a sentence's own mark ("wollten. 4. Die") is decided at that mark.  A
  // sequence on a line begins only at a label in list position, so "3."
  // after "vom 2. Juli bis zum" continues none.
  bool labels_in_position = false;
  // A closing guillemet set apart from the sentence mark before it by
  // spaces (French and Flemish typography: "demain. » Puis", "« Pourquoi ?
  // »") reads as if it followed the mark directly, one token ".»": else
  // "." and "»" are two candidates and the sentence may end before the
  // quote closes.  Only "»" after ". ? ! …": in German "»" opens.
  bool spaced_guillemets = false;
  // "¿" and "¡" (Spanish) open a sentence: they read as an opening mark
  // ("`", as typewriter text opens a quotation) that is no candidate,
  // rather than as "?" and "!", which showed the model a doubled mark in
  // "estabas? ¿Dónde" and asked a decision inside "¿Dónde".
  bool inverted_openers = false;
  // "«" opens a quotation (Dutch and French typography) and reads as the
  // opening mark "`" too, where it maps to '"' otherwise: a quote standing
  // apart between two sentences ("gehoord. « De Blauwe Lotus »", "worden.
  // \" Tijdens") may close the one before or open the next, and only the
  // guillemet's direction tells them apart.  Off where "«" closes (German
  // "»...«").
  bool guillemet_openers = false;
  // The period of an ordinal abbreviation ("1.º", "2.ª", "n.º", "3.er"),
  // between a number or "n" and "º", "ª" or "er" inside one word, is no
  // candidate: it never ends a sentence.
  bool ordinal_periods = false;
  // Web text and e-mail leave out the space after a sentence's mark
  // ("late.He", "Thanks.See you", "done!Then"), which edited text never
  // does: a model that read the run as closed up would meet it unseen.  A
  // period, or a run of "?" and "!", between a word and a capitalised one
  // (not a run of periods: "dead...Long" is mostly a pause) reads as if a
  // space followed the mark, so the mark's features are a spaced sentence
  // end's, while the word after keeps its closed-up flag, which tells the
  // model the two apart.  Only the shapes prose makes: on the left a word
  // of two or more ASCII letters, lower case but perhaps the first
  // ("Thanks.See you"), with no ". / @ : _" or digit before it in its word
  // ("e.g.The", "v2.late", "www.example.Com"); on the right a capital and
  // lower-case letters only, with no more word after a mark and no code in
  // the rest of its word ("www.Google.com", "obj.Method()", "Node.js",
  // "System.IO").
  // Training text marks such a sentence by a word joiner (U+2060) opening
  // its line, which the mapping makes a NUL there (see MapRules).
  bool glued_sentences = false;
  // A paragraph may open with a heading, a byline or a dateline that runs
  // into its first sentence with no mark between ("Merger proposed However,
  // the jury said", "Kay Mann 04/26/2001 07:17 AM Will you"), as text joined
  // from separate lines (a page's headings, an e-mail's header) reads.
  // The last token of one of a paragraph's first kRunInWords words (within
  // its first kRunInTokens tokens), when a word opening with a capital
  // follows it (see run_in_shape in sites.h), is a candidate of its own,
  // decided as a line break is (see Tokenizer::walk): its window holds a
  // run-in marker (kRunInMarkers) and is scored with the line breaks'
  // names, which read a heading's end before a line of text alike.  Needs
  // edge markers, which the count of words starts from.
  bool run_in_headings = false;
  // With run-in headings: a date written with slashes ("04/26/2001",
  // "10/08/99") after one of those words is read as a capitalised word is,
  // for an e-mail's header names its sender before the date ("Kay Mann
  // 04/26/2001 07:17 AM") where a mark would end a heading.
  bool run_in_dates = false;
  // A run of two to four capitals closed up with periods ("U.K.", "J.K.",
  // "U.S.S.R.") reads, before its last period, as one word of the run's
  // letters and inner periods ("U.K", typed 8), not as its last letter:
  // else the window of that period sees "K" alone, which ends "U.K." and
  // "J.K." alike, and a country's name before a new sentence and a
  // writer's initials before a name read the same (see
  // Tokenizer::visit_initialism_run).
  bool initialism_runs = false;

  bool operator==(const ReadingRules &) const = default;
};

// The rules training reads with unless told otherwise: those on by default.
inline constexpr ReadingRules kTrainingRules{};

// The rules that the mapping of the text reads (see unicode_map.h).
inline MapRules map_rules(const ReadingRules &rules) {
  return {rules.spaced_guillemets, rules.inverted_openers, rules.glued_sentences,
          rules.guillemet_openers};
}

// Whether the mapping writes '`' for marks that open (see MapRules): such a
// '`' is no code span's, and, closed up to a word, no candidate.
inline bool maps_openers(const ReadingRules &rules) {
  return rules.inverted_openers || rules.guillemet_openers;
}

// What a run reads with: the text mode and, in the Unicode mode, the rules.
struct Reading {
  TextMode mode = TextMode::classic;
  ReadingRules rules;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_READING_RULES_H
