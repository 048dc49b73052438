// The fixture of the end-to-end tests of the running program.
#pragma once

#include <gtest/gtest.h>

#include <source_location>
#include <string>
#include <string_view>

#include "e2e/scenario.h"

namespace revertly::driver {

// Before a test: an empty clipboard, no Startup shortcut, and the program copied afresh.
inline void PrepareFreshCopy(Revertly& program) {
    ASSERT_TRUE(ClearClipboard());
    ASSERT_TRUE(RemoveStartupLink());
    ASSERT_TRUE(program.Install(ProgramUnderTest())) << ProgramUnderTest();
}

// After it: the program ended through its own Exit where possible (a killed program would
// leave the clipboard-viewer chain without telling the viewers after it), the clipboard
// emptied and the Startup shortcut removed.
inline void EndAndCleanUp(Revertly& program) {
    if (program.Running() && !program.Exit()) {
        ADD_FAILURE() << "the program did not exit; terminated";
        program.Terminate();
    }
    ClearClipboard();
    RemoveStartupLink();
}

// Each test gets a fresh copy of the program in a new folder, an empty clipboard and no
// Startup shortcut, and leaves the same behind with no process running.
class RevertlyTest : public ::testing::Test {
  protected:
    void SetUp() override { PrepareFreshCopy(program); }
    void TearDown() override { EndAndCleanUp(program); }

    void Start() {
        ASSERT_TRUE(program.Start()) << program.Executable();
        ASSERT_TRUE(program.WaitForStartUp()) << "no main window, or start-up did not end";
    }

    // Copies the text as another program would and lets the copy be recorded.
    void Copy(const std::wstring& text) {
        ASSERT_TRUE(SetClipboardText(text));
        PumpFor(kBetweenCopies);
    }

    // Waits for the program's next message box, checks its text and answers it.
    void Answer(std::wstring_view expectedText, int button,
                std::source_location where = std::source_location::current()) {
        HWND box = program.WaitForMessageBox();
        ASSERT_NE(box, nullptr) << "no message box at line " << where.line()
                                << "; the program's window answers: "
                                << program.Send(WM_NULL, 0, 0).has_value()
                                << "; its windows: " << DescribeProcessWindows(program.ProcessId());
        EXPECT_EQ(MessageBoxText(box), expectedText);
        ASSERT_TRUE(AnswerMessageBox(box, button));
    }

    ScratchFolder folder{L"Ревертли проверка"};
    Revertly program{folder.Path()};
};

}  // namespace revertly::driver
