#include "core/text/block_classify.h"

#include "core/text/byte_class.h"

namespace fullstop::core {

void classify_block_plain(const char *p, bool sep_before, bool unicode, ClassifiedBlock &b) {
  b.sep = b.punct = b.newline = 0;
  bool prev_sep = sep_before;
  for (int i = 0; i < 64; i++) {
    const auto c = static_cast<unsigned char>(p[i]);
    const bool sep = is_separator_byte(c), punct = is_punct_byte(c);
    b.sep |= uint64_t{sep} << i;
    b.punct |= uint64_t{punct} << i;
    b.newline |= uint64_t{c == '\n'} << i;
    uint8_t start = (punct ? block_flag::punct : 0) | (prev_sep ? block_flag::space_before : 0);
    uint8_t end = sep ? block_flag::space_after : 0;
    if (unicode && (c == '*' || c == '-')) start |= block_flag::marker;
    if (unicode && (c == '.' || c == ')')) end |= block_flag::marker;
    b.start_flags[i] = start;
    b.end_flags[i] = end;
    prev_sep = sep;
  }
}

}  // namespace fullstop::core
