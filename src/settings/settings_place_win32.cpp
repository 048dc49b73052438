// The settings' place on Windows. Every Win32 call goes through Api().
#include "settings/settings_place_win32.h"

#include <optional>
#include <string>

namespace revertly::settings {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::optional<std::wstring> ToWide(std::u16string_view text) {
    if (text.empty() || text.find(u'\0') != std::u16string_view::npos) {
        return std::nullopt;
    }
    return std::wstring(text.begin(), text.end());
}

bool Exists(const std::wstring& path, bool folder) {
    const DWORD attributes = Api().GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

enum class Probe { Created, NameTaken, Refused };

// Creates a file of that name that goes again when its handle is closed.
Probe CreateAndDelete(const std::wstring& path) {
    Win32Api& api = Api();
    const HANDLE file = api.CreateFileW(
        path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_EXISTS ? Probe::NameTaken : Probe::Refused;
    }
    api.CloseHandle(file);
    // A folder that lets files be created but not removed would not take the settings'
    // replacement either.
    return Exists(path, false) ? Probe::Refused : Probe::Created;
}

}  // namespace

Win32Api& Api() {
    static Win32Api api;
    return api;
}

bool Win32SettingsPlace::FolderTakesNewFiles(std::u16string_view folder) {
    const std::optional<std::wstring> base = ToWide(folder);
    if (!base) {
        return false;
    }
    // Unique among running processes; the attempt number gets past a probe left by an
    // earlier process of the same id that was cut off (by a power loss, say).
    const std::wstring prefix = *base + L"\\~revertly-" + std::to_wstring(GetCurrentProcessId());
    for (int attempt = 0; attempt < 4; ++attempt) {
        const Probe probe = CreateAndDelete(prefix + L"-" + std::to_wstring(attempt) + L".tmp");
        if (probe != Probe::NameTaken) {
            return probe == Probe::Created;
        }
    }
    return false;
}

std::u16string Win32SettingsPlace::UserDataFolder(std::u16string_view name) {
    const std::optional<std::wstring> subfolder = ToWide(name);
    if (!subfolder) {
        return {};
    }
    Win32Api& api = Api();
    PWSTR roaming = nullptr;
    const HRESULT result =
        api.SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &roaming);
    // The buffer is the caller's to free whether the call succeeded or not.
    const std::wstring base = SUCCEEDED(result) && roaming != nullptr ? roaming : L"";
    api.CoTaskMemFree(roaming);
    if (base.empty()) {
        return {};
    }
    const std::wstring folder = base + L"\\" + *subfolder;
    if (!api.CreateDirectoryW(folder.c_str(), nullptr) && !Exists(folder, true)) {
        return {};
    }
    return std::u16string(folder.begin(), folder.end());
}

bool Win32SettingsPlace::FileExists(std::u16string_view path) {
    const std::optional<std::wstring> file = ToWide(path);
    return file && Exists(*file, false);
}

}  // namespace revertly::settings
