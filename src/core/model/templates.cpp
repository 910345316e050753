#include "core/model/templates.h"

#include <charconv>
#include <cstring>

#include "core/tokens/tokenizer.h"

namespace fullstop::core {

void feature_name(std::string &out, int which, int p, const Token &t, const Tokenizer &in) {
  const Word &w = t.w(in);
  // The value after "PREFIX" "P" "_": the token's text, or formed here.  The
  // name is then sized once and copied in: a byte appended at a time (and
  // the stem's strlen) cost training more than looking the name up.
  char formed[24];
  std::string_view value;
  const size_t stem_len = strnlen(w.stem, sizeof w.stem);
  switch (which) {
    case kTextTemplate:
      value = t.text(in);
      break;
    case kStemTemplate:
      value = std::string_view(w.stem, stem_len);
      break;
    case kStem2Template:
      formed[0] = w.space_before ? '1' : '0';
      formed[1] = '_';
      formed[2] = w.space_after ? '1' : '0';
      formed[3] = '_';
      std::memcpy(formed + 4, w.stem, stem_len);
      value = std::string_view(formed, 4 + stem_len);
      break;
    default:
      value = std::string_view(
          formed, static_cast<size_t>(std::to_chars(formed, formed + sizeof formed, token_type(w)).ptr - formed));
      break;
  }
  char position[16];
  const size_t position_len =
      static_cast<size_t>(std::to_chars(position, position + sizeof position, p).ptr - position);
  const std::string_view prefix = kTemplatePrefixes[which];
  out.resize(prefix.size() + position_len + 1 + value.size());
  char *q = out.data();
  std::memcpy(q, prefix.data(), prefix.size());
  q += prefix.size();
  std::memcpy(q, position, position_len);
  q += position_len;
  *q++ = '_';
  if (!value.empty()) std::memcpy(q, value.data(), value.size());
}

std::string feature_name(int which, int p, std::string_view value) {
  std::string name(kTemplatePrefixes[which]);
  name += std::to_string(p);
  name += '_';
  name += value;
  return name;
}

bool parse_stem2_value(std::string_view value, bool &space_before, bool &space_after, std::string_view &stem) {
  if (value.size() < 4 || (value[0] != '0' && value[0] != '1') || value[1] != '_' ||
      (value[2] != '0' && value[2] != '1') || value[3] != '_')
    return false;
  space_before = value[0] == '1';
  space_after = value[2] == '1';
  stem = value.substr(4);
  return true;
}

}  // namespace fullstop::core
