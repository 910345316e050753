#include "core/text/line_ends.h"

#include <cstring>

namespace fullstop::core {

namespace {

// The last byte of a line end of the Unicode mode: LF, CR, and the last
// bytes of NEL (C2 85), U+2028 (E2 80 A8) and U+2029 (E2 80 A9).  Those
// three are continuation bytes, which the UTF-8 reading never takes apart
// from their lead byte, so the bytes before them tell whether they end one.
inline bool may_end_line(unsigned char c) { return c == '\n' || c == '\r' || c == 0x85 || c == 0xA8 || c == 0xA9; }

}  // namespace

bool LineEnds::starts_line(const char *text, size_t pos, size_t len) const {
  if (pos == 0) return true;
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  switch (p[pos - 1]) {
    case '\n':
      return true;
    case '\r':
      return unicode_ && pos < len && p[pos] != '\n';
    case 0x85:
      return unicode_ && pos >= 2 && p[pos - 2] == 0xC2;
    case 0xA8:
      if (!separator_) return false;
      [[fallthrough]];
    case 0xA9:
      return unicode_ && pos >= 3 && p[pos - 3] == 0xE2 && p[pos - 2] == 0x80;
    default:
      return false;
  }
}

size_t LineEnds::line_start(const char *text, size_t pos, size_t len) const {
  if (!unicode_) {
    const void *nl = pos > 0 ? memrchr(text, '\n', pos) : nullptr;
    return nl == nullptr ? 0 : static_cast<size_t>(static_cast<const char *>(nl) - text) + 1;
  }
  while (pos > 0 && !starts_line(text, pos, len)) pos--;
  return pos;
}

size_t LineEnds::last_start(const char *text, size_t from, size_t len) const {
  if (len <= from) return 0;
  if (!unicode_) {
    const void *nl = memrchr(text + from, '\n', len - from);
    return nl == nullptr ? 0 : static_cast<size_t>(static_cast<const char *>(nl) - text) + 1;
  }
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  for (size_t pos = len; pos > from; pos--)
    if (may_end_line(p[pos - 1]) && starts_line(text, pos, len)) return pos;
  return 0;
}

size_t LineEnds::next_start(const char *text, size_t from, size_t len) const {
  if (len <= from) return 0;
  if (!unicode_) {
    const void *nl = std::memchr(text + from, '\n', len - from);
    return nl == nullptr ? 0 : static_cast<size_t>(static_cast<const char *>(nl) - text) + 1;
  }
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  for (size_t pos = from + 1; pos <= len; pos++)
    if (may_end_line(p[pos - 1]) && starts_line(text, pos, len)) return pos;
  return 0;
}

}  // namespace fullstop::core
