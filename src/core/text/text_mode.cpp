#include "core/text/text_mode.h"

namespace fullstop::core {

bool parse_text_mode(std::string_view name, TextMode *mode) {
  if (name == "classic") {
    *mode = TextMode::classic;
  } else if (name == "unicode") {
    *mode = TextMode::unicode;
  } else {
    return false;
  }
  return true;
}

const char *text_mode_name(TextMode mode) { return mode == TextMode::unicode ? "unicode" : "classic"; }

}  // namespace fullstop::core
