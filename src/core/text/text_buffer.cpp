#include "core/text/text_buffer.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/base/error.h"
#include "core/base/memory.h"

namespace fullstop::core {

namespace {

[[noreturn]] void too_large() {
  fail(ErrorKind::input, "input larger than " + std::to_string(kMaxText) +
                             " bytes in one piece; offsets would overflow");
}

}  // namespace

void TextBuffer::reserve(size_t cap) {
  data = static_cast<char *>(xrealloc(data, cap + kDataPadding));
  advise_huge_pages(data, cap);
}

void TextBuffer::drop() {
  // `data` is the mapped copy when there is an original, else the original.
  char *original = orig_data_ != nullptr ? orig_data_ : data;
  if (orig_data_ != nullptr) std::free(data);
  if (!borrowed_) std::free(original);
  borrowed_ = false;
  data = nullptr;
  data_len = 0;
  orig_data_ = nullptr;
  orig_len_ = 0;
  map_.clear();
  sentence_lines_ = false;
}

void TextBuffer::copy(std::string_view text) {
  drop();
  if (text.size() > kMaxText) too_large();
  reserve(text.size());
  if (!text.empty()) std::memcpy(data, text.data(), text.size());
  std::memset(data + text.size(), 0, kDataPadding);
  data_len = static_cast<int32_t>(text.size());
}

void TextBuffer::borrow(std::string_view text) {
  if (text.empty()) {
    copy(text);  // an empty buffer of its own: `data` is never null
    return;
  }
  drop();
  if (text.size() > kMaxText) too_large();
  // Never written through: see borrow() in text_buffer.h.
  data = const_cast<char *>(text.data());
  data_len = static_cast<int32_t>(text.size());
  borrowed_ = true;
}

void TextBuffer::map(bool sentence_lines, MapRules rules) {
  sentence_lines_ = sentence_lines;
  if (orig_data_ != nullptr || !needs_mapping(data, static_cast<size_t>(data_len))) return;
  // The mapping never lengthens the text, so a buffer of the text's size
  // holds it.
  char *mapped = static_cast<char *>(xrealloc(nullptr, static_cast<size_t>(data_len) + kDataPadding));
  size_t n = map_unicode(data, static_cast<size_t>(data_len), mapped, map_, sentence_lines, rules);
  std::memset(mapped + n, 0, kDataPadding);
  orig_data_ = data;
  orig_len_ = data_len;
  data = mapped;
  data_len = static_cast<int32_t>(n);
}

int32_t TextBuffer::original_text_start() const {
  return orig_data_ != nullptr && orig_len_ >= 3 && std::memcmp(orig_data_, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

}  // namespace fullstop::core
