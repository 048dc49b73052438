// The settings window's values, apart from the window: what it shows, which values can be used
// and why not, what applying them changes, and what goes into the settings file. The file
// keeps its own voice: only the values the user changed in the window are written, every
// other key (unknown ones included) stays as it was, where it was.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_ports.h"
#include "app/keys/hotkeys.h"
#include "settings/json_value.h"

namespace revertly::app {

// Everything the window shows, as the user left it.
struct SettingsChoices {
    std::int32_t statesCount = 10;
    // The memory budget in MB as typed, so that a value that cannot be used can be shown.
    std::u16string memoryMegabytes;
    bool keepHistory = false;
    bool stepHint = false;
    // By hotkey id; nothing is "None", which only the "Recent states" list's key may be.
    std::array<std::optional<Hotkey>, kHotkeyCount> keys{};
    std::vector<std::u16string> ignoredPrograms;
    bool autorun = false;

    friend bool operator==(const SettingsChoices&, const SettingsChoices&) = default;
};

// The values in force: the settings as the program holds them, and the two it keeps apart
// (the count the history uses and whether the Startup shortcut exists).
SettingsChoices ChoicesInForce(const json::JsonValue& settings, std::int32_t statesCount,
                               std::uint64_t memoryBudgetBytes, bool autorun);

// Whole megabytes from 1 to 1048576, as HistoryMemoryMB takes them; nothing otherwise.
std::optional<std::uint32_t> ParseMegabytes(std::u16string_view text);

// What the window says beside each value; a value with a reason that blocks it is not applied.
struct SettingsVerdict {
    std::array<std::u16string, kHotkeyCount> keyNotes;
    std::array<bool, kHotkeyCount> keyBlocked{};
    std::u16string memoryNote;
    bool memoryBlocked = false;

    bool KeysUsable() const;
    bool AllUsable() const { return KeysUsable() && !memoryBlocked; }
};

// refused: the keys that Windows would neither register nor let the hook claim when they were
// last applied ("in use by another program"), said of a key only while it is still the one in
// force.
SettingsVerdict JudgeChoices(const SettingsChoices& wanted, const SettingsChoices& inForce,
                             const std::array<bool, kHotkeyCount>& refused);

// The values that applying wanted leaves in force: each usable value, and for each blocked one
// the value in force. The keys go together: one blocked key keeps all four as they are, so
// that a combination never ends up with two keys.
SettingsChoices ApplicableChoices(const SettingsChoices& inForce, const SettingsChoices& wanted,
                                  const SettingsVerdict& verdict);

// What differs between two sets of values, one flag per part of the program that must follow.
struct SettingsChanges {
    bool keys = false;
    bool statesCount = false;
    bool memory = false;
    bool keepHistory = false;
    bool stepHint = false;
    bool programs = false;
    bool autorun = false;
};
SettingsChanges CompareChoices(const SettingsChoices& before, const SettingsChoices& after);

// Writes into the settings object the values that differ between before and after, each under
// its key (in place when the key exists, at the end otherwise); the "Recent states" key set to
// "None" is removed. Keys not changed are not touched.
void WriteChoices(json::JsonValue& settings, const SettingsChoices& before,
                  const SettingsChoices& after);

// Adds a program to the list unless the list names it already (case ignored); answers whether
// it was added.
bool AddIgnoredProgram(std::vector<std::u16string>& programs, std::u16string_view program);

// What the window's owner does for it: the values in force, applying, and the program that
// made the clipboard's current copy.
class SettingsHost {
  public:
    virtual ~SettingsHost() = default;
    virtual SettingsChoices InForce() = 0;
    // Applies what can be applied of wanted and saves it; answers what the window shows
    // beside the values afterwards.
    virtual SettingsVerdict Apply(const SettingsChoices& wanted) = 0;
    // Judges without applying, as the user edits.
    virtual SettingsVerdict Judge(const SettingsChoices& wanted) = 0;
    // The program whose window owns the clipboard, as the programs left out are matched.
    virtual std::optional<std::u16string> CurrentCopyProgram() = 0;
};

}  // namespace revertly::app
