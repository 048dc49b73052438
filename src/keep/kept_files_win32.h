// The kept history's folder on Windows: whole files replaced in one step, as the settings'
// files are. Every Win32 call goes through Api() (keep/api_win32.h).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keep/keep_ports.h"

namespace revertly::keep {

class Win32KeptFiles final : public KeptFilesPort {
  public:
    // The folder's full path; it is made by the first write.
    explicit Win32KeptFiles(std::u16string_view folder);

    // Leaves out folders and the temporary files of writes cut short.
    std::optional<std::vector<std::u16string>> List() override;
    std::optional<std::vector<std::byte>> Read(std::u16string_view name) override;
    bool Write(std::u16string_view name, std::span<const std::byte> bytes) override;
    bool Remove(std::u16string_view name) override;

  private:
    // The full path of a plain file name; nothing for anything that names another place.
    std::optional<std::wstring> PathOf(std::u16string_view name) const;

    std::wstring folder_;
};

// %LOCALAPPDATA%\Revertly: never roaming, since the history is sealed for one user on one
// computer. Empty when the system does not say where that is.
std::u16string DefaultKeptFolder();

}  // namespace revertly::keep
