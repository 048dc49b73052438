// What the application shell needs of Windows beyond its subsystems, in its own terms: the
// services of its hidden main window, and the shell (web links and the Startup shortcut).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/window_types.h"

namespace revertly::app {

// The items of the tray menu that run a command, in menu order (separators have none).
enum class MenuItem : std::uint32_t {
    VisitSite = 1,
    VisitGroup,
    Autorun,
    StatesCount1,  // "Remember the 5 states"; StatesCount1 + i - 1 for index i of 1..5
    StatesCount2,
    StatesCount3,
    StatesCount4,
    StatesCount5,
    ClearHistory,
    RedoState,
    UndoState,
    Exit,
    PauseRecording,
    RecentStates,  // the submenu's own item
    KeepHistory,
    Settings,      // "Settings...": opens the settings window
};

// The entries of the "Recent states" list, newest first: entry i (from 0) is the command
// kFirstRecentStateItem + i, far above every item of the menu itself.
inline constexpr std::uint32_t kFirstRecentStateItem = 0x100;
inline MenuItem RecentStateItem(std::size_t index) {
    return static_cast<MenuItem>(kFirstRecentStateItem + static_cast<std::uint32_t>(index));
}
// The entry's index when the item is an entry of the list.
inline std::optional<std::size_t> RecentStateIndex(MenuItem item) {
    const auto command = static_cast<std::uint32_t>(item);
    if (command < kFirstRecentStateItem) {
        return std::nullopt;
    }
    return command - kFirstRecentStateItem;
}

// One entry of the "Recent states" list as the menu shows it.
struct RecentStateLine {
    std::u16string caption;  // with its access key marked by "&"
    bool checked = false;    // the state the clipboard holds
};

// Modifier bits as Windows numbers them for RegisterHotKey.
inline constexpr std::uint32_t kModAlt = 0x1;
inline constexpr std::uint32_t kModControl = 0x2;
inline constexpr std::uint32_t kModShift = 0x4;
inline constexpr std::uint32_t kModWin = 0x8;

// A key combination: modifier bits and a virtual-key code (A-Z, 0-9, F1-F24).
struct Hotkey {
    std::uint32_t modifiers = 0;
    std::uint32_t virtualKey = 0;

    friend bool operator==(const Hotkey&, const Hotkey&) = default;
};

// Message-box styles and answers, as Windows numbers them.
inline constexpr std::uint32_t kQuestionStyle = 0x1024;   // Yes/No, question icon, system-modal
inline constexpr std::uint32_t kInformationStyle = 0x40;  // OK, information icon
inline constexpr std::uint32_t kPlainStyle = 0x0;         // OK, no icon
inline constexpr int kAnswerYes = 6;

// The main window's timers; the number is the timer's id, which WM_TIMER carries.
enum class TimerId : std::uintptr_t {
    SaveClipboard = 1,  // the end of a burst of clipboard changes
    SaveSettings = 2,   // the next try of a settings save that another program blocked
    AddTrayIcon = 3,    // the next try of adding the icon that the shell refused
    RetryStep = 4,      // the next try of a step that found the clipboard busy
};

// The hidden main window and what Windows does for it.
class MainWindowPort {
  public:
    virtual ~MainWindowPort() = default;

    virtual WindowHandle Handle() = 0;
    virtual void Hide() = 0;
    // Destroys the window; its WM_DESTROY is dispatched before this returns.
    virtual void Destroy() = 0;
    // Ends the message loop once the current message has been handled.
    virtual void Quit() = 0;

    // A timer of the window, ticking every interval until stopped: starting it begins a full
    // wait afresh, also when it runs already.
    virtual void StartTimer(TimerId id, std::uint32_t milliseconds) = 0;
    virtual void StopTimer(TimerId id) = 0;
    // Loads the program's small icon anew at the size the notification area wants for the
    // system's DPI, and makes it the window's small icon.
    virtual void LoadSmallIcon() = 0;

    // A global hotkey registered with Windows; false when another program holds it.
    virtual bool RegisterHotkey(int id, Hotkey hotkey) = 0;
    // The same combination taken through a keyboard hook, which sees keys before Windows
    // hands them to the program holding them: each key-down then arrives as the hotkey's
    // message. False when the hook cannot be installed.
    virtual bool ClaimHotkey(int id, Hotkey hotkey) = 0;
    // Gives the id's hotkey up, registered or claimed; the hook ends with the last claim.
    virtual void UnregisterHotkey(int id) = 0;

    virtual void SetMenuCheck(MenuItem item, bool checked) = 0;
    virtual void SetMenuCaption(MenuItem item, std::u16string_view caption) = 0;
    // Fills the "Recent states" submenu with these lines, in order; with none its item is
    // greyed.
    virtual void SetRecentStates(std::span<const RecentStateLine> lines) = 0;
    // Brings the window to the foreground and shows the tray menu at the mouse; answers the
    // item chosen, or nothing when the menu was dismissed.
    virtual std::optional<MenuItem> ShowTrayMenu() = 0;
    // Shows the "Recent states" submenu on its own at the mouse, over whatever program is in
    // front, and gives that program the foreground back when it closes.
    virtual std::optional<MenuItem> ShowRecentStates() = 0;

    // A message box with the application title as caption; answers the button chosen.
    virtual int ShowMessage(std::u16string_view text, std::uint32_t style) = 0;

    // Sends a message to another window and waits for it to be handled, but no longer than
    // a few hundred milliseconds: a window that hangs costs the program no more than that.
    virtual void SendTo(WindowHandle window, std::uint32_t message, WParam wParam,
                        LParam lParam) = 0;
    // Queues a message for the window, from any thread.
    virtual void PostToSelf(std::uint32_t message) = 0;
};

// Which program copied: the clipboard's owner window, its process, that process's image.
class ClipboardOwnerPort {
  public:
    virtual ~ClipboardOwnerPort() = default;
    // The full path of the program whose window owns the clipboard; nothing when no window
    // owns it or its program cannot be read.
    virtual std::optional<std::u16string> ClipboardOwnerProgram() = 0;
};

// The step hint: a note that appears for a moment and never takes the focus.
class StepHintPort {
  public:
    virtual ~StepHintPort() = default;
    // Shows the text at once; a show while the hint is up replaces its text and starts its
    // time afresh.
    virtual void ShowStepHint(std::u16string_view text) = 0;
};

// The settings window: one at a time, and not modal.
class SettingsWindowPort {
  public:
    virtual ~SettingsWindowPort() = default;
    // Opens the window, or brings it to the front when it is open already.
    virtual void Show() = 0;
};

// The shell: web links and the shortcut in the Startup folder.
class ShellPort {
  public:
    virtual ~ShellPort() = default;

    // Opens an address with the shell's "open" verb; failures are quiet.
    virtual void OpenUrl(std::u16string_view url) = 0;

    // The user's own Startup folder, or the empty text when it is not available.
    virtual std::u16string UserStartupFolder() = 0;
    // The Startup folder shared by all users, or the empty text.
    virtual std::u16string CommonStartupFolder() = 0;

    virtual bool FileExists(std::u16string_view path) = 0;
    // Deletes the file, also when it is read-only; false when it could not be deleted.
    virtual bool RemoveFile(std::u16string_view path) = 0;
    // Writes a shell link; false when it could not be created or saved.
    virtual bool CreateShortcut(std::u16string_view linkPath, std::u16string_view target,
                                std::u16string_view arguments,
                                std::u16string_view workingFolder) = 0;
};

}  // namespace revertly::app
