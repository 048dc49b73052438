// The program's icon in the notification area of the taskbar, bound to a host window that
// receives the icon's mouse actions as a window message.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/window_types.h"

namespace revertly::tray {

using IconHandle = std::uintptr_t;

// The record handed to the shell with every request: the shell's NOTIFYICONDATAW up to and
// including dwInfoFlags (no guidItem, no balloon icon), with the same fields in the same
// order. Handles are pointer-sized, text is UTF-16 code units.
struct NotifyIconRecord {
    std::uint32_t cbSize = 0;
    WindowHandle hWnd = 0;
    // Tells the icons of one window apart; the shell passes it back with every callback.
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    IconHandle hIcon = 0;
    char16_t szTip[128] = {};
    std::uint32_t dwState = 0;
    std::uint32_t dwStateMask = 0;
    char16_t szInfo[256] = {};
    // One field for two things: the balloon's timeout in milliseconds with a balloon, the
    // notification interface version with a version request.
    std::uint32_t uTimeoutOrVersion = 0;
    char16_t szInfoTitle[64] = {};
    std::uint32_t dwInfoFlags = 0;
};

// The size of that layout on the target, which the shell takes as the record's version.
inline constexpr std::uint32_t kNotifyIconRecordSize = sizeof(void*) == 8 ? 952 : 936;
static_assert(sizeof(NotifyIconRecord) == kNotifyIconRecordSize);

// The shell's requests, numbered as Shell_NotifyIconW numbers them.
enum class NotifyMessage : std::uint32_t {
    Add = 0,
    Modify = 1,
    Delete = 2,
    SetFocus = 3,
    SetVersion = 4,
};

// The callback message, the picture and the tip text (NIF_MESSAGE, NIF_ICON, NIF_TIP): what
// adding and refreshing send.
inline constexpr std::uint32_t kIconFlags = 1 | 2 | 4;
// The balloon's text, title, timeout and style (NIF_INFO).
inline constexpr std::uint32_t kBalloonFlags = 16;
// With this interface version the shell sends the callback with wParam = uID and
// lParam = the mouse or notification message.
inline constexpr std::uint32_t kNotifyIconVersion = 3;
// The callback message when the caller leaves the choice to the icon (WM_APP).
inline constexpr std::uint32_t kDefaultCallbackMessage = 0x8000;

// The shell's notification area.
class ShellNotifyPort {
  public:
    virtual ~ShellNotifyPort() = default;
    // Hands the record to the shell with the request; answers whether the shell accepted it.
    virtual bool ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) = 0;
};

// The window that the icon belongs to: the shell sends the icon's callback message to it, and
// its icon is the picture shown.
class TrayHost {
  public:
    virtual ~TrayHost() = default;
    // The window's handle; nothing when it cannot be read.
    virtual std::optional<WindowHandle> Window() const = 0;
    // The window's icon; nothing when the window has none or it cannot be read.
    virtual std::optional<IconHandle> WindowIcon() const = 0;
};

// Not shown until AddIcon, shown until RemoveIcon or destruction. Operations that need a
// state they do not find answer false and change nothing. The shell's answers are never
// looked at: an operation that made its request answers true.
class Tray {
  public:
    explicit Tray(ShellNotifyPort& shell) : shell_(shell) {}
    // Removes the icon when it is shown.
    ~Tray();

    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    // The number of the message that the host window receives for actions on the icon.
    std::uint32_t MessageID() const { return messageId_; }

    // Binds the record to the host window, with callbackMessageId as the callback message
    // (0: kDefaultCallbackMessage). Answers false when the window's handle or icon cannot be
    // read; what was set before that stays set. Makes no request to the shell.
    bool Initialize(const TrayHost& host, std::uint32_t callbackMessageId = 0);

    // Shows a balloon over the shown icon. An empty title keeps the previous balloon's
    // title; style goes to the shell unchanged.
    bool ShowBalloonTip(std::u16string_view message, std::u16string_view title = u"",
                        std::uint32_t style = 0, std::uint32_t timeout = 10000);

    // Adds the icon and asks for interface version 3. False when it is already shown.
    bool AddIcon();

    // Gives the keyboard focus back to the notification area, shown or not.
    void ReturnFocus();

    // Sends the callback message, picture and tip text again. False when not shown.
    bool Refresh();

    bool Visible() const { return visible_; }
    // Whether the shell holds the icon: it took the last add, or it knew the icon already
    // (an add that timed out may still have got through). Visible stays true without it.
    bool InNotificationArea() const { return inArea_; }

    // False when not shown.
    bool RemoveIcon();

    // When true, writing Tooltip or Icon sends the change to the shell at once.
    bool AutoRefresh() const { return autoRefresh_; }
    void AutoRefresh(bool value) { autoRefresh_ = value; }

    // The whole tip field: the text followed by zero code units, always 128 units.
    std::u16string Tooltip() const;
    // An empty text keeps the previous tip; a longer one is cut to 127 code units.
    void Tooltip(std::u16string_view message);
    // Leaves the icon without a tip.
    void ClearTooltip();

    IconHandle Icon() const { return record_.hIcon; }
    // Changes the picture; the icon keeps its identifier.
    void Icon(IconHandle icon);

    // The shell forgets every icon when the notification area is recreated (the shell
    // restarted, or the display's scale changed) and then broadcasts the registered
    // message "TaskbarCreated". Called on that message: adds the shown icon again, with
    // picture as its new picture when given (the identifier stays), and asks for version 3
    // again. Also how an add that the shell refused is tried again. False, with no request
    // and no change, when the icon is not shown.
    bool AddIconAgain(std::optional<IconHandle> picture = std::nullopt);

  private:
    // Copies the first min(n, size - 1) code units of the text into the field and zeroes
    // the rest, so the field always ends with a zero unit; a cut may split a surrogate pair.
    // An empty text leaves the field as it was.
    static void CopyTextToField(std::u16string_view text, std::span<char16_t> field);

    void SendAddAndVersion();

    ShellNotifyPort& shell_;
    bool autoRefresh_ = false;
    bool visible_ = false;
    bool inArea_ = false;
    NotifyIconRecord record_;
    std::uint32_t messageId_ = 0;
};

}  // namespace revertly::tray
