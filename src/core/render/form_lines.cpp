// Each sentence's text as a bare line (-F).
#include "core/render/form.h"

namespace fullstop::core {

namespace {

class LinesForm final : public Form {
 public:
  void sentence(Output &out, int64_t, int64_t, std::string_view text) override {
    out.write(text);
    out.put('\n');
  }
};

}  // namespace

std::unique_ptr<Form> make_lines_form() { return std::make_unique<LinesForm>(); }

}  // namespace fullstop::core
