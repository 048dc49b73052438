// What the user chooses the history keeps, and any kept state one choice away, with the real
// revertly.exe: the pause, programs left out, and the "Recent states" list.
#include <gtest/gtest.h>

#include <fstream>

#include "e2e/revertly_test.h"

namespace revertly::driver {
namespace {

TEST_F(RevertlyTest, ACopyMadeWhilePausedIsNotRecorded) {
    Start();
    Copy(L"one");
    Copy(L"two");
    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::PauseRecording));
    Copy(L"secret");
    EXPECT_TRUE(HotkeyGives('Z', L"one")) << "the copy made while paused was recorded";
}

// Three lines down the list is three states back; the states after it stay for Win+X.
TEST_F(RevertlyTest, AStateChosenFromTheListGoesOnTheClipboardAndRedoGoesOnFromIt) {
    Start();
    for (const wchar_t* text : {L"one", L"two", L"three", L"four", L"five"}) {
        Copy(text);
    }
    ASSERT_TRUE(program.ChooseRecentState(4));
    EXPECT_TRUE(ClipboardBecomes(L"two"));
    EXPECT_TRUE(HotkeyGives('X', L"three"));
    EXPECT_TRUE(HotkeyGives('X', L"four"));
}

// The copier is another program: named in IgnoredPrograms (in another case), its copies are
// neither recorded nor covered, even as a burst, which any other copy would have put back.
TEST_F(RevertlyTest, CopiesOfAProgramLeftOutAreNeitherRecordedNorCovered) {
    {
        std::ofstream(program.SettingsFile(), std::ios::binary)
            << R"({"IgnoredPrograms":["COPIER.EXE"]})";
    }
    Start();
    Copy(L"one");
    Copy(L"two");
    wchar_t self[MAX_PATH] = {};
    const std::filesystem::path folder =
        std::filesystem::path(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)))
            .parent_path();
    testing::ChildProcess copier;
    ASSERT_TRUE(copier.Start(folder / COPIER_EXE, L"secret 3"));
    ASSERT_TRUE(ClipboardBecomes(L"secret"));
    PumpFor(kQuiet);
    EXPECT_TRUE(ClipboardBecomes(L"secret")) << "the burst was covered";
    EXPECT_TRUE(HotkeyGives('Z', L"one")) << "the copy was recorded";
    copier.Terminate();
}

}  // namespace
}  // namespace revertly::driver
