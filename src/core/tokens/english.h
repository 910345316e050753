// Reading rules that hold for English and not for every language, behind
// switches of ReadingRules (pronoun_i, roman_numerals).
#ifndef FULLSTOP_CORE_TOKENS_ENGLISH_H
#define FULLSTOP_CORE_TOKENS_ENGLISH_H

#include <cstdint>

namespace fullstop::core {

// Whether a one-letter word is the English pronoun "I", far more often a
// word than an initial ("I'm", "I.").
inline bool is_pronoun_i(const char *bytes, int32_t len) { return len == 1 && bytes[0] == 'I'; }

// The value of a roman numeral up to xxxix written in one case ("iv",
// "XII"), or -1.  `upper` says which case it is in.
int roman_numeral(const char *bytes, int32_t len, bool *upper);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_ENGLISH_H
