// The hidden main window on Windows: a top-level window that is never shown (not a
// message-only window, which would miss broadcasts such as "TaskbarCreated"), its timer,
// hotkeys, tray menu and message boxes.
#pragma once

#include <windows.h>

#include <optional>

#include "app/app_ports.h"
#include "app/keys/keyboard_hook_win32.h"
#include "common/unique_handle.h"
#include "common/unique_win32.h"

namespace revertly::app {

class frmMain;

class Win32MainWindow final : public MainWindowPort {
  public:
    // Creates the window, hidden, with the application title as caption and the program's
    // small icon.
    explicit Win32MainWindow(HINSTANCE instance);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    // From now on the window's own procedure hands its messages to the form.
    void Attach(frmMain& form) { form_ = &form; }
    bool Created() const { return static_cast<bool>(window_); }
    // The tray menu, for reading its captions and check marks.
    HMENU Menu() const { return menu_.get(); }
    HMENU RecentStatesMenu() const { return recentStates_; }

    WindowHandle Handle() override;
    void Hide() override;
    void Destroy() override;
    void Quit() override;
    void StartTimer(TimerId id, std::uint32_t milliseconds) override;
    void StopTimer(TimerId id) override;
    void LoadSmallIcon() override;
    bool RegisterHotkey(int id, Hotkey hotkey) override;
    bool ClaimHotkey(int id, Hotkey hotkey) override;
    void UnregisterHotkey(int id) override;
    void SetMenuCheck(MenuItem item, bool checked) override;
    void SetMenuCaption(MenuItem item, std::u16string_view caption) override;
    void SetRecentStates(std::span<const RecentStateLine> lines) override;
    std::optional<MenuItem> ShowTrayMenu() override;
    std::optional<MenuItem> ShowRecentStates() override;
    int ShowMessage(std::u16string_view text, std::uint32_t style) override;
    void SendTo(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) override;
    void PostToSelf(std::uint32_t message) override;

    // While a key field of the settings window has the focus, the combinations pressed go to it
    // before Windows hands them to any program that holds them.
    void RecordKeysFor(HWND field);
    void StopRecordingKeys();

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static void DestroyMenuHandle(HMENU menu);
    static HICON LoadProgramIcon(HINSTANCE instance, int width, int height);
    // At the small-icon size for the DPI of the monitor that shows the notification area,
    // which is what it shows (16 pixels at 100 %, 24 at 150 %); the manifest makes the
    // process DPI aware, so the metric is not scaled for it.
    static HICON LoadSmallProgramIcon(HINSTANCE instance);
    void ReturnForegroundTaken();
    // Shows the menu at the mouse; the item chosen, or nothing when it was dismissed.
    std::optional<MenuItem> TrackMenu(HMENU menu);

    HINSTANCE instance_;
    // The class's icons live as long as the window; the window is destroyed first.
    UniqueIcon icon_;
    UniqueIcon smallIcon_;
    // The small icon loaded anew when the icon is added again, and the one before it, which
    // the shell may still show until the new one reaches it.
    UniqueIcon reloadedIcon_;
    UniqueIcon retiredIcon_;
    // Released by the system when the window is destroyed by other means than this object.
    UniqueWindow window_;
    UniqueHandle<HMENU, &DestroyMenuHandle> menu_;
    // The "Recent states" submenu, which menu_ owns.
    HMENU recentStates_;
    frmMain* form_ = nullptr;
    // Made with the first claimed hotkey.
    std::optional<KeyboardHook> keyboard_;
};

}  // namespace revertly::app
