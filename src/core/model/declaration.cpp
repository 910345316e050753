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
    {"labels-in-position", &ReadingRules::labels_in_position, never},
    {"spaced-guillemets", &ReadingRules::spaced_guillemets, never},
    {"inverted-openers", &ReadingRules::inverted_openers, never},
    {"guillemet-openers", &ReadingRules::guillemet_openers, never},
    {"ordinal-periods", &ReadingRules::ordinal_periods, never},
    {"code-spans", &ReadingRules::code_spans, never},
    {"glued-sentences", &ReadingRules::glued_sentences, never},
    {"run-in-headings", &ReadingRules::run_in_headings, never},
    {"run-in-dates", &ReadingRules::run_in_dates, never},
    {"initialism-runs", &ReadingRules::initialism_runs, never},
};

const Rule *find_rule(std::string_view name) {
  for (const Rule &rule : kRules)
    if (rule.name == name) return &rule;
  return nullptr;
}

std::string known_rules() {
  std::string known;
  for (const Rule &rule : kRules) known += (known.empty() ? "" : ", ") + std::string(rule.name);
  return known;
}

std::string unknown_rule(std::string_view name) {
  return "unknown reading rule '" + std::string(name) + "' (known: " + known_rules() + ")";
}

// Calls each(name) for the comma-separated names of `value`.
template <typename Each>
void for_each_name(std::string_view value, Each each) {
  while (!value.empty()) {
    const size_t comma = value.find(',');
    each(value.substr(0, comma));
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
  }
}

// The rules of a reading record's value; `problem` names the first unknown one.
ReadingRules parse_rules(std::string_view value, std::string &problem) {
  ReadingRules rules;
  for (const Rule &rule : kRules) rules.*rule.on = false;
  for_each_name(value, [&](std::string_view name) {
    if (const Rule *rule = find_rule(name)) {
      rules.*rule->on = true;
    } else if (problem.empty()) {
      problem = unknown_rule(name);
    }
  });
  return rules;
}

}  // namespace

ModelDeclaration read_declaration(const FeatureTable &table) {
  ModelDeclaration d;
  bool mode_seen = false;
  std::string_view first_mode;
  for (const Feature *f : table.feats) {
    if (f->text[0] != '#') continue;
    std::string_view name = f->name();
    // A classic model saved with CRLF line ends keeps the CR in every name
    // (see read_line_ends in model_file.cpp): its records still declare.
    if (name.ends_with('\r')) name.remove_suffix(1);
    if (mode_seen && name.starts_with(kTextModeRecord)) {
      // The first counts; a model that says two things (two headers pasted
      // together, an edit gone wrong) is read by the first, but not silently.
      const std::string_view value = name.substr(kTextModeRecord.size());
      if (value != first_mode && d.mode_note.empty())
        d.mode_note = "a second text-mode record ('" + std::string(value) + "') differs from the first ('" +
                      std::string(first_mode) + "'), which counts";
    } else if (!mode_seen && name.starts_with(kTextModeRecord)) {
      mode_seen = true;
      const std::string_view value = name.substr(kTextModeRecord.size());
      first_mode = value;
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

bool parse_reading_option(std::string_view value, ReadingRules &rules, std::string &problem) {
  // Signed names change the default; plain names are the whole set.
  const bool signed_form = !value.empty() && (value[0] == '+' || value[0] == '-');
  ReadingRules out = kTrainingRules;
  if (!signed_form) out = parse_rules(value, problem);
  if (signed_form)
    for_each_name(value, [&](std::string_view item) {
      const bool sign = !item.empty() && (item[0] == '+' || item[0] == '-');
      const Rule *rule = sign ? find_rule(item.substr(1)) : nullptr;
      if (rule != nullptr) {
        out.*rule->on = item[0] == '+';
      } else if (problem.empty()) {
        problem = sign ? unknown_rule(item.substr(1))
                       : "reading rule '" + std::string(item) + "' without + or - among changes to the default";
      }
    });
  if (!problem.empty()) return false;
  rules = out;
  return true;
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
