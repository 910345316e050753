// One JSON object per sentence: {"start":S,"end":E,"text":"..."}.
#include <string>

#include "core/render/escape.h"
#include "core/render/form.h"

namespace fullstop::core {

namespace {

class JsonlForm final : public Form {
 public:
  void sentence(Output &out, int64_t start, int64_t end, std::string_view text) override {
    line_.clear();
    line_ += "{\"start\":";
    line_ += std::to_string(start);
    line_ += ",\"end\":";
    line_ += std::to_string(end);
    line_ += ",\"text\":\"";
    append_json_string(line_, text);
    line_ += "\"}\n";
    out.write(line_);
  }

 private:
  std::string line_;
};

}  // namespace

std::unique_ptr<Form> make_jsonl_form() { return std::make_unique<JsonlForm>(); }

}  // namespace fullstop::core
