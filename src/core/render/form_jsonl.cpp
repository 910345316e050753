// One JSON object per sentence: {"start":S,"end":E,"text":"..."}.
#include <string>

#include "core/render/escape.h"
#include "core/render/form.h"

namespace fullstop::core {

namespace {

class JsonlForm final : public LineForm {
  void form_line(std::string &line, int64_t start, int64_t end, std::string_view text) override {
    line += "{\"start\":" + std::to_string(start) + ",\"end\":" + std::to_string(end) + ",\"text\":\"";
    append_json_string(line, text);
    line += "\"}\n";
  }
};

}  // namespace

std::unique_ptr<Form> make_jsonl_form() { return std::make_unique<JsonlForm>(); }

}  // namespace fullstop::core
