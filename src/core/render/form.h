// Output forms: how a sentence is printed.  Each form is one file
// (form_*.cpp) and a row in the table of forms.cpp.
#ifndef FULLSTOP_CORE_RENDER_FORM_H
#define FULLSTOP_CORE_RENDER_FORM_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/base/output.h"

namespace fullstop::core {

enum class FormKind : uint8_t {
  xml,            // <sentence start="S" end="E"/> in a <sentence-list> (the default)
  xml_with_text,  // the same with each sentence's text, unescaped (-f)
  lines,          // each sentence's text as a bare line (-F, --format=lines)
  text,           // elements with their text escaped as XML (--format=text)
  jsonl,          // one JSON object per sentence (--format=jsonl)
  tsv,            // start, end and text, tab-separated (--format=tsv)
};

class Form {
 public:
  virtual ~Form() = default;
  // Whether sentences are printed with their text.
  virtual bool needs_text() const { return true; }
  // The document's opening and closing lines (the element forms).
  virtual void begin(Output &) {}
  virtual void end(Output &) {}
  // One sentence, [start, end) of the text; `text` is formed only when the
  // form needs it.
  virtual void sentence(Output &out, int64_t start, int64_t end, std::string_view text) = 0;
};

// A form that prints each sentence as one line formed in a string first.
class LineForm : public Form {
 public:
  void sentence(Output &out, int64_t start, int64_t end, std::string_view text) final {
    line_.clear();
    form_line(line_, start, end, text);
    out.write(line_);
  }

 protected:
  // Appends the sentence's line, its newline included.
  virtual void form_line(std::string &line, int64_t start, int64_t end, std::string_view text) = 0;

 private:
  std::string line_;
};

std::unique_ptr<Form> make_form(FormKind kind);
// The form that --format=NAME names: xml, text, lines, jsonl or tsv.
bool parse_form_name(std::string_view name, FormKind *kind);
// Those names, for messages.
inline constexpr std::string_view kFormNames = "xml, text, lines, jsonl or tsv";

// The forms, one maker each (form_*.cpp).
std::unique_ptr<Form> make_xml_form(FormKind kind);  // xml, xml_with_text and text
std::unique_ptr<Form> make_lines_form();
std::unique_ptr<Form> make_jsonl_form();
std::unique_ptr<Form> make_tsv_form();

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RENDER_FORM_H
