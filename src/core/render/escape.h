// Escaping a sentence's text for the machine-readable output forms.
//
// Each function appends the escaped form of `text` (any bytes, UTF-8 or not)
// to `out`.  They work on the text of a sentence as printed, whichever way the
// text was normalised, so every text mode shares them.
#ifndef FULLSTOP_CORE_RENDER_ESCAPE_H
#define FULLSTOP_CORE_RENDER_ESCAPE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace fullstop::core {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when
// its first byte does not begin one (a stray continuation byte, an overlong
// form, a surrogate, a code point past U+10FFFF or a cut-off sequence).
std::size_t utf8_sequence_length(std::string_view text);

// XML character data: < > & " as entities, CR as "&#13;" (which XML
// readers keep, where they turn a raw CR into LF); the controls that XML forbids,
// U+FFFE, U+FFFF and every byte that is not part of well-formed UTF-8 become
// U+FFFD, so the result is well-formed in any document.
void append_xml_text(std::string &out, std::string_view text);

// The inside of a JSON string: " and \ escaped, controls as \n, \t, \r, \b, \f
// or \u00XX, well-formed UTF-8 kept as it is, and each byte that is not part of
// it as \udcXX (XX: the byte), which a reader can map back to the byte.
void append_json_string(std::string &out, std::string_view text);

// A TSV field: \ as \\, tab as \t, newline as \n, carriage return as \r.
void append_tsv_field(std::string &out, std::string_view text);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_RENDER_ESCAPE_H
