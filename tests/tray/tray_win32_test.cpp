// The tray icon over the real shell, under Wine. Wine shows icons as child windows of class
// "__winex11_tray_icon" in a top-level window of class "__winex11_standalone_tray", which
// it hides when its last icon goes; Shell_NotifyIconW fails without an X display.
#include "tray/shell_notify_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/unique_win32.h"
#include "support/api_override.h"

namespace revertly::tray {
namespace {

struct ShellCall {
    DWORD message;
    NOTIFYICONDATAW data;
    BOOL answer;
};
std::vector<ShellCall> shellCalls;

// The real function, keeping each request with the shell's answer.
BOOL WINAPI RecordingShellNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
    const BOOL answer = ::Shell_NotifyIconW(message, data);
    shellCalls.push_back({message, *data, answer});
    return answer;
}

struct Callback {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Callback> callbacks;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP) {
        callbacks.push_back({message, wParam, lParam});
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

const HICON kApplication = LoadIconW(nullptr, IDI_APPLICATION);
const HICON kWarning = LoadIconW(nullptr, IDI_WARNING);
const HICON kInformation = LoadIconW(nullptr, IDI_INFORMATION);

// A hidden top-level window like the program's, of a class with the given small icon.
UniqueWindow MakeWindow(HICON classSmallIcon) {
    static int classes = 0;
    const std::wstring name = L"RevertlyTrayTest" + std::to_wstring(++classes);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIconSm = classSmallIcon;
    windowClass.lpszClassName = name.c_str();
    RegisterClassExW(&windowClass);
    return UniqueWindow(CreateWindowExW(0, name.c_str(), L"Revertly", WS_OVERLAPPEDWINDOW, 0, 0,
                                        100, 100, nullptr, nullptr, nullptr, nullptr));
}

WindowHandle Handle(const UniqueWindow& window) {
    return reinterpret_cast<WindowHandle>(window.get());
}
IconHandle Handle(HICON icon) {
    return reinterpret_cast<IconHandle>(icon);
}

// Handles this thread's messages until the condition holds or five seconds have passed.
bool WaitFor(const std::function<bool()>& condition) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!condition()) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
    return true;
}

// The icons that the notification area shows, of every program.
std::vector<HWND> ShownIcons() {
    std::vector<HWND> icons;
    const HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (tray && IsWindowVisible(tray)) {
        for (HWND icon = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); icon;
             icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr)) {
            if (IsWindowVisible(icon)) {
                icons.push_back(icon);
            }
        }
    }
    return icons;
}

// Waits for an icon that was not among the earlier ones.
HWND WaitForNewIcon(const std::vector<HWND>& earlier) {
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND icon : ShownIcons()) {
            if (std::find(earlier.begin(), earlier.end(), icon) == earlier.end()) {
                found = icon;
            }
        }
        return found != nullptr;
    });
    return found;
}

// A real right click on the icon's window; the shell reports it to the host window.
void RightClick(HWND icon) {
    RECT place;
    GetWindowRect(icon, &place);
    SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, clicks, sizeof(INPUT));
}

bool Received(UINT message, WPARAM wParam, LPARAM lParam) {
    return std::any_of(callbacks.begin(), callbacks.end(), [&](const Callback& c) {
        return c.message == message && c.wParam == wParam && c.lParam == lParam;
    });
}

TEST(TrayHostWin32, AnswersTheWindowsOwnSmallIconElseItsClasssElseNothing) {
    const UniqueWindow both = MakeWindow(kWarning);
    SendMessageW(both.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(kApplication));
    const UniqueWindow classOnly = MakeWindow(kInformation);
    const UniqueWindow none = MakeWindow(nullptr);
    ASSERT_TRUE(both && classOnly && none);

    EXPECT_EQ(Win32TrayHost(Handle(both)).WindowIcon(), Handle(kApplication));
    EXPECT_EQ(Win32TrayHost(Handle(both)).Window(), Handle(both));
    EXPECT_EQ(Win32TrayHost(Handle(classOnly)).WindowIcon(), Handle(kInformation));
    EXPECT_EQ(Win32TrayHost(Handle(none)).WindowIcon(), std::nullopt);

    UniqueWindow gone = MakeWindow(kWarning);
    const Win32TrayHost goneHost(Handle(gone));
    gone.reset();
    EXPECT_EQ(goneHost.Window(), std::nullopt);
    EXPECT_EQ(goneHost.WindowIcon(), std::nullopt);
}

TEST(TrayWin32, ShowsChangesRestoresAndRemovesTheIcon) {
    const UniqueWindow window = MakeWindow(kApplication);
    ASSERT_TRUE(window);
    const std::vector<HWND> before = ShownIcons();
    const auto uID = static_cast<WPARAM>(Handle(kApplication));
    shellCalls.clear();
    const testing::ApiOverride api(Api());
    api->Shell_NotifyIconW = &RecordingShellNotifyIcon;
    Win32ShellNotify shell;
    Tray tray(shell);
    ASSERT_TRUE(tray.Initialize(Win32TrayHost(Handle(window))));
    tray.AutoRefresh(true);

    ASSERT_TRUE(tray.AddIcon());
    const HWND icon = WaitForNewIcon(before);
    ASSERT_TRUE(icon) << "no icon appeared";
    // The click comes back as the icon's message with its identifier; the context-menu
    // notification after the release comes only with interface version 3.
    RightClick(icon);
    EXPECT_TRUE(WaitFor([&] { return Received(tray.MessageID(), uID, WM_CONTEXTMENU); }));
    EXPECT_TRUE(Received(0x8000, uID, WM_RBUTTONDOWN));

    tray.Tooltip(u"Revertly");
    tray.ShowBalloonTip(u"Saved", u"Revertly");
    tray.Icon(Handle(kWarning));

    // Gone from the notification area behind the object's back, as when the shell restarts.
    NOTIFYICONDATAW lost = shellCalls.at(0).data;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &lost));
    ASSERT_TRUE(WaitFor([&] { return ShownIcons().size() == before.size(); }));
    callbacks.clear();
    EXPECT_TRUE(tray.AddIconAgain());
    const HWND again = WaitForNewIcon(before);
    ASSERT_TRUE(again) << "the icon did not come back";
    RightClick(again);
    EXPECT_TRUE(WaitFor([&] { return Received(0x8000, uID, WM_CONTEXTMENU); }));

    EXPECT_TRUE(tray.RemoveIcon());
    EXPECT_TRUE(WaitFor([&] { return ShownIcons() == before; })) << "the icon stayed";

    const DWORD expected[] = {NIM_ADD,    NIM_SETVERSION, NIM_MODIFY,     NIM_MODIFY,
                              NIM_MODIFY, NIM_ADD,        NIM_SETVERSION, NIM_DELETE};
    ASSERT_EQ(shellCalls.size(), std::size(expected));
    for (std::size_t i = 0; i < shellCalls.size(); ++i) {
        const ShellCall& call = shellCalls[i];
        EXPECT_EQ(call.message, expected[i]) << "request " << i;
        EXPECT_TRUE(call.answer) << "the shell refused request " << i;
        EXPECT_EQ(call.data.cbSize, NOTIFYICONDATAW_V2_SIZE);
        EXPECT_EQ(call.data.hWnd, window.get());
        EXPECT_EQ(call.data.uID, uID);
    }
    EXPECT_EQ(std::wstring(shellCalls[2].data.szTip), L"Revertly");
    EXPECT_EQ(std::wstring(shellCalls[3].data.szInfo), L"Saved");
    EXPECT_EQ(shellCalls[4].data.hIcon, kWarning);
}

}  // namespace
}  // namespace revertly::tray
