// The settings window of the real revertly.exe, opened from its menu and used as a person
// would: a key recorded in its field, a count chosen, the program of the current copy added,
// OK, Cancel and Esc.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/resource.h"
#include "app/settings_window/key_field_win32.h"
#include "e2e/revertly_test.h"

namespace revertly::driver {
namespace {

std::string FileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::filesystem::path TestFolder() {
    wchar_t self[MAX_PATH] = {};
    return std::filesystem::path(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)))
        .parent_path();
}

class SettingsWindowTest : public RevertlyTest {
  protected:
    // The button pressed as a click would press it.
    static void Press(HWND window, int button) {
        SendMessageW(GetDlgItem(window, button), BM_CLICK, 0, 0);
    }

    // Nothing on the clipboard changes for a while after the keys.
    ::testing::AssertionResult KeysDoNothing(std::initializer_list<WORD> modifiers, WORD key) {
        const DWORD before = ClipboardChanges();
        if (!PressChord(modifiers, key)) {
            return ::testing::AssertionFailure() << "SendInput failed";
        }
        PumpFor(kQuiet);
        if (ClipboardChanges() != before) {
            return ::testing::AssertionFailure() << "the clipboard changed";
        }
        return ::testing::AssertionSuccess();
    }
};

TEST_F(SettingsWindowTest, ChoicesMadeInTheWindowTakeEffectWithOkAndAreSaved) {
    Start();
    for (const wchar_t* text : {L"one", L"two", L"three", L"four", L"five"}) {
        Copy(text);
    }
    testing::ChildProcess copier;
    ASSERT_TRUE(copier.Start(TestFolder() / COPIER_EXE, L"six 1"));
    ASSERT_TRUE(ClipboardBecomes(L"six"));
    PumpFor(kBetweenCopies);

    const HWND window = program.OpenSettingsWindow();
    ASSERT_NE(window, nullptr) << DescribeProcessWindows(program.ProcessId());
    const HWND undoField = GetDlgItem(window, IDC_FIRST_KEY);
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(undoField), TRUE);
    SetForegroundWindow(window);
    ASSERT_TRUE(PressChord({VK_CONTROL, VK_MENU}, 'U'));
    const LRESULT recorded = app::PackHotkey(app::Hotkey{MOD_CONTROL | MOD_ALT, 'U'});
    EXPECT_TRUE(WaitUntil([&] {
        return SendMessageW(undoField, app::kGetFieldKey, 0, 0) == recorded;
    })) << "the field holds "
        << SendMessageW(undoField, app::kGetFieldKey, 0, 0);
    SendDlgItemMessageW(window, IDC_STATES, CB_SETCURSEL, 0, 0);  // 5
    Press(window, IDC_ADD_OWNER);
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_PROGRAMS, LB_GETCOUNT, 0, 0), 1);
    Press(window, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(window); })) << "OK left the window open";

    const std::string settings = FileText(program.SettingsFile());
    EXPECT_NE(settings.find(R"("StatesCount":5)"), std::string::npos) << settings;
    EXPECT_NE(settings.find(R"("UndoHotkey":"Ctrl+Alt+U")"), std::string::npos) << settings;
    EXPECT_NE(settings.find(R"(copier.exe"])"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("StepHint"), std::string::npos) << settings;

    EXPECT_TRUE(KeysDoNothing({VK_LWIN}, 'Z')) << "the old key still undoes";
    // Five states are kept, "two" to "six": the new key goes back to "two" and no further.
    for (const wchar_t* text : {L"five", L"four", L"three", L"two"}) {
        ASSERT_TRUE(PressChord({VK_CONTROL, VK_MENU}, 'U'));
        ASSERT_TRUE(ClipboardBecomes(text));
    }
    EXPECT_TRUE(KeysDoNothing({VK_CONTROL, VK_MENU}, 'U')) << "more than five states were kept";
    copier.Terminate();
}

// Cancel and Esc close the window and change nothing; "Settings..." while the window is open
// brings that same window to the front.
TEST_F(SettingsWindowTest, CancelChangesNothingAndASecondOpenBringsTheSameWindowForward) {
    Start();
    Copy(L"one");
    Copy(L"two");
    const std::string before = FileText(program.SettingsFile());

    HWND window = program.OpenSettingsWindow();
    ASSERT_NE(window, nullptr) << DescribeProcessWindows(program.ProcessId());
    SendDlgItemMessageW(window, IDC_STATES, CB_SETCURSEL, 4, 0);
    CheckDlgButton(window, IDC_STEP_HINT, BST_CHECKED);
    Press(window, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(window); })) << "Cancel left the window open";
    EXPECT_EQ(FileText(program.SettingsFile()), before);
    EXPECT_TRUE(HotkeyGives('Z', L"one")) << "the keys did not survive Cancel";

    window = program.OpenSettingsWindow();
    ASSERT_NE(window, nullptr);
    const HWND other = CreateWindowExW(0, L"STATIC", L"in front", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                                       50, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    EXPECT_EQ(program.OpenSettingsWindow(), window);
    EXPECT_EQ(CountWindows(L"#32770", L"Revertly settings"), 1);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }))
        << "the window was not brought to the front";
    DestroyWindow(other);
    SetForegroundWindow(window);
    ASSERT_TRUE(PressKeys({VK_ESCAPE}));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); })) << "Esc left the window open";
    EXPECT_EQ(FileText(program.SettingsFile()), before);
}

}  // namespace
}  // namespace revertly::driver
