#include "settings/settings.h"

#include <cmath>

#include <algorithm>
#include <utility>

#include "settings/json_reader.h"
#include "settings/json_writer.h"

namespace revertly::settings {

using json::JsonKind;
using json::JsonValue;

namespace {

bool IsContainer(const JsonValue& value) {
    return value.Is(JsonKind::Object) || value.Is(JsonKind::Array);
}

bool MergeObject(JsonValue& target, const JsonValue& defaults) {
    json::JsonObject& into = *target.AsObject();
    defaults.AsObject()->ForEach([&into](const std::u16string& key, const JsonValue& fallback) {
        JsonValue* present = into.Get(key);
        if (present == nullptr || MergeDefaults(*present, fallback)) {
            into.Set(key, fallback);
        }
    });
    return false;
}

bool MergeArray(JsonValue& target, const JsonValue& defaults) {
    json::JsonArray& into = *target.AsArray();
    const json::JsonArray& from = *defaults.AsArray();
    const std::size_t common = std::min(into.Count(), from.Count());
    for (std::size_t i = 1; i <= common; ++i) {
        if (MergeDefaults(into.Item(i), from.Item(i))) {
            into.Item(i) = from.Item(i);
        }
    }
    for (std::size_t i = common + 1; i <= from.Count(); ++i) {
        into.Append(from.Item(i));
    }
    return false;
}

}  // namespace

const JsonValue* SettingOf(const JsonValue& settings, std::u16string_view key) {
    const json::JsonObject* object =
        settings.Is(json::JsonKind::Object) ? settings.AsObject().get() : nullptr;
    return object ? object->Get(key) : nullptr;
}

bool SettingIsTrue(const JsonValue& settings, std::u16string_view key) {
    const JsonValue* value = SettingOf(settings, key);
    return value != nullptr && value->Is(json::JsonKind::Boolean) && value->AsBoolean();
}

std::optional<std::uint32_t> HistoryMemoryMegabytes(const json::JsonValue& settings) {
    constexpr double kMost = 1 << 20;
    const json::JsonValue* value = SettingOf(settings, kHistoryMemoryKey);
    const std::optional<double> megabytes = value ? value->AsNumber() : std::nullopt;
    if (!megabytes || *megabytes < 1 || *megabytes > kMost ||
        *megabytes != std::floor(*megabytes)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*megabytes);
}

bool KeepHistoryChosen(const JsonValue& settings) {
    return SettingIsTrue(settings, kKeepHistoryKey);
}

bool MergeDefaults(JsonValue& target, const JsonValue& defaults) {
    if (!IsContainer(defaults)) {
        return target.Kind() != defaults.Kind();
    }
    const bool targetAbsent = target.Is(JsonKind::Object) && !target.AsObject();
    if (!IsContainer(target) || targetAbsent) {
        target = defaults;
        return true;
    }
    if (defaults.Is(JsonKind::Object) && !defaults.AsObject()) {
        return false;
    }
    if (target.Kind() != defaults.Kind()) {
        target = defaults;
        return true;
    }
    return defaults.Is(JsonKind::Object) ? MergeObject(target, defaults)
                                         : MergeArray(target, defaults);
}

std::u16string SettingsFilePath(std::u16string_view programFolder,
                                std::u16string_view executableName) {
#ifdef _WIN32
    constexpr char16_t kSeparator = u'\\';
#else
    constexpr char16_t kSeparator = u'/';
#endif
    std::u16string path(programFolder);
    path += kSeparator;
    path += executableName;
    path += u".txt";
    return path;
}

void SettingsFile::LoadSettings() {
    JsonValue parsed = json::ParseJson(files::ReadTextFile(std::exchange(readFrom_, path_)));
    settings_ = parsed.Is(JsonKind::Object) ? std::move(parsed) : JsonValue::Object(nullptr);
}

files::WriteResult SettingsFile::SaveSettings(std::uint32_t patienceMs) {
    const files::WriteResult result =
        files::WriteTextFile(path_, json::ToJson(settings_), false, patienceMs);
    pending_ = result == files::WriteResult::Busy;
    return result;
}

void SettingsFile::LoadWithDefaults() {
    defaults_ = json::ParseJson(kDefaultSettingsText);
    LoadSettings();
    MergeDefaults(settings_, defaults_);
}

const JsonValue* SettingsFile::Get(std::u16string_view key) const {
    return settings_.Is(JsonKind::Object) && settings_.AsObject() ? settings_.AsObject()->Get(key)
                                                                  : nullptr;
}

void SettingsFile::Set(std::u16string_view key, JsonValue value) {
    if (settings_.Is(JsonKind::Object) && settings_.AsObject()) {
        settings_.AsObject()->Set(key, std::move(value));
    }
    SaveSettings();
}

}  // namespace revertly::settings
