#include "tray/tray.h"

#include <algorithm>

namespace revertly::tray {

Tray::~Tray() {
    if (visible_) {
        RemoveIcon();
    }
}

bool Tray::Initialize(const TrayHost& host, std::uint32_t callbackMessageId) {
    messageId_ = callbackMessageId != 0 ? callbackMessageId : kDefaultCallbackMessage;
    const std::optional<WindowHandle> window = host.Window();
    if (!window) {
        return false;
    }
    record_.hWnd = *window;
    const std::optional<IconHandle> icon = host.WindowIcon();
    if (!icon) {
        return false;
    }
    // The first picture's handle value identifies the icon for good: writing Icon later
    // leaves uID alone, or the shell would no longer find the icon. Icon handles have 32
    // significant bits also in a 64-bit process.
    record_.uID = static_cast<std::uint32_t>(*icon);
    record_.uCallbackMessage = messageId_;
    record_.hIcon = *icon;
    record_.uTimeoutOrVersion = kNotifyIconVersion;
    record_.cbSize = kNotifyIconRecordSize;
    return true;
}

bool Tray::ShowBalloonTip(std::u16string_view message, std::u16string_view title,
                          std::uint32_t style, std::uint32_t timeout) {
    if (!visible_) {
        return false;
    }
    CopyTextToField(message, record_.szInfo);
    CopyTextToField(title, record_.szInfoTitle);
    record_.uTimeoutOrVersion = timeout;
    record_.dwInfoFlags = style;
    record_.uFlags = kBalloonFlags;
    shell_.ShellNotifyIcon(NotifyMessage::Modify, record_);
    return true;
}

bool Tray::AddIcon() {
    if (visible_) {
        return false;
    }
    SendAddAndVersion();
    // Shown even when the shell refused the icon: the shell may not be running yet at
    // log-on, and AddIconAgain brings the icon in when the notification area appears.
    visible_ = true;
    return true;
}

void Tray::ReturnFocus() {
    shell_.ShellNotifyIcon(NotifyMessage::SetFocus, record_);
}

bool Tray::Refresh() {
    if (!visible_) {
        return false;
    }
    record_.uFlags = kIconFlags;
    shell_.ShellNotifyIcon(NotifyMessage::Modify, record_);
    return true;
}

bool Tray::RemoveIcon() {
    if (!visible_) {
        return false;
    }
    shell_.ShellNotifyIcon(NotifyMessage::Delete, record_);
    visible_ = false;
    inArea_ = false;
    return true;
}

std::u16string Tray::Tooltip() const {
    return std::u16string(std::begin(record_.szTip), std::end(record_.szTip));
}

void Tray::Tooltip(std::u16string_view message) {
    CopyTextToField(message, record_.szTip);
    if (autoRefresh_) {
        Refresh();
    }
}

void Tray::ClearTooltip() {
    std::fill(std::begin(record_.szTip), std::end(record_.szTip), u'\0');
    if (autoRefresh_) {
        Refresh();
    }
}

void Tray::Icon(IconHandle icon) {
    record_.hIcon = icon;
    if (autoRefresh_) {
        Refresh();
    }
}

bool Tray::AddIconAgain(std::optional<IconHandle> picture) {
    if (!visible_) {
        return false;
    }
    if (picture) {
        record_.hIcon = *picture;
    }
    SendAddAndVersion();
    return true;
}

void Tray::CopyTextToField(std::u16string_view text, std::span<char16_t> field) {
    if (text.empty()) {
        return;
    }
    const std::size_t length = std::min(text.size(), field.size() - 1);
    const auto end = std::copy_n(text.begin(), length, field.begin());
    std::fill(end, field.end(), u'\0');
}

// A balloon may have left its flags and its timeout in the record: adding sends the icon's
// own flags, and the version request needs the version back in the shared field.
void Tray::SendAddAndVersion() {
    record_.uFlags = kIconFlags;
    // The shell refuses to add an icon it holds already; one that it can modify is there.
    inArea_ = shell_.ShellNotifyIcon(NotifyMessage::Add, record_) ||
              shell_.ShellNotifyIcon(NotifyMessage::Modify, record_);
    record_.uTimeoutOrVersion = kNotifyIconVersion;
    shell_.ShellNotifyIcon(NotifyMessage::SetVersion, record_);
}

}  // namespace revertly::tray
