#include "core/model/declaration.h"

#include <initializer_list>

#include "core/model/templates.h"
#include "core/tokens/token.h"

namespace fullstop::core {

namespace {

bool names_any(const FeatureTable &table, std::initializer_list<std::string> names) {
  for (const std::string &name : names)
    if (table.find(name) >= 0) return true;
  return false;
}

// What a model from before the reading record learnt, from its names.
bool always(const FeatureTable &) { return true; }
// A rule that came after the reading record: a model without one was
// trained before it, and reads as it was trained.
bool never(const FeatureTable &) { return false; }

// Whether it decides at line breaks: it names a feature of the line-break
// marker as the candidate.  A model trained before line breaks were
// candidates has none, and its weights, learnt at marks, say nothing about
// line ends: with such a model no line break is one.
bool names_line_breaks(const FeatureTable &table) {
  const int site = kBreakBase + 2;
  return names_any(table, {feature_name(kTextTemplate, site, kLineBreakMarkers[0]),
                           feature_name(kTextTemplate, site, kLineBreakMarkers[1]),
                           feature_name(kStemTemplate, site, "<nl"), feature_name(kStem2Template, site, "1_1_<nl"),
                           feature_name(kTypeTemplate, site, "3")});
}

// Whether it decides a colon that a line break follows with the break's
// window too: it names a colon as the token before a line-break marker,
// which a model trained before never does (a line break after a mark was no
// candidate of its own).
bool names_colon_breaks(const FeatureTable &table) {
  const int before = kBreakBase + 1;
  return names_any(table, {feature_name(kTextTemplate, before, ":"), feature_name(kStemTemplate, before, ":"),
                           feature_name(kStem2Template, before, "0_1_:"),
                           feature_name(kStem2Template, before, "1_1_:"),
                           feature_name(kTextTemplate, before, ".:"), feature_name(kTextTemplate, before, "):")});
}

// Whether it decides a comma at a short line's end with the break's window
// too: it names a comma as the token before a line-break marker.
bool names_comma_breaks(const FeatureTable &table) {
  const int before = kBreakBase + 1;
  return names_any(table, {feature_name(kTextTemplate, before, ","), feature_name(kStemTemplate, before, ","),
                           feature_name(kStem2Template, before, "0_1_,"),
                           feature_name(kStem2Template, before, "1_1_,")});
}

// A model that learnt commas at line breaks was trained with colons joined
// too, though its fit may have kept none of their names.
bool names_colon_or_comma_breaks(const FeatureTable &table) {
  return names_colon_breaks(table) || names_comma_breaks(table);
}

// Whether it types one capital letter as an initial (type 7): it names the
// type at some position.  A model trained before has none and learnt
// initials as capitalised words (1).
bool names_initials(const FeatureTable &table) {
  for (int p = 0; p < kPositions; p++)
    if (table.find(feature_name(kTypeTemplate, p, "7")) >= 0) return true;
  return false;
}

// The reading rules: each one's name in the reading record, its switch, and
// what a model without the record reads.
struct Rule {
  std::string_view name;
  bool ReadingRules::*on;
  bool (*before_record)(const FeatureTable &);
};
constexpr Rule kRules[] = {
    {"edge-markers", &ReadingRules::edge_markers, always},
    {"list-labels", &ReadingRules::list_labels, always},
    {"roman-numerals", &ReadingRules::roman_numerals, always},
    {"number-types", &ReadingRules::number_types, always},
    {"line-breaks", &ReadingRules::line_breaks, names_line_breaks},
    {"colon-breaks", &ReadingRules::colon_breaks, names_colon_or_comma_breaks},
    {"comma-breaks", &ReadingRules::comma_breaks, names_comma_breaks},
    {"initials", &ReadingRules::initials, names_initials},
    {"pronoun-i", &ReadingRules::pronoun_i, always},
    {"code-spans", &ReadingRules::code_spans, never},
};

std::string known_rules() {
  std::string known;
  for (const Rule &rule : kRules) known += (known.empty() ? "" : ", ") + std::string(rule.name);
  return known;
}

// The rules of a reading record's value; `problem` names the first unknown one.
ReadingRules parse_rules(std::string_view value, std::string &problem) {
  ReadingRules rules;
  for (const Rule &rule : kRules) rules.*rule.on = false;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    const std::string_view name = value.substr(0, comma);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    bool known = false;
    for (const Rule &rule : kRules) {
      if (rule.name != name) continue;
      rules.*rule.on = true;
      known = true;
    }
    if (!known && problem.empty())
      problem = "unknown reading rule '" + std::string(name) + "' (known: " + known_rules() + ")";
  }
  return rules;
}

}  // namespace

ModelDeclaration read_declaration(const FeatureTable &table) {
  ModelDeclaration d;
  bool mode_seen = false;
  for (const Feature *f : table.feats) {
    if (f->text[0] != '#') continue;
    const std::string_view name = f->text;
    if (!mode_seen && name.starts_with(kTextModeRecord)) {
      mode_seen = true;
      const std::string_view value = name.substr(kTextModeRecord.size());
      if (!parse_text_mode(value, &d.mode))
        d.mode_problem = "unknown text mode '" + std::string(value) + "' (known: " + std::string(kTextModeNames) + ")";
    } else if (!d.rules_declared && name.starts_with(kReadingRecord)) {
      d.rules_declared = true;
      d.rules = parse_rules(name.substr(kReadingRecord.size()), d.rules_problem);
    }
  }
  if (!d.rules_declared)
    for (const Rule &rule : kRules) d.rules.*rule.on = rule.before_record(table);
  return d;
}

std::string reading_rule_names(const ReadingRules &rules) {
  std::string names;
  for (const Rule &rule : kRules)
    if (rules.*rule.on) {
      if (!names.empty()) names += ',';
      names += rule.name;
    }
  return names;
}

std::string declaration_records(TextMode mode, const ReadingRules &rules) {
  std::string records = "0\t" + std::string(kTextModeRecord) + text_mode_name(mode) + "\n";
  if (mode == TextMode::unicode) records += "0\t" + std::string(kReadingRecord) + reading_rule_names(rules) + "\n";
  return records;
}

}  // namespace fullstop::core
