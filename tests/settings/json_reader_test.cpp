#include "settings/json_reader.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <string_view>

#include "support/printable_text.h"

namespace revertly::json {
namespace {

using namespace std::literals;
using revertly::testing::Printable;

// A parsed value in a compact form that shows the kinds: strings in single quotes, Int32
// plain, Int16 as int16(n), Double as double(shortest form), an absent object as absent.
std::string Render(const JsonValue& value) {
    switch (value.Kind()) {
        case JsonKind::Null:
            return "null";
        case JsonKind::Boolean:
            return value.AsBoolean() ? "true" : "false";
        case JsonKind::Int16:
            return "int16(" + std::to_string(value.AsInt16()) + ")";
        case JsonKind::Int32:
            return std::to_string(value.AsInt32());
        case JsonKind::Double: {
            char buffer[32];
            char* end = std::to_chars(buffer, buffer + sizeof buffer, value.AsDouble()).ptr;
            return "double(" + std::string(buffer, end) + ")";
        }
        case JsonKind::String:
            return "'" + Printable(value.AsString()) + "'";
        case JsonKind::Object: {
            if (!value.AsObject()) {
                return "absent";
            }
            std::string out;
            value.AsObject()->ForEach([&out](const std::u16string& key, const JsonValue& item) {
                out += (out.empty() ? "'" : ",'") + Printable(key) + "':" + Render(item);
            });
            return "{" + out + "}";
        }
        case JsonKind::Array: {
            std::string out;
            for (const JsonValue& item : value.AsArray()->Items()) {
                out += (out.empty() ? "" : ",") + Render(item);
            }
            return "[" + out + "]";
        }
    }
    return "?";
}

struct Case {
    std::u16string_view input;
    std::string_view expected;
};

template <std::size_t N>
void ExpectParses(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        EXPECT_EQ(Render(ParseJson(c.input)), c.expected) << "input: " << Printable(c.input);
    }
}

TEST(JsonReaderTest, FindsTheFirstContainerAndIgnoresTheRest) {
    ExpectParses({
        {u""sv, "null"},
        {u"no brackets here: 1, 'a'"sv, "null"},
        {u"{}"sv, "{}"},
        {u"[]"sv, "[]"},
        {u"{"sv, "{'':null}"},
        {u"["sv, "[null]"},
        {u"{'Autorun':true,'StatesCount':10}"sv, "{'Autorun':true,'StatesCount':10}"},
        {u"\uFEFF{\"a\":1}"sv, "{'a':1}"},
        {u"settings follow\r\n [1] {'a':2}"sv, "[1]"},
        {u" \t\r\n{ 'a' \t: \r\n 1 , 'b':[ ] }"sv, "{'a':1,'b':[]}"},
        // The text ends at its first U+0000.
        {u"\0{'a':1}"sv, "null"},
        {u"{'a':1\0,'b':2}"sv, "{'a':1}"},
    });
}

TEST(JsonReaderTest, ReadsObjectEntriesLeniently) {
    ExpectParses({
        {u"{'a':1,'b':2,'a':3}"sv, "{'b':2,'a':3}"},
        {u"{\"a\":1,'b':2}"sv, "{'a':1,'b':2}"},
        {u"{a:1}"sv, "{'':1}"},
        {u"{a:1,b:2}"sv, "{'':2}"},
        {u"{'a'}"sv, "{'a':null}"},
        {u"{'a','b':1}"sv, "{'a':null,'b':1}"},
        {u"{'a':1,}"sv, "{'a':1}"},
        {u"{'a':x,'b':2}"sv, "{'a':null,'b':2}"},
        {u"{'a':'x' junk,'b':1}"sv, "{'a':'x','b':1}"},
        {u"{'a':1]"sv, "{'a':1}"},
        {u"{'a':}"sv, "{'a':null}"},
        {u"{'a':[1,{'b':{}}],'c':2}"sv, "{'a':[1,{'b':{}}],'c':2}"},
        // The text ends inside the object: what was read is kept.
        {u"{'a':1,'b"sv, "{'a':1,'b':null}"},
        {u"{'a':1,"sv, "{'a':1,'':null}"},
        {u"{'a':[1,2"sv, "{'a':[1,2]}"},
        // Ending where a key is expected, with the empty key already present: the empty key
        // stays unique and moves to the end, like any repeated key.
        {u"{a:1,"sv, "{'':null}"},
        {u"{'':1,'b':2,"sv, "{'b':2,'':null}"},
    });
}

TEST(JsonReaderTest, ReadsArrayItemsAndWords) {
    ExpectParses({
        {u"[1,2,]"sv, "[1,2]"},
        {u"[1,,2]"sv, "[1,null,2]"},
        {u"[,]"sv, "[null]"},
        {u"[1 2,3]"sv, "[1,3]"},
        {u"[1}"sv, "[1]"},
        {u"[}"sv, "[null]"},
        {u"[[1,[]],{}]"sv, "[[1,[]],{}]"},
        {u"[tru,TRUE,t,False,f,nil,N,null]"sv, "[true,true,true,false,false,null,null,null]"},
        {u"[yes,no]"sv, "[null,null]"},
    });
}

TEST(JsonReaderTest, ReadsNumbersByTheirText) {
    const Case cases[] = {
        {u"10"sv, "10"},
        {u"-0"sv, "0"},
        {u"+7"sv, "7"},
        {u"2147483647"sv, "2147483647"},
        {u"-2147483648"sv, "-2147483648"},
        {u"2147483648"sv, "double(2147483648)"},
        {u"-2147483649"sv, "double(-2147483649)"},
        {u"3000000000"sv, "double(3e+09)"},
        {u"1.5"sv, "double(1.5)"},
        {u".5"sv, "double(0.5)"},
        {u"5."sv, "double(5)"},
        {u"1e3"sv, "double(1000)"},
        {u"1E-2"sv, "double(0.01)"},
        {u"+1.5e+2"sv, "double(150)"},
        {u"5e-324"sv, "double(5e-324)"},
        {u"0.0001e310"sv, "double(1e+306)"},
        // Beyond the range of a double: infinity; too small to represent: zero.
        {u"1e999"sv, "double(inf)"},
        {u"-1e999"sv, "double(-inf)"},
        {u"1.8e308"sv, "double(inf)"},
        {u"1e99999999999999999999"sv, "double(inf)"},
        {u"1e-999"sv, "double(0)"},
        {u"-1e-999"sv, "double(-0)"},
        {u"1e-99999999999999999999"sv, "double(0)"},
        {u"0e99999999999999999999"sv, "double(0)"},
        // Not valid numbers.
        {u"-"sv, "int16(0)"},
        {u"+"sv, "int16(0)"},
        {u"."sv, "int16(0)"},
        {u"1.2.3"sv, "int16(0)"},
        {u"5-"sv, "int16(0)"},
        {u"1-2"sv, "int16(0)"},
        {u"1e"sv, "int16(0)"},
        {u".e1"sv, "int16(0)"},
        // The number text ends at the first character that cannot be part of a number.
        {u"12abc"sv, "12"},
        {u"1.5x"sv, "double(1.5)"},
    };
    for (const Case& c : cases) {
        const std::u16string input = u"[" + std::u16string(c.input) + u"]";
        EXPECT_EQ(Render(ParseJson(input)), "[" + std::string(c.expected) + "]")
            << "number: " << Printable(c.input);
    }
    const std::u16string long_integer = u"[" + std::u16string(400, u'9') + u"]";
    EXPECT_EQ(Render(ParseJson(long_integer)), "[double(inf)]");
    const std::u16string long_fraction = u"[0." + std::u16string(400, u'0') + u"1]";
    EXPECT_EQ(Render(ParseJson(long_fraction)), "[double(0)]");
}

TEST(JsonReaderTest, ReadsStringsWithEscapes) {
    ExpectParses({
        {u"['it\"s',\"it's\"]"sv, "['it\"s','it's']"},
        {uR"(['\"\'\/\\\b\f\n\r\t'])"sv, "['\"'/\\\\\\u0008\\u000C\\u000A\\u000D\\u0009']"},
        {uR"(['\u0041','\u41','\u00e9','\u00411','\u004142','\u0041G'])"sv,
         "['A','A','\\u00E9','\\\\u00411','\\\\u004142','AG']"},
        {uR"(['\u','\uZ','\x'])"sv, "['\\\\u','\\\\uZ','\\\\x']"},
        {uR"(['\uD83D\uDE00','\uDC00x','\u0000'])"sv, "['\\uD83D\\uDE00','\\uDC00x','\\u0000']"},
        {u"['\u00E9\u0416\u4E2D']"sv, "['\\u00E9\\u0416\\u4E2D']"},
        {uR"({'a\'b':1,"c\"d":2})"sv, "{'a'b':1,'c\"d':2}"},
        // Unterminated: the string takes the rest of the text.
        {u"['abc, 1]"sv, "['abc, 1]']"},
        {uR"(['abc\)"sv, "['abc\\\\']"},
        {u"{'key"sv, "{'key':null}"},
        {u"['ab\0cd']"sv, "['ab']"},
    });
}

std::u16string Repeat(std::u16string_view part, std::size_t count) {
    std::u16string out;
    out.reserve(part.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        out += part;
    }
    return out;
}

TEST(JsonReaderTest, BoundsTheNestingDepth) {
    const std::string deepest_arrays =
        std::string(kMaxJsonDepth, '[') + "null" + std::string(kMaxJsonDepth, ']');
    // The deepest allowed nesting reads in full; one level more is cut like an ended text.
    const std::u16string allowed = Repeat(u"[", kMaxJsonDepth) + Repeat(u"]", kMaxJsonDepth);
    EXPECT_EQ(Render(ParseJson(allowed)),
              std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']'));
    EXPECT_EQ(Render(ParseJson(u"[" + allowed + u",1]")), deepest_arrays);
    EXPECT_EQ(Render(ParseJson(Repeat(u"[", 100'000))), deepest_arrays);

    std::string deepest_objects;
    for (int i = 1; i < kMaxJsonDepth; ++i) {
        deepest_objects += "{'a':";
    }
    deepest_objects += "{'a':null" + std::string(kMaxJsonDepth, '}');
    EXPECT_EQ(Render(ParseJson(Repeat(u"{'a':", 100'000))), deepest_objects);
    // A run of '{' holds no key and no colon: the first object takes it all as one entry.
    EXPECT_EQ(Render(ParseJson(Repeat(u"{", 100'000))), "{'':null}");

    const JsonValue mixed = ParseJson(Repeat(u"[{'a':", 100'000));
    int depth = 0;
    for (const JsonValue* level = &mixed; !level->Is(JsonKind::Null); ++depth) {
        level =
            level->Is(JsonKind::Array) ? &level->AsArray()->Item(1) : level->AsObject()->Get(u"a");
    }
    EXPECT_EQ(depth, kMaxJsonDepth);
}

TEST(JsonReaderTest, ReadsMiBOfKeysWhole) {
    // About 5 Mi characters of text each: many distinct keys, and few keys repeated over
    // and over. How the time grows with the size is measured by the reader's benchmark.
    constexpr std::size_t kTextSize = 5u << 20;
    std::u16string distinct = u"{";
    std::size_t key_count = 0;
    while (distinct.size() < kTextSize) {
        const std::string digits = std::to_string(key_count);
        const std::u16string number(digits.begin(), digits.end());
        distinct += u"\"k" + number + u"\":" + number + u",";
        ++key_count;
    }
    distinct += u"}";
    const JsonValue parsed = ParseJson(distinct);
    ASSERT_TRUE(parsed.Is(JsonKind::Object));
    const std::vector<std::u16string> keys = parsed.AsObject()->Keys();
    ASSERT_EQ(keys.size(), key_count);
    for (std::size_t i = 0; i < key_count; i += 9973) {
        EXPECT_EQ(Printable(keys[i]), "k" + std::to_string(i));
        EXPECT_EQ(parsed.AsObject()->Get(keys[i])->AsInt32(), static_cast<std::int32_t>(i));
    }

    const std::u16string duplicates =
        u"{" + Repeat(u"'a':1,'b':2,x:3,", kTextSize / 16) + u"'a':4}";
    EXPECT_EQ(Render(ParseJson(duplicates)), "{'b':2,'':3,'a':4}");
}

}  // namespace
}  // namespace revertly::json
