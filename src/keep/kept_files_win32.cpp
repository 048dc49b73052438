#include "keep/kept_files_win32.h"

#include <utility>

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

namespace release {
void LockFile(void* lock) {
    const LastErrorContext keepError;
    Api().CloseHandle(lock);
}
}  // namespace release

Win32KeptFiles::Win32KeptFiles(std::u16string_view folder) : folder_(ToWide(folder)) {}

bool Win32KeptFiles::MakeFolder() {
    return Api().CreateDirectoryW(folder_.c_str(), nullptr) ||
           GetLastError() == ERROR_ALREADY_EXISTS;
}

std::optional<std::wstring> Win32KeptFiles::PathOf(std::u16string_view name) const {
    if (folder_.empty() || folder_.find(L'\0') != std::wstring::npos || !IsPlainFileName(name)) {
        return std::nullopt;
    }
    return folder_ + L"\\" + ToWide(name);
}

std::optional<std::vector<std::u16string>> Win32KeptFiles::FileNames(bool withTemporaryFiles) {
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
        const std::wstring_view wide = found.cFileName;
        std::u16string name(wide.begin(), wide.end());
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name != kLockFileName &&
            (withTemporaryFiles || !files::IsTemporaryFileName(wide))) {
            names.push_back(std::move(name));
        }
    } while (Api().FindNextFileW(find.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        return std::nullopt;
    }
    return names;
}

std::optional<std::vector<std::u16string>> Win32KeptFiles::List() {
    return FileNames(false);
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
    if (!path || !MakeFolder()) {
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

bool Win32KeptFiles::Hold() {
    if (lock_) {
        return true;
    }
    const std::optional<std::wstring> path = PathOf(kLockFileName);
    if (!path || !MakeFolder()) {
        return false;
    }
    // Opened without sharing: another program's hold fails with a sharing violation while
    // this one is open. A lock file that a power cut left behind is taken over.
    const HANDLE lock =
        Api().CreateFileW(path->c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (lock == INVALID_HANDLE_VALUE) {
        return false;
    }
    lock_.reset(lock);
    // No write of this program is under way yet: a temporary file here is one that a crash
    // cut short, and only takes room.
    if (const std::optional<std::vector<std::u16string>> names = FileNames(true)) {
        for (const std::u16string& name : *names) {
            if (files::IsTemporaryFileName(std::wstring(name.begin(), name.end()))) {
                Remove(name);
            }
        }
    }
    return true;
}

bool Win32KeptFiles::RemoveAllAndLetGo() {
    const std::optional<std::vector<std::u16string>> names = FileNames(true);
    bool removed = names.has_value();
    if (names) {
        for (const std::u16string& name : *names) {
            removed = Remove(name) && removed;
        }
    }
    LetGo();
    if (removed) {
        // Refused while something else is in the folder: a folder of the user's, or a removed
        // file that a scanner still has open. Neither is a file of the history's.
        Api().RemoveDirectoryW(folder_.c_str());
    }
    return removed;
}

void Win32KeptFiles::LetGo() {
    lock_.reset();
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
