// The settings' place on Windows: a probe file in the program folder, and the user's roaming
// application data folder.
#pragma once

#include <windows.h>
// The shell headers need the types of windows.h first.
#include <shlobj.h>

#include "settings/settings_place.h"

namespace revertly::settings {

// Every Win32 call that the adapter makes goes through this one table, so that a test can
// make a call fail on purpose (replace an entry, put the saved table back after).
struct Win32Api {
    decltype(&::CreateFileW) CreateFileW = ::CreateFileW;
    decltype(&::CloseHandle) CloseHandle = ::CloseHandle;
    decltype(&::GetFileAttributesW) GetFileAttributesW = ::GetFileAttributesW;
    decltype(&::CreateDirectoryW) CreateDirectoryW = ::CreateDirectoryW;
    decltype(&::SHGetKnownFolderPath) SHGetKnownFolderPath = ::SHGetKnownFolderPath;
    decltype(&::CoTaskMemFree) CoTaskMemFree = ::CoTaskMemFree;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

// Texts with a U+0000 inside are refused: Windows would read a path only up to it.
class Win32SettingsPlace final : public SettingsPlacePort {
  public:
    bool FolderTakesNewFiles(std::u16string_view folder) override;
    // Under FOLDERID_RoamingAppData (%APPDATA%), which follows the user between machines.
    std::u16string UserDataFolder(std::u16string_view name) override;
    bool FileExists(std::u16string_view path) override;
};

}  // namespace revertly::settings
