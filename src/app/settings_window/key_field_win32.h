// The settings window's key field: it shows a combination and records the next one the user
// presses while it has the focus, the Windows key included, which the system's hotkey control
// cannot take. Windows hands a combination that a program registered (Explorer's Win+letter
// keys, Revertly's own) to that program, never to the focused window, so while a field has the
// focus the keyboard hook hands such combinations to the field instead (RecordKeysFor); the
// keys that do reach the field are recorded from its own key messages.
#pragma once

#include <windows.h>

#include <optional>

#include "app/app_ports.h"

namespace revertly::app {

inline constexpr wchar_t kKeyFieldClass[] = L"RevertlyKeyField";

// Sent to a field: sets its combination (lParam: PackHotkey's value, 0 for none) without a
// notice. Answered by a field: its combination, packed.
inline constexpr UINT kSetFieldKey = WM_USER + 1;
inline constexpr UINT kGetFieldKey = WM_USER + 2;
// Posted to a field by the keyboard hook: a combination pressed (wParam: the virtual key,
// lParam: the modifier bits).
inline constexpr UINT kRecordedKey = WM_APP + 2;
// The field's notices to its dialog, in WM_COMMAND's high word: a new combination recorded, the
// field took or lost the focus.
inline constexpr WORD kFieldChanged = 0x0300;
inline constexpr WORD kFieldFocused = 0x0100;
inline constexpr WORD kFieldUnfocused = 0x0200;

LPARAM PackHotkey(const std::optional<Hotkey>& hotkey);
std::optional<Hotkey> UnpackHotkey(LRESULT packed);

// Registers the field's window class for the instance's dialogs; the class stays for the run.
void RegisterKeyField(HINSTANCE instance);

}  // namespace revertly::app
