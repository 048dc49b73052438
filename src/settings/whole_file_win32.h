// Whole files as bytes through the wide Win32 file functions: read at once, and replaced in
// one step. The settings' text files and the kept history's files are both written this way,
// each subsystem through the file calls of its own seam.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/api_win32.h"
#include "settings/text_file.h"

namespace revertly::files {

// The file's bytes; nothing when it is missing, cannot be read or has 4 GiB or more. Others
// may read the file while it is open, but not write it.
std::optional<std::vector<std::byte>> ReadWholeFile(const FileCalls& calls,
                                                    const std::wstring& path);

// Writes the bytes to a temporary file beside the target, flushes it and moves it over the
// target in one step. On anything but Written the old file is untouched and no temporary file
// is left; a read-only target is refused. `patienceMs`: how long a Busy write is tried again,
// pausing between tries, before it answers Busy; 0 tries once.
WriteResult ReplaceWholeFile(const FileCalls& calls, const std::wstring& target,
                             std::span<const std::byte> bytes, std::uint32_t patienceMs);

// Whether a name in a folder is one of the temporary files that ReplaceWholeFile makes there.
bool IsTemporaryFileName(std::wstring_view name);

}  // namespace revertly::files
