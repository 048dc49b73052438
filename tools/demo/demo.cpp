// Plays a short session with the real revertly.exe the way a person would, and prints each
// step with what the clipboard holds after it: three copies, undo twice (with the step hint
// turned on in the settings), redo, a new copy that drops the redo branch, the oldest state
// chosen from the "Recent states" list and redo from it, the tray menu opened from its icon
// and closed, the settings window opened from the menu and cancelled, and Exit.
//
//     revertly_demo [revertly.exe]
//
// Run it under Wine on an X display (scripts/demo starts a private one). While the step hint
// is up, and while the tray menu, its list or the settings window is open, it prints "SCREENSHOT
// name left top right bottom": the part of the screen that shows the hint, or the menus and their
// icon. It goes on once a line arrives on its input, so that whoever runs it can take a picture
// first. A step that does not do what it should stops the session (exit code 1); either way the
// demo ends everything it started.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/driver.h"

namespace {

using namespace revertly::driver;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Far enough apart that each copy is a burst of its own and has been recorded before the next.
constexpr Milliseconds kBetweenCopies = 200ms;
// How long nothing may happen for a command to count as doing nothing.
constexpr Milliseconds kQuiet = 300ms;
// Time for a freshly shown menu to be painted on the X server before its picture is taken.
constexpr Milliseconds kPaint = 300ms;
// Space around the menu and the icon in the picture.
constexpr int kMargin = 16;

constexpr wchar_t kMenuClass[] = L"#32768";
constexpr wchar_t kStandaloneTrayClass[] = L"__winex11_standalone_tray";

std::string Utf8(std::wstring_view text) {
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr));
    return utf8;
}

std::string Quoted(const std::optional<std::wstring>& text) {
    return text ? '"' + Utf8(*text) + '"' : "(no text)";
}

// Lines go out at once: the reader is usually a script waiting on a pipe.
void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

fs::path ProgramBesideTheDemo() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (fs::path(self).parent_path() / REVERTLY_EXE_RELATIVE).lexically_normal();
}

RECT WindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

struct MenuSearch {
    DWORD processId;
    RECT rect;
};

BOOL CALLBACK AddMenuRect(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<MenuSearch*>(param);
    wchar_t name[16] = {};
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    if (owner == search.processId && IsWindowVisible(window) &&
        std::wstring_view(name) == kMenuClass) {
        const RECT menu = WindowRect(window);
        UnionRect(&search.rect, &search.rect, &menu);
    }
    return TRUE;
}

// Where the process's open menus are on the screen: the menu, and its submenu when one is open.
RECT OpenMenusRect(DWORD processId) {
    MenuSearch search{processId, {}};
    EnumWindows(&AddMenuRect, reinterpret_cast<LPARAM>(&search));
    return search.rect;
}

// The steps of the session and their transcript. Each step answers whether it did what it
// should; the session stops at the first that did not.
class Session {
  public:
    explicit Session(Revertly& program) : program_(program) {}

    // Prints the step and the clipboard after it. A step that should leave a text waits for
    // it, and says so when it does not come.
    bool Report(const std::string& action, const std::optional<std::wstring>& expected,
                const std::string& note = {}) {
        std::optional<std::wstring> seen = ClipboardText();
        if (expected) {
            WaitUntil([&] { return (seen = ClipboardText()) == expected; });
        }
        char number[8];
        std::snprintf(number, sizeof number, "%2d. ", ++steps_);
        std::string line = number + action;
        line.resize(std::max<std::size_t>(line.size(), kActionWidth), ' ');
        line += " clipboard: " + Quoted(seen);
        const bool met = !expected || seen == expected;
        if (!met) {
            line += "  -- expected " + Quoted(expected);
        } else if (!note.empty()) {
            line += "  (" + note + ")";
        }
        Say(line);
        return met;
    }

    static bool Stop(const std::string& why) {
        Say("The demo stopped: " + why);
        return false;
    }

    bool Start(const fs::path& executable) {
        if (ReadInstanceBlock()) {
            return Stop(
                "Revertly already runs in this Wine prefix (one copy per log-on): exit it first");
        }
        if (!program_.Install(executable)) {
            return Stop("cannot copy " + Utf8(executable.wstring()) + ": is it built?");
        }
        std::ofstream(program_.SettingsFile(), std::ios::binary) << R"({"StepHint":true})";
        if (!ClearClipboard() || !program_.Start() || !program_.WaitForStartUp()) {
            return Stop("Revertly did not start");
        }
        Say("Revertly runs from " + Utf8(program_.Folder().wstring()) + " (process " +
            std::to_string(program_.ProcessId()) + "); the clipboard is empty.");
        return true;
    }

    bool Copy(const std::wstring& text, const std::string& note = {}) {
        if (!SetClipboardText(text)) {
            return Stop("the clipboard could not be set");
        }
        PumpFor(kBetweenCopies);
        return Report("copy \"" + Utf8(text) + "\"", text, note);
    }

    bool Hotkey(WORD key, const std::string& command, const std::wstring& expected) {
        if (!PressWinKey(key)) {
            return Stop("SendInput failed");
        }
        return Report(HotkeyName(key, command), expected);
    }

    // Win+key when it has nothing to do: the clipboard must not change at all.
    bool IdleHotkey(WORD key, const std::string& command, const std::string& note) {
        const DWORD before = ClipboardChanges();
        const std::optional<std::wstring> text = ClipboardText();
        if (!PressWinKey(key)) {
            return Stop("SendInput failed");
        }
        PumpFor(kQuiet);
        if (ClipboardChanges() != before) {
            Report(HotkeyName(key, command), std::nullopt);
            return Stop("Win+" + std::string(1, static_cast<char>(key)) +
                        " changed the clipboard with nothing to do");
        }
        return Report(HotkeyName(key, command), text, note);
    }

    // The step hint that the last undo or redo showed: the reader learns where it is, and the
    // demo waits for a line while the hint is still up.
    bool HintForAPicture() {
        HWND hint = nullptr;
        if (!WaitUntil([&] {
                return (hint = FindProcessWindow(program_.ProcessId(), L"RevertlyStepHint", nullptr,
                                                 true)) != nullptr;
            })) {
            return Stop("no step hint appeared");
        }
        wchar_t text[256] = {};
        GetWindowTextW(hint, text, static_cast<int>(std::size(text)));
        std::wstring shown = text;
        std::replace(shown.begin(), shown.end(), L'\n', L'/');
        Say("    (the step hint shows \"" + Utf8(shown) + "\")");
        const RECT rect = WindowRect(hint);
        Say("SCREENSHOT step-hint " + std::to_string(std::max<int>(rect.left - kMargin, 0)) + " " +
            std::to_string(std::max<int>(rect.top - kMargin, 0)) + " " +
            std::to_string(rect.right + kMargin) + " " + std::to_string(rect.bottom + kMargin));
        std::string ignored;
        std::getline(std::cin, ignored);
        return true;
    }

    // The tray menu opened from its icon, for a picture.
    bool OpenTrayMenuForAPicture() {
        if (!OpenTrayMenuAtTheIcon()) {
            return Stop("the tray menu did not open");
        }
        Report("right click on the tray icon", std::nullopt, "the menu is open");
        return MenusForAPicture("tray-menu", " (press Enter to close the menu)");
    }

    // The tray menu opened from its icon, its "Recent states" list opened with the keyboard for
    // a picture, and the line with this number chosen by its access key.
    bool ChooseRecentStateForAPicture(int number, const std::wstring& expected) {
        if (!OpenTrayMenuAtTheIcon()) {
            return Stop("the tray menu did not open");
        }
        std::vector<INPUT> keys;
        for (int down = 0; down <= static_cast<int>(TrayItem::RecentStates); ++down) {
            keys.push_back(KeyInput(VK_DOWN, false));
            keys.push_back(KeyInput(VK_DOWN, true));
        }
        keys.push_back(KeyInput(VK_RIGHT, false));
        keys.push_back(KeyInput(VK_RIGHT, true));
        const LONG closedWidth = OpenMenusRect(program_.ProcessId()).right;
        if (!SendKeys(std::move(keys)) ||
            !WaitUntil([&] { return OpenMenusRect(program_.ProcessId()).right > closedWidth; })) {
            return Stop("the \"Recent states\" list did not open");
        }
        Report("\"Recent states\" in the tray menu", std::nullopt, "the list is open");
        if (!MenusForAPicture("recent-states", "")) {
            return false;
        }
        const WORD key = static_cast<WORD>('0' + number);
        if (!SendKeys({KeyInput(key, false), KeyInput(key, true)}) ||
            !WaitUntil([this] { return !program_.TrayMenuShown(); })) {
            return Stop("the list did not take the line");
        }
        return Report("line " + std::to_string(number) + " of the list", expected);
    }

    // A right click on the icon, with the pointer on it as a person's would be: the menu opens
    // where the pointer is, here on the icon's lower edge so that the icon stays in sight. With
    // no icon window of Wine's own (a desktop with a real notification area), the icon's
    // message goes to the program directly.
    bool OpenTrayMenuAtTheIcon() {
        const std::vector<HWND> icons = TrayIconWindows();
        HWND tray = FindWindowW(kStandaloneTrayClass, nullptr);
        bool opened = false;
        if (!icons.empty() && tray != nullptr) {
            const RECT icon = WindowRect(icons.back());
            SetCursorPos((icon.left + icon.right) / 2, icon.bottom - 1);
            opened = RightClickTrayIcon(icons.back()) &&
                     WaitUntil([this] { return program_.TrayMenuShown(); });
        } else {
            opened = program_.OpenTrayMenu();
        }
        return opened && FindProcessWindow(program_.ProcessId(), kMenuClass, nullptr, true);
    }

    // The reader learns which part of the screen shows the open menus and the icon, and they
    // stay open until a line comes in.
    bool MenusForAPicture(const std::string& name, const std::string& prompt) {
        PumpFor(kPaint);
        RECT shown = OpenMenusRect(program_.ProcessId());
        HWND tray = FindWindowW(kStandaloneTrayClass, nullptr);
        if (tray != nullptr) {
            const RECT trayRect = WindowRect(tray);
            UnionRect(&shown, &shown, &trayRect);
        }
        const int left = std::max<int>(shown.left - kMargin, 0);
        const int top = std::max<int>(shown.top - kMargin, 0);
        const int right = std::min<int>(shown.right + kMargin, GetSystemMetrics(SM_CXSCREEN));
        const int bottom = std::min<int>(shown.bottom + kMargin, GetSystemMetrics(SM_CYSCREEN));
        Say("SCREENSHOT " + name + " " + std::to_string(left) + " " + std::to_string(top) + " " +
            std::to_string(right) + " " + std::to_string(bottom) + prompt);
        std::string ignored;
        std::getline(std::cin, ignored);
        return true;
    }

    // "Settings..." from the tray menu: the settings window for a picture, then Cancel.
    bool SettingsWindowForAPicture() {
        const HWND window = program_.OpenSettingsWindow();
        if (window == nullptr) {
            return Stop("the settings window did not open");
        }
        Report("\"Settings...\" in the tray menu", std::nullopt, "the settings window is open");
        PumpFor(kPaint);
        const RECT rect = WindowRect(window);
        Say("SCREENSHOT settings-window " + std::to_string(std::max<int>(rect.left - kMargin, 0)) +
            " " + std::to_string(std::max<int>(rect.top - kMargin, 0)) + " " +
            std::to_string(rect.right + kMargin) + " " + std::to_string(rect.bottom + kMargin));
        std::string ignored;
        std::getline(std::cin, ignored);
        SendMessageW(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
        if (!WaitUntil([&] { return !IsWindow(window); })) {
            return Stop("Cancel did not close the settings window");
        }
        return Report("Cancel", std::nullopt, "the window closes, nothing changed");
    }

    bool CloseTrayMenu() {
        if (!program_.CloseTrayMenu()) {
            return Stop("the tray menu did not close");
        }
        return Report("cancel the menu", std::nullopt, "the menu closes");
    }

    bool ExitAnsweringYes() {
        if (!program_.ChooseTrayItem(TrayItem::Exit)) {
            return Stop("Exit could not be chosen in the tray menu");
        }
        HWND box = program_.WaitForMessageBox();
        if (box == nullptr) {
            return Stop("Exit asked nothing");
        }
        Report("Exit in the tray menu", std::nullopt,
               "Revertly asks \"" + Utf8(MessageBoxText(box)) + "\"");
        if (!AnswerMessageBox(box, IDYES)) {
            return Stop("the question could not be answered");
        }
        const std::optional<DWORD> code = program_.WaitForExit();
        if (!code) {
            return Stop("Revertly did not end after Yes");
        }
        Report("Yes", std::nullopt, "Revertly ended with exit code " + std::to_string(*code));
        return *code == 0;
    }

    // The shortcut in the Startup folder that the copy's first start made points into the
    // scratch folder, which goes at the end.
    void RemoveStartupLinkToTheCopy() {
        const std::optional<Shortcut> link = ReadShortcut(StartupLinkPath());
        if (link && link->target == program_.Executable().wstring()) {
            RemoveStartupLink();
        }
    }

  private:
    static constexpr std::size_t kActionWidth = 36;

    static std::string HotkeyName(WORD key, const std::string& command) {
        return std::string("Win+") + static_cast<char>(key) + " (" + command + ")";
    }

    Revertly& program_;
    int steps_ = 0;
};

bool Play(Session& session, const fs::path& executable) {
    return session.Start(executable) && session.Copy(L"one") && session.Copy(L"two") &&
           session.Copy(L"three") && session.Hotkey('Z', "undo", L"two") &&
           session.HintForAPicture() && session.Hotkey('Z', "undo", L"one") &&
           session.Hotkey('X', "redo", L"two") &&
           session.Copy(L"four", "the redo branch is gone") &&
           session.IdleHotkey('X', "redo", "nothing to redo: the clipboard stays") &&
           session.ChooseRecentStateForAPicture(3, L"one") && session.Hotkey('X', "redo", L"two") &&
           session.OpenTrayMenuForAPicture() && session.CloseTrayMenu() &&
           session.SettingsWindowForAPicture() && session.ExitAnsweringYes();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const fs::path executable = argc > 1 ? fs::path(argv[1]) : ProgramBesideTheDemo();
    ScratchFolder folder{L"Revertly demo"};
    Revertly program{folder.Path()};
    Session session{program};
    const bool played = Play(session, executable);
    // After a step that went wrong the copy may still run: it ends here, before its folder goes.
    program.Terminate();
    session.RemoveStartupLinkToTheCopy();
    return played ? 0 : 1;
}
