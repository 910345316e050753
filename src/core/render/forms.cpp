#include "core/render/form.h"

namespace fullstop::core {

namespace {

struct FormRow {
  std::string_view name;  // for --format; empty: the form has no name there (-f)
  FormKind kind;
  std::unique_ptr<Form> (*make)(FormKind);
};

constexpr FormRow kForms[] = {
    {"xml", FormKind::xml, make_xml_form},
    {"", FormKind::xml_with_text, make_xml_form},
    {"text", FormKind::text, make_xml_form},
    {"lines", FormKind::lines, [](FormKind) { return make_lines_form(); }},
    {"jsonl", FormKind::jsonl, [](FormKind) { return make_jsonl_form(); }},
    {"tsv", FormKind::tsv, [](FormKind) { return make_tsv_form(); }},
};

}  // namespace

std::unique_ptr<Form> make_form(FormKind kind) {
  for (const FormRow &row : kForms)
    if (row.kind == kind) return row.make(kind);
  return make_xml_form(FormKind::xml);
}

bool parse_form_name(std::string_view name, FormKind *kind) {
  for (const FormRow &row : kForms) {
    if (row.name.empty() || row.name != name) continue;
    *kind = row.kind;
    return true;
  }
  return false;
}

}  // namespace fullstop::core
