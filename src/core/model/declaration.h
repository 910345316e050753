// What a model declares about how it reads text, in header records that no
// token can form (their names start with '#'; a classic reader takes them
// as ordinary zero-weight features):
//
//   0<TAB>#text-mode=unicode
//   0<TAB>#reading=edge-markers,list-labels,...
//
// The first of each counts (a later, different text-mode record is noted
// for a warning).  The reading record lists the reading rules
// (tokens/reading_rules.h) the model was trained with; a model without one
// (trained before it was written) reads as its names show it learnt: with
// line breaks when it names a line-break marker, and so on (see the rule
// table in declaration.cpp).  Read once, when a model loads.
#ifndef FULLSTOP_CORE_MODEL_DECLARATION_H
#define FULLSTOP_CORE_MODEL_DECLARATION_H

#include <string>
#include <string_view>

#include "core/model/feature_table.h"
#include "core/text/text_mode.h"
#include "core/tokens/reading_rules.h"

namespace fullstop::core {

inline constexpr std::string_view kTextModeRecord = "#text-mode=";
inline constexpr std::string_view kReadingRecord = "#reading=";

struct ModelDeclaration {
  TextMode mode = TextMode::classic;  // classic when no record names a mode
  ReadingRules rules;
  bool rules_declared = false;        // a reading record gave the rules
  // What the records declare that this version cannot read ("unknown text
  // mode 'x' (known: classic, unicode)"), or empty: a run that reads the
  // mode (the rules) fails with it.
  std::string mode_problem, rules_problem;
  // A later text-mode record that names another mode than the first, for a
  // warning ("a second text-mode record ..."), or empty.
  std::string mode_note;
};

ModelDeclaration read_declaration(const FeatureTable &table);

// The header records of a model of `mode` trained with `rules`: the
// text-mode record and, in the Unicode mode, the reading record.
std::string declaration_records(TextMode mode, const ReadingRules &rules);

// The rules a training run reads with, from the value of --reading: the
// rules named ("edge-markers,list-labels,..."), or the default
// (kTrainingRules) changed by names with a sign ("-pronoun-i,+ordinal-periods").
// False, with `problem` saying why and `rules` as it was, for an unknown
// name or a plain name among signed ones.
bool parse_reading_option(std::string_view value, ReadingRules &rules, std::string &problem);

// The reading record's value for `rules`: their names, in the table's order.
std::string reading_rule_names(const ReadingRules &rules);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_MODEL_DECLARATION_H
