// The global hotkeys: undo, redo and clear, each with a default (Win+Z, Win+X, Win+C) that the
// user may replace in the settings file with a text such as "Ctrl+Alt+Z", and the key that
// opens the "Recent states" list, which has none unless the user chooses one. This is where
// such a text is read, where a key is named, and where the keys of a run are settled at
// start-up together with the captions and messages that name them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_ports.h"
#include "settings/json_value.h"

namespace revertly::app {

// The hotkey ids, as WM_HOTKEY carries them.
enum HotkeyId : int { kUndoHotkey = 0, kRedoHotkey = 1, kClearHotkey = 2, kPickHotkey = 3 };
inline constexpr int kHotkeyCount = 4;

// Reads "Win+Z", "ctrl+alt+z", "Ctrl+Win+F9": modifiers Ctrl, Alt, Shift and Win in any order
// and case, each at most once, joined by "+", then one key. At least one of Ctrl, Alt or Win
// is required: Shift alone would take an ordinary character away from typing. Nothing for any
// other text.
std::optional<Hotkey> ParseHotkey(std::u16string_view text);

// The combination's name: modifiers in the order Ctrl, Alt, Shift, Win, then the key in upper
// case, joined by "+" ("Ctrl+Alt+Z").
std::u16string HotkeyName(Hotkey hotkey);

// One of the keys as a run uses it.
struct SettledHotkey {
    int id = 0;
    // Nothing when the key has no combination of its own (its default is an earlier key's).
    std::optional<Hotkey> hotkey;
    // Shown when the combination can be neither registered nor claimed; empty for a key that
    // the user need not have (the pick key that was not chosen).
    std::u16string takenMessage;
    // The caption of the key's menu item when it differs from the menu's own, which names the
    // default key; nothing otherwise.
    std::optional<std::u16string> menuCaption;
    MenuItem menuItem = MenuItem::UndoState;
};

// Settles the keys from the settings (the keys "UndoHotkey", "RedoHotkey", "ClearHotkey" and
// "PickHotkey", each optional), in the order undo, redo, clear, pick. A value that is absent,
// not a text, malformed, or names a combination an earlier key already uses means the key's
// default (none for the pick key); a default that an earlier key uses leaves the key without a
// combination.
std::array<SettledHotkey, kHotkeyCount> SettleHotkeys(const json::JsonValue& settings);

// The caption of the key's menu item as the menu starts: it names the default key.
std::u16string_view DefaultMenuCaption(int id);

}  // namespace revertly::app
