#include "app/keys/hotkeys.h"

#include "settings/settings.h"

namespace revertly::app {

namespace {

struct HotkeyDefault {
    std::u16string_view settingKey;
    std::optional<Hotkey> hotkey;
    MenuItem menuItem;
    std::u16string_view menuAction;  // the caption without the key's name
    std::u16string_view takenMessage;
    std::u16string_view defaultCaption;
};

// In id order. The default keys keep the product's long-standing texts, "Win-Z" included.
constexpr std::array<HotkeyDefault, kHotkeyCount> kDefaults = {{
    {u"UndoHotkey", Hotkey{kModWin, 'Z'}, MenuItem::UndoState, u"Undo the state",
     u"The Win-Z hotkey is already in use by another program!", u"Undo the state (Win-Z)"},
    {u"RedoHotkey", Hotkey{kModWin, 'X'}, MenuItem::RedoState, u"Redo the state",
     u"The Win-X hotkey is already in use by another program!", u"Redo the state (Win+X)"},
    {u"ClearHotkey", Hotkey{kModWin, 'C'}, MenuItem::ClearHistory, u"Clear history",
     u"The Win-C hotkey is already in use by another program!", u"Clear history (Win+C)"},
    {u"PickHotkey", std::nullopt, MenuItem::RecentStates, u"Recent states", u"", u"Recent states"},
}};

struct ModifierName {
    std::u16string_view name;
    std::uint32_t bit;
};
// In the order a name lists them.
constexpr std::array<ModifierName, 4> kModifiers = {{
    {u"Ctrl", kModControl},
    {u"Alt", kModAlt},
    {u"Shift", kModShift},
    {u"Win", kModWin},
}};

constexpr std::uint32_t kVirtualKeyF1 = 0x70;
constexpr int kFunctionKeys = 24;

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

// The virtual-key code of a key's name: a letter, a digit, or F1 to F24.
std::optional<std::uint32_t> KeyCode(std::u16string_view name) {
    if (name.size() == 1) {
        const char16_t c = Upper(name[0]);
        if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
            return c;
        }
        return std::nullopt;
    }
    if (name.size() > 3 || Upper(name[0]) != u'F') {
        return std::nullopt;
    }
    int number = 0;
    for (const char16_t c : name.substr(1)) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        number = number * 10 + (c - u'0');
    }
    if (name[1] == u'0' || number < 1 || number > kFunctionKeys) {
        return std::nullopt;
    }
    return kVirtualKeyF1 + static_cast<std::uint32_t>(number - 1);
}

std::u16string KeyName(std::uint32_t virtualKey) {
    if (virtualKey >= kVirtualKeyF1 && virtualKey < kVirtualKeyF1 + kFunctionKeys) {
        const int number = static_cast<int>(virtualKey - kVirtualKeyF1) + 1;
        std::u16string name = u"F";
        if (number >= 10) {
            name += static_cast<char16_t>(u'0' + number / 10);
        }
        name += static_cast<char16_t>(u'0' + number % 10);
        return name;
    }
    return std::u16string(1, static_cast<char16_t>(virtualKey));
}

}  // namespace

std::optional<Hotkey> ParseHotkey(std::u16string_view text) {
    Hotkey hotkey;
    for (;;) {
        const std::size_t plus = text.find(u'+');
        if (plus == std::u16string_view::npos) {
            break;
        }
        const std::u16string_view part = text.substr(0, plus);
        text.remove_prefix(plus + 1);
        std::uint32_t bit = 0;
        for (const ModifierName& modifier : kModifiers) {
            if (SameIgnoringCase(part, modifier.name)) {
                bit = modifier.bit;
            }
        }
        if (bit == 0 || (hotkey.modifiers & bit) != 0) {
            return std::nullopt;
        }
        hotkey.modifiers |= bit;
    }
    const std::optional<std::uint32_t> key = KeyCode(text);
    if (!key || (hotkey.modifiers & (kModControl | kModAlt | kModWin)) == 0) {
        return std::nullopt;
    }
    hotkey.virtualKey = *key;
    return hotkey;
}

std::u16string HotkeyName(Hotkey hotkey) {
    std::u16string name;
    for (const ModifierName& modifier : kModifiers) {
        if ((hotkey.modifiers & modifier.bit) != 0) {
            name += modifier.name;
            name += u'+';
        }
    }
    return name + KeyName(hotkey.virtualKey);
}

std::array<SettledHotkey, kHotkeyCount> SettleHotkeys(const json::JsonValue& settings) {
    std::array<SettledHotkey, kHotkeyCount> settled;
    for (int id = 0; id < kHotkeyCount; ++id) {
        const HotkeyDefault& fallback = kDefaults[id];
        const auto takenBefore = [&](Hotkey hotkey) {
            for (int earlier = 0; earlier < id; ++earlier) {
                if (settled[earlier].hotkey == hotkey) {
                    return true;
                }
            }
            return false;
        };

        std::optional<Hotkey> chosen;
        const json::JsonValue* value = settings::SettingOf(settings, fallback.settingKey);
        if (value != nullptr && value->Is(json::JsonKind::String)) {
            chosen = ParseHotkey(value->AsString());
        }
        if (!chosen || takenBefore(*chosen)) {
            chosen = fallback.hotkey;
        }

        SettledHotkey& key = settled[id];
        key.id = id;
        key.menuItem = fallback.menuItem;
        if (!chosen) {
            continue;  // the pick key, not chosen
        }
        if (takenBefore(*chosen)) {
            key.takenMessage = fallback.takenMessage;
            key.menuCaption = std::u16string(fallback.menuAction);
        } else if (*chosen == fallback.hotkey) {
            key.hotkey = chosen;
            key.takenMessage = fallback.takenMessage;
        } else {
            key.hotkey = chosen;
            const std::u16string name = HotkeyName(*chosen);
            key.takenMessage = u"The " + name + u" hotkey is already in use by another program!";
            key.menuCaption = std::u16string(fallback.menuAction) + u" (" + name + u")";
        }
    }
    return settled;
}

std::u16string_view DefaultMenuCaption(int id) {
    return kDefaults[id].defaultCaption;
}

}  // namespace revertly::app
