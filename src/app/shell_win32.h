// The Windows shell behind the application: web links opened with the "open" verb, the
// Startup folders, and the shell link written there.
#pragma once

#include <windows.h>
// The shell headers need the types of windows.h first.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/app_ports.h"

namespace revertly::app {

// Texts with a U+0000 inside are refused: Windows would read a path only up to it and so
// act on another file than the one named.
class Win32ShellPort final : public ShellPort {
  public:
    void OpenUrl(std::u16string_view url) override;
    std::u16string UserStartupFolder() override;
    std::u16string CommonStartupFolder() override;
    bool FileExists(std::u16string_view path) override;
    bool RemoveFile(std::u16string_view path) override;
    bool CreateShortcut(std::u16string_view linkPath, std::u16string_view target,
                        std::u16string_view arguments, std::u16string_view workingFolder) override;
};

}  // namespace revertly::app
