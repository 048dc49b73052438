#include "settings/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "settings/json_reader.h"
#include "support/printable_text.h"

namespace revertly::json {
namespace {

using namespace std::literals;
using revertly::testing::Printable;

JsonValue ArrayOf(std::initializer_list<JsonValue> items) {
    auto array = std::make_shared<JsonArray>();
    for (const JsonValue& item : items) {
        array->Append(item);
    }
    return JsonValue::Array(array);
}

TEST(JsonWriterTest, WritesEachKindCompactly) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const struct {
        JsonValue value;
        std::u16string_view written;
    } cases[] = {
        {JsonValue(), u"null"},
        {JsonValue::Boolean(true), u"true"},
        {JsonValue::Int16(0), u"0"},
        {JsonValue::Int16(-32768), u"-32768"},
        {JsonValue::Int32(10), u"10"},
        {JsonValue::Int32(-2147483647 - 1), u"-2147483648"},
        {JsonValue::Double(1.5), u"1.5"},
        {JsonValue::Double(2.0), u"2"},
        {JsonValue::Double(0.1), u"0.1"},
        {JsonValue::Double(0.1 + 0.7), u"0.7999999999999999"},  // 15 digits read back as 0.8
        {JsonValue::Double(0.1 + 0.2), u"0.30000000000000004"},
        {JsonValue::Double(3000000000.0), u"3000000000"},
        {JsonValue::Double(1e14), u"100000000000000"},
        {JsonValue::Double(1e15), u"1E+15"},
        {JsonValue::Double(123456789012345678.0), u"1.2345678901234568E+17"},
        {JsonValue::Double(std::numeric_limits<double>::max()), u"1.7976931348623157E+308"},
        {JsonValue::Double(1e-5), u"1E-05"},
        {JsonValue::Double(kInfinity), u"1E999"},
        {JsonValue::Double(-kInfinity), u"-1E999"},
        {JsonValue::Double(std::numeric_limits<double>::quiet_NaN()), u"null"},
        {JsonValue::String(u"a'b/c\"d"), uR"("a\'b\/c\"d")"},
        {JsonValue::Object(nullptr), u"null"},
        {JsonValue::Object(std::make_shared<JsonObject>()), u"{}"},
        {ArrayOf({}), u"[]"},
        {ArrayOf({JsonValue::Int32(1), JsonValue(), ArrayOf({}), JsonValue::String(u"")}),
         uR"([1,null,[],""])"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Printable(ToJson(c.value)), Printable(c.written));
    }
}

TEST(JsonWriterTest, WritesObjectEntriesInTheirOrder) {
    auto settings = std::make_shared<JsonObject>();
    settings->Add(u"Autorun", JsonValue::Boolean(true));
    settings->Add(u"StatesCount", JsonValue::Int32(10));
    const std::u16string defaults = ToJson(JsonValue::Object(settings));
    EXPECT_EQ(Printable(defaults), Printable(uR"({"Autorun":true,"StatesCount":10})"));
    EXPECT_EQ(defaults.size(), 33u);

    auto inner = std::make_shared<JsonObject>();
    inner->Add(u"k\u00E9y", ArrayOf({JsonValue::Double(0.5)}));
    settings->Add(u"Nested", JsonValue::Object(inner));
    settings->Remove(u"Autorun");
    settings->Add(u"Autorun", JsonValue::Boolean(false));
    EXPECT_EQ(Printable(ToJson(JsonValue::Object(settings))),
              Printable(u"{\"StatesCount\":10,\"Nested\":{\"k\u00E9y\":[0.5]},\"Autorun\":false}"));
}

TEST(JsonWriterTest, EscapesExactlyTheListedCodeUnits) {
    const struct {
        char16_t unit;
        std::u16string_view written;
    } cases[] = {
        {u'"', uR"(\")"},       {u'\'', uR"(\')"},      {u'\\', uR"(\\)"},
        {u'/', uR"(\/)"},       {u'\t', uR"(\t)"},      {u'\r', uR"(\r)"},
        {u'\n', uR"(\n)"},      {u'\b', uR"(\b)"},      {u'\f', uR"(\f)"},
        {0x0000, uR"(\u0000)"}, {0x001B, uR"(\u001B)"}, {0x001F, uR"(\u001F)"},
        {0x0020, u" "},         {0x007F, u"\u007F"},    {0x0080, uR"(\u0080)"},
        {0x009F, uR"(\u009F)"}, {0x00A0, u"\u00A0"},    {0x034E, u"\u034E"},
        {0x034F, uR"(\u034F)"}, {0x0416, u"\u0416"},    {0x200A, u"\u200A"},
        {0x200B, uR"(\u200B)"}, {0x200F, uR"(\u200F)"}, {0x2010, u"\u2010"},
        {0x2027, u"\u2027"},    {0x2028, uR"(\u2028)"}, {0x202E, uR"(\u202E)"},
        {0x202F, u"\u202F"},    {0x2060, uR"(\u2060)"}, {0x2061, u"\u2061"},
        {0xD7FF, u"\uD7FF"},    {0xD800, uR"(\uD800)"}, {0xDBFF, uR"(\uDBFF)"},
        {0xDC00, uR"(\uDC00)"}, {0xDFFF, uR"(\uDFFF)"}, {0xE000, u"\uE000"},
        {0xFE00, u"\uFE00"},    {0xFE01, uR"(\uFE01)"}, {0xFE0F, uR"(\uFE0F)"},
        {0xFE10, u"\uFE10"},    {0xFEFF, uR"(\uFEFF)"}, {0xFFFD, uR"(\uFFFD)"},
        {0xFFFE, u"\uFFFE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Printable(EscapeJsonString(std::u16string(1, c.unit))), Printable(c.written));
    }
    EXPECT_EQ(Printable(EscapeJsonString(u"x\U0001F600y")), Printable(uR"(x\uD83D\uDE00y)"));
    // A hex digit right after a \uXXXX escape is escaped too, or it would lengthen the escape.
    EXPECT_EQ(Printable(EscapeJsonString(u"\u200Ba1g\U0001F6000\n0a1")),
              Printable(uR"(\u200B\u0061\u0031g\uD83D\uDE00\u0030\n0a1)"));
}

TEST(JsonWriterTest, WhatItWritesReadsBackTheSame) {
    // Every code unit, lone surrogates and U+0000 included, survives a write and a read, also
    // when an escaped one is followed by a hex digit.
    std::u16string every_unit;
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        every_unit.push_back(static_cast<char16_t>(unit));
    }
    const std::u16string texts[] = {every_unit, u"\u200Ba1\U0001F6000\u001BF"};
    for (const std::u16string& text : texts) {
        const JsonValue read = ParseJson(ToJson(ArrayOf({JsonValue::String(text)})));
        ASSERT_TRUE(read.Is(JsonKind::Array));
        EXPECT_EQ(Printable(read.AsArray()->Item(1).AsString()), Printable(text));
    }

    const double doubles[] = {1.5,
                              -0.1,
                              0.1 + 0.2,
                              1e-300,
                              1.23456789012345e200,
                              std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::lowest(),
                              std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
    for (const double d : doubles) {
        const std::u16string written = ToJson(ArrayOf({JsonValue::Double(d)}));
        const JsonValue read = ParseJson(written);
        ASSERT_TRUE(read.Is(JsonKind::Array));
        const JsonValue& item = read.AsArray()->Item(1);
        ASSERT_TRUE(item.Is(JsonKind::Double)) << Printable(written);
        EXPECT_EQ(item.AsDouble(), d) << "written as " << Printable(written);
    }

    const std::u16string_view samples[] = {
        u"{'Autorun':true,'StatesCount':10}"sv,
        u"{a:1,'b','c':tru,'d':nil 'e':'unterminated"sv,
        uR"({"x":[1,2.5,-3e4,null,false,"a\"b\\u0041\u41\u004142\x"],"y":{}})"sv,
        u"[[[[{\"a\":[{\"b\":[1,,2,]}]}]]]]"sv,
        u"[1e999,-1e999,1e-999,3000000000,.5,5.,+1,5-,1.2.3,-,+,.,0.30000000000000004]"sv,
        u"\uFEFF{\"\u0416\":\"\\uD83D\\uDE00\\uD800\\u0000\\u200B\u00A0\"}"sv,
    };
    for (const std::u16string_view sample : samples) {
        const std::u16string once = ToJson(ParseJson(sample));
        EXPECT_EQ(Printable(ToJson(ParseJson(once))), Printable(once))
            << "sample: " << Printable(sample);
    }
}

}  // namespace
}  // namespace revertly::json
