#include "core/tokens/english.h"

#include <string_view>

namespace fullstop::core {

int roman_numeral(const char *s, int32_t len, bool *upper) {
  if (len < 1 || len > 4) return -1;
  char low[5] = {};
  const bool is_upper = s[0] >= 'A' && s[0] <= 'Z';
  for (int32_t i = 0; i < len; i++) {
    char c = s[i];
    if ((c >= 'A' && c <= 'Z') != is_upper) return -1;
    low[i] = static_cast<char>(c | 0x20);
    // Asked of the word before nearly every candidate ("left."): a letter
    // no numeral up to 49 has ends the question before the table below.
    if (low[i] != 'i' && low[i] != 'v' && low[i] != 'x') return -1;
  }
  std::string_view rest(low, static_cast<size_t>(len));
  int tens = 0;
  while (!rest.empty() && rest.front() == 'x') {
    rest.remove_prefix(1);
    tens++;
  }
  static constexpr std::string_view kUnits[] = {"", "i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix"};
  for (int unit = 0; unit < 10; unit++) {
    if (rest == kUnits[unit]) {
      *upper = is_upper;
      return tens * 10 + unit;
    }
  }
  return -1;
}

}  // namespace fullstop::core
