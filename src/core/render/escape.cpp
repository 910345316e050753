#include "core/render/escape.h"

#include <cstdint>

namespace fullstop::core {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::size_t utf8_sequence_length(std::string_view text) {
  if (text.empty()) return 0;
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  std::uint8_t b0 = byte(0);
  if (b0 < 0x80) return 1;
  std::size_t length;
  std::uint8_t low = 0x80, high = 0xBF;  // range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;   // no overlong forms
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;   // no overlong forms
    if (b0 == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; i++)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

void append_xml_text(std::string &out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        // A reader turns a raw CR (and CR LF) into LF: as a reference the CR
        // the sentence's text keeps (the classic text keeps every CR) reads back.
        case '\r': out += "&#13;"; break;
        case '\t': case '\n': out += static_cast<char>(c); break;
        default:
          if (c < 0x20) {
            out += kReplacement;
          } else {
            out += static_cast<char>(c);
          }
      }
      i++;
      continue;
    }
    std::size_t n = utf8_sequence_length(text.substr(i));
    // U+FFFE and U+FFFF are not XML characters either.
    if (n == 0 || (n == 3 && c == 0xEF && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF'))) {
      out += kReplacement;
      i++;
      continue;
    }
    out.append(text.substr(i, n));
    i += n;
  }
}

void append_json_string(std::string &out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      std::size_t n = utf8_sequence_length(text.substr(i));
      if (n == 0) {
        out += "\\udc";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
        i++;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
    i++;
  }
}

void append_tsv_field(std::string &out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

}  // namespace fullstop::core
