// The settings window's values: which can be used and why not, what the file gets, and what
// applying them changes in the running program.
#include <gtest/gtest.h>

#include "app/settings_window/settings_choices.h"
#include "main_form_fixture.h"
#include "settings/json_reader.h"
#include "settings/json_writer.h"
#include "support/scratch_dir.h"

namespace revertly::app {
namespace {

using revertly::testing::MainFormTest;
using revertly::testing::ReadBytes;

constexpr Hotkey kWinZ{kModWin, 'Z'};
constexpr Hotkey kCtrlAltU{kModControl | kModAlt, 'U'};

SettingsChoices Defaults() {
    return ChoicesInForce(json::ParseJson(u"{}"), 10, 256ull << 20, false);
}

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

TEST(SettingsChoicesTest, EachValueIsJudgedAndABlockedOneSaysWhy) {
    const SettingsChoices inForce = Defaults();
    EXPECT_EQ(inForce.keys[kUndoHotkey], kWinZ);
    EXPECT_EQ(inForce.keys[kPickHotkey], std::nullopt);
    EXPECT_EQ(inForce.memoryMegabytes, u"256");

    struct Case {
        int id;
        std::optional<Hotkey> key;
        bool blocked;
        const char* note;
    };
    const Case cases[] = {
        {kUndoHotkey, kWinZ, false,
         "Windows uses Win+Z for Snap layouts; Revertly takes it over while it runs"},
        {kUndoHotkey, kCtrlAltU, false, ""},
        {kPickHotkey, std::nullopt, false, ""},
        {kUndoHotkey, std::nullopt, true, "Press a combination for this key"},
        {kUndoHotkey, Hotkey{kModShift, 'U'}, true,
         "Needs Ctrl, Alt or Win: without them the key is for typing"},
        {kUndoHotkey, Hotkey{kModControl, 0x2E}, true, "Use a letter, a digit or F1 to F24"},
        {kUndoHotkey, Hotkey{kModWin, 'L'}, true, "Windows keeps Win+L for locking the computer"},
        {kUndoHotkey, Hotkey{kModWin, 'X'}, true, "Taken by another key of Revertly"},
        {kRedoHotkey, Hotkey{kModWin, 'Z'}, true, "Taken by another key of Revertly"},
    };
    for (const Case& c : cases) {
        SettingsChoices wanted = inForce;
        wanted.keys[c.id] = c.key;
        const SettingsVerdict verdict = JudgeChoices(wanted, inForce, {});
        EXPECT_EQ(verdict.keyBlocked[c.id], c.blocked) << c.note;
        EXPECT_EQ(Narrow(verdict.keyNotes[c.id]), c.note);
        EXPECT_EQ(verdict.KeysUsable(), !c.blocked) << c.note;
    }

    // A key that Windows refused is said to be in use while it is still the one in force.
    std::array<bool, kHotkeyCount> refused{};
    refused[kRedoHotkey] = true;
    EXPECT_EQ(Narrow(JudgeChoices(inForce, inForce, refused).keyNotes[kRedoHotkey]),
              "In use by another program");
    SettingsChoices moved = inForce;
    moved.keys[kRedoHotkey] = kCtrlAltU;
    EXPECT_EQ(Narrow(JudgeChoices(moved, inForce, refused).keyNotes[kRedoHotkey]), "");

    for (const char16_t* budget : {u"0", u"", u"12a", u"1048577", u"99999999999999999999"}) {
        SettingsChoices wanted = inForce;
        wanted.memoryMegabytes = budget;
        const SettingsVerdict verdict = JudgeChoices(wanted, inForce, {});
        EXPECT_TRUE(verdict.memoryBlocked) << Narrow(budget);
        EXPECT_EQ(Narrow(verdict.memoryNote), "A whole number from 1 to 1048576");
    }
}

// One blocked key keeps every key as it is, so that no combination ends up with two keys; a
// blocked budget keeps its own; everything else goes through.
TEST(SettingsChoicesTest, BlockedValuesKeepWhatIsInForceAndTheRestApplies) {
    const SettingsChoices inForce = Defaults();
    SettingsChoices wanted = inForce;
    wanted.keys[kUndoHotkey] = kCtrlAltU;
    wanted.keys[kRedoHotkey] = Hotkey{kModShift, 'U'};
    wanted.memoryMegabytes = u"0";
    wanted.statesCount = 50;
    wanted.stepHint = true;
    const SettingsChoices applied =
        ApplicableChoices(inForce, wanted, JudgeChoices(wanted, inForce, {}));
    EXPECT_EQ(applied.keys, inForce.keys);
    EXPECT_EQ(applied.memoryMegabytes, u"256");
    const SettingsChanges changes = CompareChoices(inForce, applied);
    EXPECT_TRUE(changes.statesCount && changes.stepHint);
    EXPECT_FALSE(changes.keys || changes.memory || changes.programs || changes.autorun ||
                 changes.keepHistory);

    wanted.keys[kUndoHotkey] = Hotkey{kModWin, 'X'};
    wanted.keys[kRedoHotkey] = kWinZ;
    wanted.memoryMegabytes = u"0512";
    const SettingsChoices swapped =
        ApplicableChoices(inForce, wanted, JudgeChoices(wanted, inForce, {}));
    EXPECT_EQ(swapped.keys[kRedoHotkey], kWinZ);
    EXPECT_EQ(swapped.memoryMegabytes, u"512");
}

// Only what the window changed is written; keys never set stay absent, unknown keys and values
// written by hand stay as and where they were.
TEST(SettingsChoicesTest, TheFileGetsOnlyWhatTheWindowChanged) {
    json::JsonValue settings = json::ParseJson(
        u"{'Zeta':[1,'x'],'UndoHotkey':'ctrl+alt+z','StatesCount':10,'PickHotkey':'Ctrl+F9',"
        u"'Autorun':true}");
    const SettingsChoices before = ChoicesInForce(settings, 10, 256ull << 20, true);
    SettingsChoices after = before;
    WriteChoices(settings, before, after);
    EXPECT_EQ(Narrow(json::ToJson(settings)),
              R"({"Zeta":[1,"x"],"UndoHotkey":"ctrl+alt+z","StatesCount":10,)"
              R"("PickHotkey":"Ctrl+F9","Autorun":true})");

    after.statesCount = 5;
    after.keys[kRedoHotkey] = kCtrlAltU;
    after.keys[kPickHotkey] = std::nullopt;
    after.memoryMegabytes = u"64";
    after.stepHint = true;
    after.keepHistory = true;
    EXPECT_TRUE(AddIgnoredProgram(after.ignoredPrograms, u"C:\\Tools\\KeePass.exe"));
    EXPECT_FALSE(AddIgnoredProgram(after.ignoredPrograms, u"c:\\tools\\keepass.EXE"));
    WriteChoices(settings, before, after);
    EXPECT_EQ(Narrow(json::ToJson(settings)),
              R"({"Zeta":[1,"x"],"UndoHotkey":"ctrl+alt+z","StatesCount":5,"Autorun":true,)"
              R"("HistoryMemoryMB":64,"KeepHistory":true,"StepHint":true,)"
              R"("IgnoredPrograms":["C:\\Tools\\KeePass.exe"],"RedoHotkey":"Ctrl+Alt+U"})");
    EXPECT_EQ(ChoicesInForce(settings, 5, 64ull << 20, true), after);
}

// The window's OK over the running program: the keys are given up and held anew, the count,
// the budget, the hint and the programs left out take effect, and the file holds the choices.
TEST_F(MainFormTest, ApplyingTheWindowsChoicesTakesEffectAtOnce) {
    ASSERT_TRUE(Start("{'Custom':'kept'}"));
    Choose(MenuItem::Settings);
    EXPECT_NE(desktop_.TakeLog().find("settings window"), std::string::npos);
    for (const char* text : {"a", "b", "c", "d", "e", "f"}) {
        CopyElsewhere(text);
    }

    SettingsChoices wanted = form_.InForce();
    wanted.keys[kUndoHotkey] = kCtrlAltU;
    wanted.statesCount = 5;
    wanted.memoryMegabytes = u"0";
    wanted.stepHint = true;
    wanted.ignoredPrograms = {u"copier.exe"};
    desktop_.takenHotkeys = {kClearHotkey};
    desktop_.hookFails = true;
    desktop_.TakeLog();
    const SettingsVerdict verdict = form_.Apply(wanted);

    EXPECT_EQ(desktop_.TakeLog(),
              "unhotkey 0; unhotkey 1; unhotkey 2; hotkey 0; hotkey 1; hotkey 2; claim 2; ");
    EXPECT_EQ(desktop_.captions[MenuItem::UndoState], "Undo the state (Ctrl+Alt+U)");
    EXPECT_EQ(desktop_.captions[MenuItem::RedoState], "Redo the state (Win+X)");
    EXPECT_EQ(Narrow(verdict.keyNotes[kClearHotkey]), "In use by another program");
    EXPECT_TRUE(verdict.memoryBlocked);
    EXPECT_EQ(form_.History().StatesCount(), 5);
    EXPECT_EQ(form_.History().LastState(), 5) << "the oldest states go first";
    EXPECT_TRUE(desktop_.checks[MenuItem::StatesCount1]);
    EXPECT_FALSE(desktop_.checks[MenuItem::StatesCount2]);
    EXPECT_EQ(ReadBytes(SettingsPath()),
              R"({"Custom":"kept","Autorun":true,"StatesCount":5,"StepHint":true,)"
              R"("IgnoredPrograms":["copier.exe"],"UndoHotkey":"Ctrl+Alt+U"})");

    desktop_.clipboardOwner = u"C:\\Apps\\Copier.exe";
    CopyElsewhere("left out");
    EXPECT_EQ(form_.History().LastState(), 5);
    desktop_.clipboardOwner.reset();
    desktop_.Send(msg::kHotkey, kUndoHotkey);
    EXPECT_NE(desktop_.TakeLog().find("hint State 4 of 5"), std::string::npos);

    // A budget that can be used applies.
    wanted = form_.InForce();
    wanted.memoryMegabytes = u"1";
    form_.Apply(wanted);
    EXPECT_EQ(form_.History().MemoryBudget(), 1u << 20);
}

}  // namespace
}  // namespace revertly::app
