// Decimal numbers, formatted fast: the offsets of every sentence and the ids
// of every training context are printed through these.
#ifndef FULLSTOP_CORE_BASE_NUMBER_FORMAT_H
#define FULLSTOP_CORE_BASE_NUMBER_FORMAT_H

#include <cstdint>
#include <string>

namespace fullstop::core {

// Writes the decimal form of value at p and returns the end.  It may write
// up to ten bytes at p (as many as the longest value has digits), past the
// end it returns.  std::to_chars is the reference (FormatUint.AgreesWithToChars).
char *format_uint(char *p, uint32_t value);
// The same for any 64-bit value (at most 20 digits).
char *format_uint64(char *p, uint64_t value);

// Appends the decimal form of value to s.
void append_int(std::string &s, int64_t value);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_BASE_NUMBER_FORMAT_H
