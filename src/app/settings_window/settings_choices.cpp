#include "app/settings_window/settings_choices.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "app/choices/program_filter.h"
#include "app/hint/step_hint.h"
#include "settings/settings.h"

namespace revertly::app {

namespace {

constexpr std::array<std::u16string_view, kHotkeyCount> kKeySettings = {
    u"UndoHotkey", u"RedoHotkey", u"ClearHotkey", u"PickHotkey"};

// The Windows key's shortcuts that Windows itself answers, and what they do there.
struct WindowsShortcut {
    char16_t letter;
    std::u16string_view use;
};
constexpr WindowsShortcut kWindowsShortcuts[] = {
    {u'Z', u"Snap layouts"},    {u'X', u"the Quick Link menu"},
    {u'C', u"Copilot or Chat"}, {u'V', u"its clipboard history"},
    {u'E', u"File Explorer"},   {u'D', u"showing the desktop"},
    {u'R', u"the Run box"},     {u'S', u"search"},
    {u'A', u"quick settings"},  {u'I', u"Settings"},
};

// Win+L locks the computer before any program hears of it.
constexpr Hotkey kLockKey{kModWin, 'L'};

std::u16string Decimal(std::uint64_t value) {
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return text;
}

// Why the key cannot be used, or what becomes of it; empty when there is nothing to say.
std::u16string KeyNote(int id, const std::optional<Hotkey>& key, const SettingsChoices& wanted,
                       bool& blocked) {
    blocked = true;
    if (!key) {
        blocked = id != kPickHotkey;
        return blocked ? u"Press a combination for this key" : u"";
    }
    if ((key->modifiers & (kModControl | kModAlt | kModWin)) == 0) {
        return u"Needs Ctrl, Alt or Win: without them the key is for typing";
    }
    if (ParseHotkey(HotkeyName(*key)) != key) {
        return u"Use a letter, a digit or F1 to F24";
    }
    if (*key == kLockKey) {
        return u"Windows keeps Win+L for locking the computer";
    }
    for (int other = 0; other < kHotkeyCount; ++other) {
        if (other != id && wanted.keys[other] == key) {
            return u"Taken by another key of Revertly";
        }
    }
    blocked = false;
    if (key->modifiers == kModWin) {
        for (const WindowsShortcut& shortcut : kWindowsShortcuts) {
            if (key->virtualKey == static_cast<std::uint32_t>(shortcut.letter)) {
                const std::u16string name = HotkeyName(*key);
                return u"Windows uses " + name + u" for " + std::u16string(shortcut.use) +
                       u"; Revertly takes it over while it runs";
            }
        }
    }
    return u"";
}

json::JsonValue ProgramList(const std::vector<std::u16string>& programs) {
    auto array = std::make_shared<json::JsonArray>();
    for (const std::u16string& program : programs) {
        array->Append(json::JsonValue::String(program));
    }
    return json::JsonValue::Array(std::move(array));
}

}  // namespace

SettingsChoices ChoicesInForce(const json::JsonValue& settings, std::int32_t statesCount,
                               std::uint64_t memoryBudgetBytes, bool autorun) {
    SettingsChoices choices;
    choices.statesCount = statesCount;
    choices.memoryMegabytes = Decimal(memoryBudgetBytes >> 20);
    choices.keepHistory = settings::KeepHistoryChosen(settings);
    choices.stepHint = StepHintWanted(settings);
    for (const SettledHotkey& key : SettleHotkeys(settings)) {
        choices.keys[key.id] = key.hotkey;
    }
    choices.ignoredPrograms = IgnoredPrograms(settings);
    choices.autorun = autorun;
    return choices;
}

std::optional<std::uint32_t> ParseMegabytes(std::u16string_view text) {
    std::string digits;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        digits += static_cast<char>(c);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc{} || value < 1 || value > (1u << 20)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool SettingsVerdict::KeysUsable() const {
    return std::none_of(keyBlocked.begin(), keyBlocked.end(), [](bool blocked) { return blocked; });
}

SettingsVerdict JudgeChoices(const SettingsChoices& wanted, const SettingsChoices& inForce,
                             const std::array<bool, kHotkeyCount>& refused) {
    SettingsVerdict verdict;
    for (int id = 0; id < kHotkeyCount; ++id) {
        bool blocked = false;
        verdict.keyNotes[id] = KeyNote(id, wanted.keys[id], wanted, blocked);
        verdict.keyBlocked[id] = blocked;
        if (!blocked && refused[id] && wanted.keys[id] && wanted.keys[id] == inForce.keys[id]) {
            verdict.keyNotes[id] = u"In use by another program";
        }
    }
    if (!ParseMegabytes(wanted.memoryMegabytes)) {
        verdict.memoryBlocked = true;
        verdict.memoryNote = u"A whole number from 1 to 1048576";
    }
    return verdict;
}

SettingsChoices ApplicableChoices(const SettingsChoices& inForce, const SettingsChoices& wanted,
                                  const SettingsVerdict& verdict) {
    SettingsChoices applicable = wanted;
    if (!verdict.KeysUsable()) {
        applicable.keys = inForce.keys;
    }
    if (verdict.memoryBlocked) {
        applicable.memoryMegabytes = inForce.memoryMegabytes;
    } else {
        // "0256" and "256" are the same budget.
        applicable.memoryMegabytes = Decimal(*ParseMegabytes(wanted.memoryMegabytes));
    }
    return applicable;
}

SettingsChanges CompareChoices(const SettingsChoices& before, const SettingsChoices& after) {
    return {.keys = before.keys != after.keys,
            .statesCount = before.statesCount != after.statesCount,
            .memory = before.memoryMegabytes != after.memoryMegabytes,
            .keepHistory = before.keepHistory != after.keepHistory,
            .stepHint = before.stepHint != after.stepHint,
            .programs = before.ignoredPrograms != after.ignoredPrograms,
            .autorun = before.autorun != after.autorun};
}

void WriteChoices(json::JsonValue& settings, const SettingsChoices& before,
                  const SettingsChoices& after) {
    if (!settings.Is(json::JsonKind::Object) || !settings.AsObject()) {
        settings = json::JsonValue::Object(std::make_shared<json::JsonObject>());
    }
    json::JsonObject& object = *settings.AsObject();
    const SettingsChanges changes = CompareChoices(before, after);
    if (changes.autorun) {
        object.Set(settings::kAutorunKey, json::JsonValue::Boolean(after.autorun));
    }
    if (changes.statesCount) {
        object.Set(settings::kStatesCountKey, json::JsonValue::Int32(after.statesCount));
    }
    if (changes.memory) {
        object.Set(settings::kHistoryMemoryKey,
                   json::JsonValue::Int32(static_cast<std::int32_t>(
                       ParseMegabytes(after.memoryMegabytes).value_or(0))));
    }
    if (changes.keepHistory) {
        object.Set(settings::kKeepHistoryKey, json::JsonValue::Boolean(after.keepHistory));
    }
    if (changes.stepHint) {
        object.Set(kStepHintKey, json::JsonValue::Boolean(after.stepHint));
    }
    if (changes.programs) {
        object.Set(kIgnoredProgramsKey, ProgramList(after.ignoredPrograms));
    }
    for (int id = 0; id < kHotkeyCount; ++id) {
        if (before.keys[id] == after.keys[id]) {
            continue;
        }
        if (after.keys[id]) {
            object.Set(kKeySettings[id], json::JsonValue::String(HotkeyName(*after.keys[id])));
        } else {
            object.Remove(kKeySettings[id]);
        }
    }
}

bool AddIgnoredProgram(std::vector<std::u16string>& programs, std::u16string_view program) {
    if (program.empty() ||
        std::any_of(programs.begin(), programs.end(),
                    [&](const std::u16string& listed) { return SameProgram(listed, program); })) {
        return false;
    }
    programs.emplace_back(program);
    return true;
}

}  // namespace revertly::app
