#include "app/keys/hotkeys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/keys/keyboard_claims.h"
#include "settings/json_reader.h"

namespace revertly::app {
namespace {

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

TEST(Hotkeys, ReadsCombinationsAndRefusesEverythingElse) {
    struct Case {
        std::u16string_view text;
        std::optional<Hotkey> expected;
    };
    const Case cases[] = {
        {u"Win+Z", Hotkey{kModWin, 'Z'}},
        {u"ctrl+alt+z", Hotkey{kModControl | kModAlt, 'Z'}},
        {u"sHiFt+WIN+7", Hotkey{kModShift | kModWin, '7'}},
        {u"Ctrl+Win+F9", Hotkey{kModControl | kModWin, 0x78}},
        {u"Alt+f24", Hotkey{kModAlt, 0x87}},
        {u"Alt+F1", Hotkey{kModAlt, 0x70}},
        {u"", std::nullopt},
        {u"Z", std::nullopt},
        {u"Shift+Z", std::nullopt},  // would swallow a capital Z
        {u"Win+", std::nullopt},
        {u"+Win+Z", std::nullopt},
        {u"Win+Win+Z", std::nullopt},
        {u"Win + Z", std::nullopt},
        {u"Win+Z+X", std::nullopt},
        {u"Win+ZZ", std::nullopt},
        {u"Win+F0", std::nullopt},
        {u"Win+F25", std::nullopt},
        {u"Win+F05", std::nullopt},
        {u"Win+Ä", std::nullopt},
        {u"Super+Z", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseHotkey(c.text), c.expected) << Narrow(c.text);
    }
    EXPECT_EQ(Narrow(HotkeyName({kModWin | kModShift | kModAlt | kModControl, 'Q'})),
              "Ctrl+Alt+Shift+Win+Q");
    EXPECT_EQ(Narrow(HotkeyName({kModControl, 0x83})), "Ctrl+F20");
}

TEST(Hotkeys, SettlesChosenKeysFallingBackToDefaultsInOrder) {
    struct Case {
        const char16_t* settings;
        const char* undo;  // the key, or "-" for none; then its caption when it has one
        const char* redo;
        const char* clear;
    };
    const auto describe = [](const SettledHotkey& key) {
        std::string text = key.hotkey ? Narrow(HotkeyName(*key.hotkey)) : "-";
        if (key.menuCaption) {
            text += " | " + Narrow(*key.menuCaption);
        }
        return text;
    };
    const Case cases[] = {
        {u"{}", "Win+Z", "Win+X", "Win+C"},
        {u"{'UndoHotkey':'win+z','RedoHotkey':5,'ClearHotkey':'Win+'}", "Win+Z", "Win+X", "Win+C"},
        {u"{'UndoHotkey':'ctrl+alt+z','RedoHotkey':'Alt+Ctrl+Z'}",
         "Ctrl+Alt+Z | Undo the state (Ctrl+Alt+Z)", "Win+X", "Win+C"},
        // Undo takes redo's default: redo has no key of its own left.
        {u"{'UndoHotkey':'Win+X','ClearHotkey':'Win+Z'}", "Win+X | Undo the state (Win+X)",
         "- | Redo the state", "Win+Z | Clear history (Win+Z)"},
        {u"[1]", "Win+Z", "Win+X", "Win+C"},
    };
    for (const Case& c : cases) {
        const auto settled = SettleHotkeys(json::ParseJson(c.settings));
        EXPECT_EQ(describe(settled[kUndoHotkey]), c.undo) << Narrow(c.settings);
        EXPECT_EQ(describe(settled[kRedoHotkey]), c.redo) << Narrow(c.settings);
        EXPECT_EQ(describe(settled[kClearHotkey]), c.clear) << Narrow(c.settings);
    }
}

TEST(KeyClaims, SwallowsExactlyTheClaimedCombinationWithItsKeyUp) {
    KeyClaims claims;
    EXPECT_FALSE(claims.Any());
    claims.Claim(kUndoHotkey, {kModWin, 'Z'});
    claims.Claim(kRedoHotkey, {kModControl, 'X'});
    ASSERT_TRUE(claims.Any());
    EXPECT_TRUE(claims.Concerns('Z'));
    EXPECT_FALSE(claims.Concerns('C'));

    // Win+Z, with an auto-repeat: each key-down is the hotkey; the Windows key needs the
    // neutral key, Ctrl does not.
    for (int press = 0; press < 2; ++press) {
        const KeyDecision down = claims.OnKey('Z', true, kModWin);
        EXPECT_TRUE(down.swallow);
        EXPECT_EQ(down.hotkeyId, kUndoHotkey);
        EXPECT_TRUE(down.sendNeutralKey);
    }
    EXPECT_TRUE(claims.OnKey('Z', false, 0).swallow) << "the key-up, the Windows key let go";
    const KeyDecision ctrlX = claims.OnKey('X', true, kModControl);
    EXPECT_EQ(ctrlX.hotkeyId, kRedoHotkey);
    EXPECT_FALSE(ctrlX.sendNeutralKey);
    EXPECT_TRUE(claims.OnKey('X', false, kModControl).swallow);

    // Anything else passes whole, the key-up with it.
    for (const std::uint32_t held : {0u, kModWin | kModControl, kModWin | kModShift}) {
        const KeyDecision down = claims.OnKey('Z', true, held);
        EXPECT_FALSE(down.swallow || down.hotkeyId || down.sendNeutralKey) << held;
        EXPECT_FALSE(claims.OnKey('Z', false, held).swallow) << held;
    }
    EXPECT_FALSE(claims.OnKey('C', true, kModWin).swallow);

    // A repeat that no longer matches goes to the program, and so does its key-up.
    EXPECT_TRUE(claims.OnKey('Z', true, kModWin).swallow);
    claims.Unclaim(kUndoHotkey);
    EXPECT_TRUE(claims.Concerns('Z')) << "a swallowed key's key-up is still to come";
    claims.Claim(kUndoHotkey, {kModWin, 'Z'});
    EXPECT_FALSE(claims.OnKey('Z', true, 0).swallow);
    EXPECT_FALSE(claims.OnKey('Z', false, 0).swallow);

    claims.Unclaim(kUndoHotkey);
    EXPECT_FALSE(claims.OnKey('Z', true, kModWin).swallow);
    claims.Unclaim(kRedoHotkey);
    EXPECT_FALSE(claims.Any());
}

// The system's key state as a busy system may answer it: lagging behind the events. It says
// which keys are down; like Windows, it names the generic code beside the side's own.
struct SystemState {
    std::vector<std::uint32_t> downKeys;
    bool operator()(std::uint32_t virtualKey) const {
        return std::find(downKeys.begin(), downKeys.end(), virtualKey) != downKeys.end();
    }
};

// Fed as a low-level hook is called: with the left and right keys, never the generic codes.
TEST(ModifierKeys, TheEventsSeenDecideAndAStaleOneGivesWayToTheSystem) {
    constexpr std::uint32_t kCtrl = 0x11;
    constexpr std::uint32_t kLeftCtrl = 0xA2;
    constexpr std::uint32_t kLeftWin = 0x5B;
    const std::uint32_t start = 0xFFFFFF00u;  // across the tick's wrap
    ModifierKeys keys;
    // Another program's Ctrl+Win+Z, while the system's state has not caught up with Ctrl.
    keys.Seen(kLeftCtrl, true, start);
    keys.Seen(kLeftWin, true, start + 1);
    EXPECT_EQ(keys.HeldAt(start + 2, SystemState{{kLeftWin}}), kModControl | kModWin);
    // Ctrl let go before the letter: released, though the system still says it is down.
    keys.Seen(kLeftCtrl, false, start + 3);
    EXPECT_EQ(keys.HeldAt(start + 4, SystemState{{kLeftCtrl, kCtrl}}), kModWin);

    // Ctrl went down, and its release was never seen (an administrator's window had the
    // focus): once the event is older than the trust span, the system's state decides.
    ModifierKeys unseenRelease;
    unseenRelease.Seen(kLeftCtrl, true, start);
    EXPECT_EQ(unseenRelease.HeldAt(start + ModifierKeys::kTrustMilliseconds, SystemState{}),
              kModControl)
        << "within the trust span the event stands";
    unseenRelease.Seen(kLeftWin, true, start + 5000);
    EXPECT_EQ(unseenRelease.HeldAt(start + 5001, SystemState{{kLeftWin}}), kModWin);
    // A key never seen at all (pressed while the hook saw nothing) is the system's.
    EXPECT_EQ(ModifierKeys{}.HeldAt(start, SystemState{{0xA5, 0x12}}), kModAlt);
    // A generic code counts when one does come.
    ModifierKeys generic;
    generic.Seen(kCtrl, true, start);
    EXPECT_EQ(generic.HeldAt(start + 1, SystemState{}), kModControl);
}

TEST(HookRemovalWatch, InputTheHookDidNotSeeForOverASecondMeansItWasRemoved) {
    for (const std::uint32_t start : {0u, 0xFFFFFF00u}) {  // also across the tick's wrap
        HookRemovalWatch watch;
        watch.Seen(start);
        EXPECT_FALSE(watch.HookRemoved(start));
        EXPECT_FALSE(watch.HookRemoved(start + 1000));
        EXPECT_TRUE(watch.HookRemoved(start + 1001)) << start;
        watch.Seen(start + 5000);
        EXPECT_FALSE(watch.HookRemoved(start + 4000)) << "input older than the last event seen";
        EXPECT_TRUE(watch.HookRemoved(start + 7000));
    }
}

}  // namespace
}  // namespace revertly::app
