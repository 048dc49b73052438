// Feeds arbitrary text to the settings reader and checks that the writer's output is a
// fixed point after one rewrite, and that the rewrite keeps the document's shape.
//
// Input: bytes decoded as Windows-1251, as the settings file is read; an input whose first
// byte is 0 is instead taken as UTF-16LE code units, which reaches every code unit (lone
// surrogates included).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/codepage.h"
#include "settings/json_reader.h"
#include "settings/json_writer.h"

namespace {

using revertly::json::JsonKind;
using revertly::json::JsonValue;

std::u16string Decode(const std::uint8_t* data, std::size_t size) {
    if (size > 0 && data[0] == 0) {
        std::u16string text;
        for (std::size_t i = 1; i + 1 < size; i += 2) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        }
        return text;
    }
    return revertly::files::DecodeCp1251(
        std::string_view(reinterpret_cast<const char*>(data), size));
}

bool IsNumber(const JsonValue& v) {
    return v.Is(JsonKind::Int16) || v.Is(JsonKind::Int32) || v.Is(JsonKind::Double);
}

// Same keys in the same order, same strings and Booleans, same container kinds; numbers
// may change kind (the writer turns 2.0 into 2).
bool SameShape(const JsonValue& a, const JsonValue& b) {
    if (IsNumber(a) || IsNumber(b)) {
        return IsNumber(a) && IsNumber(b);
    }
    if (a.Kind() != b.Kind()) {
        return false;
    }
    switch (a.Kind()) {
        case JsonKind::Boolean:
            return a.AsBoolean() == b.AsBoolean();
        case JsonKind::String:
            return a.AsString() == b.AsString();
        case JsonKind::Array: {
            const auto& x = a.AsArray()->Items();
            const auto& y = b.AsArray()->Items();
            if (x.size() != y.size()) {
                return false;
            }
            for (std::size_t i = 0; i < x.size(); ++i) {
                if (!SameShape(x[i], y[i])) {
                    return false;
                }
            }
            return true;
        }
        case JsonKind::Object: {
            if (!a.AsObject() || !b.AsObject()) {
                return !a.AsObject() && !b.AsObject();
            }
            if (a.AsObject()->Keys() != b.AsObject()->Keys()) {
                return false;
            }
            bool same = true;
            a.AsObject()->ForEach([&](const std::u16string& key, const JsonValue& value) {
                same = same && SameShape(value, *b.AsObject()->Get(key));
            });
            return same;
        }
        default:
            return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const JsonValue parsed = revertly::json::ParseJson(Decode(data, size));
    if (parsed.Is(JsonKind::Null)) {
        return 0;
    }
    const std::u16string t1 = revertly::json::ToJson(parsed);
    const JsonValue reparsed = revertly::json::ParseJson(t1);
    if (!SameShape(parsed, reparsed)) {
        std::abort();
    }
    const std::u16string t2 = revertly::json::ToJson(reparsed);
    if (revertly::json::ToJson(revertly::json::ParseJson(t2)) != t2) {
        std::abort();
    }
    return 0;
}
