// The reading rules a model declares: its header records read back, what a
// model without them reads (as its names show it learnt), what each rule
// changes in the reading of a text, and that a declared reading wins over
// the names.
#include "classic_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/error.h"
#include "core/decide/sentence_sink.h"
#include "core/model/declaration.h"
#include "core/model/model_file.h"
#include "core/run/session.h"

namespace {

ModelDeclaration declaration_of(const std::string &records) {
  LoadedModel model;
  load_model_bytes(model, "m", records);
  return model.declared;
}

ReadingRules only(std::initializer_list<bool ReadingRules::*> on) {
  ReadingRules rules;
  for (bool ReadingRules::*r : {&ReadingRules::edge_markers, &ReadingRules::list_labels, &ReadingRules::roman_numerals,
                                &ReadingRules::number_types, &ReadingRules::line_breaks, &ReadingRules::colon_breaks,
                                &ReadingRules::comma_breaks, &ReadingRules::initials, &ReadingRules::pronoun_i,
                                &ReadingRules::code_spans})
    rules.*r = false;
  for (bool ReadingRules::*r : on) rules.*r = true;
  return rules;
}

const ReadingRules kBeforeRecords =
    only({&ReadingRules::edge_markers, &ReadingRules::list_labels, &ReadingRules::roman_numerals,
          &ReadingRules::number_types, &ReadingRules::pronoun_i});

TEST(Declaration, RecordsAndNamesReadBack) {
  struct Case {
    const char *records;
    TextMode mode;
    bool declared;
    ReadingRules rules;
    const char *mode_problem, *rules_problem;
  };
  const Case cases[] = {
      // No records: classic, and the rules a model from before them read.
      {"1\ttext_2_.\n", TextMode::classic, false, kBeforeRecords, "", ""},
      // The names tell which of the later rules it learnt.
      {"0\t#text-mode=unicode\n1\ttext_7_<nl>\n", TextMode::unicode, false,
       only({&ReadingRules::edge_markers, &ReadingRules::list_labels, &ReadingRules::roman_numerals,
             &ReadingRules::number_types, &ReadingRules::pronoun_i, &ReadingRules::line_breaks}),
       "", ""},
      {"0\t#text-mode=unicode\n1\tstem2_6_1_1_:\n-1\ttype_9_7\n", TextMode::unicode, false,
       only({&ReadingRules::edge_markers, &ReadingRules::list_labels, &ReadingRules::roman_numerals,
             &ReadingRules::number_types, &ReadingRules::pronoun_i, &ReadingRules::colon_breaks,
             &ReadingRules::initials}),
       "", ""},
      // A comma before a break means both joins were on in training.
      {"0\t#text-mode=unicode\n1\ttext_6_,\n", TextMode::unicode, false,
       only({&ReadingRules::edge_markers, &ReadingRules::list_labels, &ReadingRules::roman_numerals,
             &ReadingRules::number_types, &ReadingRules::pronoun_i, &ReadingRules::colon_breaks,
             &ReadingRules::comma_breaks}),
       "", ""},
      // A reading record gives the rules, whatever the names say; the first
      // of each record counts.
      {"0\t#text-mode=unicode\n0\t#reading=line-breaks,initials\n0\t#reading=pronoun-i\n1\ttype_2_7\n",
       TextMode::unicode, true, only({&ReadingRules::line_breaks, &ReadingRules::initials}), "", ""},
      {"0\t#reading=\n1\ttext_7_<nl>\n", TextMode::classic, true, only({}), "", ""},
      {"0\t#text-mode=classic\n0\t#text-mode=unicode\n", TextMode::classic, false, kBeforeRecords, "", ""},
      // What this version cannot read.
      {"0\t#text-mode=klingon\n", TextMode::classic, false, kBeforeRecords,
       "unknown text mode 'klingon' (known: classic, unicode)", ""},
      {"0\t#reading=edge-markers,markdown\n", TextMode::classic, true, only({&ReadingRules::edge_markers}), "",
       "unknown reading rule 'markdown' (known: edge-markers, list-labels, roman-numerals, number-types, "
       "line-breaks, colon-breaks, comma-breaks, initials, pronoun-i, labels-in-position, spaced-guillemets, "
       "inverted-openers, guillemet-openers, ordinal-periods, code-spans, glued-sentences, run-in-headings, "
       "run-in-dates, initialism-runs)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.records);
    const ModelDeclaration d = declaration_of(c.records);
    EXPECT_EQ(d.mode, c.mode);
    EXPECT_EQ(d.rules_declared, c.declared);
    EXPECT_EQ(d.rules, c.rules);
    EXPECT_EQ(d.mode_problem, c.mode_problem);
    EXPECT_EQ(d.rules_problem, c.rules_problem);
  }
}

// What the trainer writes reads back as the rules training read with.
TEST(Declaration, TrainedRecordsReadBackAsTheTrainingRules) {
  EXPECT_EQ(declaration_records(TextMode::classic, kTrainingRules), "0\t#text-mode=classic\n");
  const std::string unicode = declaration_records(TextMode::unicode, kTrainingRules);
  EXPECT_EQ(unicode,
            "0\t#text-mode=unicode\n0\t#reading=edge-markers,list-labels,roman-numerals,number-types,line-breaks,"
            "colon-breaks,comma-breaks,initials,pronoun-i,code-spans\n");
  const ModelDeclaration d = declaration_of(unicode);
  EXPECT_EQ(d.mode, TextMode::unicode);
  EXPECT_TRUE(d.rules_declared);
  EXPECT_EQ(d.rules, kTrainingRules);
  ReadingRules german = kTrainingRules;
  german.pronoun_i = false;
  EXPECT_EQ(declaration_of(declaration_records(TextMode::unicode, german)).rules, german);
}

// --reading: plain names are the whole set, signed ones change the
// default; a bad value leaves the rules as they were.
TEST(Declaration, ReadingOptionNamesOrChangesTheRules) {
  ReadingRules german = kTrainingRules;
  german.pronoun_i = false;
  german.labels_in_position = true;
  struct Case {
    const char *value;
    bool ok;
    ReadingRules rules;
    const char *problem;
  };
  const Case cases[] = {
      {"-pronoun-i,+labels-in-position", true, german, ""},
      {"line-breaks,initials", true, only({&ReadingRules::line_breaks, &ReadingRules::initials}), ""},
      {"", true, only({}), ""},
      {"+pronoun-i,-pronoun-i", true, [] { ReadingRules r = kTrainingRules; r.pronoun_i = false; return r; }(), ""},
      {"+labels-in-position,initials", false, kTrainingRules,
       "reading rule 'initials' without + or - among changes to the default"},
      {"-accents", false, kTrainingRules, "unknown reading rule 'accents' (known: "},
      {"initials,+accents", false, kTrainingRules, "unknown reading rule '+accents' (known: "},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.value);
    ReadingRules rules = kTrainingRules;
    std::string problem;
    EXPECT_EQ(parse_reading_option(c.value, rules, problem), c.ok);
    EXPECT_EQ(rules, c.rules);
    EXPECT_EQ(problem.substr(0, std::string(c.problem).size()), c.problem);
    if (c.ok) {
      EXPECT_EQ(declaration_of("0\t#reading=" + reading_rule_names(rules) + "\n").rules, rules);
    }
  }
}

// A run fails on what it would read and cannot: an unknown mode unless the
// mode is forced, unknown rules only in the Unicode mode.
TEST(Declaration, RunsFailOnlyOnWhatTheyRead) {
  LoadedModel mode, rules;
  load_model_bytes(mode, "m", "0\t#text-mode=klingon\n");
  load_model_bytes(rules, "r", "0\t#reading=markdown\n");
  auto error = [](const LoadedModel &m, const char *name, const TextMode *forced) -> std::string {
    try {
      model_reading(m, name, forced);
    } catch (const fullstop::core::Error &e) {
      EXPECT_EQ(e.kind(), ErrorKind::model);
      return e.what();
    }
    return "";
  };
  const TextMode classic = TextMode::classic, unicode = TextMode::unicode;
  EXPECT_EQ(error(mode, "m", nullptr), "m: unknown text mode 'klingon' (known: classic, unicode)");
  EXPECT_EQ(error(mode, "m", &classic), "");
  EXPECT_EQ(error(rules, "r", nullptr), "");
  EXPECT_EQ(error(rules, "r", &unicode).rfind("r: unknown reading rule 'markdown'", 0), 0u);
}

// Each rule switched off alone changes the reading of a text that needs it:
// the type each token forms (edge markers shown as 3) and the candidates.
std::string reading(const std::string &text, const ReadingRules &rules) {
  set_input(text);
  input().rules = rules;
  map_input();
  std::vector<std::string> seen;
  walk_input(
      [](const Token *window, void *context) {
        static_cast<std::vector<std::string> *>(context)->emplace_back(window[2].text(input()));
      },
      &seen, TextMode::unicode);
  std::string out = "[";
  for (const std::string &s : seen) out += (out.size() > 1 ? " " : "") + s;
  out += "]";
  set_input(text);
  map_input();
  index_input(TextMode::unicode);
  std::string name;
  for (const Token &t : toks) {
    fullstop::core::feature_name(name, kTypeTemplate, 2, t, input());
    out += " " + name.substr(7);
  }
  input().rules = ReadingRules{};
  reset_intake();
  return out;
}

// The marks and words whose spacing glued sentences change, as
// "text:BA" (B, A: a space before, after), of every token that reads
// otherwise with the rule than without it, in the running text `text` or,
// with `lines`, in sentence-per-line text.
std::string glued_changes(const std::string &text, bool lines) {
  std::vector<std::string> read[2];
  for (bool on : {false, true}) {
    set_input(text);
    input().rules.glued_sentences = on;
    map_input(lines);
    index_input(TextMode::unicode);
    for (const Token &t : toks)
      if (!t.edge)
        read[on].push_back(std::string(t.text(input())) + ":" + std::to_string(t.space_before) +
                           std::to_string(t.space_after));
    input().rules = ReadingRules{};
    reset_intake();
  }
  EXPECT_EQ(read[0].size(), read[1].size()) << "the rule splits no token";
  std::string out;
  for (size_t k = 0; k < read[1].size() && k < read[0].size(); k++)
    if (read[0][k] != read[1][k]) out += (out.empty() ? "" : " ") + read[1][k];
  return out;
}

// A mark closed up between the shapes prose makes reads as if spaced, the
// next word keeping its closed-up flag; initialisms, domains, file names,
// versions and code read as they did.  Sentence-per-line text says the
// same with a word joiner opening the glued sentence's line.
TEST(ReadingRules, GluedSentencesReadAsSpacedMarks) {
  struct Case {
    const char *text;
    bool lines;
    const char *changed;
  };
  const Case cases[] = {
      {"I was late.He left.", false, ".:01"},
      {"Thanks.See you!Then (done?!What's up", false, ".:01 !:01 ?!:01"},
      {"so close...Maybe not.Com or Inc.Info or.?So", false, ""},
      {"the U.S.A and e.g.The and Ph.D and cf.Smith", false, ".:01"},
      {"www.Google.com example.Com Node.js ASP.NET v2.0.1 3.5 x.Y", false, ""},
      {"obj.Method() System.IO foo.Bar.baz it.McLean it.Why2 (late.He", false, ".:01"},
      {"a@late.He http://late.He C:late.He late.Her_name late.He/she", false, ""},
      {"I was late.\n\xE2\x81\xA0He left.\n", true, "He:01"},
      {"I was late.\n\xE2\x81\xA0he left.\nSo e.\n\xE2\x81\xA0He went.\n", true, ""},
      {"I was late.\nHe left.\n", true, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(glued_changes(c.text, c.lines), c.changed);
  }
}

TEST(ReadingRules, EachRuleChangesWhatItReads) {
  struct Case {
    bool ReadingRules::*rule;
    const char *text, *with, *without;
  };
  const Case cases[] = {
      {&ReadingRules::edge_markers, "Hi! Go.", "[! .] 3 3 1 2 1 2 3 3", "[] 1 2 1 2"},
      {&ReadingRules::list_labels, "Do: 1. Mix 2) Go", "[: . Mix )] 3 3 1 2 6 2 1 4 2 1 3 3",
       "[: . )] 3 3 1 2 4 2 1 4 2 1 3 3"},
      {&ReadingRules::roman_numerals, "Do: iv. Mix", "[: .] 3 3 1 2 6 2 1 3 3", "[: .] 3 3 1 2 0 2 1 3 3"},
      {&ReadingRules::number_types, "Now 22 and 1999.", "[.] 3 3 1 4 0 5 2 3 3", "[.] 3 3 1 0 0 0 2 3 3"},
      {&ReadingRules::line_breaks, "Weather Outlook\nSunny and mild.", "[<nl-short> .] 3 3 1 1 1 0 0 2 3 3",
       "[.] 3 3 1 1 1 0 0 2 3 3"},
      {&ReadingRules::initials, "By J. Smith.", "[. .] 3 3 1 7 2 1 2 3 3", "[. .] 3 3 1 1 2 1 2 3 3"},
      {&ReadingRules::pronoun_i, "Then I. Jones.", "[. .] 3 3 1 1 2 1 2 3 3", "[. .] 3 3 1 7 2 1 2 3 3"},
      // The rules that are off by default, each turned on alone.
      // ("4." continues no sequence that "3." in running text began.)
      {&ReadingRules::labels_in_position, "Am 3. Mai bis 4. Juni. Do: 1. Mix 2. Go",
       "[. . . : . Mix .] 3 3 1 4 2 1 0 4 2 1 2 1 2 6 2 1 6 2 1 3 3",
       "[Am . bis . . : . Mix .] 3 3 1 4 2 1 0 6 2 1 2 1 2 6 2 1 6 2 1 3 3"},
      {&ReadingRules::spaced_guillemets, "« Viens demain. » Puis non.", "[\" .\" .] 3 3 2 1 0 2 1 0 2 3 3",
       "[\" . \" .] 3 3 2 1 0 2 2 1 0 2 3 3"},
      {&ReadingRules::inverted_openers, "Ya. ¿Dónde? ¡Hola!", "[. ? !] 3 3 1 2 2 1 2 2 1 2 3 3",
       "[. ? ? ! !] 3 3 1 2 2 1 2 2 1 2 3 3"},
      // "«" opens, spaced or not: no candidate, and the mark before it
      // sees an opener, not the '"' that closes.
      {&ReadingRules::guillemet_openers, "Ja. « Nee » (« Ok ». Zo.", "[. \" \". .] 3 3 1 2 2 1 2 2 1 2 1 2 3 3",
       "[. \" \" (\" \". .] 3 3 1 2 2 1 2 2 1 2 1 2 3 3"},
      {&ReadingRules::ordinal_periods, "El 1.º de mayo, n.º 3.er día.", "[, .] 3 3 1 4 2 1 0 0 2 0 2 1 4 2 0 0 2 3 3",
       "[. , . . .] 3 3 1 4 2 1 0 0 2 0 2 1 4 2 0 0 2 3 3"},
      {&ReadingRules::code_spans, "Try `a. b` now.", "[` .] 3 3 1 2 0 2 0 2 0 2 3 3",
       "[` . ` .] 3 3 1 2 0 2 0 2 0 2 3 3"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    ReadingRules on = kTrainingRules, off = kTrainingRules;
    on.*c.rule = true;
    off.*c.rule = false;
    EXPECT_EQ(reading(c.text, on), c.with);
    EXPECT_EQ(reading(c.text, off), c.without);
  }
}

// The candidates a walk visits in `text` with `rule` on too, each as `show`
// appends it to a string, by the block scanner or (bytewise) the plain one.
std::string walked(const std::string &text, bool bytewise, bool ReadingRules::*rule, SiteVisitor show) {
  set_input(text);
  if (rule != nullptr) input().rules.*rule = true;
  map_input();
  std::string seen;
  if (bytewise) {
    input().walk_bytewise(show, &seen, TextMode::unicode);
  } else {
    input().walk(show, &seen, TextMode::unicode);
  }
  reset_intake();
  input().rules = ReadingRules{};
  return seen;
}

// Run-in headings: the sites a walk visits with the rule, as the token
// before each marker and the marker.
std::string run_in_sites(const std::string &text, bool bytewise) {
  return walked(text, bytewise, &ReadingRules::run_in_headings, [](const Token *window, void *context) {
    std::string &s = *static_cast<std::string *>(context);
    const std::string_view site = window[2].text(input());
    if (site.starts_with("<hd")) s += (s.empty() ? "" : " ") + std::string(window[1].text(input())) + std::string(site);
  });
}

// With run-in dates, a date written with slashes follows a heading's end
// as a capitalised word does; a number or a date of another shape does not.
TEST(ReadingRules, RunInDatesFollowAHeadingsEnd) {
  struct Case {
    const char *text, *with, *without;
  };
  const Case cases[] = {
      {"Kay Mann 04/26/2001 07:17 AM Will you sign?", "Kay<hd> Mann<hd> 17<hd-late> AM<hd-late>",
       "Kay<hd> 17<hd-late> AM<hd-late>"},
      {"sent by Marlene 10/8/99 to us", "Marlene<hd>", ""},
      {"see page 12/3/45/6 then 3/4 then 12/12/12345 then 1/2/3 then 123/4/56 then 4/5/67.8 then 4/5/67. then "
       "4/5/678 now",
       "then<hd-late> then<hd-late>", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    for (bool bytewise : {false, true}) {
      input().rules.run_in_dates = true;
      EXPECT_EQ(run_in_sites(c.text, bytewise), c.with);
    }
    EXPECT_EQ(run_in_sites(c.text, false), c.without);
  }
}

// The walk keeps its tokens in a ring that drops all but the last few
// when full: a paragraph's sites are the same wherever in the ring it
// begins, its first token pushed just before, at or after a drop.
TEST(ReadingRules, RunInHeadingsAcrossTheWalksRing) {
  const std::string para = "Merger proposed However Anne Hone Rogers judges finals This year it rained.";
  const std::string alone = run_in_sites(para, false);
  ASSERT_EQ(alone, "proposed<hd> However<hd> Anne<hd-late> Hone<hd-late> finals<hd-late>");
  for (int filler = 4080; filler < 4100; filler++) {
    std::string text;
    for (int k = 0; k < filler; k++) text += "w ";
    text += "w.\n\n" + para;
    SCOPED_TRACE(filler);
    EXPECT_EQ(run_in_sites(text, false), alone);
    EXPECT_EQ(run_in_sites(text, true), alone);
  }
}

// A word among a paragraph's first 16 before a capitalised one ends a
// run-in heading's candidate; "<hd-late>" after the third word.  Not after
// the 16th word, nor at a short word in lower case ("for", "a"), nor
// before a paragraph's last word, nor where a mark or a line break is the
// candidate ("Outlook"), nor before a lower-case word.
TEST(ReadingRules, RunInHeadingsEndAParagraphsFirstWords) {
  struct Case {
    const char *text, *sites;
  };
  const Case cases[] = {
      {"Merger proposed However, the jury said so.", "proposed<hd>"},
      {"Anne Hone Rogers judges 28th finals This year it rained.", "Anne<hd> Hone<hd> finals<hd-late>"},
      {"Kay Mann 04/26/2001 07:17 AM Will you sign?", "Kay<hd> 17<hd-late> AM<hd-late>"},
      {"word word word word word word word word word word word word word word word word last Then it went.\n\n"
       "Short head Then it went.",
       "head<hd>"},
      {"word word word word word word word word word word word word word word word last Then it went.", "last<hd-late>"},
      {"1.2 Scope\n\nHello, World plus Mine.", "plus<hd>"},
      {"Tips for Buying a Car Here is how.", "Car<hd-late>"},
      {"Weather Outlook\nSunny and mild.", "Weather<hd>"},
      {"It was late.He left. `code Here` ok", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(run_in_sites(c.text, false), c.sites);
    EXPECT_EQ(run_in_sites(c.text, true), c.sites);
  }
}

// Code in markdown: the candidates a walk visits (window[2]'s text, '|'
// after a paragraph end), the same by both scanners.
std::string code_walk(const std::string &text, bool bytewise, bool ReadingRules::*opener = nullptr) {
  return "[" + walked(text, bytewise, opener, [](const Token *window, void *context) {
           std::string &s = *static_cast<std::string *>(context);
           s += (s.empty() ? "" : " ") + std::string(window[2].text(input())) + (window[2].para_break ? "|" : "");
         }) + "]";
}

TEST(ReadingRules, NoBoundaryFallsInsideCode) {
  struct Case {
    const char *text, *sites;
  };
  const Case cases[] = {
      // A closed fence: a paragraph of its own, its closing line its last
      // token's, no candidate inside.
      {"Run this:\n```sh\nls -l. rm x.\n```\nThen go.", "[:| ```| .]"},
      // Unclosed: the block ends at the blank line.
      {"See:\n```\nx. y.\n\nNext one. Go.", "[:| .| . .]"},
      // Tildes; a backtick fence closes no tilde block, nor a shorter run a longer one.
      {"~~~\na.\n```\nb.\n~~~\nOk.", "[~~~| .]"},
      {"````\na.\n```\nb.\n````\nOk.", "[````| .]"},
      // Indented, at the text's start, to its end.
      {"  ```\n  a.\n  ```\nB. C.\n```\nd. e.", "[```| . .| .]"},
      // Inline spans, marks inside: no boundary after the opening run, nor
      // anywhere before the closing one ends.
      {"Use `a. b` and ``c`d.`` now. Go.", "[` .`` . .]"},
      {"Run it hourly (e.g. `*/5 * * * *`). Then stop.", "[( . . *`). .]"},
      // A fence line with backticks after its run is inline code.
      {"```ls -l. x```\nNext. Go.", "[``` . .]"},
      // Backticks with no closing run, or inside words, are text.
      {"It`s `odd. Go.", "[` ` . .]"},
      {"Levi`s 1002`s. Go.", "[` ` . .]"},
      {"``Go. Now'' he said, ``'' she wrote. `` `x` `` ok.", "[`` . '' , ``'' . `` .]"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(code_walk(c.text, false), c.sites);
    EXPECT_EQ(code_walk(c.text, true), c.sites);
  }
}

// With inverted openers "\xC2\xBF" and "\xC2\xA1" read as a backtick, and with
// guillemet openers "\xC2\xAB", but mark no code: three opening a line open no
// block, two around words no span.
TEST(ReadingRules, MappedOpenersMarkNoCode) {
  struct Case {
    bool ReadingRules::*rule;
    const char *text, *sites;
  };
  const Case cases[] = {
      {&ReadingRules::inverted_openers, "\xC2\xBF\xC2\xBF\xC2\xBFQu\xC3\xA9?\nS\xC3\xAD. \xC2\xA1Ya. \xC2\xA1No! Bien.",
       "[? . . ! .]"},
      {&ReadingRules::guillemet_openers, "\xC2\xAB\xC2\xAB\xC2\xAB Wat?\nJa. \xC2\xABZo. \xC2\xABNee! Goed.",
       "[? . . ! .]"},
  };
  for (const Case &c : cases)
    for (bool bytewise : {false, true}) EXPECT_EQ(code_walk(c.text, bytewise, c.rule), c.sites) << c.text << bytewise;
}

// A model with a reading record reads by it: without line breaks it never
// splits at one, though it weighs the line-break marker; the same model
// without the record reads as its names show (line breaks, since it names
// the marker).
TEST(ReadingRules, DeclaredRulesWinOverTheNames) {
  const std::string names = "5\ttext_7_<nl-short>\n";
  const std::string text = "Weather Outlook\nSunny and mild.";
  auto spans = [&](const std::string &records) {
    LoadedModel model;
    load_model_bytes(model, "m", records + names);
    std::vector<SentenceSpan> found;
    const RunOutput output{Task::detect, FormKind::xml, nullptr, &found};
    Session session(model.table, model_reading(model, "m"), output);
    SpanSink sink(found);
    detect_text(session, text, sink);
    return found.size();
  };
  EXPECT_EQ(spans("0\t#text-mode=unicode\n"), 2u);
  EXPECT_EQ(spans("0\t#text-mode=unicode\n0\t#reading=edge-markers\n"), 1u);
  EXPECT_EQ(spans("0\t#text-mode=unicode\n0\t#reading=edge-markers,line-breaks\n"), 2u);
}

}  // namespace
