// The real revertly.exe, copied into a fresh folder with a Cyrillic name and used from outside
// as a person would: through the clipboard, the global hotkeys, the tray menu and the message
// boxes, checking only what a person or another program can see.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

#include "e2e/keys.h"
#include "e2e/revertly_test.h"
#include "support/scratch_dir.h"

namespace revertly::driver {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kFirstStartSettings[] = R"({"Autorun":true,"StatesCount":10})";

TEST_F(RevertlyTest, FirstStartWritesSettingsShortcutAndInstanceBlockAndKeepsOneState) {
    ASSERT_TRUE(SetClipboardText(L"первое"));
    Start();

    EXPECT_EQ(ReadFileBytes(program.SettingsFile()), kFirstStartSettings);
    const std::optional<Shortcut> link = ReadShortcut(StartupLinkPath());
    ASSERT_TRUE(link.has_value()) << StartupLinkPath();
    EXPECT_EQ(link->target, (folder.Path() / L"revertly.exe").wstring());
    EXPECT_EQ(link->arguments, L"{'Minimized':true}");
    EXPECT_EQ(link->workingFolder, folder.Path().wstring());
    EXPECT_EQ(ReadInstanceBlock(),
              static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(program.Window())));
    EXPECT_FALSE(IsWindowVisible(program.Window()));

    // The clipboard found at start-up is the one state: there is nothing to go back to.
    EXPECT_TRUE(HotkeyDoesNothing('Z'));
    EXPECT_TRUE(HotkeyDoesNothing('X'));
    EXPECT_TRUE(ClipboardBecomes(L"первое"));
}

TEST_F(RevertlyTest, UndoAndRedoWalkTheCopiesAndANewCopyDropsTheRedoBranch) {
    Start();
    Copy(L"one");
    Copy(L"two");
    Copy(L"три");

    EXPECT_TRUE(HotkeyGives('Z', L"two"));
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
    EXPECT_TRUE(HotkeyDoesNothing('Z'));
    // The program's own writes are not copies: recorded, they would have dropped the states
    // after "one".
    PumpFor(kQuiet);
    EXPECT_TRUE(HotkeyGives('X', L"two"));

    Copy(L"four");
    EXPECT_TRUE(HotkeyDoesNothing('X'));
    EXPECT_TRUE(HotkeyGives('Z', L"two"));
    EXPECT_TRUE(HotkeyGives('X', L"four"));
}

// With the step hint turned on, Win+Z shows a window that names the state it put back.
TEST_F(RevertlyTest, TheStepHintNamesTheStateThatWinZPutBack) {
    { std::ofstream(program.SettingsFile(), std::ios::binary) << R"({"StepHint":true})"; }
    Start();
    Copy(L"one");
    Copy(L"two");
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
    std::wstring text;
    EXPECT_TRUE(WaitUntil([&] {
        HWND hint = FindProcessWindow(program.ProcessId(), L"RevertlyStepHint", nullptr, true);
        wchar_t buffer[128] = {};
        text = hint != nullptr ? (GetWindowTextW(hint, buffer, 128), buffer) : L"";
        return text == L"State 1 of 2\none";
    })) << Printable(text);
}

// A picture copied as a bitmap handle and an enhanced metafile comes back whole after an
// undo: the bitmap's device-independent bytes and the metafile's records as they were, and a
// bitmap listed again (Windows renders it from the device-independent bitmap kept).
TEST_F(RevertlyTest, APictureComesBackWhole) {
    Start();
    const DWORD pixels[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00123456};
    const HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    Ellipse(recorder, 5, 5, 80, 40);
    ASSERT_TRUE(SetClipboardPicture(CreateBitmap(2, 2, 1, 32, pixels), CloseEnhMetaFile(recorder)));
    const std::vector<std::pair<UINT, std::string>> picture = ClipboardContents();
    PumpFor(kBetweenCopies);
    Copy(L"text");
    ASSERT_TRUE(PressWinKey('Z'));
    std::optional<std::wstring> text;
    ASSERT_TRUE(WaitForClipboardText([](const auto& seen) { return !seen.has_value(); }, text))
        << "no undo: the clipboard holds " << Printable(text);

    const std::vector<std::pair<UINT, std::string>> restored = ClipboardContents();
    const auto find = [](const auto& contents, UINT format) {
        return std::find_if(contents.begin(), contents.end(),
                            [format](const auto& entry) { return entry.first == format; });
    };
    for (const UINT format : {CF_BITMAP, CF_DIB, CF_ENHMETAFILE}) {
        ASSERT_NE(find(restored, format), restored.end()) << "format " << format << " is missing";
    }
    ASSERT_NE(find(picture, CF_DIB), picture.end());
    EXPECT_EQ(find(restored, CF_DIB)->second, find(picture, CF_DIB)->second);
    EXPECT_FALSE(find(picture, CF_ENHMETAFILE)->second.empty());
    EXPECT_EQ(find(restored, CF_ENHMETAFILE)->second, find(picture, CF_ENHMETAFILE)->second);
}

// Ten screenshots in a budget that holds fewer than one of them as copied: each is kept
// compact, the program's memory comes down to the budget, the newest picture (which the
// clipboard hands it in both bitmap formats) and what it takes before any copy, and every one
// comes back byte for byte.
TEST_F(RevertlyTest, TenScreenshotsAreKeptCompactWithinTheBudgetAndComeBackWhole) {
    constexpr std::size_t kBudget = 64 << 20;
    {
        std::ofstream(program.SettingsFile(), std::ios::binary)
            << R"({"StatesCount":10,"HistoryMemoryMB":64})";
    }
    Start();
    const std::optional<std::size_t> base = WorkingSetBytes(program.ProcessId());
    ASSERT_TRUE(base.has_value());
    std::vector<std::string> pictures;
    for (int picture = 0; picture < 10; ++picture) {
        pictures.push_back(ScreenPicture(picture));
        ASSERT_TRUE(SetClipboardBlock(CF_DIB, pictures.back()));
        PumpFor(kBetweenCopies);
    }
    const std::size_t bound = *base + kBudget + 2 * pictures[0].size();
    std::size_t workingSet = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            workingSet = WorkingSetBytes(program.ProcessId()).value_or(0);
            return workingSet <= bound;
        },
        2 * kPatience))
        << (workingSet >> 20) << " MiB, more than " << (bound >> 20) << " MiB";
    std::cout << "working set: " << (*base >> 20) << " MiB at start, " << (workingSet >> 20)
              << " MiB after ten pictures\n";
    for (int picture = 8; picture >= 0; --picture) {
        const DWORD before = ClipboardChanges();
        ASSERT_TRUE(PressWinKey('Z'));
        ASSERT_TRUE(WaitUntil([&] { return ClipboardChanges() != before; })) << picture;
        EXPECT_TRUE(ClipboardBlock(CF_DIB) == pictures[static_cast<std::size_t>(picture)])
            << "picture " << picture << " did not come back whole";
    }
}

// Other programs in the viewer chain cannot stop the recording: one that hangs while it has
// a notice (it joined before the program, so the program would have passed notices on to it)
// holds up neither the copies nor Win+Z, and one that joins later and passes nothing on
// (ahead of the program, it would have kept every notice from it) makes it deaf to nothing.
TEST_F(RevertlyTest, NoOtherViewerCanStopTheRecording) {
    HangingViewer hanging;
    Start();
    Copy(L"one");
    hanging.Arm();
    Copy(L"two");
    ASSERT_TRUE(WaitUntil([&] { return hanging.Hanging(); })) << "the viewer heard nothing";
    Copy(L"three");
    ASSERT_TRUE(PressWinKey('Z'));
    EXPECT_TRUE(ClipboardBecomes(L"two", 1000ms)) << "Win+Z was not answered within a second";
    EXPECT_TRUE(hanging.Hanging()) << "the hang ended too soon to tell";

    DriverWindow broken;
    broken.JoinViewerChain();
    broken.StopPassingNotificationsOn();
    Copy(L"four");
    ASSERT_GT(broken.ClipboardNotifications(), 0);
    EXPECT_TRUE(HotkeyGives('Z', L"two"));
    EXPECT_TRUE(HotkeyGives('X', L"four"));
}

TEST_F(RevertlyTest, ABurstOfChangesOrAnEmptiedClipboardGetsTheCurrentStateBack) {
    Start();
    // Three changes within the save delay are no copy by the user. Should this machine
    // stretch them past it, they are not a burst: settle and try again.
    bool burst = false;
    for (int attempt = 0; attempt < 4 && !burst; ++attempt) {
        PumpFor(kBetweenCopies);
        Copy(L"one");
        Copy(L"two");
        LARGE_INTEGER frequency, first, last;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&first);
        ASSERT_TRUE(SetClipboardText(L"burst 1"));
        ASSERT_TRUE(SetClipboardText(L"burst 2"));
        ASSERT_TRUE(SetClipboardText(L"burst 3"));
        QueryPerformanceCounter(&last);
        burst = (last.QuadPart - first.QuadPart) * 1000 < 90 * frequency.QuadPart;
    }
    ASSERT_TRUE(burst) << "the three changes never landed within 90 ms";
    EXPECT_TRUE(ClipboardBecomes(L"two"));
    EXPECT_TRUE(HotkeyDoesNothing('X'));
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
    EXPECT_TRUE(HotkeyGives('X', L"two"));

    ASSERT_TRUE(ClearClipboard());
    EXPECT_TRUE(ClipboardBecomes(L"two"));
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
}

TEST_F(RevertlyTest, StateCountAndAutorunChosenInTheMenuTakeEffectAndAreSaved) {
    Start();
    const std::array<std::wstring, 7> copies = {L"c1", L"c2", L"c3", L"c4", L"c5", L"c6", L"c7"};
    for (const std::wstring& text : copies) {
        Copy(text);
    }

    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::Remember5));
    EXPECT_TRUE(WaitUntil([&] {
        return ReadFileBytes(program.SettingsFile()) == R"({"Autorun":true,"StatesCount":5})";
    })) << ReadFileBytes(program.SettingsFile()).value_or("no file");
    // The five newest are kept: c3 is the oldest one left.
    for (int back = 5; back >= 2; --back) {
        EXPECT_TRUE(HotkeyGives('Z', copies[back]));
    }
    EXPECT_TRUE(HotkeyDoesNothing('Z'));

    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::Autorun));
    EXPECT_TRUE(WaitUntil([] { return !fs::exists(StartupLinkPath()); }));
    EXPECT_TRUE(WaitUntil([&] {
        return ReadFileBytes(program.SettingsFile()) == R"({"Autorun":false,"StatesCount":5})";
    })) << ReadFileBytes(program.SettingsFile()).value_or("no file");

    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::Autorun));
    EXPECT_TRUE(WaitUntil([] { return ReadShortcut(StartupLinkPath()).has_value(); }));
    EXPECT_TRUE(WaitUntil([&] {
        return ReadFileBytes(program.SettingsFile()) == R"({"Autorun":true,"StatesCount":5})";
    })) << ReadFileBytes(program.SettingsFile()).value_or("no file");
}

// Opens the file for reading with the given sharing; nothing when it cannot be opened.
UniqueKernelHandle OpenToRead(const fs::path& path, DWORD sharing) {
    const HANDLE opened =
        CreateFileW(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    return UniqueKernelHandle(opened != INVALID_HANDLE_VALUE ? opened : nullptr);
}

// Read as a considerate reader does, sharing delete: watching the file never blocks its
// replacement.
std::string ReadSharingDelete(const fs::path& path) {
    const UniqueKernelHandle file =
        OpenToRead(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    std::string bytes(4096, '\0');
    DWORD count = 0;
    if (!file || !ReadFile(file.get(), bytes.data(), 4096, &count, nullptr)) {
        return "no file";
    }
    bytes.resize(count);
    return bytes;
}

// Virus scanners, the indexer and sync clients open a file for a moment after every change,
// without delete sharing: the program cannot replace the settings file meanwhile. A choice
// made then waits and reaches the file once the reader lets go, and the next start uses it.
TEST_F(RevertlyTest, AChoiceMadeWhileAnotherProgramReadsTheSettingsIsSavedOnceItLetsGo) {
    Start();
    {
        const UniqueKernelHandle reader = OpenToRead(program.SettingsFile(), FILE_SHARE_READ);
        ASSERT_TRUE(reader);
        ASSERT_TRUE(program.ChooseTrayItem(TrayItem::Remember5));
        PumpFor(2s);
        EXPECT_EQ(ReadSharingDelete(program.SettingsFile()), kFirstStartSettings);
    }
    // The tries come at most 5 s apart.
    constexpr char kChosen[] = R"({"Autorun":true,"StatesCount":5})";
    EXPECT_TRUE(WaitUntil([&] { return ReadSharingDelete(program.SettingsFile()) == kChosen; },
                          2 * kPatience))
        << ReadSharingDelete(program.SettingsFile());
    EXPECT_EQ(revertly::testing::ListFolder(folder.Path()), "revertly.exe revertly.txt")
        << "a temporary file stayed";
    ASSERT_TRUE(program.Exit());

    Revertly next{folder.Path()};
    ASSERT_TRUE(next.Start());
    ASSERT_TRUE(next.WaitForStartUp());
    const std::array<std::wstring, 6> copies = {L"c1", L"c2", L"c3", L"c4", L"c5", L"c6"};
    for (const std::wstring& text : copies) {
        Copy(text);
    }
    for (int back = 4; back >= 1; --back) {
        EXPECT_TRUE(HotkeyGives('Z', copies[back]));
    }
    EXPECT_TRUE(HotkeyDoesNothing('Z')) << "the history keeps 5 states";
    EXPECT_TRUE(next.Exit());
}

TEST_F(RevertlyTest, ClearingAsksFirstAndSaysWhenThereIsNothingToClear) {
    Start();  // with an empty clipboard: no state yet
    ASSERT_TRUE(PressWinKey('C'));
    Answer(L"There are no elements for cleaning.", IDOK);

    Copy(L"one");
    Copy(L"two");
    ASSERT_TRUE(PressWinKey('C'));
    Answer(L"Clear the clipboard history?", IDNO);
    EXPECT_TRUE(HotkeyGives('Z', L"one"));

    const DWORD before = ClipboardChanges();
    ASSERT_TRUE(program.ChooseTrayItem(TrayItem::ClearHistory));
    Answer(L"Clear the clipboard history?", IDYES);
    EXPECT_TRUE(HotkeyDoesNothing('X'));
    EXPECT_TRUE(HotkeyDoesNothing('Z'));
    EXPECT_EQ(ClipboardChanges(), before) << "clearing the history touched the clipboard";
    EXPECT_TRUE(ClipboardBecomes(L"one"));

    ASSERT_TRUE(PressWinKey('C'));
    Answer(L"There are no elements for cleaning.", IDOK);
}

TEST_F(RevertlyTest, ASecondCopyEndsAtOnceAndLeavesTheFirstAlone) {
    Start();
    Copy(L"one");
    Copy(L"two");

    ScratchFolder otherFolder{L"second copy"};
    Revertly second{otherFolder.Path()};
    ASSERT_TRUE(second.Install(ProgramUnderTest()));
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.WaitForExit(), 0u);
    EXPECT_FALSE(fs::exists(second.SettingsFile())) << "the second copy wrote its settings";
    EXPECT_EQ(CountWindows(L"RevertlyMainWindow", L"Revertly"), 1);

    EXPECT_EQ(ReadInstanceBlock(),
              static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(program.Window())));
    const std::optional<Shortcut> link = ReadShortcut(StartupLinkPath());
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(link->target, (folder.Path() / L"revertly.exe").wstring());
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
    EXPECT_TRUE(HotkeyGives('X', L"two"));
}

// Explorer registers the Win+letter keys at log-on, before any program of the Startup folder
// runs; here a window of the test's own holds them first. The program claims them through its
// keyboard hook: no box, the keys work, and the holder hears none of them.
TEST_F(RevertlyTest, HotkeysHeldByAnotherProgramAreClaimedWithoutABoxAndGivenBackAtExit) {
    DriverWindow holder;
    ASSERT_TRUE(holder.HoldWinHotkey(1, 'Z'));
    ASSERT_TRUE(holder.HoldWinHotkey(2, 'X'));
    ASSERT_TRUE(holder.HoldWinHotkey(3, 'C'));
    KeyRecorder keys;
    ASSERT_TRUE(keys.Installed());

    Start();
    EXPECT_EQ(FindProcessWindow(program.ProcessId(), L"#32770", nullptr, false), nullptr)
        << "a message box at start-up";
    Copy(L"one");
    Copy(L"two");
    Copy(L"three");
    keys.Take(0);

    EXPECT_TRUE(HotkeyGives('Z', L"two"));
    // The letter is swallowed, and the neutral key keeps the Start menu shut.
    EXPECT_EQ(keys.Take(4), "5B down, E8 down, E8 up, 5B up");
    EXPECT_TRUE(HotkeyGives('X', L"three"));
    ASSERT_TRUE(PressWinKey('C'));
    Answer(L"Clear the clipboard history?", IDNO);
    keys.Take(8);

    // Other combinations pass untouched.
    ASSERT_TRUE(PressChord({VK_CONTROL, VK_LWIN}, 'Z'));
    EXPECT_EQ(keys.Take(6), "11 down, 5B down, 5A down, 5A up, 5B up, 11 up");
    ASSERT_TRUE(PressKeys({'Z'}));
    EXPECT_EQ(keys.Take(2), "5A down, 5A up");

    // A second copy ends at start-up, leaving one hook: Win+Z undoes once.
    ScratchFolder otherFolder{L"second copy"};
    Revertly second{otherFolder.Path()};
    ASSERT_TRUE(second.Install(ProgramUnderTest()));
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.WaitForExit(), 0u);
    EXPECT_TRUE(HotkeyGives('Z', L"two"));
    PumpFor(kQuiet);
    EXPECT_TRUE(ClipboardBecomes(L"two")) << "undone twice";
    EXPECT_EQ(holder.HotkeysReceived(), 0);

    ASSERT_TRUE(program.Exit());
    ASSERT_TRUE(PressWinKey('Z'));
    EXPECT_TRUE(WaitUntil([&] { return holder.HotkeysReceived() == 1; }))
        << "Win+Z did not reach its holder after the program ended";
}

// Keys go on reaching other programs while the program's window waits on a clipboard owner
// that does not answer: the hook never runs on the window's thread.
TEST_F(RevertlyTest, KeysPassWhileTheProgramWaitsOnAClipboardOwner) {
    DriverWindow holder;
    ASSERT_TRUE(holder.HoldWinHotkey(1, 'Z'));
    KeyRecorder keys;
    Start();

    StalledClipboardOwner owner(L"late");
    ASSERT_TRUE(owner.Owns());
    // The program asks the owner for the text after its 100 ms delay and waits for it.
    ASSERT_TRUE(WaitUntil([&] { return owner.Asked(); })) << "the program never asked";
    keys.Take(0);
    ASSERT_TRUE(PressKeys({'A', 'B', 'C'}));
    EXPECT_EQ(keys.Take(6), "41 down, 41 up, 42 down, 42 up, 43 down, 43 up");

    owner.Answer();
    PumpFor(kBetweenCopies);
    Copy(L"after");
    EXPECT_TRUE(HotkeyGives('Z', L"late")) << "the program did not record the late text";
}

// An owner that renders each of its formats only when asked, slowly, as office programs do for
// a copied range: the program asks for the text first and gives the clipboard back before it
// has asked for every format; the text comes back after an undo and a redo.
TEST_F(RevertlyTest, ASlowOwnerGetsItsClipboardBackAndItsTextIsKept) {
    Start();
    Copy(L"before");
    constexpr int kOwnFormats = 6;
    SlowClipboardOwner owner(L"slow text", kOwnFormats, 400, program.Window());
    ASSERT_TRUE(owner.Owns());
    ASSERT_TRUE(WaitUntil([&] { return !owner.Asked().empty() && !GetOpenClipboardWindow(); },
                          2 * kPatience))
        << "the program did not read the copy, or still holds the clipboard";
    EXPECT_TRUE(HotkeyGives('Z', L"before"));
    EXPECT_TRUE(HotkeyGives('X', L"slow text"));
    const std::vector<UINT> asked = owner.Asked();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), static_cast<UINT>(CF_UNICODETEXT)) << "the text was not asked first";
    EXPECT_LT(asked.size(), static_cast<std::size_t>(kOwnFormats + 1))
        << "the program asked for every format, however long the owner took";
}

// Keys chosen in the settings file: a chosen key works, a duplicate and a malformed value fall
// back to their defaults, and the file keeps what the user wrote.
TEST_F(RevertlyTest, ChosenHotkeysWorkAndStayAsWritten) {
    const std::string chosen =
        R"({"UndoHotkey":"ctrl+alt+z","RedoHotkey":"Alt+Ctrl+Z","ClearHotkey":"Ctrl+Alt+"})";
    { std::ofstream(program.SettingsFile(), std::ios::binary) << chosen; }
    Start();
    EXPECT_EQ(ReadFileBytes(program.SettingsFile()),
              chosen.substr(0, chosen.size() - 1) + R"(,"Autorun":true,"StatesCount":10})");
    Copy(L"one");
    Copy(L"two");

    EXPECT_TRUE(HotkeyDoesNothing('Z'));
    ASSERT_TRUE(PressChord({VK_CONTROL, VK_MENU}, 'Z'));
    EXPECT_TRUE(ClipboardBecomes(L"one"));
    EXPECT_TRUE(HotkeyGives('X', L"two"));
    ASSERT_TRUE(PressWinKey('C'));
    Answer(L"Clear the clipboard history?", IDNO);
}

// The icon is found in the notification area, which Wine shows in a window of its own.
// Wine does not hand another process the icon's id (the main window's small icon), so the
// driver cannot take the icon away to see it come back; it checks that a recreated
// notification area leaves exactly one working icon.
TEST_F(RevertlyTest, TheCloseCommandOnlyHidesAndTheIconOutlivesANewTaskbar) {
    Start();
    EXPECT_EQ(program.Send(WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    EXPECT_FALSE(program.WaitForExit(kQuiet).has_value()) << "the Close command ended it";
    EXPECT_TRUE(IsWindow(program.Window()));
    EXPECT_FALSE(IsWindowVisible(program.Window()));

    for (const bool taskbarRecreated : {false, true}) {
        SCOPED_TRACE(taskbarRecreated ? "after TaskbarCreated" : "before TaskbarCreated");
        if (taskbarRecreated) {
            BroadcastTaskbarCreated();
            ASSERT_TRUE(program.Send(WM_NULL, 0, 0).has_value());  // the broadcast is handled
        }
        const std::vector<HWND> icons = TrayIconWindows();
        ASSERT_EQ(icons.size(), 1u);
        ASSERT_TRUE(RightClickTrayIcon(icons.front()));
        EXPECT_TRUE(WaitUntil([&] { return program.TrayMenuShown(); }))
            << "a right click on the icon did not open the menu";
        EXPECT_TRUE(program.CloseTrayMenu());
    }

    Copy(L"one");
    Copy(L"two");
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
}

// The ways the program is asked to end: each shuts it down cleanly.
enum class Shutdown { Exit, CloseFromAnotherProgram, SessionEnd };

class ShutdownTest : public RevertlyTest, public ::testing::WithParamInterface<Shutdown> {};

TEST_P(ShutdownTest, ReleasesEverythingAndWritesNothing) {
    // A viewer that joined the chain before the program: while the program runs it hears of
    // changes only through the program, after it only if the program left the chain properly.
    DriverWindow viewer;
    viewer.JoinViewerChain();
    Start();
    int heard = viewer.ClipboardNotifications();
    Copy(L"one");
    EXPECT_GT(viewer.ClipboardNotifications(), heard) << "the program kept the change to itself";

    // A file the program would not write: a rewrite at shutdown would show.
    const std::string settings = R"({"StatesCount":20,"Autorun":true})";
    { std::ofstream(program.SettingsFile(), std::ios::binary) << settings; }
    const std::optional<FILETIME> written = LastWriteTime(program.SettingsFile());
    ASSERT_TRUE(written.has_value());

    switch (GetParam()) {
        case Shutdown::Exit:
            ASSERT_TRUE(program.ChooseTrayItem(TrayItem::Exit));
            Answer(L"Are you sure want to exit?", IDNO);
            EXPECT_FALSE(program.WaitForExit(kQuiet).has_value()) << "No ended it";
            EXPECT_TRUE(program.Exit());
            break;
        case Shutdown::CloseFromAnotherProgram:
            ASSERT_TRUE(program.Post(WM_CLOSE, 0, 0));
            break;
        case Shutdown::SessionEnd:
            EXPECT_TRUE(program.EndSession());
            break;
    }
    EXPECT_EQ(program.WaitForExit(), 0u);

    for (const WORD key : {'Z', 'X', 'C'}) {
        EXPECT_TRUE(WinHotkeyFree(key)) << "Win+" << static_cast<char>(key) << " still taken";
    }
    EXPECT_FALSE(ReadInstanceBlock().has_value());
    EXPECT_EQ(ReadFileBytes(program.SettingsFile()), settings);
    const std::optional<FILETIME> after = LastWriteTime(program.SettingsFile());
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(CompareFileTime(&*written, &*after), 0) << "the settings file was written";

    heard = viewer.ClipboardNotifications();
    ASSERT_TRUE(SetClipboardText(L"after"));
    EXPECT_TRUE(WaitUntil([&] { return viewer.ClipboardNotifications() > heard; }))
        << "the program left the clipboard-viewer chain broken";
}

const char* RouteName(Shutdown route) {
    constexpr std::array<const char*, 3> kNames = {"Exit", "CloseFromAnotherProgram", "SessionEnd"};
    return kNames[static_cast<std::size_t>(route)];
}
void PrintTo(Shutdown route, std::ostream* out) {
    *out << RouteName(route);
}

INSTANTIATE_TEST_SUITE_P(Routes, ShutdownTest,
                         ::testing::Values(Shutdown::Exit, Shutdown::CloseFromAnotherProgram,
                                           Shutdown::SessionEnd),
                         [](const auto& info) { return std::string(RouteName(info.param)); });

}  // namespace
}  // namespace revertly::driver
