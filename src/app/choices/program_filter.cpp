#include "app/choices/program_filter.h"

#include <algorithm>
#include <optional>

#include "settings/settings.h"

namespace revertly::app {

namespace {

// Windows compares file names without regard to case. Folded here: Basic Latin, the Latin-1
// letters and Cyrillic, which covers the names programs are given in practice.
char16_t Fold(char16_t c) {
    if (c == u'/') {
        return u'\\';
    }
    if ((c >= u'A' && c <= u'Z') || (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) ||
        (c >= 0x0410 && c <= 0x042F)) {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x0400 && c <= 0x040F) {
        return static_cast<char16_t>(c + 0x50);
    }
    return c;
}

std::u16string Folded(std::u16string_view text) {
    std::u16string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    return folded;
}

}  // namespace

std::vector<std::u16string> IgnoredPrograms(const json::JsonValue& settings) {
    std::vector<std::u16string> programs;
    const json::JsonValue* list = settings::SettingOf(settings, kIgnoredProgramsKey);
    if (list == nullptr || !list->Is(json::JsonKind::Array) || !list->AsArray()) {
        return programs;
    }
    for (const json::JsonValue& entry : list->AsArray()->Items()) {
        if (entry.Is(json::JsonKind::String) && !entry.AsString().empty()) {
            programs.push_back(entry.AsString());
        }
    }
    return programs;
}

bool SameProgram(std::u16string_view a, std::u16string_view b) {
    return Folded(a) == Folded(b);
}

ProgramFilter::ProgramFilter(const json::JsonValue& settings) {
    for (const std::u16string& program : IgnoredPrograms(settings)) {
        programs_.push_back(Folded(program));
    }
}

bool ProgramFilter::Ignores(std::u16string_view programPath) const {
    const std::u16string path = Folded(programPath);
    const std::u16string name = path.substr(path.find_last_of(u'\\') + 1);
    return std::any_of(programs_.begin(), programs_.end(), [&](const std::u16string& program) {
        return program == (program.find(u'\\') == std::u16string::npos ? name : path);
    });
}

bool ProgramFilter::IgnoresClipboardOwner(ClipboardOwnerPort& owner) const {
    if (programs_.empty()) {
        return false;
    }
    const std::optional<std::u16string> program = owner.ClipboardOwnerProgram();
    return program && Ignores(*program);
}

}  // namespace revertly::app
