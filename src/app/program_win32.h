// The program as it runs on Windows: the hidden main window, one Win32 adapter per port, and
// frmMain over them, wired the same way for revertly.exe and for anything that runs the real
// program in its own process.
#pragma once

#include <windows.h>

#include "app/clipboard_owner_win32.h"
#include "app/hint/step_hint_win32.h"
#include "app/main_form.h"
#include "app/main_window_win32.h"
#include "app/settings_window/settings_window_win32.h"
#include "app/shell_win32.h"
#include "history/clipboard_win32.h"
#include "instance/named_block_win32.h"
#include "keep/kept_files_win32.h"
#include "keep/seal_win32.h"
#include "settings/settings_place_win32.h"
#include "tray/shell_notify_win32.h"
#include "winhook/subclass_win32.h"

namespace revertly::app {

// The running executable's folder (no trailing separator) and its name without extension.
ProgramPaths ExecutablePaths();

class Win32Program {
  public:
    Win32Program(HINSTANCE instance, ProgramPaths paths);

    // False when the main window could not be created; nothing else may be used then.
    bool Created() const { return window_.Created(); }
    Win32MainWindow& Window() { return window_; }
    frmMain& Form() { return form_; }
    Win32SettingsWindow& SettingsWindow() { return settingsWindow_; }
    // For the message loop: true when the message was the settings window's and is done.
    bool HandleDialogMessage(MSG& message) { return settingsWindow_.HandleDialogMessage(message); }

  private:
    // The window and the adapters first, the form that reaches them last: members are built
    // in this order and destroyed in the reverse, so the form goes before what it uses.
    Win32MainWindow window_;
    Win32StepHint stepHint_;
    Win32ShellPort shell_;
    Win32ClipboardOwner clipboardOwner_;
    history::Win32Clipboard clipboard_;
    history::Win32ViewerPort viewer_;
    tray::Win32ShellNotify notify_;
    tray::Win32TrayHost trayHost_;
    winhook::Win32WindowProcedures procedures_;
    instance::Win32NamedBlocks blocks_;
    settings::Win32SettingsPlace settingsPlace_;
    keep::Win32KeptFiles keptFiles_{keep::DefaultKeptFolder()};
    keep::Win32Seal seal_{keptFiles_};
    Win32SettingsWindow settingsWindow_;
    frmMain form_;
};

}  // namespace revertly::app
