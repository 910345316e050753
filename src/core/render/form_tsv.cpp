// Start, end and text, tab-separated, a sentence a line.
#include <string>

#include "core/render/escape.h"
#include "core/render/form.h"

namespace fullstop::core {

namespace {

class TsvForm final : public Form {
 public:
  void sentence(Output &out, int64_t start, int64_t end, std::string_view text) override {
    line_.clear();
    line_ += std::to_string(start);
    line_ += '\t';
    line_ += std::to_string(end);
    line_ += '\t';
    append_tsv_field(line_, text);
    line_ += '\n';
    out.write(line_);
  }

 private:
  std::string line_;
};

}  // namespace

std::unique_ptr<Form> make_tsv_form() { return std::make_unique<TsvForm>(); }

}  // namespace fullstop::core
