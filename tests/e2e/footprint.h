// What Revertly leaves behind, read from outside: the Startup shortcut, the single-instance
// block, files (the settings file among them) and the memory it takes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace revertly::driver {

// The application title: the name of the shortcut, the block and the windows' captions.
inline constexpr wchar_t kApplicationTitle[] = L"Revertly";

// A known folder of the user (FOLDERID_...), or the empty path.
std::filesystem::path KnownFolder(const GUID& id);
// The user's Startup folder and the program's shortcut in it.
std::filesystem::path StartupFolder();
std::filesystem::path StartupLinkPath();
// Removes the shortcut, also a read-only one; true when none is left.
bool RemoveStartupLink();

struct Shortcut {
    std::wstring target;  // with every "/" turned into "\", as Windows resolves it anyway
    std::wstring arguments;
    std::wstring workingFolder;
};
// The properties of a shell link as the link service reads them back.
std::optional<Shortcut> ReadShortcut(const std::filesystem::path& link);

// The 4 bytes of the single-instance block "Revertly", or nothing when no copy holds it.
std::optional<std::uint32_t> ReadInstanceBlock();

// A file's bytes, read to its end (also the files under /proc, which report a size of 0), or
// nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& file);
// The memory of a process that is in use now (its working set), or nothing when it cannot be
// read.
std::optional<std::size_t> WorkingSetBytes(DWORD processId);

// A file's last-write time, or nothing when it cannot be read.
std::optional<FILETIME> LastWriteTime(const std::filesystem::path& file);

}  // namespace revertly::driver
