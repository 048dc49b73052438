// The history kept on disk, through the real revertly.exe and its real folder
// (%LOCALAPPDATA%\Revertly in the Wine prefix): it comes back after a restart, the choice and
// "Clear history" leave no file behind, and a folder another Revertly holds is left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/revertly_test.h"
#include "keep/kept_files_win32.h"

namespace revertly::driver {
namespace {

namespace fs = std::filesystem;

class KeptHistoryTest : public RevertlyTest {
  protected:
    void SetUp() override {
        fs::remove_all(kept_);
        RevertlyTest::SetUp();
    }
    void TearDown() override {
        EndAndCleanUp(again);
        RevertlyTest::TearDown();
        std::error_code ignored;
        fs::remove_all(kept_, ignored);
    }

    void WriteSettings(const char* json) {
        std::ofstream(program.SettingsFile(), std::ios::binary) << json;
    }
    bool SettingsHold(const std::string& text) {
        return WaitUntil([&] {
            return ReadFileBytes(program.SettingsFile()).value_or("").find(text) !=
                   std::string::npos;
        });
    }
    // The names of the files in the kept folder, sorted; none when there is no folder.
    std::vector<std::string> KeptFiles() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(kept_, error)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::size_t StateFiles() const {
        const std::vector<std::string> names = KeptFiles();
        return std::count_if(names.begin(), names.end(),
                             [](const std::string& name) { return name.starts_with("state-"); });
    }

    const fs::path kept_{std::u16string(keep::DefaultKeptFolder())};
    Revertly again{folder.Path()};
};

// Written while it runs, sealed (no copied byte in the clear), and after a sign-out and a new
// start the same states in order, the position where it was, a registered format byte for
// byte.
TEST_F(KeptHistoryTest, ComesBackAfterARestartWithItsPositionByteForByte) {
    const UINT format = RegisterClipboardFormatW(L"Revertly kept bytes");
    const std::string bytes("\0\x01\xFFkept bytes\r\n\0", 15);
    WriteSettings(R"({"Autorun":false,"KeepHistory":true})");
    Start();
    ASSERT_TRUE(SetClipboardBlock(format, bytes));
    PumpFor(kBetweenCopies);
    Copy(L"two");
    Copy(L"three");
    EXPECT_TRUE(HotkeyGives('Z', L"two"));
    EXPECT_TRUE(WaitUntil([&] { return StateFiles() == 3; }))
        << ::testing::PrintToString(KeptFiles());
    for (const std::string& name : KeptFiles()) {
        const std::string contents = ReadFileBytes(kept_ / name).value_or("");
        EXPECT_EQ(contents.find("kept bytes"), std::string::npos) << name;
        EXPECT_EQ(contents.find(std::string("t\0w\0o\0", 6)), std::string::npos) << name;
    }
    // The session ends (a sign-out): the program writes what it has before it goes.
    ASSERT_TRUE(program.EndSession());
    ASSERT_TRUE(program.WaitForExit().has_value());

    ASSERT_TRUE(again.Start());
    ASSERT_TRUE(again.WaitForStartUp());
    // The kept history joins while start-up goes on: until then Win+X has nothing to go to.
    EXPECT_TRUE(WaitUntil([] { return PressWinKey('X') && ClipboardBecomes(L"three", kQuiet); }));
    EXPECT_TRUE(HotkeyGives('Z', L"two"));
    ASSERT_TRUE(PressWinKey('Z'));
    EXPECT_TRUE(WaitUntil([&] { return ClipboardBlock(format) == bytes; }));
    EXPECT_TRUE(HotkeyDoesNothing('Z'));
}

TEST_F(KeptHistoryTest, TheChoiceClearAndTurningItOffLeaveNoFile) {
    WriteSettings(R"({"Autorun":false})");
    Start();
    Copy(L"one");
    EXPECT_TRUE(KeptFiles().empty());
    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::KeepHistory));
    EXPECT_TRUE(WaitUntil([&] { return StateFiles() == 1; }));
    EXPECT_TRUE(SettingsHold(R"("KeepHistory":true)"));

    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::ClearHistory));
    Answer(L"Clear the clipboard history?", IDYES);
    EXPECT_TRUE(WaitUntil([&] {
        return KeptFiles() == std::vector<std::string>{"key.rvk", "lock.rvk"};
    })) << ::testing::PrintToString(KeptFiles());
    Copy(L"two");
    EXPECT_TRUE(WaitUntil([&] { return StateFiles() == 1; }));

    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::KeepHistory));
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(kept_); }))
        << ::testing::PrintToString(KeptFiles());
    EXPECT_TRUE(SettingsHold(R"("KeepHistory":false)"));
}

// Another Revertly of the user (another session) holds the folder with its lock file: this
// one keeps its history in memory only and writes nothing.
TEST_F(KeptHistoryTest, AFolderHeldByAnotherRevertlyIsLeftAlone) {
    fs::create_directories(kept_);
    const UniqueKernelHandle lock(CreateFileW((kept_ / L"lock.rvk").c_str(),
                                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                              FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    WriteSettings(R"({"Autorun":false,"KeepHistory":true})");
    Start();
    Copy(L"one");
    Copy(L"two");
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
    PumpFor(kQuiet);
    EXPECT_EQ(KeptFiles(), std::vector<std::string>{"lock.rvk"});
}

}  // namespace
}  // namespace revertly::driver
