// The desktop around Revertly: other programs' windows and message boxes, the notification
// area's icons, and a hidden window of the driver's own.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/unique_win32.h"

namespace revertly::driver {

// How long a message sent to another program may take before it counts as not answered.
inline constexpr DWORD kSendTimeoutMs = 5000;

// A top-level window of one process with the class and caption given (nullptr: any).
HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption,
                       bool visibleOnly);
// The top-level windows of any process with the class and caption given.
int CountWindows(const wchar_t* className, const wchar_t* caption);

// The class and caption of each visible top-level window of the process, for a failure's
// message: "#32770 'Revertly', #32768 ''".
std::string DescribeProcessWindows(DWORD processId);

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
    // From now on the window keeps every notification to itself, as a broken viewer does.
    void StopPassingNotificationsOn() { passesOn_ = false; }
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
    bool passesOn_ = true;
    std::vector<int> hotkeys_;
    int notifications_ = 0;
    int hotkeys_received_ = 0;
    std::function<void()> onChange_;
};

// A viewer on a thread of its own that, once armed, stops answering at the next clipboard
// notification until it is let go (or 10 seconds have passed), as a program that hangs does.
class HangingViewer {
  public:
    HangingViewer();
    ~HangingViewer();
    HangingViewer(const HangingViewer&) = delete;
    HangingViewer& operator=(const HangingViewer&) = delete;

    void Arm() { armed_ = true; }
    bool Hanging() const { return hanging_; }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UniqueKernelHandle release_;
    std::atomic<bool> armed_{false};
    std::atomic<bool> hanging_{false};
    HWND nextViewer_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

}  // namespace revertly::driver
