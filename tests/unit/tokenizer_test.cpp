#include "classic_state.h"

#include "core/text/block_classify.h"
#if defined(__SSE2__)
#include "core/text/block_classify_sse2.h"
#endif
#include "core/tokens/english.h"
#include "core/tokens/sites.h"
#include "core/tokens/tokenizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A tokenizer holding a copy of text.
void set_text(Tokenizer &in, std::string_view text) {
  in.reset();
  in.text.copy(text);
}

struct Expected {
  std::string text;
  int start, end;
  std::string stem;
  bool punct, upper, space_before, space_after, boundary, para_break;
};

void expect_tokens(const std::string &text, const std::vector<Expected> &want) {
  set_input(text);
  index_input();
  ASSERT_EQ(toks.size(), want.size()) << text;
  for (size_t i = 0; i < want.size(); i++) {
    const Token &t = toks[i];
    const Expected &e = want[i];
    SCOPED_TRACE("token " + std::to_string(i) + " of " + text);
    EXPECT_EQ(t.text(input()), e.text);
    EXPECT_EQ(t.start, e.start);
    EXPECT_EQ(t.end(), e.end);
    EXPECT_EQ(t.stem(input()), e.stem);
    EXPECT_EQ(t.is_punct(), e.punct);
    EXPECT_EQ(t.is_upper(input()), e.upper);
    EXPECT_EQ(static_cast<bool>(t.space_before), e.space_before);
    EXPECT_EQ(static_cast<bool>(t.space_after), e.space_after);
    EXPECT_EQ(static_cast<bool>(t.boundary), e.boundary);
    EXPECT_EQ(static_cast<bool>(t.para_break), e.para_break);
  }
}

TEST(Tokenizer, WordsSplitIntoClassRuns) {
  expect_tokens("He said: (Stop.) Then", {
                                             {"He", 0, 2, "he", 0, 1, 1, 1, 0, 0},
                                             {"said", 3, 7, "sai", 0, 0, 1, 0, 0, 0},
                                             {":", 7, 8, ":", 1, 0, 0, 1, 0, 0},
                                             {"(", 9, 10, "(", 1, 0, 1, 0, 0, 0},
                                             {"Stop", 10, 14, "sto", 0, 1, 0, 0, 0, 0},
                                             {".)", 14, 16, ".)", 1, 0, 0, 1, 0, 0},
                                             {"Then", 17, 21, "the", 0, 1, 1, 1, 1, 0},
                                         });
}

TEST(Tokenizer, OffsetsCountLeadingWhitespaceAndNewlines) {
  expect_tokens("  Hi.\nNo", {
                                 {"Hi", 2, 4, "hi", 0, 1, 1, 0, 0, 0},
                                 {".", 4, 5, ".", 1, 0, 0, 1, 1, 0},
                                 {"No", 6, 8, "no", 0, 1, 1, 1, 1, 0},
                             });
}

TEST(Tokenizer, ClassesFollowTheCLocale) {
  // Bytes above 0x7F are word characters and never upper case; only A-Z is
  // lowered in stems; a carriage return is an ordinary word character.
  expect_tokens("\xC3\x89t\xC3\xA9 U.S. McDonald --\r", {
                                                            {"\xC3\x89t\xC3\xA9", 0, 5, "\xC3\x89t", 0, 0, 1, 1, 0, 0},
                                                            {"U", 6, 7, "u", 0, 1, 1, 0, 0, 0},
                                                            {".", 7, 8, ".", 1, 0, 0, 0, 0, 0},
                                                            {"S", 8, 9, "s", 0, 1, 0, 0, 0, 0},
                                                            {".", 9, 10, ".", 1, 0, 0, 1, 0, 0},
                                                            {"McDonald", 11, 19, "mcd", 0, 1, 1, 1, 0, 0},
                                                            {"--", 20, 22, "--", 1, 0, 1, 0, 0, 0},
                                                            {"\r", 22, 23, "\r", 0, 0, 0, 1, 1, 0},
                                                        });
}

TEST(Tokenizer, BlankLinesMarkParagraphBreaks) {
  // Blank lines before the first token set nothing; several act as one; a
  // line of spaces and tabs is blank, a line with a NUL is not.
  expect_tokens(std::string("\n \t\nA\n\n\n B\n\x00\nC", 14), {
                                                  {"A", 4, 5, "a", 0, 1, 1, 1, 1, 1},
                                                  {"B", 9, 10, "b", 0, 1, 1, 1, 1, 0},
                                                  {"C", 13, 14, "c", 0, 1, 1, 1, 1, 0},
                                              });
}

TEST(Tokenizer, NulSeparatesWordsAndKeepsOffsets) {
  std::string input("ab\0cd. e", 8);
  expect_tokens(input, {
                           {"ab", 0, 2, "ab", 0, 0, 1, 1, 0, 0},
                           {"cd", 3, 5, "cd", 0, 0, 1, 0, 0, 0},
                           {".", 5, 6, ".", 1, 0, 0, 1, 0, 0},
                           {"e", 7, 8, "e", 0, 0, 1, 1, 1, 0},
                       });
  EXPECT_EQ(data_len, 8);
}

TEST(Tokenizer, VeryLongLineIsReadWhole) {
  // No invented line ends and no split words, however long the line.
  std::string word(300000, 'w');
  std::string input = word + " " + word + ".\n";
  set_input(input);
  index_input();
  ASSERT_EQ(toks.size(), 3u);
  EXPECT_EQ(toks[0].end(), 300000);
  EXPECT_EQ(toks[1].start, 300001);
  EXPECT_EQ(toks[0].boundary, 0);
  EXPECT_EQ(toks[2].boundary, 1);
  // The same bytes with the same spacing share a word record.
  EXPECT_NE(toks[0].word, toks[1].word);  // different space_after
}

TEST(Tokenizer, WordRecordStaysSmall) {
  // One per distinct token: text of millions of them must not cost gigabytes.
  EXPECT_LE(sizeof(Word), 32u);
}

TEST(Tokenizer, SameTextAndSpacingShareAWord) {
  set_input("a. a. a.b");
  index_input();
  ASSERT_EQ(toks.size(), 7u);
  EXPECT_EQ(toks[0].word, toks[2].word);
  EXPECT_EQ(toks[1].word, toks[3].word);
  EXPECT_NE(toks[1].word, toks[5].word);  // "." inside "a.b" has no space after
  EXPECT_EQ(words.size(), 4u);
}

}  // namespace

namespace {

struct Snapshot {
  int32_t start, len;
  uint32_t word;
  bool punct, sb, sa, boundary, para;
  bool operator==(const Snapshot &) const = default;
};

std::vector<Snapshot> snapshot() {
  std::vector<Snapshot> s;
  for (const Token &t : toks)
    s.push_back({t.start, t.len, t.word, static_cast<bool>(t.punct), static_cast<bool>(t.space_before),
                 static_cast<bool>(t.space_after), static_cast<bool>(t.boundary),
                 static_cast<bool>(t.para_break)});
  return s;
}

// The block scanner's classifiers (see Tokenizer::wide_blocks): SSE2 always, and
// AVX2 where this processor has it.  Each test below runs with each, then
// leaves the shared input as it found it.
struct EachClassifier {
  std::vector<bool> wide{false};
  EachClassifier() {
    if (wide_blocks_supported()) wide.push_back(true);
  }
  ~EachClassifier() { input().wide_blocks = wide_blocks_supported(); }
};

// The block scanner must cut exactly as the byte-at-a-time scanner does, on
// any bytes: block edges, NULs, blank and NUL-only lines, no final newline.
TEST(Tokenizer, BlockScannerAgreesWithBytewiseScanner) {
  const std::string alphabet[] = {"a", "Bc", ".", ".\"", " ", "  ", "\t", "\n", "\n\n", " \n \t\n",
                                  std::string("\0", 1), "\r", "\xE9", "--", "x.y", "word"};
  unsigned seed = 7;
  for (int round = 0; round < 400; round++) {
    std::string text;
    int pieces = static_cast<int>(seed % 200);
    for (int i = 0; i < pieces; i++) {
      seed = seed * 1103515245u + 12345u;
      text += alphabet[(seed >> 16) % std::size(alphabet)];
    }
    seed = seed * 1103515245u + 12345u;
    set_input(text);
    index_input_bytewise();
    std::vector<Snapshot> want = snapshot();
    for (bool wide : EachClassifier().wide) {
      input().wide_blocks = wide;
      set_input(text);
      index_input();
      ASSERT_EQ(snapshot(), want) << "round " << round << (wide ? ", AVX2" : ", SSE2");
    }
  }
}

// Every byte value, with each kind of neighbour on either side, at offsets on
// both sides of the block scanner's 16-byte and 64-byte edges: a byte that
// one scanner classes differently from the other (a punctuation mark left out
// of a range, a separator taken for a word byte) changes the tokens here.
TEST(Tokenizer, BlockScannerAgreesOnEveryByteAtEveryEdge) {
  const char neighbours[] = {'a', 'Z', '.', '~', ' ', '\n', '\0', '\xE9'};
  const int offsets[] = {0, 1, 14, 15, 16, 17, 30, 31, 32, 33, 62, 63, 64, 65};
  EachClassifier classifiers;
  for (int byte = 0; byte < 256; byte++) {
    for (char left : neighbours) {
      for (char right : neighbours) {
        for (int offset : offsets) {
          std::string text(static_cast<size_t>(offset), 'w');
          if (offset > 0) text.back() = left;
          text.push_back(static_cast<char>(byte));
          text.push_back(right);
          text += "q .\n";
          set_input(text);
          index_input_bytewise();
          std::vector<Snapshot> want = snapshot();
          for (bool wide : classifiers.wide) {
            input().wide_blocks = wide;
            set_input(text);
            index_input();
            ASSERT_EQ(snapshot(), want) << "byte " << byte << " at " << offset << " between " << int(left)
                                        << " and " << int(right) << (wide ? ", AVX2" : ", SSE2");
          }
        }
      }
    }
  }
}

// The flags byte the scanner forms and tests is the token's bit-fields: each
// bit read back as its field, and each field set alone read as its bit.
TEST(Tokenizer, FlagsByteIsTheBitFields) {
  const uint8_t bits[] = {token_flag::punct,      token_flag::space_before, token_flag::space_after,
                          token_flag::boundary,   token_flag::para_break,   token_flag::edge,
                          token_flag::list_label, token_flag::marker};
  for (int i = 0; i < 8; i++) {
    Token t = token_of(7, 3, bits[i]);
    EXPECT_EQ(t.start, 7);
    EXPECT_EQ(t.len, 3);
    EXPECT_EQ(t.word, kNoWord);
    const bool fields[] = {t.punct == 1, t.space_before == 1, t.space_after == 1, t.boundary == 1,
                           t.para_break == 1, t.edge == 1, t.list_label == 1, t.marker == 1};
    for (int j = 0; j < 8; j++) EXPECT_EQ(fields[j], i == j) << "bit " << i << ", field " << j;
    Token u{7, 3, kNoWord, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(flags_of(u), 0);
    switch (i) {
      case 0: u.punct = 1; break;
      case 1: u.space_before = 1; break;
      case 2: u.space_after = 1; break;
      case 3: u.boundary = 1; break;
      case 4: u.para_break = 1; break;
      case 5: u.edge = 1; break;
      case 6: u.list_label = 1; break;
      default: u.marker = 1; break;
    }
    EXPECT_EQ(flags_of(u), bits[i]) << "field " << i;
  }
}

// In the Unicode mode the block scanner also gives each token its list-marker
// hint from masks of '.', ')', '*' and '-' (the bytewise scanner reads the
// bytes): every flag, list labels and edge markers included, must agree.
TEST(Tokenizer, BlockScannerAgreesWithBytewiseScannerOnUnicodeFlags) {
  const std::string alphabet[] = {"1", "2", "12", "iv", "XII", "b", "mix", "word", ".", ")", ".)", "*",
                                  "-", ":", " ", "  ", "\n", "\n\n", "\t", std::string("\0", 1), ".\"", "(a)"};
  EachClassifier classifiers;
  std::mt19937 rng(11);
  for (int round = 0; round < 600; round++) {
    std::string text;
    // Long enough, some rounds, to cross 64-byte blocks.
    int pieces = static_cast<int>(rng() % (round % 3 == 0 ? 300 : 40));
    for (int i = 0; i < pieces; i++) text += alphabet[rng() % std::size(alphabet)];
    auto flags = [] {
      std::vector<std::tuple<int32_t, int32_t, uint32_t, uint8_t>> f;
      for (const Token &t : toks) f.emplace_back(t.start, t.len, t.word, flags_of(t));
      return f;
    };
    set_input(text);
    index_input_bytewise(TextMode::unicode);
    auto want = flags();
    for (bool wide : classifiers.wide) {
      input().wide_blocks = wide;
      set_input(text);
      index_input(TextMode::unicode);
      ASSERT_EQ(flags(), want) << "round " << round << (wide ? ", AVX2: " : ", SSE2: ") << text;
    }
  }
}

// A visiting walk in the Unicode mode, as detection runs it: the block
// scanner's walk and the bytewise scanner's must visit the same windows, in
// the same order, with the same tokens, words (interned in the same order)
// and flags, across paragraphs of every length and the ring's compactions.
TEST(Tokenizer, BlockScannerVisitsTheWindowsOfBytewiseScanner) {
  const std::string alphabet[] = {"1", "iv", "b", "word", "Longerword", ".", ")", ".)", "*", "-", ":",
                                  " ", " ", " ", "\n", "\n\n", "\n \n\n", "\t", ".\"", "(a)"};
  using Window = std::vector<std::tuple<int32_t, int32_t, uint32_t, uint8_t>>;
  auto visit = [](const Token *window, void *context) {
    Window w;
    for (int k = 0; k < kWindow; k++)
      w.emplace_back(window[k].start, window[k].len, window[k].word, flags_of(window[k]));
    static_cast<std::vector<Window> *>(context)->push_back(w);
  };
  std::mt19937 rng(23);
  for (int round = 0; round < 120; round++) {
    std::string text;
    int pieces = static_cast<int>(rng() % (round % 4 == 0 ? 12000 : 60));
    for (int i = 0; i < pieces; i++) text += alphabet[rng() % std::size(alphabet)];
    std::vector<Window> want;
    Tokenizer plain;
    set_text(plain, text);
    plain.walk_bytewise(visit, &want, TextMode::unicode);
    for (bool wide : EachClassifier().wide) {
      std::vector<Window> got;
      Tokenizer fast;
      fast.wide_blocks = wide;
      set_text(fast, text);
      fast.walk(visit, &got, TextMode::unicode);
      ASSERT_EQ(got, want) << "round " << round << (wide ? ", AVX2: " : ", SSE2: ") << text.substr(0, 200);
    }
  }
}

// The word index against a plain map of keys (bytes, space before, space
// after) in first-seen order, over enough distinct words to grow it past the
// size where it turns from half to three quarters full, with long words that
// share their first eight bytes and words that differ only in their spacing.
TEST(Tokenizer, WordIndicesFollowFirstInterningOrder) {
  std::mt19937 rng(5);
  std::string text;
  for (int i = 0; i < 220000; i++) {
    int kind = static_cast<int>(rng() % 4);
    std::string word = kind == 0 ? "abcdefgh" : kind == 1 ? "abcdefghij" : "";
    int extra = static_cast<int>(rng() % (kind == 3 ? 3 : 6));
    for (int k = 0; k <= extra; k++) word += static_cast<char>('a' + rng() % 26);
    text += word;
    text += rng() % 3 == 0 ? ". " : rng() % 2 ? " " : ",";
  }
  set_input(text);
  index_input();
  std::map<std::tuple<std::string, bool, bool>, uint32_t> seen;
  for (size_t i = 0; i < toks.size(); i++) {
    const Token &t = toks[i];
    auto key = std::make_tuple(std::string(t.text(input())), static_cast<bool>(t.space_before),
                               static_cast<bool>(t.space_after));
    auto [at, added] = seen.emplace(key, static_cast<uint32_t>(seen.size()));
    ASSERT_EQ(t.word, at->second) << "token " << i << " '" << std::get<0>(key) << "'" << (added ? " (new)" : "");
  }
  ASSERT_GT(seen.size(), 98304u);  // 2^17 slots, three quarters full: grown once more
  EXPECT_LE(longest_word_probe(), 64u);
}

// A visiting walk interns only its windows' tokens, the site's own mark
// mostly from a table of one-byte marks met before: every window token's word
// must still be its (text, spacing, list label)'s, in the order first met, and a reset
// input must forget the table with the words.
TEST(Tokenizer, WalkedWindowsInternByTextAndSpacing) {
  std::mt19937 rng(11);
  const char *marks[] = {".", ",", "!", "?", ")", "(", "\"", "'", "-", ".\"", "?!"};
  std::string text;
  for (int i = 0; i < 30000; i++) {
    if (rng() % 3 == 0) {
      text += std::string(rng() % 2 ? " " : "") + marks[rng() % 11] + (rng() % 2 ? " " : "");
    } else {
      text += std::string(1, static_cast<char>('a' + rng() % 6)) + (rng() % 4 ? " " : "");
    }
    if (rng() % 50 == 0) text += "\n\n";
  }
  using Key = std::tuple<std::string, bool, bool, bool>;
  struct Seen {
    const Tokenizer *in;
    std::map<Key, uint32_t> words;
    std::map<uint32_t, Key> keys;
    int64_t last_new = -1;  // the word of the latest key met first
    int wrong = 0;
  };
  auto visit = [](const Token *window, void *context) {
    Seen &s = *static_cast<Seen *>(context);
    for (int k = 0; k < kWindow; k++) {
      const Token &t = window[k];
      Key key{std::string(t.text(*s.in)), t.space_before, t.space_after, t.list_label};
      auto [at, added] = s.words.emplace(key, t.word);
      auto [back, added_back] = s.keys.emplace(t.word, key);
      // (Edge markers are interned when pushed, ahead of the window before them.)
      if (added && !t.edge && static_cast<int64_t>(t.word) <= s.last_new) s.wrong++;  // out of first-met order
      if (added && !t.edge) s.last_new = t.word;
      if (at->second != t.word || back->second != key) s.wrong++;
    }
  };
  for (TextMode mode : {TextMode::classic, TextMode::unicode}) {
    Tokenizer in;
    for (int round = 0; round < 2; round++) {
      set_text(in, round == 0 ? text : text.substr(5000) + ", ; :");
      Seen seen{&in, {}, {}, -1, 0};
      in.walk(visit, &seen, mode);
      EXPECT_EQ(seen.wrong, 0) << "round " << round;
      EXPECT_GT(seen.words.size(), 30u);
    }
  }
}

}  // namespace

// A line break inside a paragraph after a token that is no candidate is one
// in the Unicode mode, with the line-break marker at the window's centre:
// in running text at any line end, where lines are sentences (training,
// evaluation) only at U+2028, which there leaves the line's sentence open
// unless a line end follows it.  The marker tells short lines from long ones
// (read from the original bytes, line ends of any kind counted), and a model
// without line-break features turns the candidates off.  A colon that a line
// break follows is visited once, with the break's window beside its own
// ("joined"), unless the colon-breaks rule is off; so is a comma that ends
// a line of under 25 bytes, unless the comma-breaks rule is off too.
TEST(Tokenizer, LineBreaksAreCandidatesOfTheirOwn) {
  const std::string ls = "\xE2\x80\xA8", long_line = "so this line runs on past forty bytes in all";
  struct Case {
    std::string text;
    bool sentence_lines;
    std::vector<std::string> want;  // each site's window, "+" when its token ends an input line
  };
  const Case cases[] = {
      {"Weather Outlook\nSunny and mild.", false, {"Weather Outlook <nl-short> + Sunny and"}},
      {"Weather Outlook\r\nSunny and mild.", false, {"Weather Outlook <nl-short> + Sunny and"}},
      {long_line + "\nand on.", false, {"in all <nl> + and on"}},
      // A line from the start of the input: 39 bytes are short, 40 not.
      {"word word word word word word word abcd\nNext word.", false, {"word abcd <nl-short> + Next word"}},
      {"word word word word word word word abcde\nNext word.", false, {"word abcde <nl> + Next word"}},
      // A mark is a candidate already: a colon is joined by its line break,
      // other marks are not; a blank line ends the paragraph, and what ends
      // one has no break to join.
      {"It ended.\nThen\n\nmore text here", false, {}},
      {"Method:\n1. mix the flour\nYou need: flour, eggs.\nSo:\n\nEnd.", false,
       {"joined Method : <nl-short> + 1 .", "the flour <nl-short> + You need"}},
      {"Method:" + ls + "\n1. mix the flour, " + ls + "eggs:" + ls + "salt.\n" + long_line + ":" + ls + "more.\n", true,
       {"joined Method : <nl-short> + 1 .", "joined flour , <nl-short> eggs :",
        "joined eggs : <nl-short> salt ."}},
      {"Hello there friend" + ls + "and more. Next.\nSecond line" + ls + "\nThird one.", true,
       {"there friend <nl-short> and more", "Second line <nl-short> + Third one"}},
      {"Hello there\nfriend and more.\n", true, {}},
      // A comma is joined at the end of a line under 25 bytes (a greeting, a
      // sign-off), not at the end of a longer one, nor inside a line.
      {"Hi Anna,\nThanks, Jo, for it.\nBest regards,\nTom", false,
       {"joined Anna , <nl-short> + Thanks ,", "joined regards , <nl-short> + Tom </s>"}},
      {"Hi Anna," + ls + "\nThanks." + ls + "\nRegards," + ls + "Tom\n", true,
       {"joined Anna , <nl-short> + Thanks .", "joined Regards , <nl-short> Tom </s>"}},
      {"Hi there my good old friend Anna,\nthanks.", false, {}},
      // The line runs on across a sentence's end, so it is long.
      {long_line + ".\nAnother one" + ls + "goes.\n", true, {"Another one <nl> goes ."}},
  };
  auto visit = [](const Token *window, void *context) {
    auto &c = *static_cast<std::pair<const Tokenizer *, std::vector<std::string>> *>(context);
    const Token *shown = c.first->break_window != nullptr ? c.first->break_window : window;
    if (!shown[2].edge) return;
    std::string w = shown == window ? "" : "joined ";
    for (int k = 0; k < kWindow; k++) {
      if (k) w += ' ';
      w += shown[k].text(*c.first);
      if (k == 2 && shown[2].boundary) w += " +";
    }
    c.second.push_back(w);
  };
  for (const Case &c : cases) {
    for (auto [sites, marks] : {std::pair{true, true}, {true, false}, {false, true}}) {
      Tokenizer in;
      set_text(in, c.text);
      in.text.map(c.sentence_lines);
      in.rules.line_breaks = sites;
      in.rules.colon_breaks = marks;
      in.rules.comma_breaks = marks;
      std::pair<const Tokenizer *, std::vector<std::string>> seen{&in, {}};
      in.walk(visit, &seen, TextMode::unicode);
      std::vector<std::string> want;
      for (const std::string &w : c.want)
        if (sites && (marks || w.rfind("joined ", 0) != 0)) want.push_back(w);
      EXPECT_EQ(seen.second, want) << c.text << " " << sites << marks;
      EXPECT_EQ(in.break_window, nullptr);
    }
  }
}

// The 16-byte scan for a line start against the plain loop, on text of
// ASCII words and every kind of line end, for every stretch of up to 60
// bytes, both ways of reading lines.
TEST(Tokenizer, LineStartScanAgreesWithThePlainLoop) {
  const std::string pieces[] = {"word ", "a ", "\n", "\r", "\r\n", "\n\n", "\xC2\x85", "\xE2\x80\xA8",
                                "\xE2\x80\xA9", "\xC3\xA9", "\xE2\x80\xA6", "x", "  "};
  std::mt19937 rng(11);
  for (int round = 0; round < 300; round++) {
    std::string text;
    const int n = 1 + static_cast<int>(rng() % 40);
    for (int i = 0; i < n; i++) text += pieces[rng() % std::size(pieces)];
    const auto len = static_cast<int32_t>(text.size());
    for (int32_t at = 0; at <= len; at++)
      for (int32_t from = std::max(0, at - 60); from <= at; from++)
        for (bool sentence_lines : {false, true})
          ASSERT_EQ(line_begins_within(text.data(), from, at, sentence_lines),
                    line_begins_within_bytewise(text.data(), from, at, sentence_lines))
              << testing::PrintToString(text) << " [" << from << ", " << at << ") " << sentence_lines;
  }
}

// Each fast form of the block classifier (SSE2, and AVX2 where this
// processor has it) against the plain byte-by-byte one, on blocks of random
// bytes drawn from those that change a class (separators, punctuation at
// each range's edges, the list markers' bytes, bytes above 0x7F), with the
// byte before the block a separator or not, in both modes.
TEST(BlockClassify, FastFormsAgreeWithThePlainOne) {
  const char bytes[] = {' ', '\t', '\n', '\0', '!', '/', '0', '9', ':', '@', 'A', 'Z', '[', '`', 'a', 'z',
                        '{', '~', '.', ')', '*', '-', '\x7f', '\x80', '\xe9', '\xff', '\r', '\x1f'};
  std::mt19937 rng(29);
  auto same = [](const ClassifiedBlock &a, const ClassifiedBlock &b) {
    return a.sep == b.sep && a.punct == b.punct && a.newline == b.newline &&
           std::memcmp(a.start_flags, b.start_flags, 64) == 0 && std::memcmp(a.end_flags, b.end_flags, 64) == 0;
  };
  for (int round = 0; round < 4000; round++) {
    char block[64];
    for (char &c : block) c = bytes[rng() % std::size(bytes)];
    const bool sep_before = rng() % 2 == 0;
    for (bool unicode : {false, true}) {
      ClassifiedBlock plain, fast;
      classify_block_plain(block, sep_before, unicode, plain);
#if defined(__SSE2__)
      if (unicode) {
        classify_block_sse2<true>(block, sep_before, fast);
      } else {
        classify_block_sse2<false>(block, sep_before, fast);
      }
      ASSERT_TRUE(same(plain, fast)) << "round " << round << " unicode " << unicode;
#endif
#if FULLSTOP_WIDE_BLOCKS
      if (!wide_blocks_supported()) continue;
      if (unicode) {
        classify_block_avx2<true>(block, sep_before, fast);
      } else {
        classify_block_avx2<false>(block, sep_before, fast);
      }
      ASSERT_TRUE(same(plain, fast)) << "round " << round << " unicode " << unicode << ", AVX2";
#endif
    }
  }
}

// Numerals in one case up to 39, and the words that only look like them:
// a letter outside "ivx" ends the question early, which must answer as the
// table does.
TEST(Tokenizer, RomanNumeralsReadTheirValue) {
  const std::tuple<const char *, int, bool> cases[] = {
      {"i", 1, false},     {"iv", 4, false},  {"ix", 9, false},   {"XII", 12, true}, {"xiv", 14, false},
      {"XXXIX", -1, true}, {"xxx", 30, false}, {"viii", 8, false}, {"iiii", -1, false}, {"Iv", -1, false},
      {"mix", -1, false},  {"left", -1, false}, {"vil", -1, false}, {"XL", -1, true},   {"", -1, false},
      {"xvx", -1, false},  {"I", 1, true},
  };
  for (const auto &[word, value, upper] : cases) {
    bool is_upper = !upper;
    const int got = fullstop::core::roman_numeral(word, static_cast<int32_t>(std::strlen(word)), &is_upper);
    EXPECT_EQ(got, value) << word;
    if (value >= 0) {
      EXPECT_EQ(is_upper, upper) << word;
    }
  }
}

// With initialism runs, the window of a run's last period holds the run as
// one word, typed 8; what only looks like a run, and every other window,
// reads letter by letter.  Both scanners alike.
TEST(Tokenizer, InitialismRunsReadAsOneWord) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      // Each window whose site is a period after a word, with window[1]'s type.
      {"to the U.K. Sales rose", {"the U . K . 7", ". U.K . Sales rose 8"}},
      {"U.S.S.R. fell", {"<s> U . S . 7", ". S . S . 7", ". S . R . 7", ". U.S.S.R . fell </s> 8"}},
      {"(J.K.) Rowling", {"( J . K .) 7", ". J.K .) Rowling </s> 8"}},
      {"I met J. K. Lee", {"met J . K . 7", ". K . Lee </s> 7"}},
      // A letter, a digit or a period before the run, or a fifth letter.
      {"Mr.J.K. ok", {"<s> Mr . J . 0", ". J . K . 7", ". K . ok </s> 7"}},
      {"e.U.K. ok", {"<s> e . U . 0", ". U . K . 7", ". K . ok </s> 7"}},
      {"A.B.C.D.E. ok", {"<s> A . B . 7", ". B . C . 7", ". C . D . 7", ". D . E . 7", ". E . ok </s> 7"}},
  };
  auto visit = [](const Token *window, void *context) {
    auto &s = *static_cast<std::pair<const Tokenizer *, std::vector<std::string>> *>(context);
    if (window[1].edge || window[1].punct || window[2].text(*s.first)[0] != '.') return;
    std::string w;
    for (int k = 0; k < kWindow; k++) w += std::string(window[k].text(*s.first)) + " ";
    s.second.push_back(w + std::to_string(window[1].w(*s.first).number));
  };
  for (const auto &[text, want] : cases) {
    for (bool bytewise : {false, true}) {
      Tokenizer in;
      set_text(in, text);
      in.text.map(false);
      in.rules.initialism_runs = true;
      std::pair<const Tokenizer *, std::vector<std::string>> seen{&in, {}};
      (in.*(bytewise ? &Tokenizer::walk_bytewise : &Tokenizer::walk))(visit, &seen, TextMode::unicode);
      EXPECT_EQ(seen.second, want) << text << " bytewise " << bytewise;
    }
  }
}
