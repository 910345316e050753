#include "core/tokens/lexicon.h"

#include <algorithm>
#include <climits>

#include "core/base/error.h"
#include "core/text/byte_class.h"
#include "core/text/unicode_map.h"

namespace fullstop::core {

void Lexicon::reset() {
  words.release();
  slots_.release();
  bytes_.clear();
  huge_words_ = false;
  edge_words_[0] = edge_words_[1] = kNoWord;
  std::fill(std::begin(marker_words_), std::end(marker_words_), kNoWord);
  std::memset(punct_words_, 0, sizeof punct_words_);
  passing_block_ = ZeroedBlock();
  passing_slots_ = nullptr;
  passing_mask_ = 0;
  generation_++;
}

void Lexicon::forget_words() {
  // The words met again since they came (or since the last time) stay, up
  // to half the bound, in index order: on running text they are the words
  // nearly every token is, and text whose words keep changing cycles
  // through the rest.  They are numbered again from 0, so that the words
  // kept are a prefix of the table.
  PodArray<uint8_t> kept;
  kept.reserve(words.size());
  kept.n = words.size();
  std::memset(kept.ptr, 0, kept.n);
  for (size_t s = 0; s < slots_.size(); s++)
    if (slots_[s].index & kMetAgain) kept[(slots_[s].index & ~kMetAgain) - 1] = 1;
  std::string bytes;
  size_t n = 0;
  for (size_t i = 0; i < words.size() && n < word_limit_ / 2; i++) {
    Word w = words[i];
    if (!kept[i] || bytes.size() + static_cast<size_t>(w.len) + kWordPadding > byte_limit_ / 2) continue;
    bytes.append(bytes_, static_cast<size_t>(w.start), static_cast<size_t>(w.len));
    w.start = static_cast<int32_t>(bytes.size() - static_cast<size_t>(w.len));
    words[n++] = w;
  }
  words.n = n;
  bytes.append(kWordPadding, '\0');
  // (A huge word met once, which a window holds whole, keeps no pages.)
  bytes_.swap(bytes);
  slots_.clear();
  index_words();
  // The shortcuts to words name them by their old indices: they are found
  // again in the index when next met.
  edge_words_[0] = edge_words_[1] = kNoWord;
  std::fill(std::begin(marker_words_), std::end(marker_words_), kNoWord);
  std::memset(punct_words_, 0, sizeof punct_words_);
  generation_++;
}

void Lexicon::begin_walk(int32_t text_len, const WordTyping &typing, bool ring) {
  text_len_ = text_len;
  typing_ = typing;
  passing_ok_ = ring && names_ != nullptr;
  // Slots for a longer text than those so far (see passing_slots_).
  if (passing_slots_ != nullptr && passing_mask_ + 1 < kPassingSlots &&
      static_cast<size_t>(text_len_) > passing_mask_ + 1)
    passing_slots_ = nullptr;
  if (slots_.empty()) grow();
}

void Lexicon::grow() {
  // The first index fits the text: at most one word per two bytes and slots
  // at most half full, so a short text (a library call per sentence or
  // line) clears 64 slots instead of 4096, which cost such a call more
  // than all its other work; the index grows as any other when it fills.
  size_t first = 64;
  while (first < 4096 && first < static_cast<size_t>(text_len_)) first *= 2;
  const size_t slots = slots_.empty() ? first : slots_.size() * 2;
  slots_.release();
  slots_.reset(slots);
  index_words();
}

// Enters every word in the (empty) index.
void Lexicon::index_words() {
  huge_words_ = false;
  for (size_t i = 0; i < words.size(); i++) {
    const Word &w = words[i];
    const Key key = key_of(w);
    slots_.probe(key.hash, [](const Slot &s) { return s.index == 0; }) =
        Slot{slot_head(key, w.len, w.start), key.len_flags, static_cast<uint32_t>(i + 1)};
    if (w.len >= kHugeWord) huge_words_ = true;
  }
}

// The record of a word of the text (not a marker) with these bytes and
// key, its bytes at `at` in `bytes_`.
inline void Lexicon::form(Word &w, int32_t at, const char *bytes, int32_t len, bool punct, const Key &key) const {
  std::memset(&w, 0, sizeof w);
  w.start = at;
  w.len = len;
  w.is_punct = punct;
  // (starts_upper reads an ASCII first byte as is_upper_byte does.)
  const auto first = static_cast<unsigned char>(bytes[0]);
  w.is_upper = typing_.unicode && first >= 0x80 ? starts_upper(bytes, static_cast<size_t>(len)) : is_upper_byte(first);
  w.space_before = (key.len_flags & token_flag::space_before) != 0;
  w.space_after = (key.len_flags & token_flag::space_after) != 0;
  w.list_label = (key.len_flags & token_flag::list_label) != 0;
  w.number = typing_.unicode && !punct ? word_shape_type(bytes, len, w.space_after, typing_.rules) : 0;
  // The first three bytes, A-Z lowered, from the key's zero-padded prefix
  // (little-endian, as prefix_of loads it; no token holds a NUL).
  uint32_t stem = static_cast<uint32_t>(key.prefix) & 0xFFFFFF;
  for (int i = 0; i < 3; i++)
    if (is_upper_byte(static_cast<unsigned char>(stem >> (8 * i)))) stem += uint32_t{'a' - 'A'} << (8 * i);
  std::memcpy(w.stem, &stem, sizeof w.stem);
}

// A token whose word is not in the index yet: a passing word (see
// pass_unnamed), or makes room if needed and creates the Word.
[[gnu::noinline]] uint32_t Lexicon::add(int32_t start, const char *bytes, int32_t len, bool punct,
                                        const Key &key) {
  if (passing_ok_ && !punct && start < text_len_) {
    const uint32_t passing = pass(bytes, len, key);
    if (passing != kNoWord) return passing;
  }
  // At most half the slots in use while the index is small (up to 1 MiB,
  // where probes stay short and memory does not matter), at most three
  // quarters beyond, where a text of millions of distinct tokens makes
  // the index's memory count for more than a probe's length.
  const size_t slots = slots_.size();
  if (words.size() + 1 > (slots <= (size_t{1} << 16) ? slots / 2 : slots / 4 * 3)) grow();
  Slot &slot = slots_.probe(key.hash, [](const Slot &s) { return s.index == 0; });
  if (words.size() >= (1u << 29)) fail(ErrorKind::input, "too many distinct tokens");
  if (bytes_.size() > static_cast<size_t>(INT32_MAX) - kWordPadding - static_cast<size_t>(len))
    fail(ErrorKind::input, "too many distinct tokens");
  // The bytes go where the padding after the last word's began (see
  // long_word_is), and eight zeros after them.
  if (!bytes_.empty()) bytes_.resize(bytes_.size() - kWordPadding);
  const auto at = static_cast<int32_t>(bytes_.size());
  bytes_.append(bytes, static_cast<size_t>(len));
  bytes_.append(kWordPadding, '\0');
  Word w;
  form(w, at, bytes, len, punct, key);
  w.is_edge = start >= text_len_;  // only markers live past the text
  uint32_t index = static_cast<uint32_t>(words.size());
  words.push_back(w);
  most_words_ = std::max(most_words_, words.size());
  if (len >= kHugeWord) huge_words_ = true;
  slot = Slot{slot_head(key, len, w.start), key.len_flags, index + 1};
  return index;
}

// The passing word of a token of the text whose word the index lacks, or
// kNoWord when the word is to be kept: the model names its text, or it was
// met while its key's fingerprint was among the recent passing words'.
inline uint32_t Lexicon::pass(const char *bytes, int32_t len, const Key &key) {
  if (passing_slots_ == nullptr) [[unlikely]] make_passing();
  uint16_t &slot = passing_slots_[key.hash & passing_mask_];
  if (slot == passing_print(key.hash)) {
    slot = 0;
    return kNoWord;
  }
  if (names_(names_context_, bytes, len, key.prefix)) return kNoWord;
  const uint32_t at = passing_next_++ & (kPassingWords - 1);
  form(passing_[at], 0, bytes, len, false, key);
  passing_signatures_[at] = signature_(names_context_, passing_[at]);
  slot = passing_print(key.hash);
  return kPassingWord | at;
}

// The ring of passing words' records (written before they are read) and
// the slots of their hashes.
[[gnu::noinline]] void Lexicon::make_passing() {
  if (passing_ == nullptr) {
    passing_.reset(new Word[kPassingWords]);
    passing_signatures_.reset(new uint32_t[kPassingWords]);
  }
  size_t slots = 256;
  while (slots < kPassingSlots && slots < static_cast<size_t>(text_len_)) slots *= 2;
  passing_block_ = ZeroedBlock(slots * sizeof *passing_slots_);
  passing_slots_ = static_cast<uint16_t *>(passing_block_.get());
  passing_mask_ = slots - 1;
}

// Whether the word of a slot that a token longer than eight bytes matched
// (fingerprint and len_flags) has the token's bytes, read where the slot
// says.  len_flags keeps only the low 25 bits of a length: when a word or
// the token has 2^25 bytes or more, the Word's length is compared too.
// Compared eight bytes at a time in line, as the hash reads them (masked to
// the length): the token has eight readable bytes after its last (see
// Tokenizer::intern_token), and the word has its padding.  A call to memcmp
// cost more than the compare for the few bytes of a typical long word, and
// its branches on the length mispredicted.
[[gnu::noinline]] bool Lexicon::long_word_is(const Slot &slot, const char *bytes, int32_t len) const {
  // Either word may be of 2^25 bytes or more only when one of these holds;
  // then the slot may even be a short word's, whose head is no offset.
  if ((huge_words_ || len >= kHugeWord) && words[(slot.index & ~kMetAgain) - 1].len != len) return false;
  const char *stored = bytes_.data() + static_cast<uint32_t>(slot.head >> 8);
  if (load8(stored) != load8(bytes)) return false;  // a long word's first eight bytes, unmasked
  for (int32_t i = 8; i < len; i += 8) {
    const int32_t n = len - i < 8 ? len - i : 8;
    if (prefix_of(stored + i, n) != prefix_of(bytes + i, n)) return false;
  }
  return true;
}

// The key of a word in the index, formed again from its bytes when the
// index grows (a Word keeps neither its hash nor its prefix: the slots have
// what lookups compare, and a text of millions of distinct tokens a smaller
// record).  The key reads up to seven bytes past the word's last: the
// padding of `bytes_` is there.
Lexicon::Key Lexicon::key_of(const Word &w) const {
  const uint8_t flags = static_cast<uint8_t>((w.space_before ? token_flag::space_before : 0) |
                                             (w.space_after ? token_flag::space_after : 0) |
                                             (w.list_label ? token_flag::list_label : 0));
  return key(bytes_.data() + w.start, w.len, flags);
}

size_t Lexicon::longest_probe() const {
  size_t longest = 0;
  const size_t mask = slots_.mask();
  for (size_t s = 0; s < slots_.size(); s++) {
    const Slot &slot = slots_[s];
    if (slot.index != 0)
      longest = std::max(longest, ((s - (key_of(words[(slot.index & ~kMetAgain) - 1]).hash & mask)) & mask) + 1);
  }
  return longest;
}

}  // namespace fullstop::core
