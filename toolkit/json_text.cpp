#include "json_text.h"

#include <stdio.h>

namespace {

// The library writes the short forms \b and \f and leaves DEL and the C1 controls (C2 80 to
// C2 9F in UTF-8) as they are; these become \u escapes. Outside a string neither byte occurs,
// and inside one a backslash always starts an escape of two characters or a \u escape.
std::string escape_left_controls(const std::string& dumped)
{
    std::string out;
    out.reserve(dumped.size() + 16);
    char escape[8];
    for (size_t i = 0; i < dumped.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(dumped[i]);
        unsigned next = i + 1 < dumped.size() ? static_cast<unsigned char>(dumped[i + 1]) : 0;
        if (c == '\\' && (next == 'b' || next == 'f')) {
            out += next == 'b' ? "\\u0008" : "\\u000c";
            ++i;
        } else if (c == '\\') {
            out.append(dumped, i, 2);
            ++i;
        } else if (c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) {
            _snprintf(escape, sizeof(escape), "\\u%04x", c == 0x7F ? c : next);
            out.append(escape, 6);
            i += c == 0x7F ? 0 : 1;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

std::string json_line(const JsonValue& object)
{
    std::string dumped = object.dump(-1, ' ', false, JsonValue::error_handler_t::replace);
    return escape_left_controls(dumped) + "\n";
}
