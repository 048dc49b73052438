// Whole-file text reading and writing in Windows-1251.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace revertly::files {

// The file's text up to its first zero byte, or the empty text when the file cannot be
// opened or read. Others may read the file while it is open, but not write it.
std::u16string ReadTextFile(std::u16string_view path);

// How a write went.
enum class WriteResult {
    Written,
    // Refused for good: a read-only target, a missing folder, a text the system cannot
    // encode, a disk error. Trying again would meet the same answer.
    Failed,
    // Another program has the target (or the temporary file) open for a moment, as virus
    // scanners, the search indexer and sync clients do after every change: the same write
    // will get through once it lets go.
    Busy,
};

// Writes the text up to its first U+0000. The new content goes to a temporary file
// beside the target, is flushed, and then replaces the target in one step, so a failed
// write never leaves the old file empty or half written. On anything but Written the old
// file is untouched and no temporary file is left; a read-only target is refused. `flush`
// asks for the text to be on the disk when the call returns; replacing the target safely
// needs that every time, so the temporary file is flushed whether it is asked for or not.
// `patienceMs`: how long a Busy write is tried again, pausing between tries, before it
// answers Busy; 0 tries once and never waits.
WriteResult WriteTextFile(std::u16string_view path, std::u16string_view text, bool flush,
                          std::uint32_t patienceMs = 0);

}  // namespace revertly::files
