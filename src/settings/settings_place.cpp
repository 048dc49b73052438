#include "settings/settings_place.h"

#include "settings/settings.h"

namespace revertly::settings {

SettingsPlace ChooseSettingsPlace(SettingsPlacePort& port, std::u16string_view programFolder,
                                  std::u16string_view executableName) {
    std::u16string beside = SettingsFilePath(programFolder, executableName);
    if (port.FolderTakesNewFiles(programFolder)) {
        return {beside, beside};
    }
    const std::u16string dataFolder = port.UserDataFolder(kDataFolderName);
    if (dataFolder.empty()) {
        return {beside, beside};  // nowhere better: saving fails quietly, as it always did
    }
    std::u16string file = SettingsFilePath(dataFolder, executableName);
    if (!port.FileExists(file) && port.FileExists(beside)) {
        return {file, beside};
    }
    return {file, file};
}

}  // namespace revertly::settings
