// The text modes: how the bytes of a text are read.
//
// classic: bytes, ASCII rules, the detector's fixed contract.  unicode:
// UTF-8 text mapped onto the same feature space (see unicode_map.h), read by
// the reading rules a model declares (see model/reading_rules.h), offsets
// and text those of the original.
#ifndef FULLSTOP_CORE_TEXT_TEXT_MODE_H
#define FULLSTOP_CORE_TEXT_TEXT_MODE_H

#include <cstdint>
#include <string_view>

namespace fullstop::core {

enum class TextMode : uint8_t { classic, unicode };

// "classic" or "unicode"; false for anything else.
bool parse_text_mode(std::string_view name, TextMode *mode);
const char *text_mode_name(TextMode mode);
// The known names, for messages: "classic, unicode".
inline constexpr std::string_view kTextModeNames = "classic, unicode";

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TEXT_TEXT_MODE_H
