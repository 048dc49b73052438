#include "tray/shell_notify_win32.h"

#include <algorithm>
#include <iterator>

namespace revertly::tray {

static_assert(kNotifyIconRecordSize == NOTIFYICONDATAW_V2_SIZE);
static_assert(sizeof(WindowHandle) == sizeof(HWND) && sizeof(IconHandle) == sizeof(HICON));
static_assert(sizeof(wchar_t) == sizeof(char16_t));
static_assert(static_cast<DWORD>(NotifyMessage::Add) == NIM_ADD &&
              static_cast<DWORD>(NotifyMessage::Modify) == NIM_MODIFY &&
              static_cast<DWORD>(NotifyMessage::Delete) == NIM_DELETE &&
              static_cast<DWORD>(NotifyMessage::SetFocus) == NIM_SETFOCUS &&
              static_cast<DWORD>(NotifyMessage::SetVersion) == NIM_SETVERSION);
static_assert(kIconFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP) && kBalloonFlags == NIF_INFO);
static_assert(kNotifyIconVersion == NOTIFYICON_VERSION && kDefaultCallbackMessage == WM_APP);

Win32Api& Api() {
    static Win32Api api;
    return api;
}

bool Win32ShellNotify::ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) {
    NOTIFYICONDATAW data{};
    data.cbSize = record.cbSize;
    data.hWnd = reinterpret_cast<HWND>(record.hWnd);
    data.uID = record.uID;
    data.uFlags = record.uFlags;
    data.uCallbackMessage = record.uCallbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.hIcon);
    std::copy(std::begin(record.szTip), std::end(record.szTip), data.szTip);
    data.dwState = record.dwState;
    data.dwStateMask = record.dwStateMask;
    std::copy(std::begin(record.szInfo), std::end(record.szInfo), data.szInfo);
    data.uTimeout = record.uTimeoutOrVersion;
    std::copy(std::begin(record.szInfoTitle), std::end(record.szInfoTitle), data.szInfoTitle);
    data.dwInfoFlags = record.dwInfoFlags;
    return Api().Shell_NotifyIconW(static_cast<DWORD>(message), &data) != FALSE;
}

std::optional<WindowHandle> Win32TrayHost::Window() const {
    if (!Api().IsWindow(reinterpret_cast<HWND>(window_))) {
        return std::nullopt;
    }
    return window_;
}

std::optional<IconHandle> Win32TrayHost::WindowIcon() const {
    const HWND window = reinterpret_cast<HWND>(window_);
    if (!Api().IsWindow(window)) {
        return std::nullopt;
    }
    // ICON_SMALL answers only a small icon that the window was given; a window that has only
    // a big one falls through to its class.
    IconHandle icon =
        static_cast<IconHandle>(Api().SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
    if (icon == 0) {
        icon = static_cast<IconHandle>(Api().GetClassLongPtrW(window, GCLP_HICONSM));
    }
    if (icon == 0) {
        return std::nullopt;
    }
    return icon;
}

}  // namespace revertly::tray
