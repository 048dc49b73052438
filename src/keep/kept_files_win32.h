// The kept history's folder on Windows: whole files replaced in one step, as the settings'
// files are. Every Win32 call goes through Api() (keep/api_win32.h).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/unique_handle.h"
#include "keep/keep_ports.h"

namespace revertly::keep {

// The file that holds the folder: open without sharing while the program holds it, and
// deleted by the system when it is closed, also when the program is killed.
inline constexpr std::u16string_view kLockFileName = u"lock.rvk";

namespace release {
void LockFile(void* lock);
}  // namespace release

// Lets the folder go when it goes.
class Win32KeptFiles final : public KeptFilesPort {
  public:
    // The folder's full path; it is made by the first write or hold.
    explicit Win32KeptFiles(std::u16string_view folder);

    // Leaves out folders, the lock file and the temporary files of writes cut short.
    std::optional<std::vector<std::u16string>> List() override;
    std::optional<std::vector<std::byte>> Read(std::u16string_view name) override;
    bool Write(std::u16string_view name, std::span<const std::byte> bytes) override;
    bool Remove(std::u16string_view name) override;

    bool Hold() override;
    bool RemoveAllAndLetGo() override;
    void LetGo() override;

  private:
    // The full path of a plain file name; nothing for anything that names another place.
    std::optional<std::wstring> PathOf(std::u16string_view name) const;
    // The files in the folder but the lock file; the temporary files of writes cut short
    // only when asked for.
    std::optional<std::vector<std::u16string>> FileNames(bool withTemporaryFiles);
    bool MakeFolder();

    std::wstring folder_;
    // Null while the folder is not held.
    UniqueHandle<void*, &release::LockFile> lock_;
};

// %LOCALAPPDATA%\Revertly: never roaming, since the history is sealed for one user on one
// computer. Empty when the system does not say where that is.
std::u16string DefaultKeptFolder();

}  // namespace revertly::keep
