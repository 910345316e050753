// The render stage: sentences that detection reports, printed in an output
// form.  The program prints through it to standard output, the library's
// fullstop_render into a string, a parallel run's workers into their blocks'
// output.
#ifndef FULLSTOP_CORE_RENDER_RENDERER_H
#define FULLSTOP_CORE_RENDER_RENDERER_H

#include <memory>
#include <string>

#include "core/base/output.h"
#include "core/decide/sentence_sink.h"
#include "core/render/form.h"
#include "core/text/text_mode.h"

namespace fullstop::core {

class Renderer final : public SentenceSink {
 public:
  // Prints to `out` in form `kind`, sentences' text formed by `mode`'s rule
  // (sentence_text.h).
  Renderer(Output &out, FormKind kind, TextMode mode);
  bool reads_text() const override { return form_->needs_text(); }
  void sentence(int64_t start, int64_t end, const char *bytes) override;
  // The document's opening and closing lines, if the form has them.
  void begin() override { form_->begin(*out_); }
  void end() override { form_->end(*out_); }
  Output &output() { return *out_; }

 private:
  Output *out_;
  std::unique_ptr<Form> form_;
  bool needs_text_;
  TextMode mode_;
  std::string scratch_;
};

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RENDER_RENDERER_H
