#include "core/base/number_format.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace fullstop::core {

namespace {

// The eight decimal digits of value (below 10^8, leading zeros included) as
// ASCII in one 64-bit word, the first digit in the low byte (see
// store_digits).  The value is split into two four-digit halves in 32-bit
// lanes, each lane into two-digit quarters in 16-bit lanes and each of
// those into digits in bytes, every step a multiply by a reciprocal and a
// shift that keeps each lane's quotient in its own bits: four independent
// divisions in the time of one, where dividing off one pair at a time from
// the end was a chain of dependent ones.  (x * 5243) >> 19 is x / 100 for
// x < 43,699 and (x * 103) >> 10 is x / 10 for x < 1,029; the lanes hold
// values below 10,000 and 100.
inline uint64_t eight_digits(uint32_t value) {
  const uint64_t halves = uint64_t{value / 10000} | uint64_t{value % 10000} << 32;
  const uint64_t hundreds = ((halves * 5243) >> 19) & 0x0000007F0000007Full;
  const uint64_t quarters = hundreds | (halves - hundreds * 100) << 16;
  const uint64_t tens = ((quarters * 103) >> 10) & 0x000F000F000F000Full;
  const uint64_t digits = tens | (quarters - tens * 10) << 8;
  return digits | 0x3030303030303030ull;
}

// Stores the last `count` (1 to 8) of eight_digits' digits at p, in order,
// and then anything up to eight bytes in all: the leading zeros dropped.
inline void store_digits(char *p, uint64_t word, int count) {
  if constexpr (std::endian::native == std::endian::little) {
    word >>= 8 * (8 - count);  // the leading zeros, in the low bytes, fall off
  } else {
    word = __builtin_bswap64(word) << 8 * (8 - count);
  }
  std::memcpy(p, &word, 8);
}

}  // namespace

// The digits are counted from the value's bit width (log10(2) ~ 1233/4096)
// and one compare with a power of ten, rather than a loop of compares: the
// offsets printed for every sentence have six to eight digits.  A value
// below 10^8 is then written as eight digits at once (eight_digits), shifted
// so that its leading zeros fall off; the store writes eight bytes however
// many digits there are, so callers leave room for ten.  std::to_chars is
// the reference (FormatUint.AgreesWithToChars).
char *format_uint(char *p, uint32_t value) {
  // kPow10[0] is 0 so that 0 counts one digit.
  static constexpr uint32_t kPow10[10] = {0,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};
  const int bits = std::bit_width(value | 1u);
  const int t = (bits * 1233) >> 12;
  const int digits = t + (value >= kPow10[t] ? 1 : 0);
  if (digits > 8) {
    // Ten or nine digits: the first one or two, then eight.
    const uint32_t high = value / 100000000;
    if (high >= 10) *p++ = static_cast<char>('0' + high / 10);
    *p++ = static_cast<char>('0' + high % 10);
    store_digits(p, eight_digits(value % 100000000), 8);
    return p + 8;
  }
  store_digits(p, eight_digits(value), digits);
  return p + digits;
}

char *format_uint64(char *p, uint64_t value) {
  if (value <= UINT32_MAX) return format_uint(p, static_cast<uint32_t>(value));
  return std::to_chars(p, p + 20, value).ptr;
}

void append_int(std::string &s, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  s.append(digits, result.ptr);
}

}  // namespace fullstop::core
