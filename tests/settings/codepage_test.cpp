#include "settings/codepage.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <string>

namespace revertly::files {
namespace {

// Every byte value and the code unit it stands for in Windows-1251. Byte 0x98 has no
// character; Windows reads it as the control code U+0098.
constexpr std::array<char16_t, 256> kWindows1251 = [] {
    std::array<char16_t, 256> table{};
    for (std::size_t byte = 0; byte < 0x80; ++byte) {
        table[byte] = static_cast<char16_t>(byte);
    }
    constexpr char16_t kUpperHalf[] = {
        u'\u0402', u'\u0403', u'\u201A', u'\u0453', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
        u'\u20AC', u'\u2030', u'\u0409', u'\u2039', u'\u040A', u'\u040C', u'\u040B', u'\u040F',
        u'\u0452', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
        0x0098,    u'\u2122', u'\u0459', u'\u203A', u'\u045A', u'\u045C', u'\u045B', u'\u045F',
        u'\u00A0', u'\u040E', u'\u045E', u'\u0408', u'\u00A4', u'\u0490', u'\u00A6', u'\u00A7',
        u'\u0401', u'\u00A9', u'\u0404', u'\u00AB', u'\u00AC', u'\u00AD', u'\u00AE', u'\u0407',
        u'\u00B0', u'\u00B1', u'\u0406', u'\u0456', u'\u0491', u'\u00B5', u'\u00B6', u'\u00B7',
        u'\u0451', u'\u2116', u'\u0454', u'\u00BB', u'\u0458', u'\u0405', u'\u0455', u'\u0457',
    };
    for (std::size_t i = 0; i < std::size(kUpperHalf); ++i) {
        table[0x80 + i] = kUpperHalf[i];
    }
    for (std::size_t i = 0; i < 64; ++i) {
        table[0xC0 + i] = static_cast<char16_t>(u'\u0410' + i);  // А to я
    }
    return table;
}();

TEST(Codepage, EveryByteDecodesAndEncodesAsInWindows1251) {
    std::string allBytes;
    for (int byte = 0; byte < 256; ++byte) {
        allBytes += static_cast<char>(byte);
    }
    const std::u16string decoded = DecodeCp1251(allBytes);
    ASSERT_EQ(decoded.size(), 256u);
    for (std::size_t byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(static_cast<int>(decoded[byte]), static_cast<int>(kWindows1251[byte]))
            << "decoding byte " << byte;
        EXPECT_EQ(EncodeCp1251(std::u16string(1, kWindows1251[byte])),
                  std::string(1, static_cast<char>(byte)))
            << "encoding the character of byte " << byte;
    }
}

TEST(Codepage, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    const struct {
        const char* name;
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {"empty", u"", ""},
        {"CJK ideograph", u"\u4E2D", "?"},
        {"C1 control other than U+0098", u"\u0080\u009F", "??"},
        {"lone surrogate", std::u16string(1, char16_t{0xD800}), "?"},
        {"pair outside the BMP, one mark per code unit", u"\U0001F600", "??"},
        {"mixed with characters it holds", u"A\u4E2D\u0411", "A?\xC1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeCp1251(c.text), c.bytes) << c.name;
    }
}

}  // namespace
}  // namespace revertly::files
