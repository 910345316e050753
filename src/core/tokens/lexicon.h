// The lexicon: every distinct word a run has met, and the index that finds
// a token's word.
//
// A token's word is its bytes, its spacing (first or last run of its
// whitespace-delimited word) and whether it is a list label in list
// position; the Word record keeps what its feature names are formed from,
// so that per-word work (stems, types, the names) is done once.  Words
// outlive the text they came from: a stream's windows and a worker's blocks
// share one lexicon, and word indices stay valid for the run's caches until
// the lexicon forgets its words (see forget_words).
#ifndef FULLSTOP_CORE_TOKENS_LEXICON_H
#define FULLSTOP_CORE_TOKENS_LEXICON_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/base/keyed_hash.h"
#include "core/base/memory.h"
#include "core/base/probe_table.h"
#include "core/tokens/english.h"
#include "core/tokens/reading_rules.h"
#include "core/tokens/token.h"

namespace fullstop::core {

// The type value the Unicode mode gives a token of `len` bytes that are all
// ASCII digits: 4 for up to three digits (the size of list numbers, counts,
// days and hours), 5 for longer ones (years, amounts); 0 for any other token.
// The classic mode reads numbers as ordinary words (type 0), so there every
// list number, "2" or "14", is learnt on its own; a type of their own lets a
// model generalise over them.
inline uint8_t number_type(const char *bytes, int32_t len) {
  for (int32_t i = 0; i < len; i++)
    if (bytes[i] < '0' || bytes[i] > '9') return 0;
  return len <= 3 ? 4 : 5;
}

// Whether a word is an initialism's run as the `initialism_runs` rule reads
// one: two to four capital ASCII letters with a period between each two
// ("U.K", "U.S.S.R").  No token of the text has this shape (a period and
// a letter are runs of two classes): only Tokenizer::visit_initialism_run
// forms such a word.
inline bool is_initialism_run(const char *bytes, int32_t len) {
  if (len < 3 || len > 7 || len % 2 == 0) return false;
  for (int32_t i = 0; i < len; i++)
    if (i % 2 != 0 ? bytes[i] != '.' : !(bytes[i] >= 'A' && bytes[i] <= 'Z')) return false;
  return true;
}

// The type value the Unicode mode gives a word by its shape: with the
// `initials` rule 7 for one capital ASCII letter that ends no word (a mark
// follows it): an initial ("J." of "J. F. Kennedy", "A.B." of "A.B.
// Carver") or a letter of an initialism ("U.S."), which otherwise types as
// any capitalised word (1) and leaves each letter's own weights (a "Q." met
// a few times) to tell a name's initial from the end of "in the U.S.".
// With `pronoun_i`, not "I" (english.h).  With `initialism_runs`, 8 for
// a run's word (is_initialism_run).  Else, with `number_types`, a
// number's type (number_type).  A word's type depends on its key only (text
// and spacing), as its other names do.
inline uint8_t word_shape_type(const char *bytes, int32_t len, bool space_after, const ReadingRules &rules) {
  if (rules.initialism_runs && is_initialism_run(bytes, len)) return 8;
  if (rules.initials && len == 1 && bytes[0] >= 'A' && bytes[0] <= 'Z' && !space_after &&
      !(rules.pronoun_i && is_pronoun_i(bytes, len)))
    return 7;
  return rules.number_types ? number_type(bytes, len) : 0;
}

// How the words met from here on are read: as Unicode text (capitals of any
// script, shape types by the reading rules), or as the classic mode's bytes.
struct WordTyping {
  bool unicode = false;
  ReadingRules rules;
};

// The most words, and bytes of words, a detection run keeps (see
// Lexicon::set_limit): a few MiB, whatever the text.  Past them the words
// are forgotten but for some met more than once, and met again as new.  A
// word is only a cache of what its bytes form: forming it again answers
// the same, so nothing a run decides depends on how long a word is kept.
// Text of recurring words hardly reaches the bound (the Brown text read
// once: 0.5% more instructions at this bound, 13% at half of it, 24% at a
// quarter, as rare words return after they were forgotten); text whose
// words keep changing (logs of ids, hashes, URLs) would otherwise keep
// every one of them.
inline constexpr size_t kDetectionWords = size_t{1} << 16;
inline constexpr size_t kDetectionWordBytes = size_t{4} << 20;

// Set in the index of a passing word (see Lexicon::pass_unnamed): one the
// index does not keep.  Kept words' indices stay below 2^29.
inline constexpr uint32_t kPassingWord = uint32_t{1} << 30;
inline bool is_passing_word(uint32_t word) { return (word & kPassingWord) != 0; }
// The passing records a lexicon reuses in turn (see Lexicon::pass_unnamed).
inline constexpr uint32_t kPassingWords = uint32_t{1} << 13;

class Lexicon {
 public:
  // The kept words, by index.
  PodArray<Word> words;

  // The record of a word, kept or passing.
  const Word &word(uint32_t index) const {
    return is_passing_word(index) ? passing_[index & (kPassingWords - 1)] : words[index];
  }
  // Whether the text of a word is one a run must keep (see pass_unnamed);
  // `prefix` is the key's (see Key).
  using NamesText = bool (*)(const void *context, const char *bytes, int32_t len, uint64_t prefix);
  // What the reader of a passing word keys its record's contributions by,
  // formed once when the word passes (see passing_signature).
  using WordSignature = uint32_t (*)(const void *context, const Word &w);
  // From the next walk on, a word whose bytes `names` rejects is not kept:
  // it gets a passing record, valid while the walk's ring of tokens can
  // still hold its token, and an index with kPassingWord set (null: every
  // word is kept, as training and the plain way need).  Detection over a
  // model indexed by word passes the words whose text the model does not
  // name: whatever they add to a window, their stem, spacing and type
  // decide (see Scorer), so nothing is gained by finding them again, and on
  // text whose words keep changing (logs of ids) the index then holds only
  // the words that matter and stays in the nearest caches.  Punctuation and
  // markers are always kept (the walk keeps shortcuts to their words).
  void pass_unnamed(NamesText names, WordSignature signature, const void *context) {
    names_ = names;
    signature_ = signature;
    names_context_ = context;
  }
  // The signature of a passing word's record (see WordSignature).
  uint32_t passing_signature(uint32_t word) const { return passing_signatures_[word & (kPassingWords - 1)]; }

  // The bytes of a kept word.
  std::string_view word_text(uint32_t word) const {
    return std::string_view(bytes_).substr(static_cast<size_t>(words[word].start),
                                           static_cast<size_t>(words[word].len));
  }
  // Forgets every word.
  void reset();
  // Bounds the words kept to `words` words and `bytes` bytes of their text
  // (0: no bound, as in training, which numbers every word it meets).
  void set_limit(size_t words, size_t bytes) {
    word_limit_ = words;
    byte_limit_ = bytes;
  }
  // Whether the words kept reached the bound: the walk then forgets them
  // where no token it still reads refers to them (see Tokenizer).
  bool over_limit() const {
    return word_limit_ != 0 && (words.size() >= word_limit_ || bytes_.size() >= byte_limit_);
  }
  // Forgets every word but a few met more than once (see lexicon.cpp),
  // keeping the index's memory for the words to come, and starts a new
  // generation: word indices from before name other words now, and whoever
  // caches by word index drops its entries.
  void forget_words();
  uint64_t generation() const { return generation_; }
  // The most words held at once so far (tests bound it).
  size_t most_words() const { return most_words_; }
  // Readies the index for a walk over `text_len` bytes: markers' tokens
  // start at text_len or later, and new words are typed as `typing` says.
  // Only a walk that keeps a bounded ring of tokens (`ring`, see Tokenizer)
  // may have passing words: their records are reused after kPassingWords
  // more.
  void begin_walk(int32_t text_len, const WordTyping &typing, bool ring);

  // What the index is searched by: everything but the bytes past the
  // eighth, and the hash.
  struct Key {
    uint64_t prefix;
    uint32_t len_flags;
    uint32_t hash;
  };
  // The key of a token's bytes and flags byte (see token_flag); reads eight
  // bytes from `bytes` on, so at least eight must be readable after the
  // token's last (see Tokenizer::intern_token).
  inline Key key(const char *bytes, int32_t len, uint8_t flags) const;
  // The word of the token at `start` with these bytes and key, a new one
  // when the index has none: usually one slot compare.
  inline uint32_t find(int32_t start, const char *bytes, int32_t len, bool punct, const Key &key);

  // The words of one-byte punctuation tokens met so far, plus one (0: not
  // yet), by their space_before and space_after flags and their byte: what
  // nearly every candidate's token is, found without a lookup.
  uint32_t &punct_word(uint8_t flags, char byte) {
    static_assert(token_flag::space_before == 2 && token_flag::space_after == 4);
    return punct_words_[(flags & (token_flag::space_before | token_flag::space_after)) >> 1][byte & 127];
  }
  // The words of the edge markers "<s>" and "</s>", of the line-break
  // markers "<nl>" and "<nl-short>" and of the run-in markers once
  // interned, else kNoWord.
  uint32_t &edge_word(bool after) { return edge_words_[after]; }
  uint32_t &line_break_word(bool short_line) { return marker_words_[short_line]; }
  uint32_t &run_in_word(bool late) { return marker_words_[2 + late]; }

  // The most slots a lookup in the index visits now (tests bound it).
  size_t longest_probe() const;

 private:
  // A slot holds the whole key of a word of up to eight bytes (its prefix,
  // length and flags), so that looking up such a token, nearly every token,
  // reads one 16-byte slot and never the Word record: on text whose word
  // table lies outside the nearest caches, each line touched is a stall.
  //
  // A longer word's slot holds, in place of its prefix, 24 bits of its
  // key's hash and the offset of its bytes in `bytes_` (see slot_head): a
  // lookup that meets another long word's slot tells them apart by the hash
  // without reading anything else, and a match compares the bytes at that
  // offset, one line, without first reading the Word record for where they
  // are.
  struct Slot {
    uint64_t head;       // the first (up to) eight bytes, zero-padded; see above for long words
    uint32_t len_flags;  // length and flags (len_flags_of)
    uint32_t index;      // word index + 1 (0: empty), and kMetAgain
  };
  // Set in a slot's index when a lookup finds its word (word indices stay
  // below 2^29).
  static constexpr uint32_t kMetAgain = uint32_t{1} << 31;

  // Zero bytes kept after the last word's bytes in `bytes_`, so that a
  // word's bytes may be read eight at a time (see long_word_is).
  static constexpr size_t kWordPadding = 8;
  // The length from which len_flags_of no longer keeps a word's whole length.
  static constexpr int32_t kHugeWord = int32_t{1} << 25;
  // A word's flags in a slot: the bits of a token's flags byte that tell
  // words apart (see token_flag), below the length, so that key() forms the
  // value from the byte with one mask: every lookup forms it.
  static constexpr uint8_t kWordFlags = token_flag::space_before | token_flag::space_after | token_flag::list_label;
  static_assert(kWordFlags < 128);
  static constexpr uint32_t len_flags_of(int32_t len, uint8_t flags) {
    return static_cast<uint32_t>(len) << 7 | (flags & kWordFlags);
  }

  static uint64_t load8(const char *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }
  // The first min(len, 8) bytes, zero-padded, of a token (len >= 1).  Reads
  // 8 bytes.  The mask is formed without a branch on the length, which is
  // short or long in no order a branch predictor could learn.
  static uint64_t prefix_of(const char *p, int32_t len) {
    uint64_t v = load8(p);
    int32_t kept = len < 8 ? len : 8;
    return v & (~uint64_t{0} >> (64 - 8 * kept));
  }
  inline uint32_t hash(const char *p, int32_t len, uint64_t prefix, uint32_t len_flags) const;
  // A slot's first eight bytes (see Slot): a word's prefix when it has at
  // most eight bytes, else the high 24 bits of its key's hash (bits 40-63;
  // the low ones place the slot) and the offset of its bytes (bits 8-39).
  // The low byte of a long word's head is zero and a prefix's never is (it
  // is the token's first byte, and no token holds a NUL), so a short token
  // never matches a long word's slot, not even one of 2^25 bytes or more
  // that len_flags does not tell apart.
  static uint64_t slot_head(const Key &key, int32_t len, int32_t bytes_at) {
    return len <= 8 ? key.prefix : uint64_t{key.hash >> 8} << 40 | uint64_t{static_cast<uint32_t>(bytes_at)} << 8;
  }
  Key key_of(const Word &w) const;
  void grow();
  void index_words();
  uint32_t add(int32_t start, const char *bytes, int32_t len, bool punct, const Key &key);
  void form(Word &w, int32_t at, const char *bytes, int32_t len, bool punct, const Key &key) const;
  bool long_word_is(const Slot &slot, const char *bytes, int32_t len) const;

  // Keyed with the process's secret (see keyed_hash.h): the tokens are
  // untrusted text, and with a fixed hash anyone could send any number of
  // distinct tokens that share one slot run.  (A copy: one load less per
  // hash than through hash_key()'s reference.)
  const HashKey hash_key_ = hash_key();
  // Open addressing from a word's key to its index: at most half of the
  // slots in use (three quarters in an index past 1 MiB; see add).  Only a
  // word longer than eight bytes whose slot matches has its bytes compared.
  ProbeTable<Slot> slots_;
  // The bytes of every word, and eight zero bytes after the last (see
  // long_word_is).
  std::string bytes_;
  // A word of 2^25 bytes or more is in the index: len_flags no longer tells
  // lengths apart (see long_word_is).
  bool huge_words_ = false;
  int32_t text_len_ = 0;  // the text being walked: markers start at its end
  WordTyping typing_;
  uint32_t edge_words_[2] = {kNoWord, kNoWord};         // "<s>", "</s>"
  // "<nl>", "<nl-short>", then the run-in markers (kRunInMarkers)
  uint32_t marker_words_[4] = {kNoWord, kNoWord, kNoWord, kNoWord};
  uint32_t punct_words_[4][128] = {};
  size_t word_limit_ = 0, byte_limit_ = 0;  // see set_limit
  // Passing words (see pass_unnamed): a ring of records, the number of
  // records made so far, and whether this walk may pass words.  A visiting
  // walk's ring holds at most 4,096 tokens, each interned at most once
  // while it is there, so a record is reused only after every token that
  // could name it has left the ring.
  NamesText names_ = nullptr;
  WordSignature signature_ = nullptr;
  const void *names_context_ = nullptr;
  bool passing_ok_ = false;
  uint32_t passing_next_ = 0;
  std::unique_ptr<Word[]> passing_;
  std::unique_ptr<uint32_t[]> passing_signatures_;
  // Fingerprints of the keys of recent passing words (15 bits of the hash,
  // and the low bit set: 0 is empty), direct-mapped by the hash's low bits:
  // a word met again while its fingerprint is here is kept from then on, as
  // any word the model names (the rare words of running text come back, and
  // so do a log's fixed words), so that only words met once go on passing.
  // 2^17 slots hold most of a text's rare words from one occurrence to the
  // next (Brown's test text read over and over keeps them, as it did before
  // words passed), in 256 KiB; a word whose key shares another's slot and
  // fingerprint is kept too, which answers the same.  Zeroed pages from the
  // kernel, made at the first passing word: a short text touches a page or
  // two of it.  A shorter text than 2^17 bytes gets slots to its length
  // (at most one word per two bytes), so that a library call on one
  // sentence clears a few hundred bytes, not 256 KiB; a longer text met
  // later gets slots anew, which only forgets some words met once.
  static constexpr size_t kPassingSlots = size_t{1} << 17;
  static uint16_t passing_print(uint32_t hash) { return static_cast<uint16_t>(hash >> 16 | 1); }
  ZeroedBlock passing_block_;
  uint16_t *passing_slots_ = nullptr;
  size_t passing_mask_ = 0;
  void make_passing();
  uint32_t pass(const char *bytes, int32_t len, const Key &key);
  uint64_t generation_ = 0;
  size_t most_words_ = 0;
};

inline uint32_t Lexicon::hash(const char *p, int32_t len, uint64_t prefix, uint32_t len_flags) const {
  // A word of up to eight bytes, nearly every token: one keyed multiply.
  // Its high half, folded in, carries every bit of both operands into the
  // low bits that place the slot; the second multiply of longer words'
  // final mix would only lengthen the chain of dependent steps that every
  // lookup waits on before it can read its slot.
  if (len <= 8) return static_cast<uint32_t>(hash_fold(prefix ^ hash_key_.k0, len_flags ^ hash_key_.k1));
  uint64_t h = hash_step(hash_key_, len_flags, prefix);
  for (int32_t i = 8; i < len; i += 8) h = hash_step(hash_key_, h, prefix_of(p + i, len - i < 8 ? len - i : 8));
  return static_cast<uint32_t>(hash_finish(hash_key_, h));
}

inline Lexicon::Key Lexicon::key(const char *bytes, int32_t len, uint8_t flags) const {
  Key key;
  key.len_flags = len_flags_of(len, flags);
  key.prefix = prefix_of(bytes, len);
  key.hash = hash(bytes, len, key.prefix, key.len_flags);
  return key;
}

[[gnu::always_inline]] inline uint32_t Lexicon::find(int32_t start, const char *bytes, int32_t len, bool punct,
                                                     const Key &key) {
  // A short token's slot matches on its prefix; a long token's on its
  // hash's fingerprint and then its bytes.  The length decides which, as it
  // did whether to compare the bytes, in one well-ordered branch.
  Slot &slot = slots_.probe(key.hash, [&](const Slot &s) {
    if (s.index == 0) return true;
    if (s.len_flags != key.len_flags) return false;
    if (len <= 8) return s.head == key.prefix;
    return s.head >> 40 == key.hash >> 8 && long_word_is(s, bytes, len);
  });
  if (slot.index == 0) return add(start, bytes, len, punct, key);
  // Marked as met again, for a bounded lexicon's choice of words to keep
  // (see forget_words): one store to the line the lookup just read.
  slot.index |= kMetAgain;
  return (slot.index & ~kMetAgain) - 1;
}

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TOKENS_LEXICON_H
