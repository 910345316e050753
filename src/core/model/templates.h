// The feature templates: the four names a token forms at a window position,
// formed and read back here and nowhere else.
//
// A window position p forms, for its token, "text_p_TEXT" (the token's
// bytes), "stem_p_STEM" (its first three bytes, A-Z lowered),
// "stem2_p_B_A_STEM" (the stem with the token's spacing: B 1 when it opens
// its whitespace-delimited word, A 1 when it ends it) and "type_p_T" (its
// type value, see token_type).  The classic names and positions 0..4 are the
// detector's contract; positions kBreakBase + 0..4 are those of a line
// break's window (Unicode mode).
#ifndef FULLSTOP_CORE_MODEL_TEMPLATES_H
#define FULLSTOP_CORE_MODEL_TEMPLATES_H

#include <cstdint>
#include <string>
#include <string_view>

#include "core/tokens/token.h"

namespace fullstop::core {

inline constexpr int kTemplates = 4;
enum TemplateKind : int { kTextTemplate = 0, kStemTemplate = 1, kStem2Template = 2, kTypeTemplate = 3 };
// Each template's name and the prefix of its feature names ("text" and
// "text_"), in template order: the order a position's names are formed in.
inline constexpr std::string_view kTemplateNames[kTemplates] = {"text", "stem", "stem2", "type"};
inline constexpr std::string_view kTemplatePrefixes[kTemplates] = {"text_", "stem_", "stem2_", "type_"};

// The window positions that names carry: 0..4 in the window of a mark (or
// of a paragraph's end, or of a token before a list marker), kBreakBase +
// 0..4 in the window of a line break (see Tokenizer::walk).  A line break is
// a candidate of its own kind, and most are none: by positions of their own
// its features are learnt apart from those of marks, so that "the" before a
// hard-wrapped line's end says what it says there, and the marks' weights
// stay as they were.
inline constexpr int kBreakBase = kWindow;
inline constexpr int kPositions = 2 * kWindow;

// The type value of a word: 2 punctuation, 1 upper-case start, 0 otherwise;
// in the Unicode mode also 3 for the markers, 4 or 5 for numbers (see
// number_type), 6 for list labels in list position (Token::list_label),
// whatever their case, 7 for initials and 8 for an initialism's run
// (word_shape_type): a shape's type before the case's.  Always below 10.
inline int token_type(const Word &w) {
  if (w.is_punct) return 2;
  if (w.list_label) return 6;
  if (w.number != 0) return w.number;
  return w.is_upper ? 1 : (w.is_edge ? 3 : 0);
}

// Forms the name of template `which` for token t at window position p.
void feature_name(std::string &out, int which, int p, const Token &t, const Tokenizer &in);
// The name of template `which` at position p whose value (what follows
// "PREFIX" "P" "_") is `value`.
std::string feature_name(int which, int p, std::string_view value);

// A name read back: its template, its position (0..kPositions-1) and its
// value; false for a name of any other form.
struct NameParts {
  int which;
  int position;
  std::string_view value;
};
inline bool parse_feature_name(std::string_view name, NameParts &parts) {
  // Each prefix compared as a constant: a model's names are all read back
  // when it loads.
  int which;
  if (name.starts_with(kTemplatePrefixes[kTextTemplate])) {
    which = kTextTemplate;
  } else if (name.starts_with(kTemplatePrefixes[kStemTemplate])) {
    which = kStemTemplate;
  } else if (name.starts_with(kTemplatePrefixes[kStem2Template])) {
    which = kStem2Template;
  } else if (name.starts_with(kTemplatePrefixes[kTypeTemplate])) {
    which = kTypeTemplate;
  } else {
    return false;
  }
  const size_t at = kTemplatePrefixes[which].size();
  if (name.size() < at + 2) return false;
  const char digit = name[at];
  if (digit < '0' || digit >= '0' + kPositions || name[at + 1] != '_') return false;
  parts = NameParts{which, digit - '0', name.substr(at + 2)};
  return true;
}
// A stem2 name's value read back: the spacing flags and the stem.
bool parse_stem2_value(std::string_view value, bool &space_before, bool &space_after, std::string_view &stem);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_MODEL_TEMPLATES_H
