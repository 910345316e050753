// Character classes of the C locale, whatever the process locale is: what
// the tokenizer cuts words and runs by.  Bytes 0x80 to 0xFF are word
// characters, never upper case.
#ifndef FULLSTOP_CORE_TEXT_BYTE_CLASS_H
#define FULLSTOP_CORE_TEXT_BYTE_CLASS_H

namespace fullstop::core {

inline constexpr bool is_punct_byte(unsigned char c) {
  return (c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
}
inline constexpr bool is_upper_byte(unsigned char c) { return c >= 'A' && c <= 'Z'; }
inline constexpr bool is_lower_byte(unsigned char c) { return c >= 'a' && c <= 'z'; }
inline constexpr bool is_digit_byte(unsigned char c) { return c >= '0' && c <= '9'; }
// Word separators: space, tab, newline, and NUL (a NUL never joins a word).
inline constexpr bool is_separator_byte(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\0'; }

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TEXT_BYTE_CLASS_H
