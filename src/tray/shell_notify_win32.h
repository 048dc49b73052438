// The real notification area, and the program's window as the icon's host.
#pragma once

#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include "tray/tray.h"

namespace revertly::tray {

using ShellNotifyIconFunction = decltype(&::Shell_NotifyIconW);

class Win32ShellNotify final : public ShellNotifyPort {
  public:
    // function: the shell's entry point; a test may hand in a wrapper around it.
    explicit Win32ShellNotify(ShellNotifyIconFunction function = &::Shell_NotifyIconW)
        : function_(function) {}

    bool ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) override;

  private:
    ShellNotifyIconFunction function_;
};

// A window as the icon's host. Its picture is the window's small icon: the one set with
// WM_SETICON and ICON_SMALL, else the small icon of its window class (hIconSm). A window
// with neither has no icon to show, and one that no longer exists has no handle either.
class Win32TrayHost final : public TrayHost {
  public:
    explicit Win32TrayHost(WindowHandle window) : window_(window) {}

    std::optional<WindowHandle> Window() const override;
    std::optional<IconHandle> WindowIcon() const override;

  private:
    WindowHandle window_;
};

}  // namespace revertly::tray
