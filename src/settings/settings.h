// The program's two settings, Autorun and StatesCount, kept in one JSON object for the
// whole run and mirrored in a text file beside the executable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/json_value.h"
#include "settings/text_file.h"

namespace revertly::settings {

// The built-in defaults, in the reader's single-quoted dialect.
inline constexpr std::u16string_view kDefaultSettingsText = u"{'Autorun':true,'StatesCount':10}";
inline constexpr std::u16string_view kAutorunKey = u"Autorun";
inline constexpr std::u16string_view kStatesCountKey = u"StatesCount";

// The value under a key of the settings; nullptr when there is none or the settings hold no
// object.
const json::JsonValue* SettingOf(const json::JsonValue& settings, std::u16string_view key);
// Whether the value under a key of the settings is the Boolean true.
bool SettingIsTrue(const json::JsonValue& settings, std::u16string_view key);

// The memory all stored clipboard states may take together, in MiB: HistoryMemoryMB, a whole
// number from 1 to 1048576. Read at start-up; the settings window writes it when the user
// changes it there. Nothing for any other value or none, and the history's own default applies.
inline constexpr std::u16string_view kHistoryMemoryKey = u"HistoryMemoryMB";
std::optional<std::uint32_t> HistoryMemoryMegabytes(const json::JsonValue& settings);

// Whether the history is kept on disk after exit: KeepHistory, a Boolean, written when the
// user chooses the tray menu's item. False for any other value or none.
inline constexpr std::u16string_view kKeepHistoryKey = u"KeepHistory";
bool KeepHistoryChosen(const json::JsonValue& settings);

// Reconciles target with defaults, changing target in place: a missing key, or a value of
// another kind than its default's, takes the default (containers by reference); keys
// that the defaults do not know stay. Answers true when the caller must replace its own
// value by the defaults value.
bool MergeDefaults(json::JsonValue& target, const json::JsonValue& defaults);

// The settings file of an executable: its folder, a separator, its name without
// extension, and ".txt" (D:\Apps\tool.exe uses D:\Apps\tool.txt).
std::u16string SettingsFilePath(std::u16string_view programFolder,
                                std::u16string_view executableName);

class SettingsFile {
  public:
    explicit SettingsFile(std::u16string path) : path_(path), readFrom_(std::move(path)) {}
    // Settings taken over from another file: the first LoadSettings reads readFrom, and from
    // then on only path is read and written.
    SettingsFile(std::u16string path, std::u16string readFrom)
        : path_(std::move(path)), readFrom_(std::move(readFrom)) {}

    const std::u16string& Path() const { return path_; }

    // Reads and parses the file into Settings. A file that yields no object (missing,
    // unreadable, no bracket, or a top-level array) leaves Settings without an object, so
    // that the defaults apply in full.
    void LoadSettings();
    // Writes the compact JSON of Settings; the in-memory values stay as they are whatever
    // happens. A write that another program blocks for a moment (Busy) leaves the save
    // pending until a later SaveSettings gets through; since every save writes the values
    // of now, the newest settings always win. patienceMs: see files::WriteTextFile.
    files::WriteResult SaveSettings(std::uint32_t patienceMs = 0);
    bool SavePending() const { return pending_; }
    // The start-up sequence: parse the defaults into DefaultSettings, LoadSettings, and
    // merge the defaults into Settings. Afterwards Settings holds Autorun as a Boolean and
    // StatesCount as an Int32, plus whatever else the file held.
    void LoadWithDefaults();

    // The value under a key, or nullptr.
    const json::JsonValue* Get(std::u16string_view key) const;
    // Sets the value in place (a key keeps its position) and saves the file.
    void Set(std::u16string_view key, json::JsonValue value);

    const json::JsonValue& Settings() const { return settings_; }
    // The settings to change in place, several at once; the caller saves them.
    json::JsonValue& Edit() { return settings_; }
    const json::JsonValue& DefaultSettings() const { return defaults_; }

  private:
    std::u16string path_;
    std::u16string readFrom_;
    json::JsonValue settings_ = json::JsonValue::Object(nullptr);
    json::JsonValue defaults_;
    bool pending_ = false;
};

}  // namespace revertly::settings
