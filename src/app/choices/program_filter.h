// The programs whose copies are left out: IgnoredPrograms in the settings file, an array of
// executable names ("keepass.exe") or full paths ("C:\Tools\KeePass\KeePass.exe"). Such a
// copy is treated like one that a password manager marks: not recorded, and nothing is put
// over it. The program that copied is the one whose window owns the clipboard; a copy that no
// window owns is never left out. Read at start-up and set anew from the settings window, which
// writes the setting only when the user changes the list there.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/app_ports.h"
#include "settings/json_value.h"

namespace revertly::app {

inline constexpr std::u16string_view kIgnoredProgramsKey = u"IgnoredPrograms";

// The texts of the setting's array as written; anything else in it, or a setting of another
// kind, names no program.
std::vector<std::u16string> IgnoredPrograms(const json::JsonValue& settings);
// Whether two entries name the same program, as the filter compares them: case ignored, "/"
// standing for "\".
bool SameProgram(std::u16string_view a, std::u16string_view b);

class ProgramFilter {
  public:
    ProgramFilter() = default;
    // The programs IgnoredPrograms names.
    explicit ProgramFilter(const json::JsonValue& settings);

    // Whether the program at this full path is on the list: an entry with a folder in it is
    // compared with the whole path, any other with the path's file name. Case is ignored,
    // and "/" stands for "\".
    bool Ignores(std::u16string_view programPath) const;
    // Whether the clipboard's owner is on the list; the owner is looked up only when the list
    // names a program.
    bool IgnoresClipboardOwner(ClipboardOwnerPort& owner) const;

  private:
    std::vector<std::u16string> programs_;  // each folded for comparison
};

}  // namespace revertly::app
