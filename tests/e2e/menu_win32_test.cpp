// The tray menu as Windows holds it, read in this process: Windows keeps another process's
// menu out of reach, so the end-to-end tests pick items by position and this test pins the
// positions, captions, commands and check marks down.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/api_win32.h"
#include "app/main_window_win32.h"
#include "common/unique_win32.h"
#include "e2e/keys.h"
#include "support/api_override.h"
#include "support/wait_until.h"

namespace revertly::app {
namespace {

struct MenuLine {
    bool separator = false;
    std::wstring caption;
    UINT command = 0;
    bool checked = false;
    HMENU submenu = nullptr;
};

std::vector<MenuLine> ReadMenu(HMENU menu) {
    std::vector<MenuLine> lines;
    for (int position = 0; position < GetMenuItemCount(menu); ++position) {
        wchar_t caption[128] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = caption;
        info.cch = static_cast<UINT>(std::size(caption));
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) {
            ADD_FAILURE() << "cannot read item " << position;
            continue;
        }
        lines.push_back({(info.fType & MFT_SEPARATOR) != 0, caption, info.wID,
                         (info.fState & MFS_CHECKED) != 0, info.hSubMenu});
    }
    return lines;
}

struct Expected {
    const wchar_t* caption;           // nullptr for a separator
    std::optional<MenuItem> command;  // nothing for a separator and the submenu
};
const Expected kMenu[] = {
    {L"Visit the official website", MenuItem::VisitSite},
    {L"Visit the VK group", MenuItem::VisitGroup},
    {nullptr, std::nullopt},
    {L"Autorun the program", MenuItem::Autorun},
    {nullptr, std::nullopt},
    {L"Remember the 5 states", MenuItem::StatesCount1},
    {L"Remember the 10 states", MenuItem::StatesCount2},
    {L"Remember the 15 states", MenuItem::StatesCount3},
    {L"Remember the 20 states", MenuItem::StatesCount4},
    {L"Remember the 50 states", MenuItem::StatesCount5},
    {nullptr, std::nullopt},
    {L"Recent states", std::nullopt},
    {L"Pause recording", MenuItem::PauseRecording},
    {L"Keep history after exit", MenuItem::KeepHistory},
    {nullptr, std::nullopt},
    {L"Clear history (Win+C)", MenuItem::ClearHistory},
    {nullptr, std::nullopt},
    {L"Redo the state (Win+X)", MenuItem::RedoState},
    {L"Undo the state (Win-Z)", MenuItem::UndoState},
    {nullptr, std::nullopt},
    {L"Settings...", MenuItem::Settings},
    {nullptr, std::nullopt},
    {L"Exit", MenuItem::Exit},
};

TEST(TrayMenuWin32, ItemsInOrderWithTheirCommandsAndNoCheckMarks) {
    Win32MainWindow window(GetModuleHandleW(nullptr));
    ASSERT_TRUE(window.Created());
    const std::vector<MenuLine> lines = ReadMenu(window.Menu());
    ASSERT_EQ(lines.size(), std::size(kMenu));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("position " + std::to_string(i));
        EXPECT_FALSE(lines[i].checked);
        if (kMenu[i].caption == nullptr) {
            EXPECT_TRUE(lines[i].separator);
            continue;
        }
        EXPECT_FALSE(lines[i].separator);
        EXPECT_EQ(lines[i].caption, kMenu[i].caption);
        EXPECT_EQ(lines[i].submenu == window.RecentStatesMenu(), !kMenu[i].command);
        if (kMenu[i].command) {
            EXPECT_EQ(lines[i].command, static_cast<UINT>(*kMenu[i].command));
        }
    }
}

TEST(TrayMenuWin32, ACheckMarkGoesOnAndOffItsOwnItemOnly) {
    Win32MainWindow window(GetModuleHandleW(nullptr));
    for (std::size_t target = 0; target < std::size(kMenu); ++target) {
        if (!kMenu[target].command) {
            continue;
        }
        SCOPED_TRACE("position " + std::to_string(target));
        window.SetMenuCheck(*kMenu[target].command, true);
        std::vector<MenuLine> lines = ReadMenu(window.Menu());
        ASSERT_EQ(lines.size(), std::size(kMenu));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].checked, i == target) << "item " << i;
        }
        window.SetMenuCheck(*kMenu[target].command, false);
        for (const MenuLine& line : ReadMenu(window.Menu())) {
            EXPECT_FALSE(line.checked) << "after taking the mark off";
        }
    }
}

TEST(TrayMenuWin32, ACaptionChangesInPlaceKeepingItsCommand) {
    Win32MainWindow window(GetModuleHandleW(nullptr));
    window.SetMenuCaption(MenuItem::UndoState, u"Undo the state (Ctrl+Alt+Z)");
    const std::vector<MenuLine> lines = ReadMenu(window.Menu());
    ASSERT_EQ(lines.size(), std::size(kMenu));
    EXPECT_EQ(lines[18].caption, L"Undo the state (Ctrl+Alt+Z)");
    EXPECT_EQ(lines[18].command, static_cast<UINT>(MenuItem::UndoState));

    // The list's item has no command of its own, and stays a submenu.
    window.SetMenuCaption(MenuItem::RecentStates, u"Recent states (Ctrl+Shift+V)");
    EXPECT_EQ(ReadMenu(window.Menu())[11].caption, L"Recent states (Ctrl+Shift+V)");
    EXPECT_NE(GetSubMenu(window.Menu(), 11), nullptr);
}

HHOOK WINAPI RefuseHook(int, HOOKPROC, HINSTANCE, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

// A key Windows would not register is claimed through the keyboard hook, whose thread runs
// only while a key is claimed; a hook that cannot be installed makes the claim fail.
TEST(KeyboardHookWin32, RunsWhileAKeyIsClaimedAndReportsAHookThatCannotBeInstalled) {
    Win32MainWindow window(GetModuleHandleW(nullptr));
    KeyboardHook hook(reinterpret_cast<HWND>(window.Handle()));
    {
        const testing::ApiOverride api(Api());
        api->SetWindowsHookExW = &RefuseHook;
        EXPECT_FALSE(hook.Claim(kUndoHotkey, {kModWin, 'Z'}));
        EXPECT_FALSE(hook.Running());
    }

    ASSERT_TRUE(hook.Claim(kUndoHotkey, {kModWin, 'Z'}));
    ASSERT_TRUE(hook.Claim(kRedoHotkey, {kModWin, 'X'}));
    EXPECT_TRUE(hook.Running());
    hook.Unclaim(kUndoHotkey);
    EXPECT_TRUE(hook.Running()) << "ended with a key still claimed";
    hook.Unclaim(kRedoHotkey);
    EXPECT_FALSE(hook.Running());
}

// Windows' foreground lock, which Wine does not have, as this test stands in for it: a process
// may set the foreground while it has it, or while it received the last input event. An event
// reaches this process when Windows calls its hook, and the program underneath when the hook
// passes it on.
std::atomic<bool> lastInputHere{false};
std::atomic<HWND> ownWindow{nullptr};
HOOKPROC hookProcedure = nullptr;  // the hook's thread only

LRESULT CALLBACK ReceivedHere(int code, WPARAM wParam, LPARAM lParam) {
    lastInputHere = true;
    return hookProcedure(code, wParam, lParam);
}
HHOOK WINAPI InstallReceiving(int type, HOOKPROC procedure, HINSTANCE instance, DWORD thread) {
    hookProcedure = procedure;
    return SetWindowsHookExW(type, &ReceivedHere, instance, thread);
}
LRESULT WINAPI PassOn(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
    lastInputHere = false;
    return CallNextHookEx(hook, code, wParam, lParam);
}
BOOL WINAPI LockedSetForeground(HWND window) {
    if (GetForegroundWindow() != ownWindow && !lastInputHere) {
        return FALSE;
    }
    return SetForegroundWindow(window);
}
HWND foregroundAtOpen = nullptr;
BOOL WINAPI NoteForegroundAtOpen(HMENU, UINT, int, int, int, HWND, const RECT*) {
    foregroundAtOpen = GetForegroundWindow();
    return 0;
}

// A claimed pick key reaches the hook, not the window; the list must still open with the
// keyboard, and give it back to the program the user typed in.
TEST(KeyboardHookWin32, TheListOfAClaimedKeyOpensWithTheForeground) {
    const testing::ApiOverride api(Api());  // outlives the window, and with it the hook
    api->SetWindowsHookExW = &InstallReceiving;
    api->CallNextHookEx = &PassOn;
    api->SetForegroundWindow = &LockedSetForeground;
    api->TrackPopupMenu = &NoteForegroundAtOpen;
    const UniqueWindow document(CreateWindowExW(0, L"Edit", L"document",
                                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                                nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(SetForegroundWindow(document.get()));
    Win32MainWindow window(GetModuleHandleW(nullptr));
    ownWindow = reinterpret_cast<HWND>(window.Handle());
    ASSERT_TRUE(window.ClaimHotkey(kPickHotkey, {kModWin, 'V'}));

    ASSERT_TRUE(driver::SendKeys({driver::KeyInput(VK_LWIN, false), driver::KeyInput('V', false),
                                  driver::KeyInput('V', true), driver::KeyInput(VK_LWIN, true)}));
    MSG hotkey{};
    const auto deadline = std::chrono::steady_clock::now() + testing::kPatience;
    while (!PeekMessageW(&hotkey, ownWindow, WM_HOTKEY, WM_HOTKEY, PM_REMOVE)) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the key never came";
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    window.ShowRecentStates();
    EXPECT_EQ(foregroundAtOpen, ownWindow.load()) << "the list opened without the keyboard";
    EXPECT_EQ(GetForegroundWindow(), document.get());
}

}  // namespace
}  // namespace revertly::app
