#include "core/render/renderer.h"

#include "core/render/sentence_text.h"

namespace fullstop::core {

Renderer::Renderer(Output &out, FormKind kind, TextMode mode)
    : out_(&out), form_(make_form(kind)), needs_text_(form_->needs_text()), mode_(mode) {}

void Renderer::sentence(int64_t start, int64_t end, const char *bytes) {
  std::string_view text;
  if (needs_text_) text = sentence_text(mode_, bytes, static_cast<size_t>(end - start), scratch_);
  form_->sentence(*out_, start, end, text);
}

}  // namespace fullstop::core
