// The reader of the settings file's lenient JSON dialect.
//
// There is no tokenizer: the reader moves forward through the text by searching for the
// first character of a small set (find-first-of) and by measuring runs of characters from a
// set (span). It never fails. Whatever follows a value up to the next separator is skipped
// unread, true/false/null are recognised by their first letter, strings may use single or
// double quotes, and a repeated key keeps its last value at the position of its last
// occurrence. When the text ends inside a structure, every open container is closed and
// what was built so far is returned.
#include "settings/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace revertly::json {
namespace {

constexpr std::u16string_view kWhitespace = u" \t\r\n";
constexpr std::u16string_view kOpeningBrackets = u"[{";
constexpr std::u16string_view kSeparators = u",}]";
constexpr std::u16string_view kKeyTerminators = u":,}]";
constexpr std::u16string_view kNumberCharacters = u"+-0123456789.eE";
constexpr std::u16string_view kHexDigits = u"0123456789ABCDEFabcdef";
constexpr std::u16string_view kDoubleMarkers = u".eE";

// What Current() answers at the end of the text.
constexpr char16_t kEndOfText = u'\0';

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsSign(char16_t c) {
    return c == u'+' || c == u'-';
}

// An optional sign, digits with at most one '.', at least one digit in all, then optionally
// 'e' or 'E' with an optional sign and at least one digit. Nothing may follow, so a sign
// after the digits ("5-") makes the whole text an invalid number.
bool IsValidNumber(std::u16string_view text) {
    std::size_t i = 0;
    const auto skip_sign = [&] {
        if (i < text.size() && IsSign(text[i])) {
            ++i;
        }
    };
    const auto skip_digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
        }
        return i - start;
    };

    skip_sign();
    std::size_t digits = skip_digits();
    if (i < text.size() && text[i] == u'.') {
        ++i;
        digits += skip_digits();
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        skip_sign();
        if (skip_digits() == 0) {
            return false;
        }
    }
    return i == text.size();
}

// The power of ten of the leading significant digit of a valid number text without a sign,
// e.g. 2 for "123.4", -2 for ".05", 3 for "1e3". The exponent's digits are read with
// saturation, so that an exponent text of any length cannot overflow. Nothing when every
// digit of the mantissa is zero.
std::optional<long long> LeadingDigitPower(std::string_view number) {
    const std::size_t mantissa_end = std::min(number.find_first_of("eE"), number.size());
    const std::string_view mantissa = number.substr(0, mantissa_end);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t leading = mantissa.find_first_of("123456789");
    if (leading == std::string_view::npos) {
        return std::nullopt;
    }
    long long power = leading < point ? static_cast<long long>(point - leading) - 1
                                      : -static_cast<long long>(leading - point);

    constexpr long long kExponentCap = 1'000'000'000'000'000LL;
    std::string_view exponent = number.substr(std::min(mantissa_end + 1, number.size()));
    const bool negative_exponent = !exponent.empty() && exponent.front() == '-';
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) {
        exponent.remove_prefix(1);
    }
    long long exponent_value = 0;
    for (const char digit : exponent) {
        exponent_value = std::min(exponent_value * 10 + (digit - '0'), kExponentCap);
    }
    power += negative_exponent ? -exponent_value : exponent_value;
    return power;
}

// Converts a valid number text (without a leading '+') to a double, independent of the
// system's locale. A value beyond the range of a double yields +/-infinity, a value too
// small to represent yields +/-0: from_chars reports both only as out of range and leaves
// the value alone, so the text itself tells which of the two it was.
double ToDouble(std::string_view number) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc()) {
        return value;
    }
    const bool negative = number.front() == '-';
    const std::optional<long long> power = LeadingDigitPower(number.substr(negative ? 1 : 0));
    const double magnitude = power && *power >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
}

// A number: Int32 for an integer text within the 32-bit range, Double for a text with '.',
// 'e' or 'E' or an integer beyond that range, and Int16 0 for a text that is not a valid
// number.
JsonValue NumberFromText(std::u16string_view text) {
    if (!IsValidNumber(text)) {
        return JsonValue::Int16(0);
    }
    // from_chars accepts no leading '+'; the text is ASCII, checked above.
    std::string number;
    number.reserve(text.size());
    for (const char16_t c : text.substr(text.front() == u'+' ? 1 : 0)) {
        number.push_back(static_cast<char>(c));
    }
    if (text.find_first_of(kDoubleMarkers) == std::u16string_view::npos) {
        std::int32_t integer = 0;
        const auto [end, error] =
            std::from_chars(number.data(), number.data() + number.size(), integer);
        if (error == std::errc()) {
            return JsonValue::Int32(integer);
        }
    }
    return JsonValue::Double(ToDouble(number));
}

char16_t HexDigitValue(char16_t c) {
    if (IsDigit(c)) {
        return static_cast<char16_t>(c - u'0');
    }
    return static_cast<char16_t>((c | 0x20) - u'a' + 10);
}

struct ParsedValue {
    JsonValue value;
    bool container_ended;
};

struct KeyEnd {
    bool colon_found;
    bool object_ended;
};

// The state of one parse: the text (cut at its first U+0000), the position in it, the
// current nesting depth, and whether the text ended where a structure still expected more.
// That flag only stops the loops, closing every open container on the way out.
class Parser {
  public:
    explicit Parser(std::u16string_view text) : text_(text.substr(0, text.find(kEndOfText))) {}

    JsonValue ParseDocument() {
        const std::size_t start = text_.find_first_of(kOpeningBrackets);
        if (start == std::u16string_view::npos) {
            return JsonValue();
        }
        pos_ = start + 1;
        depth_ = 1;
        return text_[start] == u'[' ? ParseArray() : ParseObject();
    }

  private:
    char16_t Current() const { return pos_ < text_.size() ? text_[pos_] : kEndOfText; }

    void MoveToEnd() {
        pos_ = text_.size();
        unexpected_end_ = true;
    }

    // Moves past whitespace and answers the character there, without consuming it.
    char16_t SkipSpace() {
        pos_ = std::min(text_.find_first_not_of(kWhitespace, pos_), text_.size());
        return Current();
    }

    // After a value: skips to the next separator and moves past it. Answers whether the
    // container ended, that is, whether the separator was not a comma.
    bool SkipToSeparator() {
        const std::size_t found = text_.find_first_of(kSeparators, pos_);
        if (found == std::u16string_view::npos) {
            MoveToEnd();
            return true;
        }
        pos_ = found + 1;
        return text_[found] != u',';
    }

    // After a key: skips to the colon, or to a separator when the key has no value.
    KeyEnd SkipToColon() {
        const std::size_t found = text_.find_first_of(kKeyTerminators, pos_);
        if (found == std::u16string_view::npos) {
            MoveToEnd();
            return {false, true};
        }
        pos_ = found + 1;
        switch (text_[found]) {
            case u':':
                return {true, false};
            case u',':
                return {false, false};
            default:
                return {false, true};
        }
    }

    // Called just past '{'.
    JsonValue ParseObject() {
        auto object = std::make_shared<JsonObject>();
        for (;;) {
            const char16_t c = SkipSpace();
            std::u16string key;
            if (c == kEndOfText) {
                // The text ends where a key is expected: the entry is the empty key with Null.
                // It is added like any repeated key (removed, then appended), so that keys
                // stay unique when an unquoted key already put the empty key in the object.
                object->Add(std::move(key), JsonValue());
                unexpected_end_ = true;
                return JsonValue::Object(std::move(object));
            }
            if (c == u'"' || c == u'\'') {
                key = ParseString();
            } else if (c == u'}') {
                ++pos_;
                return JsonValue::Object(std::move(object));
            }
            // Any other character leaves the key empty and is skipped while looking for the
            // colon, so an unquoted key name reads as the empty key.

            // A repeated key leaves its old place: Add appends it anew.
            const KeyEnd key_end = SkipToColon();
            if (!key_end.colon_found) {
                object->Add(std::move(key), JsonValue());
                if (key_end.object_ended) {
                    return JsonValue::Object(std::move(object));
                }
                continue;
            }
            ParsedValue parsed = ParseValue(SkipSpace());
            object->Add(std::move(key), std::move(parsed.value));
            if (parsed.container_ended || unexpected_end_) {
                return JsonValue::Object(std::move(object));
            }
        }
    }

    // Called just past '['.
    JsonValue ParseArray() {
        auto array = std::make_shared<JsonArray>();
        for (;;) {
            const char16_t c = SkipSpace();
            if (c == u']') {
                ++pos_;
                return JsonValue::Array(std::move(array));
            }
            ParsedValue parsed = ParseValue(c);
            array->Append(std::move(parsed.value));
            if (parsed.container_ended || unexpected_end_) {
                return JsonValue::Array(std::move(array));
            }
        }
    }

    // c is the value's first character, not yet consumed.
    ParsedValue ParseValue(char16_t c) {
        switch (c) {
            case u'"':
            case u'\'': {
                JsonValue value = JsonValue::String(ParseString());
                return {std::move(value), SkipToSeparator()};
            }
            case u'[':
                return ParseNested(&Parser::ParseArray);
            case u'+':
            case u'-':
            case u'.':
            case u'0':
            case u'1':
            case u'2':
            case u'3':
            case u'4':
            case u'5':
            case u'6':
            case u'7':
            case u'8':
            case u'9': {
                JsonValue value = ParseNumber();
                return {std::move(value), SkipToSeparator()};
            }
            case u'{':
                return ParseNested(&Parser::ParseObject);
            case u't':
            case u'T':
            case u'f':
            case u'F': {
                ++pos_;
                const bool ended = SkipToSeparator();
                return {JsonValue::Boolean(c == u't' || c == u'T'), ended};
            }
            case u'n':
            case u'N':
                ++pos_;
                return {JsonValue(), SkipToSeparator()};
            case u',':
                ++pos_;
                return {JsonValue(), false};
            case u'}':
                ++pos_;
                return {JsonValue(), true};
            case kEndOfText:
                unexpected_end_ = true;
                return {JsonValue(), true};
            default:
                // Unrecognised material, ']' included: Null, and the search for the next
                // separator starts at this very character.
                return {JsonValue(), SkipToSeparator()};
        }
    }

    // Called on '[' or '{'. A container that would open a level beyond kMaxJsonDepth is read
    // as if the text ended right there: the reader recurses once per level, and a file of a
    // hundred thousand '[' must not overflow the stack.
    ParsedValue ParseNested(JsonValue (Parser::*parse_container)()) {
        if (depth_ >= kMaxJsonDepth) {
            text_ = text_.substr(0, pos_);
            unexpected_end_ = true;
            return {JsonValue(), true};
        }
        ++pos_;
        ++depth_;
        JsonValue value = (this->*parse_container)();
        --depth_;
        return {std::move(value), SkipToSeparator()};
    }

    // Called on the opening quote, which also decides the closing one; the other quote
    // character is ordinary text. An unterminated string runs to the end of the text.
    std::u16string ParseString() {
        const char16_t quote = text_[pos_];
        const char16_t stops[] = {u'\\', quote};
        const std::u16string_view stop_set(stops, 2);
        ++pos_;
        std::u16string result;
        for (;;) {
            const std::size_t found = text_.find_first_of(stop_set, pos_);
            if (found == std::u16string_view::npos) {
                result.append(text_.substr(pos_));
                pos_ = text_.size();
                return result;
            }
            result.append(text_.substr(pos_, found - pos_));
            pos_ = found;
            if (text_[found] == quote) {
                ++pos_;
                return result;
            }
            if (!AppendEscape(result)) {
                return result;
            }
        }
    }

    // Called on a backslash inside a string. Answers false when the text ends right after
    // the backslash, which then stands for itself and ends the string.
    bool AppendEscape(std::u16string& out) {
        const char16_t e = pos_ + 1 < text_.size() ? text_[pos_ + 1] : kEndOfText;
        switch (e) {
            case kEndOfText:
                out.push_back(u'\\');
                ++pos_;
                return false;
            case u'"':
            case u'\'':
            case u'/':
            case u'\\':
                out.push_back(e);
                break;
            case u'b':
                out.push_back(u'\b');
                break;
            case u'f':
                out.push_back(u'\f');
                break;
            case u'n':
                out.push_back(u'\n');
                break;
            case u'r':
                out.push_back(u'\r');
                break;
            case u't':
                out.push_back(u'\t');
                break;
            case u'u':
                AppendUnicodeEscape(out);
                return true;
            default:
                out.push_back(u'\\');
                out.push_back(e);
                break;
        }
        pos_ += 2;
        return true;
    }

    // Called on the backslash of "\u". One to four hex digits give one code unit (so "\u41"
    // is 'A'); no digits, or five and more, stay as literal text. A surrogate pair written
    // as two escapes becomes its two code units in turn.
    void AppendUnicodeEscape(std::u16string& out) {
        const std::size_t digits_start = pos_ + 2;
        const std::size_t digits_end =
            std::min(text_.find_first_not_of(kHexDigits, digits_start), text_.size());
        const std::size_t count = digits_end - digits_start;
        if (count >= 1 && count <= 4) {
            char16_t unit = 0;
            for (const char16_t digit : text_.substr(digits_start, count)) {
                unit = static_cast<char16_t>(unit * 16 + HexDigitValue(digit));
            }
            out.push_back(unit);
        } else {
            out.append(text_.substr(pos_, digits_end - pos_));
        }
        pos_ = digits_end;
    }

    // Called on the number's first character: the number text is the longest run of
    // characters that can occur in a number.
    JsonValue ParseNumber() {
        const std::size_t end =
            std::min(text_.find_first_not_of(kNumberCharacters, pos_), text_.size());
        const std::u16string_view number = text_.substr(pos_, end - pos_);
        pos_ = end;
        return NumberFromText(number);
    }

    std::u16string_view text_;
    std::size_t pos_ = 0;
    bool unexpected_end_ = false;
    int depth_ = 0;
};

}  // namespace

JsonValue ParseJson(std::u16string_view text) {
    return Parser(text).ParseDocument();
}

}  // namespace revertly::json
