// Start, end and text, tab-separated, a sentence a line.
#include <string>

#include "core/render/escape.h"
#include "core/render/form.h"

namespace fullstop::core {

namespace {

class TsvForm final : public LineForm {
  void form_line(std::string &line, int64_t start, int64_t end, std::string_view text) override {
    line += std::to_string(start) + '\t' + std::to_string(end) + '\t';
    append_tsv_field(line, text);
    line += '\n';
  }
};

}  // namespace

std::unique_ptr<Form> make_tsv_form() { return std::make_unique<TsvForm>(); }

}  // namespace fullstop::core
