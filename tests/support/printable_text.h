// UTF-16 text made readable in test failure messages: GoogleTest prints char16_t strings
// poorly, so tests compare or print this form instead.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace revertly::testing {

// Printable ASCII stays as it is, a backslash is doubled, every other code unit becomes
// \uXXXX (upper-case hex), so lone surrogates and U+0000 show too.
inline std::string Printable(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c == u'\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

}  // namespace revertly::testing
