// The window messages and values the application shell acts on, as Windows numbers them.
#pragma once

#include <cstdint>

namespace revertly::app::msg {

inline constexpr std::uint32_t kDestroy = 0x0002;
inline constexpr std::uint32_t kClose = 0x0010;
inline constexpr std::uint32_t kQueryEndSession = 0x0011;
inline constexpr std::uint32_t kEndSession = 0x0016;
inline constexpr std::uint32_t kTimer = 0x0113;
inline constexpr std::uint32_t kSysCommand = 0x0112;
inline constexpr std::uint32_t kRightButtonDown = 0x0204;
inline constexpr std::uint32_t kDrawClipboard = 0x0308;
inline constexpr std::uint32_t kChangeClipboardChain = 0x030D;
inline constexpr std::uint32_t kHotkey = 0x0312;
inline constexpr std::uint32_t kClipboardUpdate = 0x031D;

// The program's own: the packer has made states compact (WM_APP + 1; the tray icon's
// callback is WM_APP).
inline constexpr std::uint32_t kStatesPacked = 0x8001;
// The program's own: the kept history's thread has loaded or saved the history (WM_APP + 2).
inline constexpr std::uint32_t kHistoryKept = 0x8002;

// What the tray icon's callback carries in lParam: the shell's request for the icon's menu,
// the icon chosen with Enter or Space (NIN_KEYSELECT), and the right button's release, which
// comes before the request when the mouse asks for the menu.
inline constexpr std::uint32_t kContextMenu = 0x007B;
inline constexpr std::uint32_t kKeySelect = 0x0401;
inline constexpr std::uint32_t kRightButtonUp = 0x0205;

// WM_SYSCOMMAND's wParam for the window's Close command (its low four bits are the system's).
inline constexpr std::uintptr_t kScClose = 0xF060;

}  // namespace revertly::app::msg
