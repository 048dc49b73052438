#include "keep/kept_files_win32.h"

#include "common/last_error_win32.h"
#include "common/unique_handle.h"
#include "keep/api_win32.h"
#include "settings/whole_file_win32.h"

namespace revertly::keep {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// The store writes from a thread of its own: it can wait out a scanner or a sync client that
// holds a file for a moment after each change, rather than miss a state.
constexpr std::uint32_t kWritePatienceMs = 2000;

void CloseFind(HANDLE find) {
    const LastErrorContext keepError;
    Api().FindClose(find);
}
// Null when there is no search: FindFirstFileW's INVALID_HANDLE_VALUE is turned into it.
using UniqueFind = UniqueHandle<HANDLE, &CloseFind>;

std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

bool IsPlainFileName(std::u16string_view name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(std::u16string_view(u"\\/:\0", 4)) == std::u16string_view::npos;
}

}  // namespace

Win32Api& Api() {
    static Win32Api api;
    return api;
}

Win32KeptFiles::Win32KeptFiles(std::u16string_view folder) : folder_(ToWide(folder)) {}

std::optional<std::wstring> Win32KeptFiles::PathOf(std::u16string_view name) const {
    if (folder_.empty() || folder_.find(L'\0') != std::wstring::npos || !IsPlainFileName(name)) {
        return std::nullopt;
    }
    return folder_ + L"\\" + ToWide(name);
}

std::optional<std::vector<std::u16string>> Win32KeptFiles::List() {
    const std::optional<std::wstring> pattern = PathOf(u"*");
    if (!pattern) {
        return std::nullopt;
    }
    WIN32_FIND_DATAW found{};
    const HANDLE first = Api().FindFirstFileW(pattern->c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::vector<std::u16string>{};
        }
        return std::nullopt;
    }
    const UniqueFind find(first);
    std::vector<std::u16string> names;
    do {
        const std::wstring_view name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            !files::IsTemporaryFileName(name)) {
            names.emplace_back(name.begin(), name.end());
        }
    } while (Api().FindNextFileW(find.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        return std::nullopt;
    }
    return names;
}

std::optional<std::vector<std::byte>> Win32KeptFiles::Read(std::u16string_view name) {
    const std::optional<std::wstring> path = PathOf(name);
    if (!path) {
        return std::nullopt;
    }
    return files::ReadWholeFile(Api(), *path);
}

bool Win32KeptFiles::Write(std::u16string_view name, std::span<const std::byte> bytes) {
    const std::optional<std::wstring> path = PathOf(name);
    if (!path) {
        return false;
    }
    if (!Api().CreateDirectoryW(folder_.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    return files::ReplaceWholeFile(Api(), *path, bytes, kWritePatienceMs) ==
           files::WriteResult::Written;
}

bool Win32KeptFiles::Remove(std::u16string_view name) {
    const std::optional<std::wstring> path = PathOf(name);
    if (!path) {
        return false;
    }
    if (Api().DeleteFileW(path->c_str())) {
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::u16string DefaultKeptFolder() {
    PWSTR local = nullptr;
    const HRESULT result =
        Api().SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local);
    // The buffer is the caller's to free whether the call succeeded or not.
    const std::wstring base = SUCCEEDED(result) && local != nullptr ? local : L"";
    Api().CoTaskMemFree(local);
    if (base.empty()) {
        return {};
    }
    const std::wstring folder = base + L"\\Revertly";
    return std::u16string(folder.begin(), folder.end());
}

}  // namespace revertly::keep
