// The compact JSON writer of the settings file.
#pragma once

#include <string>
#include <string_view>

#include "settings/json_value.h"

namespace revertly::json {

// Compact JSON: no spaces or line breaks, keys and strings in double quotes, object
// entries in the object's own order. What it writes reads back through ParseJson.
std::u16string ToJson(const JsonValue& value);

// The body of a string or key, escaped, without the surrounding quotes.
std::u16string EscapeJsonString(std::u16string_view text);

}  // namespace revertly::json
