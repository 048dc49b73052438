// What the kept history needs from the platform, in its own terms: a seal that only this
// user on this computer can open, and a folder of whole files. On Windows the seal is AES-GCM
// (BCrypt) under a key that DPAPI protects, and the folder is %LOCALAPPDATA%\Revertly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keep/file_format.h"

namespace revertly::keep {

class SealPort {
  public:
    virtual ~SealPort() = default;
    // The contents encrypted and authenticated, the file's role and version bound in (as
    // the cipher's associated data), with a fresh nonce each time; nothing when the key or
    // the cipher cannot be had.
    virtual std::optional<std::vector<std::byte>> Seal(FileRole role, std::uint16_t version,
                                                       std::span<const std::byte> contents) = 0;
    // The contents of what Seal made with the same key, role and version; nothing for
    // anything else: bytes changed, added or cut off, another key, role or version.
    virtual std::optional<std::vector<std::byte>> Open(FileRole role, std::uint16_t version,
                                                       std::span<const std::byte> sealed) = 0;
    // Destroys the key: what was sealed with it can never be opened again, and the next seal
    // makes a new one. False when the key's file could not be removed.
    virtual bool Forget() = 0;
};

// The folder that holds the kept files, by plain file name (no path).
class KeptFilesPort {
  public:
    virtual ~KeptFilesPort() = default;
    // The names of the files in the folder; empty when there is no folder yet, nothing when
    // it cannot be read.
    virtual std::optional<std::vector<std::u16string>> List() = 0;
    // The whole file; nothing when it is missing or cannot be read.
    virtual std::optional<std::vector<std::byte>> Read(std::u16string_view name) = 0;
    // Replaces the file in one step (a temporary file beside it, flushed, then moved over
    // it), making the folder first if need be: the old file or the new one is there whole,
    // never a part. False when it could not be written; the old file is then untouched.
    virtual bool Write(std::u16string_view name, std::span<const std::byte> bytes) = 0;
    // True when the file is gone, also when it was never there.
    virtual bool Remove(std::u16string_view name) = 0;

    // Holds the folder for this program alone while it runs: a lock file kept open, which the
    // system lets go of also when the program is killed. False when another program (another
    // log-on of the same user) holds it, or it cannot be made. Holding it twice is harmless.
    virtual bool Hold() = 0;
    // Removes every file in the folder, the temporary files of writes cut short among them,
    // but the lock file; then lets the folder go and removes it when it is empty. False when
    // something stayed.
    virtual bool RemoveAllAndLetGo() = 0;
    // Lets the folder go; its lock file goes with it.
    virtual void LetGo() = 0;
};

}  // namespace revertly::keep
