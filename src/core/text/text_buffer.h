// The bytes one run reads: a padded copy of its own, or the caller's text
// read in place; in the Unicode mode also the mapped copy and the map from
// its offsets back to the original's.
#ifndef FULLSTOP_CORE_TEXT_TEXT_BUFFER_H
#define FULLSTOP_CORE_TEXT_TEXT_BUFFER_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/text/byte_class.h"
#include "core/text/unicode_map.h"

namespace fullstop::core {

// A copy the buffer owns has at least kDataPadding zero bytes after its last
// byte, so that forming a sentence's text may load 16 bytes at a time up to
// the end.  Nothing else reads past the last byte: a text read in place has
// no padding.
inline constexpr size_t kDataPadding = 64;

// The most bytes one text (a whole text, or a stream's window) may hold:
// token offsets are 32-bit, and the edge markers' offsets lie up to 44
// bytes past the text's end, so those must fit too.
inline constexpr size_t kMaxText = static_cast<size_t>(INT32_MAX) - 64;

class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(const TextBuffer &) = delete;
  TextBuffer &operator=(const TextBuffer &) = delete;
  ~TextBuffer() { drop(); }

  // The bytes read: the mapped copy in the Unicode mode when there was
  // anything to map, else the text itself.  Offsets everywhere are offsets
  // into these bytes.
  char *data = nullptr;
  int32_t data_len = 0;

  // Takes a padded copy of text.  Text past kMaxText fails (kind input).
  void copy(std::string_view text);
  // Reads text where it is, without a copy: the caller keeps it unchanged
  // until the buffer is dropped or given other text.  Nothing writes to
  // it and nothing reads past its last byte, but a run that forms
  // sentences' text needs the padding of a copy.  In the Unicode mode,
  // map() still makes its mapped (owned, padded) copy when the text holds
  // anything to map.
  void borrow(std::string_view text);
  // Forgets the text (and frees what the buffer owns).
  void drop();

  // Maps the text onto the ASCII feature space (see unicode_map.h) when it
  // holds anything to map; the original bytes stay available.
  // `sentence_lines`: the text holds one sentence per line (training and
  // evaluation), so a line break of the text is written as U+2028 (see
  // map_unicode).
  // `rules`: the readings the model asks of the mapping.
  void map(bool sentence_lines, MapRules rules = {});
  // Whether the text holds a sentence per line (see map()).
  bool sentence_lines() const { return sentence_lines_; }

  // The original text (what map() was given; `data` when nothing was
  // mapped or in the classic mode) and its length.
  const char *original_data() const { return orig_data_ != nullptr ? orig_data_ : data; }
  int32_t original_len() const { return orig_data_ != nullptr ? orig_len_ : data_len; }
  // Where the original text begins: after a UTF-8 byte order mark, if it
  // starts with one (Unicode mode), else 0.
  int32_t original_text_start() const;
  // Original offsets of a mapped token start and a mapped token end.
  int32_t original_start(int32_t mapped) const {
    return orig_data_ != nullptr ? map_.start(mapped) : mapped;
  }
  int32_t original_end(int32_t mapped) const {
    return orig_data_ != nullptr && mapped > 0 ? map_.end(mapped) : mapped;
  }
  // The offset of the first byte at or after pos that is no separator, or
  // data_len: where the token after pos begins.
  int32_t next_token_start(int32_t pos) const {
    while (pos < data_len && is_separator_byte(static_cast<unsigned char>(data[pos]))) pos++;
    return pos;
  }

 private:
  void reserve(size_t cap);

  // The text is the caller's (borrow()): never freed, grown or written.
  bool borrowed_ = false;
  // The original bytes when `data` holds their mapping (else null), and the
  // map between the two.
  char *orig_data_ = nullptr;
  int32_t orig_len_ = 0;
  OffsetMap map_;
  bool sentence_lines_ = false;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TEXT_TEXT_BUFFER_H
