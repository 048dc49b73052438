// The reader of the settings file's lenient JSON dialect.
#pragma once

#include <string_view>

#include "settings/json_value.h"

namespace revertly::json {

// Nesting deeper than this reads as if the text ended there: the containers built so far
// are closed and returned. The reader recurses once per level, and a file of a hundred
// thousand '[' must not overflow the stack at start-up.
inline constexpr int kMaxJsonDepth = 512;

// Parses the first object or array in the text. Never fails: malformed input yields what
// could be built, and a text with no '[' or '{' yields Null. The result is an Object or
// an Array value otherwise.
JsonValue ParseJson(std::u16string_view text);

}  // namespace revertly::json
