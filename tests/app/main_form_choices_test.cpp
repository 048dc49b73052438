// What the user chooses the history keeps and where it stands: the pause, and a state chosen
// from the "Recent states" list.
#include <gtest/gtest.h>

#include "main_form_fixture.h"

namespace revertly::app {
namespace {

using revertly::testing::MainFormTest;

TEST_F(MainFormTest, WhilePausedNothingIsRecordedOrPutBackAndUndoStillWorks) {
    ASSERT_TRUE(Start());
    CopyElsewhere("a");
    Choose(MenuItem::PauseRecording);
    EXPECT_TRUE(desktop_.checks[MenuItem::PauseRecording]);
    EXPECT_EQ(desktop_.tip, "Revertly: recording is paused");

    CopyElsewhere("secret");
    for (const char* text : {"burst 1", "burst 2", "burst 3"}) {
        desktop_.clipboard.Copy(text);
        desktop_.Send(msg::kClipboardUpdate);
    }
    desktop_.Send(msg::kTimer, 1);
    EXPECT_EQ(desktop_.clipboard.Text(), "burst 3") << "a burst was covered";
    desktop_.clipboard.Empty();
    desktop_.Send(msg::kClipboardUpdate);
    desktop_.Send(msg::kTimer, 1);
    EXPECT_TRUE(desktop_.clipboard.formats.empty()) << "an emptied clipboard was refilled";
    EXPECT_EQ(form_.History().LastState(), 2);
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "first");

    Choose(MenuItem::PauseRecording);
    EXPECT_FALSE(desktop_.checks[MenuItem::PauseRecording]);
    EXPECT_EQ(desktop_.tip, "");
    CopyElsewhere("b");
    EXPECT_EQ(form_.History().LastState(), 2) << "recording again: b after first";
    EXPECT_EQ(form_.History().CurrentState(), 2);
}

// From the tray's submenu or the pick key's pop-up alike; a list that a copy recorded while it
// was open has made stale chooses nothing.
TEST_F(MainFormTest, ChoosingAListedStateMovesThereAndKeepsTheRedoBranch) {
    ASSERT_TRUE(Start("{'StepHint':true,'PickHotkey':'Ctrl+Shift+V'}"));
    EXPECT_NE(desktop_.TakeLog().find("hotkey 2; hotkey 3; "), std::string::npos);
    for (const char* text : {"a", "b", "c", "d"}) {
        CopyElsewhere(text);
    }
    desktop_.TakeLog();
    Choose(RecentStateItem(3));
    EXPECT_EQ(desktop_.recentStates,
              (std::vector<std::string>{"* &1  d", "&2  c", "&3  b", "&4  a", "&5  first"}));
    EXPECT_EQ(desktop_.clipboard.Text(), "a");
    EXPECT_EQ(form_.History().CurrentState(), 2);
    EXPECT_EQ(form_.History().LastState(), 5);
    desktop_.Send(msg::kHotkey, kRedoHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "b");

    desktop_.menuChoice = RecentStateItem(0);
    desktop_.Send(msg::kHotkey, kPickHotkey);
    EXPECT_EQ(desktop_.clipboard.Text(), "d");
    EXPECT_EQ(desktop_.TakeLog(),
              "menu; hint State 2 of 5\na over a; hint State 3 of 5\nb over b; "
              "recent states; hint State 5 of 5\nd over d; ");

    // A copy recorded while the list is open moves no state: the choice is carried out.
    desktop_.whileOpen = [&] { CopyElsewhere("e"); };
    Choose(RecentStateItem(1));
    EXPECT_EQ(desktop_.clipboard.Text(), "c");
    EXPECT_EQ(form_.History().CurrentState(), 4);
    // One that replaces the states after the current one does: the choice is not carried
    // out, and the hint says why.
    desktop_.whileOpen = [&] { CopyElsewhere("f"); };
    desktop_.TakeLog();
    Choose(RecentStateItem(4));
    EXPECT_EQ(desktop_.clipboard.Text(), "f");
    EXPECT_NE(desktop_.TakeLog().find("hint State 5 of 5 (the list had changed)\nf over f; "),
              std::string::npos);
}

// The tip says when the history is not kept on disk: the disk refused (the next change tries
// again), or another Revertly of the user holds the folder (nothing is written at all).
TEST_F(MainFormTest, TheTipSaysWhenTheHistoryIsNotKeptOnDisk) {
    desktop_.keptFolder.refusedWrites.insert(std::u16string(keep::kIndexFileName));
    ASSERT_TRUE(Start("{'KeepHistory':true}"));
    ASSERT_TRUE(desktop_.DeliverKeptPost()) << "the load";
    ASSERT_TRUE(desktop_.DeliverKeptPost()) << "the save of the start-up state";
    EXPECT_EQ(desktop_.tip, "Revertly: the history is not kept on disk");
    desktop_.keptFolder.refusedWrites.clear();
    CopyElsewhere("a");
    ASSERT_TRUE(desktop_.DeliverKeptPost());
    EXPECT_EQ(desktop_.tip, "");
    EXPECT_EQ(desktop_.keptFolder.Names(),
              "index.rvk state-0000000000000001.rvk "
              "state-0000000000000002.rvk");
}

TEST_F(MainFormTest, AnotherHolderOfTheKeptFolderLeavesTheHistoryInMemory) {
    desktop_.keptFolder.heldElsewhere = true;
    desktop_.keptFolder.files[u"index.rvk"] = {};  // the other Revertly's
    ASSERT_TRUE(Start("{'KeepHistory':true}"));
    EXPECT_TRUE(desktop_.checks[MenuItem::KeepHistory]);
    EXPECT_EQ(desktop_.tip,
              "Revertly: another Revertly keeps the history on disk; this one "
              "keeps it in memory only");
    CopyElsewhere("a");
    EXPECT_EQ(form_.History().LastState(), 2);
    Choose(MenuItem::KeepHistory);  // off: what the other keeps stays
    EXPECT_FALSE(desktop_.checks[MenuItem::KeepHistory]);
    EXPECT_EQ(desktop_.keptFolder.Names(), "index.rvk");
}

}  // namespace
}  // namespace revertly::app
