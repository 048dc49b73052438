// The real revertly.exe killed outright (SIGKILL to the Unix process that Wine runs it in):
// nothing of its shutdown runs, and the next start must still take the single-instance block
// over, find its hotkeys free and work. A killed listener breaks nobody's notices, but
// whatever else a killed program leaves behind in a prefix (and the viewer chain, should the
// program ever fall back to it) stays out of the one the other tests share: this test runs
// in a Wine prefix of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "e2e/scenario.h"
#include "keep/kept_files_win32.h"

namespace revertly::driver {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::uint32_t BlockValue(HWND window) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
}

std::wstring FromUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    wide.data(), static_cast<int>(wide.size())));
    return wide;
}

// The Unix processes that run the program. Wine gives each of its processes the Windows
// path of the program it runs as its first Unix argument, which /proc/<pid>/cmdline shows.
// Processes come and go while the list is read: one that has gone reads as empty.
std::vector<int> UnixProcessesRunning(const fs::path& executable) {
    const std::wstring wanted = executable.wstring();
    std::vector<int> found;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return found;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name.find_first_not_of(L"0123456789") != std::wstring::npos) {
            continue;
        }
        const std::string arguments =
            ReadFileBytes(L"Z:\\proc\\" + name + L"\\cmdline").value_or("");
        const std::wstring first = FromUtf8(arguments.substr(0, arguments.find('\0')));
        if (CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), wanted.c_str(),
                                 static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL) {
            found.push_back(std::stoi(name));
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

// kill -9 of a Unix process, through the Unix shell: Wine starts a Unix program like a
// Windows one (and hands back no handles for it).
bool KillUnixProcess(int unixProcessId) {
    testing::ChildProcess shell;
    return shell.Start(L"Z:\\bin\\sh", L"-c \"kill -9 " + std::to_wstring(unixProcessId) + L"\"");
}

// The program is found among all Unix processes by its path, and every Wine prefix has the
// same folders: the name of its folder must be unique among all runs of this test at once.
std::wstring UniqueFolderName() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return L"killed copy " + std::to_wstring(ticks);
}

class KilledCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ClearClipboard());
        ASSERT_TRUE(RemoveStartupLink());
        ASSERT_TRUE(killed.Install(ProgramUnderTest())) << ProgramUnderTest();
    }

    void TearDown() override {
        if (next.Running() && !next.Exit()) {
            ADD_FAILURE() << "the new copy did not exit; terminated";
            next.Terminate();
        }
        ClearClipboard();
        RemoveStartupLink();
    }

    ScratchFolder folder{UniqueFolderName()};
    // Two starts of one executable: the copy that is killed and the one started after it.
    Revertly killed{folder.Path()};
    Revertly next{folder.Path()};
};

TEST_F(KilledCopyTest, TheNextStartTakesTheBlockOverAndWorks) {
    ASSERT_TRUE(killed.Start());
    ASSERT_TRUE(killed.WaitForStartUp()) << "no main window, or start-up did not end";
    ASSERT_TRUE(SetClipboardText(L"one"));
    PumpFor(kBetweenCopies);
    ASSERT_EQ(ReadInstanceBlock(), BlockValue(killed.Window()));

    const std::vector<int> unixProcesses = UnixProcessesRunning(killed.Executable());
    ASSERT_EQ(unixProcesses.size(), 1u) << "no single Unix process runs " << killed.Executable();
    ASSERT_TRUE(KillUnixProcess(unixProcesses.front()));
    ASSERT_TRUE(killed.WaitForExit().has_value()) << "still running after kill -9";
    EXPECT_FALSE(ReadInstanceBlock().has_value()) << "the block outlived the killed copy";

    ASSERT_TRUE(next.Start());
    ASSERT_TRUE(next.WaitForStartUp()) << "no main window, or start-up did not end";
    // A message box here would say that the killed copy's hotkeys were still taken.
    HWND box = FindProcessWindow(next.ProcessId(), L"#32770", nullptr, false);
    EXPECT_EQ(box, nullptr) << "a message box: " << MessageBoxText(box);
    EXPECT_NE(next.Window(), killed.Window());
    EXPECT_EQ(ReadInstanceBlock(), BlockValue(next.Window()));

    // The clipboard that the killed copy left behind is the new copy's first state.
    ASSERT_TRUE(SetClipboardText(L"two"));
    PumpFor(kBetweenCopies);
    ASSERT_TRUE(PressWinKey('Z'));
    EXPECT_TRUE(ClipboardBecomes(L"one"));
    ASSERT_TRUE(next.ChooseTrayItem(TrayItem::Redo));
    EXPECT_TRUE(ClipboardBecomes(L"two"));
}

// Killed while it keeps a burst of copies on disk: the next start has the last history that
// was written whole, every state of it in order (a count of 10 keeps copies 3 to 12).
TEST_F(KilledCopyTest, AKillDuringABurstOfCopiesLeavesTheLastWholeHistory) {
    const fs::path kept(std::u16string(keep::DefaultKeptFolder()));
    fs::remove_all(kept);
    std::ofstream(killed.SettingsFile(), std::ios::binary)
        << R"({"Autorun":false,"KeepHistory":true})";
    ASSERT_TRUE(killed.Start());
    ASSERT_TRUE(killed.WaitForStartUp());
    for (int copy = 1; copy <= 12; ++copy) {
        ASSERT_TRUE(SetClipboardText(L"copy " + std::to_wstring(copy)));
        PumpFor(copy < 12 ? kBetweenCopies : 120ms);
    }
    const std::vector<int> unixProcesses = UnixProcessesRunning(killed.Executable());
    ASSERT_EQ(unixProcesses.size(), 1u);
    ASSERT_TRUE(KillUnixProcess(unixProcesses.front()));
    ASSERT_TRUE(killed.WaitForExit().has_value());

    ASSERT_TRUE(next.Start());
    ASSERT_TRUE(next.WaitForStartUp());
    // Until the kept history has joined, Win+Z has nothing to go to.
    EXPECT_TRUE(WaitUntil([] { return PressWinKey('Z') && ClipboardBecomes(L"copy 11", kQuiet); }));
    for (int copy = 10; copy >= 3; --copy) {
        EXPECT_TRUE(HotkeyGives('Z', L"copy " + std::to_wstring(copy)));
    }
    EXPECT_TRUE(HotkeyDoesNothing('Z'));
    ASSERT_TRUE(next.Exit());
    fs::remove_all(kept);
}

}  // namespace
}  // namespace revertly::driver
