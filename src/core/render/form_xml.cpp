// The element forms: a <sentence-list> document of <sentence> elements,
// with offsets only (xml), with the text as it is (xml_with_text, -f), or
// with the text escaped as XML (text).
#include <cstring>
#include <string>

#include "core/base/number_format.h"
#include "core/render/escape.h"
#include "core/render/form.h"

namespace fullstop::core {

namespace {

class XmlForm final : public Form {
 public:
  explicit XmlForm(FormKind kind) : kind_(kind) {}
  bool needs_text() const override { return kind_ != FormKind::xml; }
  void begin(Output &out) override { out.write("<sentence-list>\n"); }
  void end(Output &out) override { out.write("</sentence-list>\n"); }
  void sentence(Output &out, int64_t start, int64_t end, std::string_view text) override {
    switch (kind_) {
      case FormKind::xml:
        tag(out, start, end, "\"/>\n");
        break;
      case FormKind::text:
        tag(out, start, end, "\">");
        escaped_.clear();
        append_xml_text(escaped_, text);
        escaped_ += "</sentence>\n";
        out.write(escaped_);
        break;
      default:
        tag(out, start, end, "\">");
        out.write(text);
        out.write("</sentence>\n");
        break;
    }
  }

 private:
  // Prints `<sentence start="START" end="END` and then `tail`, with one
  // reservation and constant-size copies: this is printed for every sentence.
  static void tag(Output &out, int64_t start, int64_t end, std::string_view tail) {
    char *p = out.reserve(72 + tail.size());
    std::memcpy(p, "<sentence start=\"", 17);
    p = format_uint64(p + 17, static_cast<uint64_t>(start));
    std::memcpy(p, "\" end=\"", 7);
    p = format_uint64(p + 7, static_cast<uint64_t>(end));
    std::memcpy(p, tail.data(), tail.size());
    out.commit(p + tail.size());
  }

  FormKind kind_;
  std::string escaped_;
};

}  // namespace

std::unique_ptr<Form> make_xml_form(FormKind kind) { return std::make_unique<XmlForm>(kind); }

}  // namespace fullstop::core
