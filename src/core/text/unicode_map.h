// The Unicode text mode: real-world text mapped onto the ASCII feature space.
//
// The classic tokenizer knows ASCII only: a curly quote is a word byte, a CRLF
// line is never blank, "…" is no sentence mark.  The Unicode mode maps the
// input, character by character, onto the ASCII text the features were
// designed for (typographic quotes to ASCII quotes, "…" to "...", Unicode
// spaces and line ends to ASCII ones, fullwidth marks to ASCII marks, bullets
// to "*"; ideographic full stops, fullwidth marks and bullets also to a
// space after the mark), tokenizes that, and maps every offset back to the
// original bytes.
// The mapping never lengthens the text, and a character maps either to
// itself or to a short ASCII string; `OffsetMap` records only the characters
// whose length changes, so all-ASCII text costs one scan and no copy.
#ifndef FULLSTOP_CORE_TEXT_UNICODE_MAP_H
#define FULLSTOP_CORE_TEXT_UNICODE_MAP_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fullstop::core {

// A run of `orig_len` original bytes that became `mapped_len` mapped bytes
// (mapped_len < orig_len), at mapped offset `mapped` and original offset
// `orig`.  Between segments, mapped and original bytes correspond one to one.
struct MapSegment {
  int32_t mapped, orig;
  int32_t mapped_len, orig_len;
};

// Mapped offsets to original offsets, at the edges of the mapped bytes of
// one original character (where tokens begin and end: a character never
// maps to bytes of two classes).
class OffsetMap {
 public:
  // Where the original character whose mapping begins at mapped byte m begins.
  int32_t start(int32_t m) const;
  // Where the original character whose mapping ends at mapped byte e - 1
  // ends (e > 0).
  int32_t end(int32_t e) const;
  bool identity() const { return segments_.empty(); }
  std::vector<MapSegment> &segments() { return segments_; }
  const std::vector<MapSegment> &segments() const { return segments_; }
  // Indexes the segments, once they are all there, for the mapped text's
  // `mapped_len` bytes (see first_); segments changed afterwards must be
  // indexed again, or cleared.
  void index(int32_t mapped_len);
  void clear();

 private:
  // The last segment at or before mapped offset m, or nullptr.
  const MapSegment *segment_before(int32_t m) const;
  std::vector<MapSegment> segments_;
  // first_[b] is the first segment at mapped offset b << kBucketShift or
  // after, so that a lookup searches the few segments of one bucket rather
  // than all of them: text of many short lines is looked up once for each
  // candidate, and a search over a megabyte of segments misses the caches
  // at every step.  Empty: not indexed, the whole is searched.
  static constexpr int kBucketShift = 8;
  std::vector<uint32_t> first_;
};

// True when the text holds a byte that the mapping would change: a byte of
// 0x80 or above, CR, VT or FF.  Text without one maps to itself.
bool needs_mapping(const char *text, size_t len);

// Readings of the mapping that a model may ask for (see the rules of the
// same names in tokens/reading_rules.h); off, the mapping is as above.
struct MapRules {
  // A closing guillemet "»" that spaces set apart from a sentence mark
  // before it (". ? !", "…") maps, with those spaces, to one '"' right after
  // the mark: "demain. » Puis" reads as "demain.\" Puis".
  bool spaced_guillemets = false;
  // "¿" and "¡" map to the opening mark '`' rather than to '?' and '!'.
  bool inverted_openers = false;
  // Where lines are sentences, a word joiner (U+2060) maps to a NUL rather
  // than to nothing: one opening a line says that its sentence followed the
  // one before with no space ("late.He"), which a line end cannot show.
  bool glued_sentences = false;
  // "«" maps to the opening mark '`' rather than to '"'.
  bool guillemet_openers = false;
};

// Maps text[0, len) into out (room for len bytes) and returns the mapped
// length; `map` receives the segments.  A UTF-8 byte order mark at the start
// is dropped; invalid UTF-8 is copied as it is (word bytes).
//
// `sentence_lines`: the text holds one sentence per line (training and
// evaluation), so its line ends are the sentences' ends, not the text's.  A
// line separator (U+2028) then stands for a line break of the text itself,
// inside a sentence or after its end, and maps to a NUL: a separator that
// ends no line, which the tokenizer reads as such a break (see
// line_break_after in tokens/sites.h).
size_t map_unicode(const char *text, size_t len, char *out, OffsetMap &map, bool sentence_lines = false,
                   MapRules rules = {});

// True when the text starts with an upper-case or title-case letter of any
// script (A-Z, É, Ö, Ł, Ω, Д ...), or with a letter of a script that has no
// case (中, か, ب, ก), read as UTF-8: a word that may open a sentence as far
// as its case tells.  Typing caseless words as lower case said that a word
// after "。" carries the sentence on.
bool starts_upper(const char *text, size_t len);

// The length in bytes of the whitespace character at text[0, len), or 0.
size_t unicode_space_length(const char *text, size_t len);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TEXT_UNICODE_MAP_H
