// The real notification area, and the program's window as the icon's host.
#pragma once

#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include "tray/tray.h"

namespace revertly::tray {

// Every Win32 call that the tray adapters make goes through this one table, so that a test can
// watch or fail a call (replace an entry, put the saved table back after).
struct Win32Api {
    decltype(&::Shell_NotifyIconW) Shell_NotifyIconW = ::Shell_NotifyIconW;
    decltype(&::IsWindow) IsWindow = ::IsWindow;
    decltype(&::SendMessageW) SendMessageW = ::SendMessageW;
    decltype(&::GetClassLongPtrW) GetClassLongPtrW = ::GetClassLongPtrW;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

class Win32ShellNotify final : public ShellNotifyPort {
  public:
    bool ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) override;
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
