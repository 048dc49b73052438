// "Autorun the program": a shortcut to the executable in the Startup folder, so that Windows
// starts the program at log-on.
#pragma once

#include <string>

#include "app/app_ports.h"

namespace revertly::app {

// The running executable: its folder (no trailing separator) and its file name without
// extension. The settings file and the shortcut's target are built from them.
struct ProgramPaths {
    std::u16string folder;
    std::u16string executableName;
};

// The application title: the window's caption, every message box's caption, the name of the
// single-instance block and of the shortcut.
inline constexpr std::u16string_view kApplicationTitle = u"Revertly";

// The argument the shortcut passes. The program never reads its command line.
inline constexpr std::u16string_view kAutorunArguments = u"{'Minimized':true}";

// Deletes any shortcut in the Startup folder (the user's own, else the one for all users),
// then, when enable is true, writes a new one to this executable. Answers whether a shortcut
// exists after the call: a failure of the shell's services never escapes, so start-up and
// the menu command go on and the check mark shows the truth.
bool SetAutorun(ShellPort& shell, const ProgramPaths& paths, bool enable);

}  // namespace revertly::app
