// The escapers of the machine-readable output forms, case by case.
#include "core/base/number_format.h"
#include "core/render/escape.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace fullstop::core;

struct EscapeCase {
  const char *name;
  std::string in;
  std::string xml, json, tsv;
};

void PrintTo(const EscapeCase &c, std::ostream *os) { *os << c.name; }

const EscapeCase kCases[] = {
    {"plain", "Hello world.", "Hello world.", "Hello world.", "Hello world."},
    {"markup", "a<b & \"c\">", "a&lt;b &amp; &quot;c&quot;&gt;", "a<b & \\\"c\\\">",
     "a<b & \"c\">"},
    {"whitespace_controls", "a\tb\nc\rd", "a\tb\nc&#13;d", "a\\tb\\nc\\rd", "a\\tb\\nc\\rd"},
    {"other_controls", std::string("a\0b\x01\x1f\b\f", 7), "a\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD",
     "a\\u0000b\\u0001\\u001f\\b\\f", std::string("a\0b\x01\x1f\b\f", 7)},
    {"backslash", "a\\b", "a\\b", "a\\\\b", "a\\\\b"},
    {"utf8_kept", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80",
     "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80"},
    {"latin1_byte", "caf\xE9!", "caf\uFFFD!", "caf\\udce9!", "caf\xE9!"},
    {"cut_sequence", "x\xE2\x80", "x\uFFFD\uFFFD", "x\\udce2\\udc80", "x\xE2\x80"},
    {"overlong_slash", "\xC0\xAF", "\uFFFD\uFFFD", "\\udcc0\\udcaf", "\xC0\xAF"},
    {"surrogate", "\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD", "\\udced\\udca0\\udc80", "\xED\xA0\x80"},
    {"past_u10ffff", "\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD",
     "\\udcf4\\udc90\\udc80\\udc80", "\xF4\x90\x80\x80"},
    {"non_characters", "\xEF\xBF\xBE\xEF\xBF\xBD", "\uFFFD\uFFFD\uFFFD\uFFFD",
     "\xEF\xBF\xBE\xEF\xBF\xBD", "\xEF\xBF\xBE\xEF\xBF\xBD"},
    {"empty", "", "", "", ""},
};

class Escape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escape, EachForm) {
  const EscapeCase &c = GetParam();
  std::string xml = "pre:", json = "pre:", tsv = "pre:";  // appends, keeps what is there
  append_xml_text(xml, c.in);
  append_json_string(json, c.in);
  append_tsv_field(tsv, c.in);
  EXPECT_EQ(xml, "pre:" + c.xml);
  EXPECT_EQ(json, "pre:" + c.json);
  EXPECT_EQ(tsv, "pre:" + c.tsv);
}

INSTANTIATE_TEST_SUITE_P(Cases, Escape, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Utf8SequenceLength, BoundariesOfEachLength) {
  EXPECT_EQ(utf8_sequence_length(""), 0u);
  EXPECT_EQ(utf8_sequence_length("\x7F"), 1u);
  EXPECT_EQ(utf8_sequence_length("\xC1\xBF"), 0u);  // overlong
  EXPECT_EQ(utf8_sequence_length("\xC2\x80"), 2u);
  EXPECT_EQ(utf8_sequence_length("\xE0\x9F\xBF"), 0u);  // overlong
  EXPECT_EQ(utf8_sequence_length("\xE0\xA0\x80"), 3u);
  EXPECT_EQ(utf8_sequence_length("\xED\x9F\xBF"), 3u);  // U+D7FF
  EXPECT_EQ(utf8_sequence_length("\xEE\x80\x80"), 3u);  // U+E000
  EXPECT_EQ(utf8_sequence_length("\xF0\x8F\xBF\xBF"), 0u);  // overlong
  EXPECT_EQ(utf8_sequence_length("\xF4\x8F\xBF\xBF"), 4u);  // U+10FFFF
  EXPECT_EQ(utf8_sequence_length("\xF5\x80\x80\x80"), 0u);
  EXPECT_EQ(utf8_sequence_length("\xC3\x28"), 0u);  // bad continuation
}

// The offsets' printer against std::to_chars: every power of ten and its
// neighbours (where the digit count changes), every power of two and its
// neighbours (where the bit width does), the 64-bit values past 32 bits.
TEST(FormatUint, AgreesWithToChars) {
  std::vector<uint64_t> values = {0, UINT32_MAX, uint64_t{UINT32_MAX} + 1, UINT64_MAX};
  for (uint64_t p = 1; p <= UINT64_MAX / 10; p *= 10)
    for (uint64_t v : {p - 1, p, p + 1, p * 10 - 1}) values.push_back(v);
  for (int b = 0; b < 64; b++)
    for (uint64_t v : {(uint64_t{1} << b) - 1, uint64_t{1} << b, (uint64_t{1} << b) + 1}) values.push_back(v);
  // Every digit at every place (the digits are formed in lanes, each place
  // its own).
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; i++) values.push_back(rng() >> (rng() % 64));
  for (uint64_t v : values) {
    char want[24], got[24];
    std::string expected(want, std::to_chars(want, want + sizeof want, v).ptr);
    EXPECT_EQ(std::string(got, format_uint64(got, v)), expected);
    if (v <= UINT32_MAX) {
      EXPECT_EQ(std::string(got, format_uint(got, static_cast<uint32_t>(v))), expected);
    }
  }
}

}  // namespace
