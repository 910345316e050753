#include "core/base/output.h"

#include <charconv>
#include <cstring>

#include "core/base/number_format.h"

namespace fullstop::core {

void Output::flush() {
  size_t n = used_;
  used_ = 0;  // a failing sink leaves nothing to write again
  if (n > 0) sink_->put(buffer_.get(), n);
}

void Output::write(const char *bytes, size_t n) {
  if (n > kCapacity - used_) {
    flush();
    if (n >= kCapacity) {
      sink_->put(bytes, n);
      return;
    }
  }
  std::memcpy(buffer_.get() + used_, bytes, n);
  used_ += n;
}

void Output::integer(int64_t value) {
  char *p = reserve(24);
  if (value >= 0 && value <= UINT32_MAX) {
    commit(format_uint(p, static_cast<uint32_t>(value)));
    return;
  }
  commit(std::to_chars(p, p + 24, value).ptr);
}

}  // namespace fullstop::core
