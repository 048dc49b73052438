// Windows-1251 through the system's own conversion functions.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

#include "settings/api_win32.h"
#include "settings/codepage.h"

namespace revertly::files {
namespace {

constexpr UINT kCodePage = 1251;

// The conversion functions take int lengths, so longer texts go through in pieces. One
// byte is one character in this code page, so any cut between bytes is safe; a cut
// between code units avoids splitting a surrogate pair.
constexpr std::size_t kPiece = 1 << 30;

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

Win32Api& Api() {
    static Win32Api api;
    return api;
}

std::u16string DecodeCp1251(std::string_view bytes) {
    std::u16string text;
    while (!bytes.empty()) {
        const int count = static_cast<int>(std::min(bytes.size(), kPiece));
        const int length = Api().MultiByteToWideChar(kCodePage, 0, bytes.data(), count, nullptr, 0);
        if (length <= 0) {
            return {};
        }
        const std::size_t start = text.size();
        text.resize(start + static_cast<std::size_t>(length));
        if (Api().MultiByteToWideChar(kCodePage, 0, bytes.data(), count,
                                      reinterpret_cast<wchar_t*>(text.data() + start),
                                      length) != length) {
            return {};
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return text;
}

// No default character of our own: Windows writes a best-fit look-alike where its table
// has one (an 'e' for an 'é', say), otherwise '?'.
std::optional<std::string> EncodeCp1251(std::u16string_view text) {
    std::string bytes;
    while (!text.empty()) {
        std::size_t units = std::min(text.size(), kPiece);
        if (units < text.size() && IsHighSurrogate(text[units - 1])) {
            --units;
        }
        const int count = static_cast<int>(units);
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        const int length =
            Api().WideCharToMultiByte(kCodePage, 0, wide, count, nullptr, 0, nullptr, nullptr);
        if (length <= 0) {
            return std::nullopt;
        }
        const std::size_t start = bytes.size();
        bytes.resize(start + static_cast<std::size_t>(length));
        if (Api().WideCharToMultiByte(kCodePage, 0, wide, count, bytes.data() + start, length,
                                      nullptr, nullptr) != length) {
            return std::nullopt;
        }
        text.remove_prefix(units);
    }
    return bytes;
}

}  // namespace revertly::files
