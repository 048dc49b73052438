// Where the settings file lives: beside the program when its folder lets the program create
// files there (a copy carried around on a stick keeps its settings with it), otherwise in
// the user's own data folder, where an installed program can always write. Decided once at
// start-up, before the file is read, and kept for the whole run.
#pragma once

#include <string>
#include <string_view>

namespace revertly::settings {

// The folder under the user's data folder that holds the settings of a program whose own
// folder refuses them.
inline constexpr std::u16string_view kDataFolderName = u"Revertly";

// What the choice needs to know of the file system.
class SettingsPlacePort {
  public:
    virtual ~SettingsPlacePort() = default;

    // Whether this program may create new files in the folder: it creates a new, uniquely
    // named file there and deletes it again. Being able to rewrite a file that is already
    // there proves nothing: the settings are replaced by a new file renamed over them.
    virtual bool FolderTakesNewFiles(std::u16string_view folder) = 0;
    // The folder of that name in the user's own data folder, created when missing; the empty
    // text when there is none.
    virtual std::u16string UserDataFolder(std::u16string_view name) = 0;
    virtual bool FileExists(std::u16string_view path) = 0;
};

struct SettingsPlace {
    std::u16string file;      // read and written for the whole run
    std::u16string readFrom;  // read once at start-up; file itself unless taken over
};

// Beside the program when its folder takes new files. Otherwise in the user's data folder;
// when no file is there yet but one lies beside the program, that one is read once as the
// starting point. Without a user data folder the settings stay beside the program.
SettingsPlace ChooseSettingsPlace(SettingsPlacePort& port, std::u16string_view programFolder,
                                  std::u16string_view executableName);

}  // namespace revertly::settings
