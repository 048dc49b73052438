// The real revertly.exe started beside a settings file that it cannot use as it is: one that
// is not JSON at all, megabytes of junk, a read-only file, and one that another program
// holds open without sharing. The program starts all the same without a word, works from
// its hotkeys and its menu, and never changes a file that it may not write.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "e2e/revertly_test.h"
#include "settings/settings.h"

namespace revertly::driver {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// An opening brace and then random bytes, none of them zero: the reader builds an object
// out of the junk (a zero would end the text read, and the whole 5 MiB are meant to reach
// the reader).
std::string Junk(std::size_t size) {
    std::mt19937 random(20240601);
    std::string bytes(size, '{');
    for (std::size_t i = 1; i < size; ++i) {
        bytes[i] = static_cast<char>(1 + random() % 255);
    }
    return bytes;
}

// The settings as the program's own reader finds them in the file: Autorun and StatesCount,
// or a note of what is missing or of another kind.
std::string SavedSettings(const fs::path& file) {
    const std::wstring wide = file.wstring();
    settings::SettingsFile saved(std::u16string(wide.begin(), wide.end()));
    saved.LoadSettings();
    const json::JsonValue* autorun = saved.Get(settings::kAutorunKey);
    const json::JsonValue* count = saved.Get(settings::kStatesCountKey);
    std::string text = "Autorun ";
    text += autorun == nullptr                      ? "missing"
            : !autorun->Is(json::JsonKind::Boolean) ? "of another kind"
            : autorun->AsBoolean()                  ? "true"
                                                    : "false";
    text += ", StatesCount ";
    text += count == nullptr                    ? "missing"
            : !count->Is(json::JsonKind::Int32) ? "of another kind"
                                                : std::to_string(count->AsInt32());
    return text;
}

// What keeps the program from writing the file.
enum class Protection { None, ReadOnly, Locked };

struct BadFile {
    const char* name;
    std::string content;
    Protection protection;
    // The file at the end, after "Remember the 5 states" and a switch of Autorun, with any
    // protection taken away before the switch; empty where only the two settings are
    // checked (junk read as an object keeps its junk keys).
    std::string finalContent;
    // The two settings as the file holds them at the end.
    std::string finalSettings;
};

void PrintTo(const BadFile& bad, std::ostream* out) {
    *out << bad.name;
}

// Each test starts a fresh copy of the program in a new folder, with an empty clipboard and
// no Startup shortcut, and leaves the same behind with no process running.
class BadSettingsFileTest : public ::testing::TestWithParam<BadFile> {
  protected:
    void SetUp() override { PrepareFreshCopy(program); }

    void TearDown() override {
        Unprotect();
        EndAndCleanUp(program);
    }

    void Protect(Protection protection) {
        const fs::path file = program.SettingsFile();
        if (protection == Protection::ReadOnly) {
            ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
        } else if (protection == Protection::Locked) {
            lock_ = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(lock_, INVALID_HANDLE_VALUE);
        }
    }

    // Gives the file back to everyone; answers whether it was still read-only.
    bool Unprotect() {
        if (lock_ != INVALID_HANDLE_VALUE) {
            CloseHandle(lock_);
            lock_ = INVALID_HANDLE_VALUE;
        }
        const fs::path file = program.SettingsFile();
        const DWORD attributes = GetFileAttributesW(file.c_str());
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    }

    // Picks a menu item and waits until its command has run: the program answers a sent
    // message only from its message loop, once the command is over.
    void Choose(TrayItem item) {
        ASSERT_TRUE(program.ChooseTrayItem(item));
        ASSERT_TRUE(program.Send(WM_NULL, 0, 0).has_value()) << "the program stopped answering";
    }

    // No message box, and no other window either: the program lives in the tray.
    void ExpectNothingShown() {
        HWND box = FindProcessWindow(program.ProcessId(), L"#32770", nullptr, false);
        EXPECT_EQ(box, nullptr) << "a message box: " << MessageBoxText(box);
        EXPECT_EQ(FindProcessWindow(program.ProcessId(), nullptr, nullptr, true), nullptr)
            << "a visible window";
    }

    ScratchFolder folder{L"bad settings"};
    Revertly program{folder.Path()};

  private:
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};

TEST_P(BadSettingsFileTest, StartsSilentlyWorksAndNeverWritesAFileItMayNotWrite) {
    const BadFile& bad = GetParam();
    { std::ofstream(program.SettingsFile(), std::ios::binary) << bad.content; }
    Protect(bad.protection);

    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitForStartUp()) << "no main window, or start-up did not end";
    ExpectNothingShown();
    if (bad.protection == Protection::None) {
        // Rewritten at start-up, with the defaults where the file had nothing usable.
        EXPECT_NE(ReadFileBytes(program.SettingsFile()), bad.content) << "not rewritten";
        EXPECT_EQ(SavedSettings(program.SettingsFile()), "Autorun true, StatesCount 10");
    }

    ASSERT_TRUE(SetClipboardText(L"one"));
    PumpFor(kBetweenCopies);
    ASSERT_TRUE(SetClipboardText(L"two"));
    PumpFor(kBetweenCopies);
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
    EXPECT_TRUE(HotkeyGives('X', L"two"));

    Choose(TrayItem::Remember5);
    const bool wasReadOnly = Unprotect();
    EXPECT_EQ(wasReadOnly, bad.protection == Protection::ReadOnly);
    if (bad.protection != Protection::None) {
        EXPECT_EQ(ReadFileBytes(program.SettingsFile()), bad.content) << "the file was written";
    }

    // Writable again: the next change writes everything the program holds, the count chosen
    // while the file was out of reach too.
    Choose(TrayItem::Autorun);
    if (!bad.finalContent.empty()) {
        EXPECT_EQ(ReadFileBytes(program.SettingsFile()), bad.finalContent);
    }
    EXPECT_EQ(SavedSettings(program.SettingsFile()), bad.finalSettings);
    EXPECT_TRUE(program.Running());
    ExpectNothingShown();
}

// The same valid file, read-only and locked: the read-only one is read (its Autorun false
// is switched to true, and its key order stays), the locked one cannot be and the defaults
// apply (Autorun true is switched to false).
INSTANTIATE_TEST_SUITE_P(
    Files, BadSettingsFileTest,
    ::testing::Values(
        BadFile{"NotJson", "Autorun = yes\r\nStatesCount = 20\r\n", Protection::None,
                R"({"Autorun":false,"StatesCount":5})", "Autorun false, StatesCount 5"},
        BadFile{"FiveMiBOfJunk", Junk(5 << 20), Protection::None, "",
                "Autorun false, StatesCount 5"},
        BadFile{"ReadOnly", "{'StatesCount':20,'Autorun':false}", Protection::ReadOnly,
                R"({"StatesCount":5,"Autorun":true})", "Autorun true, StatesCount 5"},
        BadFile{"Locked", "{'StatesCount':20,'Autorun':false}", Protection::Locked,
                R"({"Autorun":false,"StatesCount":5})", "Autorun false, StatesCount 5"}),
    [](const ::testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace revertly::driver
