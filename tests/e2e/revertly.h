// A copy of revertly.exe and the process running it, used as a person would: started, its
// tray menu opened and an item picked with the keyboard, its message boxes answered, ended.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>

#include "support/child_process.h"
#include "support/wait_until.h"

namespace revertly::driver {

using testing::kPatience;
using testing::Milliseconds;

// The tray menu's commands from the top, as the keyboard reaches them (it skips separators):
// the first Down selects VisitSite, each further Down the next command.
enum class TrayItem {
    VisitSite,
    VisitGroup,
    Autorun,
    Remember5,
    Remember10,
    Remember15,
    Remember20,
    Remember50,
    RecentStates,
    PauseRecording,
    KeepHistory,
    ClearHistory,
    Redo,
    Undo,
    Settings,
    Exit,
};

// A copy of revertly.exe in a folder, and the process running it. A copy still running when
// the object goes is terminated, as a last resort.
class Revertly {
  public:
    explicit Revertly(std::filesystem::path folder);
    ~Revertly();
    Revertly(const Revertly&) = delete;
    Revertly& operator=(const Revertly&) = delete;

    const std::filesystem::path& Folder() const { return folder_; }
    std::filesystem::path Executable() const;
    // The settings file: named after the executable, beside it.
    std::filesystem::path SettingsFile() const;

    // Copies the program into the folder.
    bool Install(const std::filesystem::path& program);
    // Starts the copy from another working folder than its own; does not wait for it.
    bool Start();
    // Waits for the process's hidden main window; nullptr when none came.
    HWND WaitForWindow(Milliseconds timeout = kPatience);
    // Waits for the window and for start-up to end. The tray icon's callback is a posted
    // message, which only the message loop after start-up takes (or a message box that
    // start-up shows), so the menu showing proves start-up is over; it is closed again.
    bool WaitForStartUp(Milliseconds timeout = kPatience);
    HWND Window() const { return window_; }
    DWORD ProcessId() const { return process_.Id(); }
    bool Running() const;
    // Waits for the process to end; its exit code, or nothing when it still runs.
    std::optional<DWORD> WaitForExit(Milliseconds timeout = kPatience);
    void Terminate();

    // Sends a message to the main window; its result, or nothing when it was not handled.
    std::optional<LRESULT> Send(UINT message, WPARAM wParam, LPARAM lParam);
    bool Post(UINT message, WPARAM wParam, LPARAM lParam);

    // The right button pressed on the tray icon, as the shell reports it to the program:
    // waits for the menu to show.
    bool OpenTrayMenu();
    bool TrayMenuShown() const;
    // Closes the open menu as Windows cancels a menu (EndMenu posts WM_CANCELMODE). Not with
    // Esc: Wine's menu loop leaves the key that ends it in the program's input, behind the
    // posted message of a hotkey or tray click that comes next, so the message box or menu
    // that opens then would take it for Cancel and close at once.
    bool CloseTrayMenu();
    // Opens the menu, picks the item with the keyboard and waits for the menu to close.
    bool ChooseTrayItem(TrayItem item);
    // Opens the menu and its "Recent states" list, and picks the line with this number (1 to
    // 10) by its access key.
    bool ChooseRecentState(int number);

    // "Settings..." from the menu: waits for the settings window; nullptr when none showed.
    HWND OpenSettingsWindow();
    HWND SettingsWindow() const;

    // Waits for one of the program's message boxes; nullptr when none showed.
    HWND WaitForMessageBox(Milliseconds timeout = kPatience);
    // Exit from the menu, answered Yes; true when the process then ended with exit code 0.
    bool Exit();
    // Windows asks whether the session may end and then ends it; answers whether the
    // program agreed.
    bool EndSession();

  private:
    std::filesystem::path folder_;
    testing::ChildProcess process_;
    HWND window_ = nullptr;
};

}  // namespace revertly::driver
