#include "app/autorun.h"

namespace revertly::app {

bool SetAutorun(ShellPort& shell, const ProgramPaths& paths, bool enable) {
    std::u16string folder = shell.UserStartupFolder();
    if (folder.empty()) {
        folder = shell.CommonStartupFolder();
    }
    if (folder.empty()) {
        return false;  // no Startup folder at all: there is no shortcut to keep or make
    }
    const std::u16string link = folder + u"\\" + std::u16string(kApplicationTitle) + u".lnk";
    if (shell.FileExists(link)) {
        shell.RemoveFile(link);
    }
    if (enable) {
        // Built from the running executable each time, so the link follows a moved or
        // renamed program. The shell turns the "/" into "\" when it stores the link.
        const std::u16string target = paths.folder + u"/" + paths.executableName + u".exe";
        if (shell.CreateShortcut(link, target, kAutorunArguments, paths.folder)) {
            return true;
        }
    }
    return shell.FileExists(link);
}

}  // namespace revertly::app
