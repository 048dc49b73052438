// Whole-file text reading and writing in Windows-1251.
#pragma once

#include <string>
#include <string_view>

namespace revertly::files {

// The file's text up to its first zero byte, or the empty text when the file cannot be
// opened or read. Others may read the file while it is open, but not write it.
std::u16string ReadTextFile(std::u16string_view path);

// Writes the text up to its first U+0000. The new content goes to a temporary file
// beside the target, is flushed, and then replaces the target in one step, so a failed
// write never leaves the old file empty or half written. Answers false, with the old
// file untouched and no temporary file left, on any failure, a text that the system
// refuses to encode included; a read-only target is refused. `flush` asks for the text to
// be on the disk when the call returns; replacing the target safely needs that every time, so
// the temporary file is flushed whether it is asked for or not.
bool WriteTextFile(std::u16string_view path, std::u16string_view text, bool flush);

}  // namespace revertly::files
