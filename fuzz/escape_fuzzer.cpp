// Escaping fuzz target: any bytes, escaped for each machine-readable output
// form, must give what a reader of that form accepts and, where the form keeps
// every byte, decode back to the input:
//   - a JSON string body is valid JSON (no raw controls, quotes or stray
//     backslashes, well-formed UTF-8) and decodes, with \udcXX as byte XX, to
//     the input;
//   - XML character data holds only XML characters, no raw < > & ", and
//     differs from the input only where a byte was not an XML character;
//   - a TSV field holds no raw tab, newline or carriage return and unescapes to
//     the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "core/render/escape.h"

namespace {

using namespace fullstop::core;

void check(bool ok) {
  if (!ok) std::abort();
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string decode_json(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    check(c >= 0x20 && c != '"');
    if (c >= 0x80) {
      size_t n = utf8_sequence_length(s.substr(i));
      check(n > 0);
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    if (c != '\\') {
      out += static_cast<char>(c);
      i++;
      continue;
    }
    check(i + 1 < s.size());
    char e = s[i + 1];
    i += 2;
    switch (e) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        check(i + 4 <= s.size());
        int v = 0;
        for (int k = 0; k < 4; k++) {
          int d = hex_digit(s[i + k]);
          check(d >= 0);
          v = v * 16 + d;
        }
        i += 4;
        if (v < 0x20) {
          out += static_cast<char>(v);
        } else {
          check(v >= 0xDC80 && v <= 0xDCFF);  // an escaped byte
          out += static_cast<char>(v - 0xDC00);
        }
        break;
      }
      default: check(false);
    }
  }
  return out;
}

constexpr std::pair<std::string_view, char> kEntities[] = {
    {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&#13;", '\r'}};

void check_xml(std::string_view in, std::string_view s) {
  size_t j = 0;  // position in the input
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    check(c != '<' && c != '>' && c != '"');
    if (c == '&') {
      bool known = false;
      for (auto [entity, raw] : kEntities) {
        if (s.substr(i, entity.size()) == entity) {
          check(j < in.size() && in[j] == raw);
          i += entity.size();
          j++;
          known = true;
          break;
        }
      }
      check(known);
      continue;
    }
    // A CR goes out as "&#13;": an XML reader turns a raw one into LF.
    if (c < 0x20) check(c == '\t' || c == '\n');
    size_t n = utf8_sequence_length(s.substr(i));
    check(n > 0);
    std::string_view ch = s.substr(i, n);
    check(ch != "\xEF\xBF\xBE" && ch != "\xEF\xBF\xBF");
    if (in.substr(j, n) == ch) {
      j += n;
    } else {
      check(ch == "\xEF\xBF\xBD");  // a replaced byte
      j++;
    }
    i += n;
  }
  check(j == in.size());
}

std::string decode_tsv(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    check(s[i] != '\t' && s[i] != '\n' && s[i] != '\r');
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    check(++i < s.size());
    switch (s[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: check(false);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  std::string_view in(reinterpret_cast<const char *>(bytes), size);
  std::string json, xml, tsv;
  append_json_string(json, in);
  check(decode_json(json) == in);
  append_xml_text(xml, in);
  check_xml(in, xml);
  append_tsv_field(tsv, in);
  check(decode_tsv(tsv) == in);
  return 0;
}
