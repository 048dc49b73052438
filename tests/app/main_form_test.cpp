#include "app/main_form.h"

#include <gtest/gtest.h>

#include "main_form_fixture.h"
#ifdef _WIN32
#include "settings/api_win32.h"
#include "support/api_override.h"
#endif

namespace revertly::app {
namespace {

using revertly::testing::FakeClipboard;
using revertly::testing::FakeDesktop;
using revertly::testing::kTrayCallback;
using revertly::testing::MainFormTest;
using revertly::testing::ReadBytes;
using revertly::testing::ScratchDir;
using revertly::testing::WriteBytes;

TEST_F(MainFormTest, StartsUpInItsFixedOrder) {
    ASSERT_TRUE(Start());
    const std::string folder = FakeDesktop::Narrow(dir_.Path().u16string());
    EXPECT_EQ(desktop_.TakeLog(),
              "claim instance; link C:\\Users\\me\\StartUp\\Revertly.lnk -> " + folder +
                  "/revertly.exe {'Minimized':true} in " + folder +
                  "; listen; icon 0; icon 4; hook; hotkey 0; hotkey 1; hotkey 2; ");
    EXPECT_EQ(ReadBytes(SettingsPath()), R"({"Autorun":true,"StatesCount":10})");
    EXPECT_TRUE(desktop_.checks[MenuItem::Autorun]);
    EXPECT_TRUE(desktop_.checks[MenuItem::StatesCount2]);
    EXPECT_EQ(form_.History().LastState(), 1) << "the clipboard is recorded once";
    // The hook is in place: a clipboard change now reaches Proc.
    desktop_.clipboard.Copy("second");
    desktop_.Send(msg::kClipboardUpdate);
    EXPECT_TRUE(form_.TimerEnabled());
}

TEST_F(MainFormTest, ASecondCopyEndsBeforeTouchingAnything) {
    desktop_.anotherCopy = true;
    EXPECT_FALSE(Start());
    EXPECT_EQ(desktop_.TakeLog(), "");
    EXPECT_FALSE(revertly::testing::FileExists(SettingsPath()));
}

TEST_F(MainFormTest, AppliesTheSettingsFile) {
    struct Case {
        const char* file;
        MenuItem checked;
        std::int32_t capacity;
        const char* written;
    };
    const Case cases[] = {
        {"{'StatesCount':7}", MenuItem::StatesCount2, 10, R"({"StatesCount":7,"Autorun":true})"},
        {"{'StatesCount':50}", MenuItem::StatesCount5, 50, R"({"StatesCount":50,"Autorun":true})"},
        {"{'StatesCount':5.0}", MenuItem::StatesCount2, 10, R"({"StatesCount":10,"Autorun":true})"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        FakeDesktop desktop;
        WriteBytes(dir.File(u"revertly.txt"), c.file);
        frmMain form(desktop.Ports(), {dir.Path().u16string(), u"revertly"}, 0);
        desktop.form = &form;
        ASSERT_TRUE(form.Form_Initialize());
        EXPECT_TRUE(desktop.checks[c.checked]) << c.file;
        EXPECT_EQ(desktop.checks.size(), 3u) << c.file << ": one count, autorun, keeping (off)";
        EXPECT_FALSE(desktop.checks[MenuItem::KeepHistory]) << c.file;
        EXPECT_EQ(form.History().StatesCount(), c.capacity) << c.file;
        EXPECT_EQ(ReadBytes(dir.File(u"revertly.txt")), c.written) << c.file;
    }
}

TEST_F(MainFormTest, AutorunOffDeletesTheShortcutAndAFailingShellDoesNotStopStartUp) {
    desktop_.files.insert(u"C:\\Users\\me\\StartUp\\Revertly.lnk");
    ASSERT_TRUE(Start("{'Autorun':false}"));
    EXPECT_TRUE(desktop_.files.empty());
    EXPECT_FALSE(desktop_.checks[MenuItem::Autorun]);

    ScratchDir dir;
    FakeDesktop failing;
    failing.linksFail = true;
    failing.userStartup.clear();
    frmMain form(failing.Ports(), {dir.Path().u16string(), u"revertly"}, 0);
    failing.form = &form;
    ASSERT_TRUE(form.Form_Initialize());
    EXPECT_NE(failing.TakeLog().find("link C:\\Common\\StartUp\\Revertly.lnk"), std::string::npos)
        << "without a user Startup folder the shared one is used";
    EXPECT_FALSE(failing.checks[MenuItem::Autorun]) << "the check mark shows no shortcut";
}

TEST_F(MainFormTest, TakenHotkeysAreClaimedAndOnlyThoseNeitherRegisteredNorClaimedAreReported) {
    desktop_.takenHotkeys = {0, 1, 2};
    ASSERT_TRUE(Start());
    EXPECT_NE(
        desktop_.TakeLog().find("hook; hotkey 0; claim 0; hotkey 1; claim 1; hotkey 2; claim 2; "),
        std::string::npos)
        << "no box: every key is claimed";

    // A chosen key that the hook cannot claim either is reported by its own name and named
    // in its menu item; a key on its default keeps the product's texts.
    ScratchDir dir;
    FakeDesktop desktop;
    desktop.takenHotkeys = {0, 1, 2};
    desktop.hookFails = true;
    WriteBytes(dir.File(u"revertly.txt"), "{'UndoHotkey':'alt+ctrl+z','RedoHotkey':'Win+x'}");
    frmMain form(desktop.Ports(), {dir.Path().u16string(), u"revertly"}, 0);
    desktop.form = &form;
    ASSERT_TRUE(form.Form_Initialize());
    const std::string log = desktop.TakeLog();
    EXPECT_NE(
        log.find(
            "hotkey 0; claim 0; "
            "box The Ctrl+Alt+Z hotkey is already in use by another program! 0; "
            "hotkey 1; claim 1; box The Win-X hotkey is already in use by another program! 0; "
            "hotkey 2; claim 2; box The Win-C hotkey is already in use by another program! 0; "),
        std::string::npos)
        << log;
    EXPECT_EQ(
        desktop.captions,
        (std::map<MenuItem, std::string>{{MenuItem::UndoState, "Undo the state (Ctrl+Alt+Z)"}}));
    EXPECT_EQ(ReadBytes(dir.File(u"revertly.txt")),
              R"({"UndoHotkey":"alt+ctrl+z","RedoHotkey":"Win+x","Autorun":true,"StatesCount":10})")
        << "chosen keys stay as written";
}

TEST_F(MainFormTest, ClipboardNotificationsStartTheSaveTimerAndCountTheBurst) {
    ASSERT_TRUE(Start());
    desktop_.TakeLog();
    desktop_.clipboard.Copy("x");
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.clipboard.Copy("a");
    desktop_.Send(msg::kClipboardUpdate);
    EXPECT_EQ(form_.History().ChangeCount, 2);
    EXPECT_EQ(desktop_.TakeLog(), "timer 1 100; timer 1 100; ") << "a listener passes nothing on";
    desktop_.Send(msg::kTimer, 1);
    EXPECT_FALSE(form_.TimerEnabled());
    EXPECT_EQ(form_.History().LastState(), 2) << "two notifications make one state";

    for (const char* text : {"burst 1", "burst 2", "burst 3"}) {
        desktop_.clipboard.Copy(text);
        desktop_.Send(msg::kClipboardUpdate);
    }
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(form_.History().LastState(), 2) << "three are not recorded";
    EXPECT_EQ(desktop_.clipboard.Text(), "a") << "and the current state is written back";

    // The write's own notification is consumed without starting the timer.
    desktop_.TakeLog();
    desktop_.Send(msg::kClipboardUpdate);
    EXPECT_FALSE(form_.TimerEnabled());
    EXPECT_EQ(desktop_.TakeLog(), "");

    // Two steps' notifications handled only after another program's copy are still the
    // program's own: no burst is made of that copy.
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    desktop_.Send(msg::kHotkey, kRedoHotkey);
    desktop_.clipboard.Copy("late");
    for (int notice = 0; notice < 3; ++notice) {
        desktop_.Send(msg::kClipboardUpdate);
    }
    EXPECT_EQ(form_.History().ChangeCount, 1);
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(desktop_.clipboard.Text(), "late");
    EXPECT_EQ(form_.History().LastState(), 3);
}

// Windows posts the listener's notice, so the notice of an undo's write can arrive after
// another program's copy, or after a save timer that was already running has fired. Neither
// records the program's own write, and the copy is recorded.
TEST_F(MainFormTest, TheProgramsOwnWriteIsNeverRecordedHoweverLateItsNoticeArrives) {
    ASSERT_TRUE(Start());
    CopyElsewhere("a");
    CopyElsewhere("b");
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    desktop_.clipboard.Copy("c");
    desktop_.Send(msg::kClipboardUpdate);  // the undo's
    desktop_.Send(msg::kClipboardUpdate);  // the copy's
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(form_.History().LastState(), 3);
    EXPECT_EQ(form_.History().CurrentState(), 3) << "the copy after the undo was not recorded";

    // Win+Z before the save timer fires: the copy is taken first, then the step.
    desktop_.clipboard.Copy("d");
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    desktop_.Send(msg::kTimer, 1);         // a tick queued before the timer stopped
    desktop_.Send(msg::kClipboardUpdate);  // the undo's
    EXPECT_FALSE(form_.TimerEnabled());
    EXPECT_EQ(form_.History().LastState(), 4) << "the copy was lost, or the undo's write kept";
    EXPECT_EQ(form_.History().CurrentState(), 3);
    EXPECT_EQ(desktop_.clipboard.Text(), "c");
    desktop_.Send(msg::kHotkey, kRedoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "d");
}

// Where the listener list refuses the window, the program serves the viewer chain: it passes
// every notice on (its own write's too, which arrives inside the write) and leaves at the end.
TEST_F(MainFormTest, WithoutTheListenerListItKeepsItsPlaceInTheViewerChain) {
    desktop_.listenerRefused = true;
    ASSERT_TRUE(Start());
    EXPECT_NE(desktop_.TakeLog().find("listen; join chain; icon 0; "), std::string::npos);
    desktop_.Send(msg::kChangeClipboardChain, 0x999, 0x111);
    EXPECT_EQ(desktop_.TakeLog(), "send 22136 781 2457 273; ") << "another window: passed on";

    CopyElsewhere("a");
    desktop_.clipboard.duringWrite = [&] { desktop_.Send(msg::kDrawClipboard); };
    desktop_.TakeLog();
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_EQ(desktop_.TakeLog(), "send 22136 776 0 0; ");
    EXPECT_FALSE(form_.TimerEnabled()) << "the program's own write started the save timer";

    desktop_.Send(msg::kChangeClipboardChain, FakeDesktop::kNextViewer, 0x111);
    desktop_.Send(msg::kDrawClipboard);
    EXPECT_NE(desktop_.TakeLog().find("send 273 776"), std::string::npos)
        << "the next viewer left: its successor gets the notifications";
    desktop_.Send(msg::kClose);
    EXPECT_NE(desktop_.TakeLog().find("destroy; leave chain; unhook; "), std::string::npos);
}

TEST_F(MainFormTest, HotkeysAndTheTrayMenuRunTheCommands) {
    ASSERT_TRUE(Start());
    CopyElsewhere("a");
    CopyElsewhere("b");
    desktop_.Send(msg::kHotkey, 0);
    EXPECT_EQ(desktop_.clipboard.Text(), "a");
    desktop_.Send(msg::kHotkey, 1);
    EXPECT_EQ(desktop_.clipboard.Text(), "b");
    Choose(MenuItem::UndoState);
    EXPECT_EQ(desktop_.clipboard.Text(), "a");
    Choose(MenuItem::RedoState);
    EXPECT_EQ(desktop_.clipboard.Text(), "b");

    // A right click brings the button's messages and then the request for the menu (as
    // Shift+F10 and the menu key do); Enter and Space bring NIN_KEYSELECT.
    desktop_.TakeLog();
    desktop_.menuChoice = MenuItem::UndoState;
    for (const LParam mouse : {0x0201, 0x0202, 0x0204, 0x0205}) {
        desktop_.Send(kTrayCallback, 0, mouse);
    }
    EXPECT_EQ(desktop_.TakeLog(), "") << "the buttons themselves open nothing";
    Choose(MenuItem::VisitSite);
    desktop_.menuChoice = MenuItem::VisitGroup;
    desktop_.whileOpen = [&] { desktop_.Send(kTrayCallback, 0, msg::kKeySelect); };
    desktop_.Send(kTrayCallback, 0, msg::kKeySelect);
    EXPECT_EQ(desktop_.TakeLog(),
              "menu; open https://revertly.example.com/; menu; icon 3; "
              "open https://revertly.example.com/community; ")
        << "a request while the menu is open opens no second one; the keyboard's menu gives "
           "the focus back to the notification area, the mouse's does not";
}

TEST_F(MainFormTest, ClearAsksFirstAndSaysWhenThereIsNothing) {
    ASSERT_TRUE(Start());
    desktop_.answer = 7;  // No
    desktop_.Send(msg::kHotkey, 2);
    EXPECT_EQ(form_.History().LastState(), 1);
    desktop_.answer = kAnswerYes;
    Choose(MenuItem::ClearHistory);
    EXPECT_EQ(form_.History().LastState(), 0);
    EXPECT_EQ(desktop_.clipboard.Text(), "first") << "the clipboard is not touched";
    desktop_.TakeLog();
    desktop_.Send(msg::kHotkey, 2);
    EXPECT_EQ(desktop_.TakeLog(), "box There are no elements for cleaning. 64; ");
}

TEST_F(MainFormTest, MenuSettingsAreSavedAtOnce) {
    ASSERT_TRUE(Start());
    for (const char* text : {"b", "c", "d", "e", "f", "g"}) {
        CopyElsewhere(text);
    }
    Choose(MenuItem::StatesCount1);
    EXPECT_EQ(form_.History().LastState(), 5);
    EXPECT_TRUE(desktop_.checks[MenuItem::StatesCount1]);
    EXPECT_FALSE(desktop_.checks[MenuItem::StatesCount2]);
    EXPECT_EQ(ReadBytes(SettingsPath()), R"({"Autorun":true,"StatesCount":5})");

    Choose(MenuItem::Autorun);
    EXPECT_FALSE(desktop_.checks[MenuItem::Autorun]);
    EXPECT_TRUE(desktop_.files.empty());
    EXPECT_EQ(ReadBytes(SettingsPath()), R"({"Autorun":false,"StatesCount":5})");
}

TEST_F(MainFormTest, ExitAsksAndShutsDownInOrderWithoutWritingSettings) {
    ASSERT_TRUE(Start());
    WriteBytes(SettingsPath(), "untouched");
    desktop_.answer = 7;
    Choose(MenuItem::Exit);
    desktop_.TakeLog();
    desktop_.answer = kAnswerYes;
    Choose(MenuItem::Exit);
    EXPECT_EQ(desktop_.TakeLog(),
              "menu; box Are you sure want to exit? 4132; icon 2; destroy; unlisten; unhook; "
              "unhotkey 0; unhotkey 1; unhotkey 2; release instance; quit; ");
    EXPECT_EQ(form_.History().LastState(), 0);
    EXPECT_EQ(ReadBytes(SettingsPath()), "untouched");
}

TEST_F(MainFormTest, TheCloseCommandHidesWhileOtherClosesShutDown) {
    ASSERT_TRUE(Start());
    desktop_.TakeLog();
    desktop_.Send(msg::kSysCommand, msg::kScClose);
    EXPECT_EQ(desktop_.TakeLog(), "hide; ");
    EXPECT_EQ(desktop_.Send(msg::kQueryEndSession), 1);
    desktop_.Send(msg::kEndSession, 1);
    EXPECT_NE(desktop_.TakeLog().find("release instance; quit; "), std::string::npos);
    desktop_.Send(msg::kClose);
    EXPECT_EQ(desktop_.TakeLog(), "") << "shut down once only";
}

// A close request can arrive while start-up waits on another program: shutdown then releases
// what exists by then, once, and start-up stops.
TEST_F(MainFormTest, ACloseDuringStartUpShutsDownWhatExistsAndStopsStartUp) {
    // A log-off while the first clipboard state is read: no tray icon, chain or hook yet.
    desktop_.clipboard.duringRead = [&] { desktop_.Send(msg::kEndSession, 1); };
    ASSERT_TRUE(Start());
    const std::string folder = FakeDesktop::Narrow(dir_.Path().u16string());
    EXPECT_EQ(desktop_.TakeLog(), "claim instance; link C:\\Users\\me\\StartUp\\Revertly.lnk -> " +
                                      folder + "/revertly.exe {'Minimized':true} in " + folder +
                                      "; destroy; release instance; quit; ");

    // Exit confirmed from the tray while the first "already in use" box is open.
    ScratchDir dir;
    FakeDesktop desktop;
    desktop.takenHotkeys = {0, 1, 2};
    desktop.hookFails = true;
    frmMain form(desktop.Ports(), {dir.Path().u16string(), u"revertly"}, 0);
    desktop.form = &form;
    desktop.whileOpen = [&] {
        desktop.menuChoice = MenuItem::Exit;
        desktop.Send(kTrayCallback, 0, msg::kRightButtonUp);
        desktop.Send(kTrayCallback, 0, msg::kContextMenu);
    };
    ASSERT_TRUE(form.Form_Initialize());
    const std::string log = desktop.TakeLog();
    EXPECT_NE(log.find("hotkey 0; claim 0; box The Win-Z hotkey is already in use by another "
                       "program! 0; menu; box Are you sure want to exit? 4132; icon 2; destroy; "
                       "unlisten; unhook; release instance; quit; "),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("hotkey 1"), std::string::npos) << "start-up went on after shutdown";
}

// The end of the session, which Windows sends, can arrive while an undo waits on another
// program to let go of the clipboard: the state being written outlives the write, and the
// shutdown then releases everything.
TEST_F(MainFormTest, AShutdownDuringAStepWaitsForTheWrite) {
    ASSERT_TRUE(Start());
    CopyElsewhere("a");
    const std::size_t blocksBefore = FakeClipboard::LiveBlocks();
    desktop_.clipboard.duringWrite = [&] { desktop_.Send(msg::kEndSession, 1); };
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "first");
    EXPECT_EQ(form_.History().LastState(), 0);
    EXPECT_EQ(FakeClipboard::LiveBlocks(), blocksBefore - 2) << "the states were not released";
    EXPECT_NE(desktop_.TakeLog().find("release instance; quit; "), std::string::npos);
}

// Without the window's hook nothing would pass clipboard notices on: the program leaves the
// chain at once, and shutdown still releases the chain and the hotkeys.
TEST_F(MainFormTest, WithoutTheWindowHookTheChainIsLeftAndShutdownStillReleasesAll) {
    desktop_.windowHookFails = true;
    desktop_.listenerRefused = true;
    ASSERT_TRUE(Start());
    EXPECT_NE(desktop_.TakeLog().find("join chain; icon 0; icon 4; hook; leave chain; hotkey 0; "),
              std::string::npos);
    desktop_.Send(msg::kClose);
    EXPECT_EQ(desktop_.TakeLog(),
              "icon 2; unhotkey 0; unhotkey 1; unhotkey 2; destroy; release instance; quit; ");
}

// Message boxes and the menu run nested message loops: what arrives meanwhile is handled.
TEST_F(MainFormTest, MessagesArrivingWhileABoxOrTheMenuIsOpenAreHandled) {
    ASSERT_TRUE(Start());
    desktop_.answer = 7;  // No
    desktop_.whileOpen = [&] { desktop_.Send(msg::kHotkey, kClearHotkey); };
    desktop_.TakeLog();
    desktop_.Send(msg::kHotkey, kClearHotkey);
    EXPECT_EQ(desktop_.TakeLog(),
              "box Clear the clipboard history? 4132; box Clear the clipboard history? 4132; ")
        << "Win+C while its own question is open asks again";

    desktop_.whileOpen = [&] { CopyElsewhere("during the box"); };
    desktop_.Send(msg::kHotkey, kClearHotkey);
    desktop_.whileOpen = [&] { CopyElsewhere("during the menu"); };
    desktop_.Send(kTrayCallback, 0, msg::kContextMenu);
    EXPECT_EQ(form_.History().LastState(), 3);
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "during the box");
}

// Explorer busy at log-on refuses the icon and sends no "TaskbarCreated" later: the icon is
// offered again from a timer until the shell takes it, each time with its picture loaded
// anew, as it is when the notification area is recreated.
TEST_F(MainFormTest, OffersTheIconAgainUntilTheShellTakesItAndWhenTheAreaIsRecreated) {
    desktop_.refusedAdds = 2;
    ASSERT_TRUE(Start());
    EXPECT_NE(desktop_.TakeLog().find("listen; icon 0; icon 1; icon 4; timer 3 3000; hook; "),
              std::string::npos);
    desktop_.Send(msg::kTimer, 3);
    EXPECT_EQ(desktop_.TakeLog(), "load icon; icon 0; icon 1; icon 4; ");
    desktop_.Send(msg::kTimer, 3);
    EXPECT_EQ(desktop_.TakeLog(), "load icon; icon 0; icon 4; timer 3 off; ");
    EXPECT_EQ(desktop_.shownIcons.size(), 1u);
    EXPECT_EQ(desktop_.shownPicture, 79u) << "the picture loaded last";
    Choose(MenuItem::VisitSite);
    EXPECT_EQ(desktop_.TakeLog(), "menu; open https://revertly.example.com/; ");

    // An add that timed out may have got through: the shell then refuses the next add of
    // the same icon but modifies it, and the icon counts as there.
    desktop_.refusedAdds = 1;
    desktop_.Send(FakeDesktop::kTaskbarCreated);
    EXPECT_EQ(desktop_.TakeLog(), "load icon; icon 0; icon 1; icon 4; ");

    desktop_.shownIcons.clear();  // the shell restarted and forgot the icon
    desktop_.refusedAdds = 1;
    desktop_.Send(FakeDesktop::kTaskbarCreated);
    EXPECT_EQ(desktop_.TakeLog(), "load icon; icon 0; icon 1; icon 4; timer 3 3000; ");
    desktop_.Send(msg::kClose);
    EXPECT_NE(desktop_.TakeLog().find("icon 2; timer 3 off; "), std::string::npos);
    desktop_.Send(msg::kTimer, 3);
    EXPECT_EQ(desktop_.TakeLog(), "") << "a late tick after shutdown adds nothing";
}

// Each timer's tick goes to its own handler: only the save timer records a state.
TEST_F(MainFormTest, OnlyTheSaveTimerRecordsAState) {
    ASSERT_TRUE(Start());
    desktop_.clipboard.Copy("b");
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.TakeLog();
    for (const WParam id : {2, 3, 4, 9}) {
        desktop_.Send(msg::kTimer, id);
    }
    EXPECT_EQ(desktop_.TakeLog(), "");
    EXPECT_EQ(form_.History().LastState(), 1);
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(form_.History().LastState(), 2);
    desktop_.clipboard.Copy("c");
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(form_.History().LastState(), 2) << "a tick queued before its timer stopped";
}

// Another program holds the clipboard: a read and the steps are tried again from their timers
// and go through, in order, once it lets go; a copy still waiting is recorded before the steps.
TEST_F(MainFormTest, ABusyClipboardIsWaitedOutInOrder) {
    ASSERT_TRUE(Start("{'StepHint':true}"));
    CopyElsewhere("a");
    desktop_.clipboard.Copy("b");
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.clipboard.busyOpens = 2;
    desktop_.TakeLog();
    desktop_.Send(msg::kTimer, 1);
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(desktop_.TakeLog(), "timer 1 off; timer 1 25; timer 1 off; timer 1 50; ");
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(form_.History().LastState(), 3);

    desktop_.clipboard.Copy("c");
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.clipboard.busyOpens = 3;
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    desktop_.Send(msg::kHotkey, kRedoHotkey);
    desktop_.Send(msg::kTimer, 1);  // the steps read the copy themselves
    desktop_.Send(msg::kTimer, 4);
    desktop_.Send(msg::kTimer, 4);
    EXPECT_EQ(desktop_.clipboard.Text(), "c") << "a step went ahead while the clipboard was held";
    desktop_.TakeLog();
    desktop_.Send(msg::kTimer, 4);
    EXPECT_EQ(form_.History().LastState(), 4) << "the copy before the steps was lost";
    EXPECT_EQ(form_.History().CurrentState(), 3);
    EXPECT_EQ(desktop_.TakeLog(),
              "hint State 3 of 4\nb over b; hint State 2 of 4\na over a; "
              "hint State 3 of 4\nb over b; timer 4 off; ");

    // Held for longer than a step waits: the step gives up and says so, and the steps asked
    // for after it go with it.
    desktop_.clipboard.busyOpens = kStepTries;
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    desktop_.Send(msg::kHotkey, kRedoHotkey);
    for (int tick = 1; tick < kStepTries; ++tick) {
        desktop_.Send(msg::kTimer, 4);
    }
    EXPECT_NE(desktop_.TakeLog().find("hint State 3 of 4 (the clipboard is busy)\nb over b; "
                                      "timer 4 off; "),
              std::string::npos);
    desktop_.Send(msg::kTimer, 4);
    EXPECT_EQ(desktop_.clipboard.Text(), "b");
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "a");

    // A state that cannot be put back: the position stays, and the hint says so.
    desktop_.clipboard.failWrites = true;
    desktop_.TakeLog();
    desktop_.Send(msg::kHotkey, kRedoHotkey);
    EXPECT_EQ(form_.History().CurrentState(), 2);
    EXPECT_EQ(desktop_.TakeLog(),
              "hint State 2 of 4 (the state could not be put back)\na over a; ");
}

// Another program holds the clipboard for seconds right after a copy: the copy is tried at
// the longest wait until it is read, and is recorded before the copy that follows.
TEST_F(MainFormTest, ACopyIsReadHoweverLongTheClipboardIsHeld) {
    ASSERT_TRUE(Start());
    desktop_.clipboard.Copy("held");
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.clipboard.busyOpens = 1000;
    // 25, 50, 100 and 200 ms, then 400 ms each: more than 5 s.
    for (int tick = 0; tick < 17; ++tick) {
        ASSERT_TRUE(form_.TimerEnabled()) << "the copy was given up after " << tick << " tries";
        desktop_.Send(msg::kTimer, 1);
    }
    desktop_.clipboard.busyOpens = 0;
    desktop_.Send(msg::kTimer, 1);
    CopyElsewhere("next");
    EXPECT_EQ(form_.History().LastState(), 3);
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "held");
}

// What is recorded is the copy that was judged: a left-out program's copy that comes after
// another program's copy was judged is never read in its place, by a step or by the save
// timer. And a step never writes over a copy whose notice has not come yet (it waits behind
// the step's key): that copy is judged and recorded first, and the step goes from there.
TEST_F(MainFormTest, OnlyTheCopyJudgedIsReadAndNoStepWritesOverACopyUnseen) {
    ASSERT_TRUE(Start("{'IgnoredPrograms':['keeper.exe']}"));
    for (const bool byStep : {true, false}) {
        desktop_.clipboardOwner = u"C:\\Apps\\editor.exe";
        desktop_.clipboard.Copy("mine");
        desktop_.Send(msg::kClipboardUpdate);
        desktop_.clipboardOwner = u"C:\\Apps\\keeper.exe";
        desktop_.clipboard.Copy("secret");
        desktop_.Send(byStep ? msg::kHotkey : msg::kTimer, byStep ? kUndoHotkey : 1);
        desktop_.Send(msg::kClipboardUpdate);
        desktop_.Send(msg::kTimer, 1);
        EXPECT_EQ(form_.History().LastState(), 1) << byStep;
        EXPECT_EQ(desktop_.clipboard.Text(), "secret") << byStep;
    }

    desktop_.clipboardOwner = u"C:\\Apps\\editor.exe";
    CopyElsewhere("a");
    desktop_.clipboard.Copy("late");
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "a");
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(form_.History().LastState(), 3);
    EXPECT_EQ(form_.History().CurrentState(), 2);
    desktop_.Send(msg::kHotkey, kRedoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "late");
}

TEST_F(MainFormTest, AReadOnlySettingsFileIsHonouredAndNotTriedAgain) {
    WriteBytes(SettingsPath(), "{'StatesCount':20}");
    revertly::testing::SetReadOnly(SettingsPath(), true);
    ASSERT_TRUE(Start());
    Choose(MenuItem::StatesCount1);
    EXPECT_EQ(desktop_.TakeLog().find("timer 2"), std::string::npos);
    EXPECT_EQ(ReadBytes(SettingsPath()), "{'StatesCount':20}");
    revertly::testing::SetReadOnly(SettingsPath(), false);
}

#ifdef _WIN32
// Another program that has the settings file open without delete sharing (a virus scanner,
// the indexer, a sync client) makes Windows refuse the replace with access denied.
int refusedMoves = 0;
int pauses = 0;
BOOL WINAPI BusyMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (refusedMoves > 0) {
        --refusedMoves;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return MoveFileExW(from, to, flags);
}
VOID WINAPI CountPause(DWORD) {
    ++pauses;
}

TEST_F(MainFormTest, ASaveThatAReaderBlocksIsTriedAgainLaterAndOnceMoreAtExit) {
    const revertly::testing::ApiOverride api(files::Api());
    api->MoveFileExW = &BusyMove;
    api->Sleep = &CountPause;
    refusedMoves = 1;
    ASSERT_TRUE(Start());
    EXPECT_NE(desktop_.TakeLog().find("timer 2 50; "), std::string::npos);
    EXPECT_FALSE(revertly::testing::FileExists(SettingsPath())) << "start-up's save is pending";
    refusedMoves = 2;
    desktop_.Send(msg::kTimer, 2);
    desktop_.Send(msg::kTimer, 2);
    desktop_.Send(msg::kTimer, 2);
    EXPECT_EQ(desktop_.TakeLog(), "timer 2 100; timer 2 200; timer 2 off; ");
    EXPECT_EQ(ReadBytes(SettingsPath()), R"({"Autorun":true,"StatesCount":10})");

    // The waits grow to 5 s and stay there; a newer choice takes the pending one's place.
    refusedMoves = 1000;
    Choose(MenuItem::StatesCount1);
    for (int tick = 0; tick < 8; ++tick) {
        desktop_.Send(msg::kTimer, 2);
    }
    Choose(MenuItem::StatesCount3);
    EXPECT_EQ(desktop_.TakeLog(),
              "menu; timer 2 50; timer 2 100; timer 2 200; timer 2 400; timer 2 800; "
              "timer 2 1600; timer 2 3200; timer 2 5000; timer 2 5000; menu; timer 2 5000; ");
    EXPECT_EQ(pauses, 0) << "the window's thread never waits while the program runs";

    // At exit the pending save waits for the reader to let go, up to about a second.
    refusedMoves = 3;
    desktop_.answer = kAnswerYes;
    Choose(MenuItem::Exit);
    EXPECT_NE(desktop_.TakeLog().find("icon 2; timer 2 off; destroy; "), std::string::npos);
    EXPECT_EQ(ReadBytes(SettingsPath()), R"({"Autorun":true,"StatesCount":15})");
    EXPECT_EQ(pauses, 3);
    EXPECT_EQ(revertly::testing::ListFolder(dir_.Path()), "revertly.txt")
        << "no temporary file is left";
}
#endif

TEST_F(MainFormTest, ChoosingTheCheckedStateCountAgainKeepsTheHistoryAndWritesTheFile) {
    ASSERT_TRUE(Start());
    CopyElsewhere("b");
    CopyElsewhere("c");
    desktop_.Send(msg::kHotkey, 0);
    WriteBytes(SettingsPath(), "stale");
    Choose(MenuItem::StatesCount2);
    EXPECT_EQ(form_.History().LastState(), 3);
    EXPECT_EQ(form_.History().CurrentState(), 2);
    EXPECT_EQ(ReadBytes(SettingsPath()), R"({"Autorun":true,"StatesCount":10})");
    for (const auto& [item, checked] : desktop_.checks) {
        EXPECT_EQ(checked, item == MenuItem::Autorun || item == MenuItem::StatesCount2)
            << static_cast<int>(item);
    }
}

TEST_F(MainFormTest, WithoutAnyStartupFolderAutorunStaysUnchecked) {
    desktop_.userStartup.clear();
    desktop_.commonStartup.clear();
    ASSERT_TRUE(Start());
    EXPECT_EQ(desktop_.TakeLog().find("link"), std::string::npos);
    EXPECT_FALSE(desktop_.checks[MenuItem::Autorun]);
    Choose(MenuItem::Autorun);
    EXPECT_FALSE(desktop_.checks[MenuItem::Autorun]);
    EXPECT_EQ(ReadBytes(SettingsPath()), R"({"Autorun":false,"StatesCount":10})");
}

// The step hint is asked for only when the setting is on, after each undo or redo from a key
// or the menu, once the clipboard holds the state; a step at either end names the end, and
// Clear shows none.
TEST_F(MainFormTest, StepHintFollowsEachStepOnlyWhenTurnedOn) {
    for (const bool on : {false, true}) {
        ScratchDir dir;
        FakeDesktop desktop;
        const char* settings = on ? "{'StepHint':true}" : "{'StepHint':'true'}";
        WriteBytes(dir.File(u"revertly.txt"), settings);
        frmMain form(desktop.Ports(), {dir.Path().u16string(), u"revertly"}, 0);
        desktop.form = &form;
        desktop.clipboard.Copy("first");
        ASSERT_TRUE(form.Form_Initialize());
        for (const char* text : {"a", "b"}) {
            desktop.clipboard.Copy(text);
            desktop.Send(msg::kClipboardUpdate);
            desktop.Send(msg::kTimer, 1);
        }
        const auto choose = [&](MenuItem item) {
            desktop.menuChoice = item;
            desktop.Send(kTrayCallback, 0, msg::kRightButtonUp);
            desktop.Send(kTrayCallback, 0, msg::kContextMenu);
        };
        desktop.TakeLog();
        for (int i = 0; i < 3; ++i) {
            desktop.Send(msg::kHotkey, kUndoHotkey);
        }
        choose(MenuItem::RedoState);
        desktop.Send(msg::kHotkey, kRedoHotkey);
        choose(MenuItem::RedoState);
        choose(MenuItem::UndoState);
        choose(MenuItem::ClearHistory);
        desktop.Send(msg::kHotkey, kUndoHotkey);
        const std::string log = desktop.TakeLog();
        if (!on) {
            EXPECT_EQ(log.find("hint"), std::string::npos) << "only the Boolean true turns it on";
            continue;
        }
        EXPECT_EQ(log,
                  "hint State 2 of 3\na over a; hint State 1 of 3\nfirst over first; "
                  "hint State 1 of 3 (the oldest)\nfirst over first; "
                  "menu; hint State 2 of 3\na over a; hint State 3 of 3\nb over b; "
                  "menu; hint State 3 of 3 (the newest)\nb over b; "
                  "menu; hint State 2 of 3\na over a; "
                  "menu; box Clear the clipboard history? 4132; ");
        EXPECT_EQ(ReadBytes(dir.File(u"revertly.txt")),
                  R"({"StepHint":true,"Autorun":true,"StatesCount":10})")
            << "the setting is kept as written and nothing is added";
    }
}

}  // namespace
}  // namespace revertly::app
