// Buffered output over a sink: what every output form, the training
// contexts and the model writer print through.
#ifndef FULLSTOP_CORE_BASE_OUTPUT_H
#define FULLSTOP_CORE_BASE_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace fullstop::core {

// Where buffered output goes when the buffer fills or is flushed.
class Sink {
 public:
  virtual ~Sink() = default;
  // Takes all n bytes or throws an Error (kind output).
  virtual void put(const char *bytes, size_t n) = 0;
};

// Appends to a string.
class StringSink : public Sink {
 public:
  void put(const char *bytes, size_t n) override { text.append(bytes, n); }
  std::string text;
};

// Buffered writes to a sink, in chunks of up to 64 KiB.
class Output {
 public:
  static constexpr size_t kCapacity = 1 << 16;
  explicit Output(Sink &sink) : sink_(&sink), buffer_(new char[kCapacity]) {}
  Output(const Output &) = delete;
  Output &operator=(const Output &) = delete;

  void write(const char *bytes, size_t n);
  void write(std::string_view s) { write(s.data(), s.size()); }
  void put(char c) {
    if (used_ == kCapacity) flush();
    buffer_[used_++] = c;
  }
  void integer(int64_t value);
  void flush();
  // Direct writing into the buffer: reserve(n) returns room for at least n
  // bytes (n at most 4096); commit(end) keeps what was written up to end.
  char *reserve(size_t n) {
    if (n > kCapacity - used_) flush();
    return buffer_.get() + used_;
  }
  void commit(char *end) { used_ = static_cast<size_t>(end - buffer_.get()); }
  // Drops buffered output without writing it.
  void discard() { used_ = 0; }

 private:
  Sink *sink_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_BASE_OUTPUT_H
