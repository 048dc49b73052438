// The settings window's layout at the system's DPI, from the program's own dialog resource and
// manifest: the system's dialog font at that scale, every control inside the window and apart
// from the others, every text inside its control, the window inside the screen's work area.
// ctest runs this at 96 DPI and at 144 (150 %), as it runs the small icon's test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/settings_window/settings_window_win32.h"

namespace revertly::app {
namespace {

// The longest texts the window shows beside its values.
class LongestNotes final : public SettingsHost {
  public:
    SettingsChoices InForce() override {
        SettingsChoices choices;
        choices.memoryMegabytes = u"1048576";
        choices.keys = {Hotkey{kModControl | kModAlt | kModShift | kModWin, 0x87}, std::nullopt,
                        std::nullopt, std::nullopt};
        choices.ignoredPrograms = {u"C:\\Program Files\\KeePass Password Safe 2\\KeePass.exe"};
        return choices;
    }
    SettingsVerdict Apply(const SettingsChoices& wanted) override { return Judge(wanted); }
    SettingsVerdict Judge(const SettingsChoices&) override {
        SettingsVerdict verdict;
        verdict.keyNotes.fill(
            u"Windows uses Win+X for the Quick Link menu; Revertly takes it over while it runs");
        verdict.memoryNote = u"A whole number from 1 to 1048576";
        return verdict;
    }
    std::optional<std::u16string> CurrentCopyProgram() override { return std::nullopt; }
};

struct Control {
    HWND window;
    std::wstring className;
    std::wstring text;
    LONG style;
    RECT rect;  // in the dialog's client coordinates
};

std::vector<Control> Controls(HWND dialog) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        Control control{child,
                        std::wstring(64, L'\0'),
                        std::wstring(256, L'\0'),
                        static_cast<LONG>(GetWindowLongPtrW(child, GWL_STYLE)),
                        {}};
        control.className.resize(GetClassNameW(child, control.className.data(), 64));
        control.text.resize(GetWindowTextW(child, control.text.data(), 256));
        GetWindowRect(child, &control.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.rect), 2);
        controls.push_back(control);
    }
    return controls;
}

std::string Describe(const Control& control) {
    const std::wstring name = control.className + L" '" + control.text + L"'";
    return std::string(name.begin(), name.end());
}

bool IsGroupBox(const Control& control) {
    return control.className == L"Button" && (control.style & BS_TYPEMASK) == BS_GROUPBOX;
}

// The room the text takes in the control's font: one line, or wrapped to the control's width.
SIZE TextExtent(const Control& control, bool wrapped) {
    const HDC dc = GetDC(control.window);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control.window, WM_GETFONT, 0, 0)));
    RECT room{0, 0, control.rect.right - control.rect.left, 0};
    DrawTextW(dc, control.text.c_str(), static_cast<int>(control.text.size()), &room,
              DT_CALCRECT | (wrapped ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, previous);
    ReleaseDC(control.window, dc);
    return {room.right, room.bottom};
}

TEST(SettingsWindowWin32, TheWindowIsLaidOutInTheSystemsDialogFontAtItsScale) {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (const char* expected = std::getenv("REVERTLY_EXPECTED_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected));
    }

    LongestNotes host;
    Win32SettingsWindow window(GetModuleHandleW(nullptr), nullptr, [](HWND) {});
    window.Attach(host);
    window.Show();
    const HWND dialog = window.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetDpiForWindow(dialog), static_cast<UINT>(dpi));
    EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(dialog)),
              DPI_AWARENESS_PER_MONITOR_AWARE);

    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(std::abs(font.lfHeight), MulDiv(8, dpi, 72)) << "8 points at " << dpi << " DPI";

    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    RECT inside{};
    IntersectRect(&inside, &frame, &work);
    EXPECT_TRUE(EqualRect(&inside, &frame))
        << "the window (" << frame.right - frame.left << "x" << frame.bottom - frame.top
        << ") passes the screen's work area (" << work.right - work.left << "x"
        << work.bottom - work.top << ")";

    RECT client{};
    GetClientRect(dialog, &client);
    const std::vector<Control> controls = Controls(dialog);
    const int checkBox = GetSystemMetricsForDpi(SM_CXMENUCHECK, static_cast<UINT>(dpi));
    for (const Control& control : controls) {
        RECT clipped{};
        IntersectRect(&clipped, &control.rect, &client);
        EXPECT_TRUE(EqualRect(&clipped, &control.rect))
            << Describe(control) << " leaves the window";
        for (const Control& other : controls) {
            RECT common{};
            if (&other < &control && !IsGroupBox(control) && !IsGroupBox(other) &&
                IntersectRect(&common, &control.rect, &other.rect)) {
                ADD_FAILURE() << Describe(control) << " overlaps " << Describe(other);
            }
        }
        if (control.text.empty() || IsGroupBox(control)) {
            continue;
        }
        const LONG width = control.rect.right - control.rect.left;
        const LONG height = control.rect.bottom - control.rect.top;
        if (control.className == L"Static") {
            const SIZE line = TextExtent(control, false);
            const bool wrapped = height >= 2 * line.cy;
            const SIZE room = TextExtent(control, wrapped);
            EXPECT_LE(wrapped ? room.cy : room.cx, wrapped ? height : width) << Describe(control);
        } else if (control.className == L"Button") {
            const bool box = (control.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
            EXPECT_LE(TextExtent(control, false).cx + (box ? checkBox + 4 : 8), width)
                << Describe(control);
        }
    }
    DestroyWindow(dialog);
}

}  // namespace
}  // namespace revertly::app
