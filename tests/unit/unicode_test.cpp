// The Unicode text mode: the character mapping and its offsets against the
// plain reference, capitals of any script, sentence text, and which tokens
// the mode's walk makes candidates.
#include "classic_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/render/sentence_text.h"
#include "core/text/unicode_map.h"
#include "unicode_reference.h"

namespace {

std::string mapped(std::string_view in) {
  std::string out(in.size(), '\0');
  OffsetMap map;
  out.resize(map_unicode(in.data(), in.size(), out.data(), map));
  return out;
}

struct MapCase {
  const char *in, *out;
};

class MapTest : public testing::TestWithParam<MapCase> {};

TEST_P(MapTest, ReadsAsAscii) { EXPECT_EQ(mapped(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    Characters, MapTest,
    testing::Values(MapCase{"a\r\nb\rc\r\r\nd", "a\nb\nc\n\nd"}, MapCase{"\xEF\xBB\xBFHi", "Hi"},
                    MapCase{"a\xEF\xBB\xBF" "b", "ab"},  // inside text: zero width
                    MapCase{"x\xE2\x80\x8By\xC2\xADz", "xyz"}, MapCase{"a\vb\fc\td", "a b c\td"},
                    MapCase{"a\xC2\xA0" "b\xE2\x80\x83" "c\xE3\x80\x80" "d", "a b c d"},
                    MapCase{"a\xE2\x80\xA8" "b\xE2\x80\xA9" "c\xC2\x85" "d", "a\nb\n\nc\nd"},
                    MapCase{"\xE2\x80\x9CStop!\xE2\x80\x9D he\xE2\x80\x99s", "\"Stop!\" he's"},
                    MapCase{"\xC2\xAB Quoi ? \xC2\xBB \xE2\x80\xB9x\xE2\x80\xBA", "\" Quoi ? \" 'x'"},
                    MapCase{"wait\xE2\x80\xA6 a\xE2\x80\x93" "b\xE2\x80\x94" "c", "wait... a-b--c"},
                    MapCase{"No\xEF\xBC\x81Why\xEF\xBC\x9F" "End\xE3\x80\x82", "No! Why? End. "},
                    MapCase{"\xE2\x80\xBC\xE2\x81\x87\xE2\x81\x88\xE2\x81\x89\xC2\xA1\xC2\xBF",
                            "!!?" "?" "?!" "!?!?"},
                    MapCase{"\xE2\x80\xA2 a \xE2\x97\xA6 b \xC2\xB7 c", "*  a *  b * c"},
                    // Footnote superscripts read as a mark, emoji as ":)"
                    // (variation selectors vanish); circled numbers stay.
                    MapCase{"rare.\xC2\xB2 x\xC2\xB9\xE2\x81\xB0\xE2\x81\xB9", "rare.^ x^^^"},
                    MapCase{"ok \xF0\x9F\x98\x80 \xE2\x9D\xA4\xEF\xB8\x8F \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD",
                            "ok :) :) :):)"},
                    MapCase{"\xE2\x9D\xB6 \xE2\x9E\x94", "\xE2\x9D\xB6 \xE2\x9E\x94"},
                    // Not UTF-8 (a lone continuation byte, an overlong slash, a
                    // surrogate, a cut sequence): kept as word bytes.
                    MapCase{"\x80\xC0\xAF\xED\xA0\x80\xE2\x80", "\x80\xC0\xAF\xED\xA0\x80\xE2\x80"},
                    MapCase{"caf\xC3\xA9 \xD0\x94\xD0\xB0", "caf\xC3\xA9 \xD0\x94\xD0\xB0"}));

// The mapping's optional readings: a spaced closing guillemet joins the
// mark before it as one '"' that maps back over the spaces and the
// guillemet (and only there: not after a word, not before a letter, where
// "»" opens, not into a character's own mapping); "¿" and "¡" open.
TEST(MapRules, SpacedGuillemetsAndInvertedOpeners) {
  struct Case {
    const char *in, *out;
    int quote_at, orig_start, orig_end;  // the joined '"' and its original span (quote_at -1: none)
  };
  const Case cases[] = {
      {"demain. \xC2\xBB Puis", "demain.\" Puis", 7, 7, 10},
      {"Quoi ?\xE2\x80\xAF\xC2\xBB.", "Quoi ?\".", 6, 6, 11},
      {"\xEF\xBB\xBFOui.\xC2\xA0 \xC2\xBB", "Oui.\"", 4, 7, 12},
      {"le \xC2\xBB mot", "le \" mot", -1, 0, 0},
      {"Er sagte. \xC2\xBBKomm", "Er sagte. \"Komm", -1, 0, 0},
      {"No\xEF\xBC\x81 \xC2\xBB", "No!  \"", -1, 0, 0},
      {"\xC2\xBFQu\xC3\xA9? \xC2\xA1Ya!", "`Qu\xC3\xA9? `Ya!", -1, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in);
    const std::string in = c.in;
    std::string out(in.size(), '\0');
    OffsetMap map;
    out.resize(map_unicode(in.data(), in.size(), out.data(), map, false, MapRules{true, true}));
    EXPECT_EQ(out, c.out);
    if (c.quote_at < 0) continue;
    EXPECT_EQ(map.start(c.quote_at), c.orig_start);
    EXPECT_EQ(map.end(c.quote_at + 1), c.orig_end);
    EXPECT_EQ(map.end(c.quote_at), c.orig_start);  // the mark still ends where it did
  }
}

// Random texts built from fragments that exercise every kind of mapping.
std::string random_text(std::mt19937 &rng, int pieces) {
  using namespace std::literals;
  static const std::string_view kPieces[] = {
      "a", "Bc", " ", "\n", "\r", "\r\n", "\t", "\v", ".", "\xE2\x80\x9C", "\xE2\x80\x9D",
      "\xE2\x80\xA6", "\xE2\x80\x94", "\xC2\xA0", "\xE2\x80\xA8", "\xE2\x80\xA9",
      "\xE2\x80\x8B", "\xEF\xBB\xBF", "\xC3\x89", "\xE2\x80\xBC", "\x80", "\xE2\x80",
      "\xEF\xBC\x9F", "\xE2\x80\xA2", "\0"sv, "1.", "\xC2\xB2", "\xF0\x9F\x98\x80", "\xEF\xB8\x8F"};
  std::string s;
  for (int i = 0; i < pieces; i++) s += kPieces[rng() % std::size(kPieces)];
  return s;
}

// (Every tenth text runs to a few thousand bytes, so that lookups cross the
// map's buckets of segments.)
TEST(OffsetMap, AgreesWithThePlainReference) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; round++) {
    std::string text = random_text(rng, round % 10 == 0 ? 100 + round % 1500 : 1 + round % 40);
    const bool sentence_lines = round % 3 == 1;
    uref::Mapped want = uref::map(text, sentence_lines);
    std::string out(text.size(), '\0');
    OffsetMap map;
    out.resize(map_unicode(text.data(), text.size(), out.data(), map, sentence_lines));
    ASSERT_EQ(out, want.text) << testing::PrintToString(text);
    if (!needs_mapping(text.data(), text.size())) {
      ASSERT_TRUE(map.identity() && out == text) << testing::PrintToString(text);
    }
    // Tokens begin and end where the bytes of one original character do.
    for (size_t m = 0; m < out.size(); m++) {
      bool first = m == 0 || want.from[m - 1] != want.from[m];
      bool last = m + 1 == out.size() || want.from[m + 1] != want.from[m];
      if (first) {
        ASSERT_EQ(static_cast<size_t>(map.start(static_cast<int32_t>(m))), want.from[m].first)
            << "start of mapped byte " << m << " in " << testing::PrintToString(text);
      }
      if (last) {
        ASSERT_EQ(static_cast<size_t>(map.end(static_cast<int32_t>(m + 1))), want.from[m].second)
            << "end after mapped byte " << m << " in " << testing::PrintToString(text);
      }
    }
  }
}

// needs_mapping and map_unicode test 64 bytes at a time: one byte to map (or
// none) at any place in plain text of any length must be found.
TEST(NeedsMapping, FindsOneOddByteAnywhere) {
  for (char odd : {'\r', '\v', '\f', '\x80', '\xC3', '\xFF', 'a'}) {
    for (size_t len = 1; len <= 200; len++) {
      for (size_t at = 0; at < len; at++) {
        std::string text(len, 'x');
        text[at] = odd;
        bool plain = odd == 'a';
        ASSERT_EQ(needs_mapping(text.data(), text.size()), !plain) << int(odd) << " at " << at << " of " << len;
        std::string out(len, '\0');
        OffsetMap map;
        out.resize(map_unicode(text.data(), len, out.data(), map));
        ASSERT_EQ(out, uref::map(text).text) << int(odd) << " at " << at << " of " << len;
      }
    }
  }
}

// Every byte value, inside and at the edges of the 16- and 64-byte steps:
// only bytes from 0x80 and the controls '\v', '\f' and '\r' (found by one
// range test) are to be mapped; their neighbours '\n' and 14 are not.
TEST(NeedsMapping, EveryByteValueAtEveryStep) {
  for (int c = 0; c < 256; c++) {
    for (size_t at : {0, 15, 16, 47, 63, 64, 127, 128, 140}) {
      std::string text(141, 'x');
      text[at] = static_cast<char>(c);
      bool odd = c >= 0x80 || c == '\r' || c == '\v' || c == '\f';
      ASSERT_EQ(needs_mapping(text.data(), text.size()), odd) << c << " at " << at;
    }
  }
}

// The 16-byte scan for what a sentence prints as it is must stop where the
// plain loop stops: every byte value, and a space before a space or at the
// end, at every place in and around a block, in texts of every length
// around the block size (the scan reads one byte ahead of its block).
TEST(SentenceText, PlainPrefixAgreesWithTheLoop) {
  for (size_t len = 0; len <= 50; len++) {
    for (size_t at = 0; at < len; at++) {
      for (int c = 0; c < 256; c++) {
        // Exactly len bytes on the heap: a read past them is a sanitizer error.
        std::vector<char> text(len, 'x');
        text[at] = static_cast<char>(c);
        ASSERT_EQ(unicode_plain_prefix(text.data(), len), unicode_plain_prefix_bytewise(text.data(), len))
            << c << " at " << at << " of " << len;
        if (c == ' ' && at + 1 < len) {
          text[at + 1] = ' ';
          ASSERT_EQ(unicode_plain_prefix(text.data(), len), unicode_plain_prefix_bytewise(text.data(), len))
              << "two spaces at " << at << " of " << len;
        }
      }
    }
  }
}

TEST(StartsUpper, CapitalsOfAnyScriptAndCaselessLetters) {
  for (const char *s : {"A", "Zed", "\xC3\x89mile", "\xC3\x96" "d\xC3\xB6n", "\xC5\x81ukasz", "\xCE\xA9",
                        "\xD0\x94\xD0\xBC", "\xC7\x85",  // ... and title case (Dž)
                        "\xE4\xB8\xAD", "\xE3\x81\x8B", "\xD8\xA8", "\xE0\xB8\x81"})  // 中 か ب ก
    EXPECT_TRUE(starts_upper(s, std::strlen(s))) << s;
  for (const char *s : {"a", "1A", "\xC3\xA9", "\xC3\x9F", "\xD0\xB4", "\xC3", "\xFF", "\"A",
                        "\xE3\x80\x85"})  // 々, a mark (Lm), not a letter of its own
    EXPECT_FALSE(starts_upper(s, std::strlen(s))) << s;
}

struct TextCase {
  const char *in, *out;
};

class SentenceTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(SentenceTextTest, WhitespaceRunsBecomeOneSpace) {
  std::string scratch;
  std::string_view in = GetParam().in;
  EXPECT_EQ(unicode_sentence_text(in.data(), in.size(), scratch), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, SentenceTextTest,
    testing::Values(TextCase{"Plain text.", "Plain text."}, TextCase{"Two  spaces. ", "Two spaces."},
                    TextCase{" Front kept.", " Front kept."},
                    TextCase{"A\r\nB\rC\tD\vE\fF", "A B C D E F"}, TextCase{"A \f B", "A B"},
                    TextCase{"A\xC2\x85" "B\xE2\x80\xA8" "C\xE2\x80\xA9\xE2\x80\x83" "D", "A B C D"},
                    TextCase{"Caf\xC3\xA9\xC2\xA0\xE2\x80\x9Cok\xE2\x80\x9D\r\n\r\n",
                             "Caf\xC3\xA9 \xE2\x80\x9Cok\xE2\x80\x9D"},
                    TextCase{"bad\xC2 byte", "bad\xC2 byte"}));

// The texts of the tokens a Unicode walk visits, edge markers shown as they
// read.
std::vector<std::string> candidates(const std::string &text) {
  set_input(text);
  map_input();
  std::vector<std::string> out;
  walk_input(
      [](const Token *window, void *context) {
        static_cast<std::vector<std::string> *>(context)->emplace_back(window[2].text(input()));
      },
      &out, TextMode::unicode);
  reset_intake();
  return out;
}

struct CandidateCase {
  const char *text;
  std::vector<std::string> want;
};

class CandidateTest : public testing::TestWithParam<CandidateCase> {};

TEST_P(CandidateTest, Visited) { EXPECT_EQ(candidates(GetParam().text), GetParam().want); }

INSTANTIATE_TEST_SUITE_P(
    Walk, CandidateTest,
    testing::Values(
        // The first and last tokens of a text have full windows.
        CandidateCase{"Yes. No.", {".", "."}}, CandidateCase{"Hi!", {"!"}},
        // ... and so do those of every paragraph, CRLF blank lines included.
        CandidateCase{"Ab xy.\r\n\r\nEf gh.", {".", "."}},
        CandidateCase{"Title\r\n \t\r\nText.", {"Title", "."}},
        // Tokens before list markers: numbers, letters, roman numerals,
        // bullets; not before "2.5", "U.S." or a long number.
        CandidateCase{"Do: 1. Mix 2) Bake iv. Eat a.) end",
                      {":", ".", "Mix", ")", "Bake", ".", "Eat", ".)"}},
        CandidateCase{"x \xE2\x80\xA2 y - z\n- w", {"x", "*", "-", "z", "-"}},
        // ... standing alone: not emphasis, not a sign.
        CandidateCase{"a *real* b * 1. d", {"*", "*", "b", "*", "."}},
        CandidateCase{"x\n-5 c", {"<nl-short>", "-"}},
        // A bullet stands apart from a label it touches.
        CandidateCase{"Do \xE2\x80\xA2" "9. Mix \xE2\x80\xA2" "10. Bake", {"Do", "*", ".", "Mix", "*", "."}},
        CandidateCase{"in 2.5 the U.S. ok 1999. Now", {".", ".", ".", "."}},
        CandidateCase{"Albert I. Jones was A. Nakamura", {".", "."}},
        CandidateCase{"x I) a II) b", {")", "a", ")"}},
        CandidateCase{"See the mix. Then xiv. Go", {".", "Then", "."}},
        // A footnote superscript joins the mark before it; an emoji is one.
        CandidateCase{"It is rare.\xC2\xB2 In x\xC2\xB2 y", {".^", "^"}},
        CandidateCase{"Good food \xF0\x9F\x98\x80 Go", {":)"}}));

TEST(Walk, EdgeMarkersFormTheirOwnWindows) {
  set_input("\xE2\x80\x9CStop!\xE2\x80\x9D he said.");
  map_input();
  std::vector<std::string> windows;
  walk_input(
      [](const Token *w, void *context) {
        std::string s;
        for (int k = 0; k < 5; k++) s += std::string(w[k].text(input())) + (k < 4 ? " " : "");
        static_cast<std::vector<std::string> *>(context)->push_back(s);
      },
      &windows, TextMode::unicode);
  EXPECT_EQ(windows, (std::vector<std::string>{"<s> <s> \" Stop !\"", "\" Stop !\" he said",
                                               "he said . </s> </s>"}));
  reset_intake();
}

// The type value each token forms (as in "type_2_T"), edge markers included,
// when the text is read in `mode`.
std::string types(const std::string &text, TextMode mode) {
  set_input(text);
  if (mode == TextMode::unicode) map_input();
  index_input(mode);
  std::string out, name;
  for (const Token &t : toks) {
    feature_name(name, 3, 2, t, input());
    out += (out.empty() ? "" : " ") + name.substr(std::strlen("type_2_"));
  }
  reset_intake();
  return out;
}

struct TypeCase {
  const char *text, *unicode, *classic;
};

class TypeTest : public testing::TestWithParam<TypeCase> {};

TEST_P(TypeTest, NumbersHaveTypesOfTheirOwnInTheUnicodeModeOnly) {
  EXPECT_EQ(types(GetParam().text, TextMode::unicode), GetParam().unicode) << GetParam().text;
  EXPECT_EQ(types(GetParam().text, TextMode::classic), GetParam().classic) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Types, TypeTest,
    testing::Values(
        // List numbers of one to three digits read 4, longer numbers 5,
        // whatever follows them in the word.
        TypeCase{"Do 1. 22) 333 4444 in", "3 3 1 4 2 4 2 4 5 0 3 3", "1 0 2 0 2 0 0 0"},
        // Each run of a decimal, a time or a sign is a number of its own.
        TypeCase{"at 2.5 or 10:30 -7", "3 3 0 4 2 4 0 4 2 4 2 4 3 3", "0 0 2 0 0 0 2 0 2 0"},
        // Digits mixed with letters, and digits of other scripts (Arabic-Indic
        // ١٢, fullwidth １), are words.
        TypeCase{"x2 2nd A4 \xD9\xA1\xD9\xA2 \xEF\xBC\x91", "3 3 0 0 1 0 0 3 3", "0 0 1 0 0"},
        // Bullets stay punctuation; a number and "." after one is a list
        // label (see ListLabels below).
        TypeCase{"\xE2\x80\xA2 9. Go", "3 3 2 6 2 1 3 3", "0 0 2 1"},
        // One capital letter that a mark follows is an initial (7), but
        // "I"; a capital letter that ends its word ("A man") is a word.
        TypeCase{"By J. Q.Rand, A.B. A man I. X", "3 3 1 7 2 7 2 1 2 7 2 7 2 1 0 1 2 1 3 3",
                 "1 1 2 1 2 1 2 1 2 1 2 1 0 1 2 1"}));

// A list label in list position types 6 in the Unicode mode; the same token
// elsewhere keeps its number or word type.  The classic mode never types 6.
INSTANTIATE_TEST_SUITE_P(
    ListLabels, TypeTest,
    testing::Values(
        // At a line start (and the text's); "2." mid-line after a line
        // holding "1." starts no sequence: the state ends with the line.
        TypeCase{"1. Go\nSee 2. It", "3 3 6 2 1 1 4 2 1 3 3", "0 2 1 1 0 2 1"},
        // After ":" and after a bullet; a capital numeral types 6 too.
        TypeCase{"Do: a) x \xE2\x80\xA2 II. y", "3 3 1 2 6 2 0 2 6 2 0 3 3", "1 2 0 2 0 0 1 2 0"},
        // The next label of a sequence on the same line: numbers, letters,
        // roman numerals.
        TypeCase{"1. The item 2. The next", "3 3 6 2 1 0 6 2 1 0 3 3", "0 2 1 0 0 2 1 0"},
        TypeCase{"Now x b. y c. z", "3 3 1 0 0 2 0 6 2 0 3 3", "1 0 0 2 0 0 2 0"},
        TypeCase{"As iv. one v. two", "3 3 1 0 2 0 6 2 0 3 3", "1 0 2 0 0 2 0"},
        // Not a successor: a gap in the numbers, another closer, a label
        // that does not end its word, a number too long for a label.
        TypeCase{"On May 4. Then 6. Go", "3 3 1 1 4 2 1 4 2 1 3 3", "1 1 0 2 1 0 2 1"},
        TypeCase{"Use a) x b. y", "3 3 1 0 2 0 0 2 0 3 3", "1 0 2 0 0 2 0"},
        TypeCase{"1. x 2.5 y\n1999. Z", "3 3 6 2 0 4 2 4 0 5 2 1 3 3", "0 2 0 0 2 0 0 0 2 1"},
        // A label that ends its line (or the text) opens no item there.
        TypeCase{"Use: 1.\nA 2.", "3 3 1 2 4 2 1 4 2 3 3", "1 2 0 2 1 0 2"}));

// Two-byte characters from U+00C0 on are copied without a lookup: each must
// map as the reference maps it, alone and between letters.
TEST(UnicodeMap, TwoByteLettersMapAsTheReference) {
  for (uint32_t cp = 0xC0; cp <= 0x7FF; cp++) {
    const std::string ch{static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    for (const std::string &text : {ch, "a" + ch + "b", ch + ch + " ."}) {
      std::string out(text.size(), '\0');
      OffsetMap map;
      out.resize(map_unicode(text.data(), text.size(), out.data(), map));
      ASSERT_EQ(out, uref::map(text, false).text) << "U+" << std::hex << cp;
    }
  }
}

}  // namespace

