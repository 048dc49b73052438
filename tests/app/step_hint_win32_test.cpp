// The step hint's window under Wine: it never takes the foreground, lies inside the work area,
// stays one window when shown again, and is gone soon after.
#include "app/hint/step_hint_win32.h"

#include <gtest/gtest.h>

#include "support/wait_until.h"

namespace revertly::app {
namespace {

using namespace std::chrono_literals;

int CountHintWindows() {
    int count = 0;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, L"RevertlyStepHint", nullptr)) != nullptr;) {
        count += IsWindowVisible(window) ? 1 : 0;
    }
    return count;
}

TEST(StepHintWin32, ShowsWithoutTakingTheFocusInsideTheWorkAreaAndGoes) {
    // The program the user works in, in the foreground.
    HWND editor = CreateWindowExW(0, L"EDIT", L"editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                  400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(editor, nullptr);
    SetForegroundWindow(editor);
    ASSERT_TRUE(testing::WaitUntil([&] { return GetForegroundWindow() == editor; }));

    Win32StepHint hint(GetModuleHandleW(nullptr));
    hint.ShowStepHint(u"State 2 of 3\nfirst line");
    ASSERT_NE(hint.Window(), nullptr);
    EXPECT_TRUE(IsWindowVisible(hint.Window()));
    EXPECT_EQ(GetForegroundWindow(), editor) << "the hint took the foreground";
    EXPECT_NE(GetWindowLongPtrW(hint.Window(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0)
        << "on the taskbar and in Alt+Tab";
    wchar_t text[64] = {};
    GetWindowTextW(hint.Window(), text, 64);
    EXPECT_STREQ(text, L"State 2 of 3\nfirst line");

    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT placed{};
    GetWindowRect(hint.Window(), &placed);
    EXPECT_TRUE(placed.left >= work.left && placed.right <= work.right && placed.top >= work.top &&
                placed.bottom <= work.bottom && placed.top < placed.bottom)
        << placed.left << "," << placed.top << " " << placed.right << "," << placed.bottom;

    testing::PumpFor(500ms);
    hint.ShowStepHint(u"State 1 of 3 (the oldest)\nzero");
    EXPECT_EQ(CountHintWindows(), 1);
    EXPECT_TRUE(testing::WaitUntil([&] { return !IsWindowVisible(hint.Window()); }, 2500ms))
        << "still shown 2.5 s after the last show";
    DestroyWindow(editor);
}

}  // namespace
}  // namespace revertly::app
