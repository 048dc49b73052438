// Whole-file text I/O through the wide Win32 file functions. Every Win32 call goes through
// Api().
#include <windows.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "settings/api_win32.h"
#include "settings/codepage.h"
#include "settings/text_file.h"
#include "settings/whole_file_win32.h"

namespace revertly::files {
namespace {

// A U+0000 would silently cut the name short and point at another file.
bool IsUsablePath(std::u16string_view path) {
    return !path.empty() && path.find(u'\0') == std::u16string_view::npos;
}

std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

std::u16string ReadTextFile(std::u16string_view path) {
    try {
        if (!IsUsablePath(path)) {
            return {};
        }
        const std::optional<std::vector<std::byte>> bytes = ReadWholeFile(Api(), ToWide(path));
        if (!bytes) {
            return {};
        }
        const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        return DecodeCp1251(text.substr(0, text.find('\0')));
    } catch (const std::exception&) {
        return {};
    }
}

WriteResult WriteTextFile(std::u16string_view path, std::u16string_view text,
                          [[maybe_unused]] bool flush, std::uint32_t patienceMs) {
    try {
        if (!IsUsablePath(path)) {
            return WriteResult::Failed;
        }
        const std::optional<std::string> bytes = EncodeCp1251(text.substr(0, text.find(u'\0')));
        if (!bytes) {
            return WriteResult::Failed;
        }
        return ReplaceWholeFile(Api(), ToWide(path), std::as_bytes(std::span(*bytes)), patienceMs);
    } catch (const std::exception&) {
        return WriteResult::Failed;
    }
}

}  // namespace revertly::files
