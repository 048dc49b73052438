// The compact JSON writer of the settings file.
#include "settings/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string_view>
#include <system_error>

namespace revertly::json {
namespace {

void AppendAscii(std::u16string& out, std::string_view text) {
    out.append(text.begin(), text.end());
}

template <typename Integer>
void AppendInteger(std::u16string& out, Integer value) {
    char buffer[16];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    AppendAscii(out, std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

// The general form with the fewest of 15, 16 or 17 significant digits that reads back as
// the same double: 15 where they suffice, so that 0.1 stays 0.1, and more only where 15 would
// change the value (15 digits of the largest doubles even read back as infinity); 17 always
// suffice. No trailing zeros, no point for a whole value, exponent form with 'E' for very
// large and very small magnitudes. to_chars and from_chars do not depend on the locale, so
// the decimal point is always '.', and from_chars reads as the reader does.
//
// Infinity, which the reader makes of a number beyond the range of a double, is written as
// 1E999 or -1E999, which read back as the same infinity. NaN has no JSON form and the reader
// never produces it; it is written as null so that the file stays readable.
void AppendDouble(std::u16string& out, double value) {
    if (std::isnan(value)) {
        AppendAscii(out, "null");
        return;
    }
    if (std::isinf(value)) {
        AppendAscii(out, value > 0 ? "1E999" : "-1E999");
        return;
    }
    char buffer[32];
    const char* end = buffer;
    for (int digits = 15; digits <= 17; ++digits) {
        end =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits)
                .ptr;
        double read = 0.0;
        if (std::from_chars(buffer, end, read).ec == std::errc() && read == value) {
            break;
        }
    }
    for (const char* c = buffer; c != end; ++c) {
        out.push_back(*c == 'e' ? u'E' : static_cast<char16_t>(*c));
    }
}

bool NeedsHexEscape(char16_t c) {
    return c <= 0x001F || (c >= 0x0080 && c <= 0x009F) || c == 0x034F ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) || c == 0x2060 ||
           (c >= 0xFE01 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFFD ||
           (c >= 0xD800 && c <= 0xDFFF);
}

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// Backslash, 'u' and exactly four upper-case hex digits.
void AppendHexEscape(std::u16string& out, char16_t c) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    out.append(u"\\u");
    out.push_back(kHex[(c >> 12) & 0xF]);
    out.push_back(kHex[(c >> 8) & 0xF]);
    out.push_back(kHex[(c >> 4) & 0xF]);
    out.push_back(kHex[c & 0xF]);
}

// The escape of a code unit with a short form, or 0 when it has none.
char16_t ShortEscape(char16_t c) {
    switch (c) {
        case u'"':
        case u'\'':
        case u'\\':
        case u'/':
            return c;
        case u'\t':
            return u't';
        case u'\r':
            return u'r';
        case u'\n':
            return u'n';
        case u'\b':
            return u'b';
        case u'\f':
            return u'f';
        default:
            return 0;
    }
}

void AppendString(std::u16string& out, std::u16string_view text) {
    out.push_back(u'"');
    out.append(EscapeJsonString(text));
    out.push_back(u'"');
}

void AppendValue(std::u16string& out, const JsonValue& value) {
    switch (value.Kind()) {
        case JsonKind::Null:
            AppendAscii(out, "null");
            break;
        case JsonKind::Boolean:
            AppendAscii(out, value.AsBoolean() ? "true" : "false");
            break;
        case JsonKind::Int16:
            AppendInteger(out, value.AsInt16());
            break;
        case JsonKind::Int32:
            AppendInteger(out, value.AsInt32());
            break;
        case JsonKind::Double:
            AppendDouble(out, value.AsDouble());
            break;
        case JsonKind::String:
            AppendString(out, value.AsString());
            break;
        case JsonKind::Object: {
            const std::shared_ptr<JsonObject>& object = value.AsObject();
            if (!object) {
                AppendAscii(out, "null");
                break;
            }
            out.push_back(u'{');
            bool first = true;
            object->ForEach([&out, &first](const std::u16string& key, const JsonValue& item) {
                if (!first) {
                    out.push_back(u',');
                }
                first = false;
                AppendString(out, key);
                out.push_back(u':');
                AppendValue(out, item);
            });
            out.push_back(u'}');
            break;
        }
        case JsonKind::Array: {
            const std::shared_ptr<JsonArray>& array = value.AsArray();
            if (!array) {
                AppendAscii(out, "null");
                break;
            }
            out.push_back(u'[');
            bool first = true;
            for (const JsonValue& item : array->Items()) {
                if (!first) {
                    out.push_back(u',');
                }
                first = false;
                AppendValue(out, item);
            }
            out.push_back(u']');
            break;
        }
    }
}

}  // namespace

std::u16string ToJson(const JsonValue& value) {
    std::u16string out;
    AppendValue(out, value);
    return out;
}

// A hex digit written right after a \uXXXX escape is escaped as well: the reader takes a run
// of five or more hex digits after "\u" as literal text, so "\u200B" followed by a plain "a"
// would read back as the six characters \u200Ba instead of U+200B and "a".
std::u16string EscapeJsonString(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool after_hex_escape = false;
    for (const char16_t c : text) {
        if (const char16_t short_form = ShortEscape(c)) {
            out.push_back(u'\\');
            out.push_back(short_form);
            after_hex_escape = false;
        } else if (NeedsHexEscape(c) || (after_hex_escape && IsHexDigit(c))) {
            AppendHexEscape(out, c);
            after_hex_escape = true;
        } else {
            out.push_back(c);
            after_hex_escape = false;
        }
    }
    return out;
}

}  // namespace revertly::json
