// Drives the real revertly.exe from another process, the way a person and the programs around
// them do: it copies the program into a folder and starts it, sets and reads the clipboard,
// presses the global hotkeys, opens the tray menu and picks items with the keyboard, answers
// the message boxes, and looks at what the program leaves behind (the settings file, the
// Startup shortcut, the single-instance block, the process's exit).
//
// Everything that waits polls a condition up to a deadline and keeps this thread's messages
// flowing meanwhile: the program sends messages to the driver's windows (the clipboard-viewer
// chain) and would stall while the driver did not answer them.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/wait_until.h"

namespace revertly::driver {

using testing::Milliseconds;

using testing::kPatience;

// Waits with this thread's messages handled (the program sends messages to the driver's
// windows), never with fixed sleeps alone: PumpFor only spaces the steps of a scenario.
using testing::PumpFor;
using testing::WaitUntil;

// The clipboard, as another program uses it. Each call opens and closes the clipboard once,
// retrying while another program holds it open.
bool SetClipboardText(std::wstring_view text);
bool ClearClipboard();
// The clipboard's text (CF_UNICODETEXT), or nothing when it holds none or stays busy.
std::optional<std::wstring> ClipboardText();
// Changes with every change of the clipboard's content, whoever makes it.
DWORD ClipboardChanges();

// The keyboard, through SendInput: each key pressed and released in turn.
bool PressKeys(std::initializer_list<WORD> virtualKeys);
// The modifiers held down in order, the key pressed and released, the modifiers let go.
bool PressChord(std::initializer_list<WORD> modifiers, WORD virtualKey);
// The Windows key held while the key is pressed and released (Win+Z is PressWinKey('Z')).
bool PressWinKey(WORD virtualKey);

// Whether another program could take Win+key as a global hotkey right now (it takes it and
// gives it back at once).
bool WinHotkeyFree(WORD virtualKey);

// A known folder of the user (FOLDERID_...), or the empty path.
std::filesystem::path KnownFolder(const GUID& id);
// The user's Startup folder and the program's shortcut in it.
std::filesystem::path StartupFolder();
std::filesystem::path StartupLinkPath();
// Removes the shortcut, also a read-only one; true when none is left.
bool RemoveStartupLink();

struct Shortcut {
    std::wstring target;  // with every "/" turned into "\", as Windows resolves it anyway
    std::wstring arguments;
    std::wstring workingFolder;
};
// The properties of a shell link as the link service reads them back.
std::optional<Shortcut> ReadShortcut(const std::filesystem::path& link);

// The 4 bytes of the single-instance block "Revertly", or nothing when no copy holds it.
std::optional<std::uint32_t> ReadInstanceBlock();

// A file's bytes, read to its end (also the files under /proc, which report a size of 0), or
// nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::filesystem::path& file);
// A file's last-write time, or nothing when it cannot be read.
std::optional<FILETIME> LastWriteTime(const std::filesystem::path& file);

// A top-level window of one process with the class and caption given (nullptr: any).
HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption,
                       bool visibleOnly);
// The top-level windows of any process with the class and caption given.
int CountWindows(const wchar_t* className, const wchar_t* caption);

// The text of another program's message box.
std::wstring MessageBoxText(HWND box);
// Presses a button of the box (IDYES, IDNO, IDOK) and waits until the box has gone.
bool AnswerMessageBox(HWND box, int button);

// The icons of the notification area that Wine shows in a window of its own when no X
// system tray runs (as under Xvfb): one window per icon, oldest first.
std::vector<HWND> TrayIconWindows();
// The right mouse button pressed and released on such an icon: the shell then tells the
// icon's program with the icon's callback message.
bool RightClickTrayIcon(HWND icon);
// Tells every top-level window that the notification area has been recreated, as the shell
// does after a restart of the taskbar.
void BroadcastTaskbarCreated();

// A hidden window of the driver's own: it can hold global hotkeys, as a program that took
// them first would, and take a place in the clipboard-viewer chain, where it counts the
// notifications that reach it and passes them on as a well-behaved viewer does.
class DriverWindow {
  public:
    DriverWindow();
    ~DriverWindow();
    DriverWindow(const DriverWindow&) = delete;
    DriverWindow& operator=(const DriverWindow&) = delete;

    HWND Handle() const { return window_; }
    bool HoldWinHotkey(int id, WORD virtualKey);
    void JoinViewerChain();
    void LeaveViewerChain();
    int ClipboardNotifications() const { return notifications_; }
    // The WM_HOTKEY messages of the held hotkeys that reached the window.
    int HotkeysReceived() const { return hotkeys_received_; }
    // Called for each notification as it arrives, before it is passed on.
    void OnClipboardChange(std::function<void()> action) { onChange_ = std::move(action); }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HWND nextViewer_ = nullptr;
    bool inChain_ = false;
    std::vector<int> hotkeys_;
    int notifications_ = 0;
    int hotkeys_received_ = 0;
    std::function<void()> onChange_;
};

// Another program that owns the clipboard with its text rendered only on request (delayed
// rendering) and does not answer the request until Answer: whoever reads the clipboard
// meanwhile waits.
class StalledClipboardOwner {
  public:
    explicit StalledClipboardOwner(std::wstring text);
    ~StalledClipboardOwner();
    StalledClipboardOwner(const StalledClipboardOwner&) = delete;
    StalledClipboardOwner& operator=(const StalledClipboardOwner&) = delete;

    // Whether the clipboard was taken.
    bool Owns() const { return owns_; }
    // Whether a reader has asked for the text and is waiting for it.
    bool Asked() const { return asked_; }
    // From now on the owner answers, and renders the text.
    void Answer();

  private:
    static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::wstring text_;
    HANDLE answer_ = nullptr;
    std::thread thread_;
    DWORD threadId_ = 0;
    bool owns_ = false;
    std::atomic<bool> asked_{false};
};

// A new folder in the temporary folder, removed with everything in it at the end. A number
// after the name given makes it unique.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::wstring_view name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

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
    ClearHistory,
    Redo,
    Undo,
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
    // Closes the open menu with Esc.
    bool CloseTrayMenu();
    // Opens the menu, picks the item with the keyboard and waits for the menu to close.
    bool ChooseTrayItem(TrayItem item);

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
