// The settings file's code page: Windows-1251, one byte per character.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace revertly::files {

// Decodes every byte (a zero byte included; the caller cuts the text where it wants).
std::u16string DecodeCp1251(std::string_view bytes);

// Encodes every code unit. A character that Windows-1251 cannot hold becomes a substitute
// byte (see the implementation of each platform). Nothing when the system refuses the
// conversion, so that a caller cannot take the failure for the empty text.
std::optional<std::string> EncodeCp1251(std::u16string_view text);

}  // namespace revertly::files
