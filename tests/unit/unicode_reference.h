// A plain reference of the Unicode text mode's mapping, for the unit tests
// and the fuzz targets: one character at a time, every mapped byte carrying
// the original character it came from, and the paragraphs a model that never
// splits must find.  Nothing here is fast; each step reads like the README.
#ifndef FULLSTOP_TESTS_UNICODE_REFERENCE_H
#define FULLSTOP_TESTS_UNICODE_REFERENCE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace uref {

// One decoded character: its code point (or -1 for a byte that is not
// well-formed UTF-8, taken alone) and where its bytes are.
struct Char {
  int32_t cp;
  size_t start, len;
};

inline std::vector<Char> decode(std::string_view s) {
  std::vector<Char> out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int need = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    int32_t cp = need == 0 ? c : need == 1 ? (c & 31) : need == 2 ? (c & 15) : (c & 7);
    bool ok = need >= 0 && i + static_cast<size_t>(need) < s.size() + 0;
    for (int k = 1; ok && k <= need; k++) {
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) >> 6) != 2) {
        ok = false;
        break;
      }
      cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 63);
    }
    // Shortest form only, no surrogates, nothing past U+10FFFF.
    static const int32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && need > 0 && (cp < kMin[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) {
      out.push_back({-1, i, 1});
      i++;
    } else {
      out.push_back({cp, i, static_cast<size_t>(need) + 1});
      i += need + 1;
    }
  }
  return out;
}

// What one character reads as, written out as the README lists it.
// With `sentence_lines` (training and evaluation text), U+2028 is a line
// break of the text and reads as a NUL.
inline std::string reads_as(const Char &c, std::string_view s, bool sentence_lines = false) {
  int32_t cp = c.cp;
  std::string same(s.substr(c.start, c.len));
  if (cp < 0) return same;
  if (sentence_lines && cp == 0x2028) return std::string(1, '\0');
  if (cp == '\v' || cp == '\f') return " ";
  if (cp == '\r') return "\n";
  if (cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F ||
      cp == 0x3000)
    return " ";
  if (cp == 0x85 || cp == 0x2028) return "\n";
  if (cp == 0x2029) return "\n\n";
  for (int32_t z : {0xAD, 0x200B, 0x200C, 0x200D, 0x2060, 0xFEFF, 0xFE0E, 0xFE0F})
    if (cp == z) return "";
  for (int32_t s : {0xB9, 0xB2, 0xB3, 0x2070, 0x2074, 0x2075, 0x2076, 0x2077, 0x2078, 0x2079})
    if (cp == s) return "^";
  for (auto [lo, hi] : {std::pair<int32_t, int32_t>{0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF},
                        {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x2600, 0x2775}})
    if (cp >= lo && cp <= hi) return ":)";
  for (int32_t q : {0x2018, 0x2019, 0x201A, 0x201B, 0x2039, 0x203A, 0x2032, 0x2035, 0xFF07})
    if (cp == q) return "'";
  for (int32_t q : {0x201C, 0x201D, 0x201E, 0x201F, 0xAB, 0xBB, 0x2033, 0x2036, 0xFF02})
    if (cp == q) return "\"";
  if (cp == 0x2026) return "...";
  for (int32_t d : {0x2010, 0x2011, 0x2012, 0x2013, 0x2212, 0xFE63, 0xFF0D})
    if (cp == d) return "-";
  for (int32_t d : {0x2014, 0x2015, 0xFE58})
    if (cp == d) return "--";
  if (cp == 0xFF01) return "! ";
  if (cp == 0xFF1F) return "? ";
  if (cp == 0x3002 || cp == 0xFF61) return ". ";
  if (cp == 0xA1) return "!";
  if (cp == 0xBF) return "?";
  if (cp == 0xFF0E) return ".";
  if (cp == 0x203D) return "?!";
  if (cp == 0x203C) return "!!";
  if (cp == 0x2047) return "??";
  if (cp == 0x2048) return "?!";
  if (cp == 0x2049) return "!?";
  if (cp == 0xFF0C || cp == 0x3001) return ",";
  if (cp == 0xFF1A) return ":";
  if (cp == 0xFF1B) return ";";
  if (cp == 0xFF08) return "(";
  if (cp == 0xFF09) return ")";
  for (int32_t b : {0x2022, 0x2023, 0x2043, 0x25E6, 0x25AA, 0x25CF, 0x25A0})
    if (cp == b) return "* ";
  if (cp == 0xB7 || cp == 0x2219) return "*";
  return same;
}

// The mapped text, and for each of its bytes the original character's span.
struct Mapped {
  std::string text;
  std::vector<std::pair<size_t, size_t>> from;  // [start, end) in the original
};

inline Mapped map(std::string_view s, bool sentence_lines = false) {
  Mapped m;
  std::vector<Char> chars = decode(s);
  for (size_t k = 0; k < chars.size(); k++) {
    const Char &c = chars[k];
    std::string r;
    size_t len = c.len;
    if (k == 0 && c.cp == 0xFEFF) {
      r = "";  // byte order mark
    } else if (c.cp == '\r' && k + 1 < chars.size() && chars[k + 1].cp == '\n') {
      r = "\n";
      len = 2;
      k++;
    } else {
      r = reads_as(c, s, sentence_lines);
    }
    for (char b : r) {
      m.text.push_back(b);
      m.from.emplace_back(c.start, c.start + len);
    }
  }
  return m;
}

// The sentences that detection prints when no window scores above zero: one
// per paragraph, from its first token (the first from the start of the text,
// after a byte order mark) to its last (the last to the end of the text).
// Lines end at LF, CR, CRLF, NEL and U+2028; U+2029 is a blank line; a line
// holding only blanks (spaces of any kind, tabs, VT, FF, and characters that
// read as nothing) is blank, and a blank line ends a paragraph.  NUL
// separates words but makes its line not blank.
inline std::vector<std::pair<size_t, size_t>> unsplit_sentences(std::string_view s) {
  Mapped m = map(s);
  std::vector<std::pair<size_t, size_t>> out;
  bool open = false, line_blank = false, line_has_nul = false;
  size_t first = 0, last = 0;
  for (size_t i = 0; i < m.text.size(); i++) {
    char c = m.text[i];
    if (c == '\n') {
      if (open && line_blank && !line_has_nul) {
        out.emplace_back(first, last);
        open = false;
      }
      line_blank = true;
      line_has_nul = false;
    } else if (c == '\0') {
      line_has_nul = true;
    } else if (c != ' ' && c != '\t') {
      if (!open) {
        open = true;
        first = m.from[i].first;
      }
      line_blank = false;
      last = m.from[i].second;
    }
  }
  if (open) out.emplace_back(first, last);
  size_t bom = s.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  // A text with nothing but blanks is no sentence; a NUL is text (-F
  // prints it), so blanks around one are a sentence.
  if (out.empty()) {
    if (m.text.find('\0') == std::string::npos) return {};
    return {{bom, s.size()}};
  }
  out.front().first = bom;
  out.back().second = s.size();
  return out;
}

}  // namespace uref

#endif  // FULLSTOP_TESTS_UNICODE_REFERENCE_H
