#include "history/state_history.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_clipboard.h"

namespace revertly::history {
namespace {

using revertly::testing::FakeClipboard;

// Plays a session written as words separated by spaces, and renders the history as the texts
// of its states, oldest first, with the current one in brackets.
//   word   another program copies the text, and the save timer fires (one notification)
//   word*3 the same, at the end of a burst of three notifications (word*2: of two)
//   <  >   undo, redo            x   clear the history        #N  remember N states
//   !      another program empties the clipboard, and the save timer fires
//   ?      another program puts only formats that are not kept, and the save timer fires
//   $      a password manager copies a marked secret, and the save timer fires
//   busy   the next opening of the clipboard fails
class HistorySession {
  public:
    explicit HistorySession(std::int32_t capacity = kDefaultStatesCount)
        : history(clipboard, capacity) {}

    void Play(const std::string& script) {
        std::istringstream words(script);
        std::string word;
        while (words >> word) {
            Step(word);
        }
    }

    std::string Render() const {
        std::string out;
        for (std::int32_t slot = 1; slot <= history.LastState(); ++slot) {
            const std::string text = FakeClipboard::BlockBytes(history.State(slot).entries[0].data);
            out += (out.empty() ? "" : " ") +
                   (slot == history.CurrentState() ? "[" + text + "]" : text);
        }
        return out;
    }

    FakeClipboard clipboard;
    StateHistory history;

  private:
    void Save(std::int32_t changes) {
        clipboard.excluded = false;
        history.ChangeCount = changes;
        history.SaveClipboardState();
    }

    void Step(const std::string& word) {
        if (word == "<") {
            history.UndoState();
        } else if (word == ">") {
            history.RedoState();
        } else if (word == "x") {
            history.ClearHistory();
        } else if (word[0] == '#') {
            history.SetStatesCount(std::stoi(word.substr(1)));
        } else if (word == "busy") {
            clipboard.busyOpens = 1;
        } else if (word == "!") {
            clipboard.Empty();
            Save(1);
        } else if (word == "?") {
            clipboard.Put({{2, u"", "bitmap", false}});
            Save(1);
        } else if (word == "$") {
            clipboard.Copy("secret");
            clipboard.excluded = true;
            history.ChangeCount = 1;
            history.SaveClipboardState();
        } else {
            const auto star = word.find('*');
            clipboard.Copy(word.substr(0, star));
            Save(star == std::string::npos ? 1 : std::stoi(word.substr(star + 1)));
        }
    }
};

struct SessionCase {
    const char* script;
    const char* history;
    const char* clipboard;
};

void ExpectSessions(std::int32_t capacity, std::initializer_list<SessionCase> cases) {
    for (const SessionCase& c : cases) {
        HistorySession session(capacity);
        session.Play(c.script);
        EXPECT_EQ(session.Render(), c.history) << "after: " << c.script;
        EXPECT_EQ(session.clipboard.Text(), c.clipboard) << "after: " << c.script;
    }
}

TEST(StateHistory, RecordsAfterThePositionAndStepsBackAndForth) {
    ExpectSessions(5, {
                          {"", "", ""},
                          {"<", "", ""},
                          {">", "", ""},
                          {"a", "[a]", "a"},
                          {"a b c", "a b [c]", "c"},
                          {"a b c <", "a [b] c", "b"},
                          {"a b c < < <", "[a] b c", "a"},
                          {"a b c < < >", "a [b] c", "b"},
                          {"a b c >", "a b [c]", "c"},
                          // a new change releases every state that a redo could have reached
                          {"a b c d e < < f", "a b c [f]", "f"},
                          {"a b c d e < < f >", "a b c [f]", "f"},
                          // full at the newest: the oldest goes, the rest move down
                          {"a b c d e f", "b c d e [f]", "f"},
                          {"a b c d e f g <", "c d e [f] g", "f"},
                          // full but inside: no shift
                          {"a b c d e < f", "a b c d [f]", "f"},
                      });
}

TEST(StateHistory, PutsTheCurrentStateBackInsteadOfRecordingSome) {
    ExpectSessions(10, {
                           // bursts of three or more notifications are not recorded
                           {"a b*2", "a [b]", "b"},
                           {"a b*3", "[a]", "a"},
                           {"a b c < burst*4", "a [b] c", "b"},
                           // an emptied clipboard
                           {"a !", "[a]", "a"},
                           // with an empty history nothing is written
                           {"burst*3", "", "burst"},
                           {"!", "", ""},
                       });
}

TEST(StateHistory, LeavesABusyOrSecretClipboardAlone) {
    ExpectSessions(10, {
                           {"a busy b", "[a]", "b"},
                           {"a busy b c", "a [c]", "c"},
                           {"a b $", "a [b]", "secret"},
                           // only formats the history does not keep: another program's copy
                           {"a ?", "[a]", ""},
                           // undo and redo move only when the write got the clipboard
                           {"a b busy <", "a [b]", "b"},
                           {"a b < busy >", "[a] b", "a"},
                       });
}

// The states' bytes stay within the budget, the oldest going first; the newest state, which
// the clipboard holds, stays whatever its size. The count still applies.
TEST(StateHistory, KeepsTheStatesWithinTheMemoryBudget) {
    for (const auto& [script, kept] : std::vector<std::pair<std::string, std::string>>{
             {"aaaa bbbb cccc", "bbbb [cccc]"},
             {"aaaa bbbb < cc", "aaaa [cc]"},
             {"a b a-state-of-20-bytes!", "[a-state-of-20-bytes!]"},
             {"a b c d e f g", "c d e f [g]"},
         }) {
        HistorySession session(5);
        session.history.SetMemoryBudget(10);
        session.Play(script);
        EXPECT_EQ(session.Render(), kept) << script;
        EXPECT_EQ(session.history.IsFilled(session.history.LastState() + 1), false) << script;
    }
}

TEST(StateHistory, ChangesCapacityKeepingTheNewestStates) {
    ExpectSessions(
        10, {
                {"a b c #50 d", "a b c [d]", "d"},
                {"a b c #5", "a b [c]", "c"},
                {"a b c d e f g h i j #5", "f g h i [j]", "j"},
                {"a b c d e f g h i j < < #5", "f g [h] i j", "h"},
                // the current state among those dropped: the position goes to the oldest kept
                {"a b c d e f g h i j < < < < < < < < < #5", "[f] g h i j", "a"},
                {"a b c d e f g h i j #5 k", "g h i j [k]", "k"},
                {"#5 a b c d e f", "b c d e [f]", "f"},
                {"#20 #5 a b c d e f", "b c d e [f]", "f"},
            });
}

// A history kept by an earlier run joins the states recorded since start-up: the start-up
// copy that the kept current state already holds is not recorded again, any other follows
// the kept current state as a copy after an undo does; the count applies; new states never
// take an id that a kept state had.
TEST(StateHistory, AdoptsAKeptHistoryBeforeTheStatesRecordedSinceStartUp) {
    struct Case {
        const char* script;
        std::int32_t current;  // of the kept a b c d
        const char* history;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"b", 2, "a [b] c d"},
             {"", 2, "a [b] c d"},
             {"z", 2, "a b [z]"},
             {"b z", 2, "a b [z]"},
             {"d y z", 4, "a b c d y [z]"},
             {"y z <", 4, "a b c d [y] z"},
             {"s t u v w", 4, "b c d s t u v [w]"},
         }) {
        HistorySession session(8);
        session.Play(c.script);
        std::vector<ClipboardState> kept(4);
        for (std::size_t i = 0; i < kept.size(); ++i) {
            kept[i].entries.emplace_back();
            kept[i].entries[0].formatId = FakeClipboard::kText;
            kept[i].entries[0].data = FakeClipboard::MakeBlock(std::string(1, char('a' + i)));
            kept[i].id = 20 + i;
        }
        session.history.AdoptKept(std::move(kept), c.current, 24);
        EXPECT_EQ(session.Render(), c.history) << c.script;
        std::set<std::uint64_t> ids;
        for (std::int32_t slot = 1; slot <= session.history.LastState(); ++slot) {
            const ClipboardState& state = session.history.State(slot);
            const char text = FakeClipboard::BlockBytes(state.entries[0].data)[0];
            EXPECT_TRUE(text <= 'd' ? state.id == 20u + (text - 'a') : state.id >= 24)
                << c.script << " " << text;
            ids.insert(state.id);
        }
        EXPECT_EQ(ids.size(), std::size_t(session.history.LastState())) << c.script;
    }
}

TEST(StateHistory, ClearReleasesEverythingAndLeavesTheClipboard) {
    ExpectSessions(10, {
                           {"a b x", "", "b"},
                           {"a b x <", "", "b"},
                           {"a b x c", "[c]", "c"},
                       });
    const std::size_t before = FakeClipboard::LiveBlocks();
    {
        HistorySession session;
        session.Play("a b c d");
        EXPECT_EQ(FakeClipboard::LiveBlocks(), before + 4);
        session.history.ClearHistory();
        EXPECT_EQ(FakeClipboard::LiveBlocks(), before);
        EXPECT_EQ(session.history.StatesCount(), 10);
    }
}

// The program's own write is known by the clipboard's change number, also while the write
// is under way (the viewer chain's notice arrives inside it); a save that finds the clipboard
// as the program left it records nothing.
TEST(StateHistory, KnowsItsOwnWriteUntilTheClipboardChangesAgain) {
    HistorySession session;
    session.Play("a b");
    EXPECT_FALSE(session.history.ClipboardHoldsOwnWrite());
    session.clipboard.busyOpens = 1;
    session.history.UndoState();
    EXPECT_FALSE(session.history.ClipboardHoldsOwnWrite()) << "nothing was written";

    bool insideTheWrite = false;
    session.clipboard.duringWrite = [&] {
        insideTheWrite = session.history.ClipboardHoldsOwnWrite();
    };
    session.history.UndoState();
    EXPECT_TRUE(insideTheWrite);
    EXPECT_TRUE(session.history.ClipboardHoldsOwnWrite());
    session.history.ChangeCount = 1;
    session.history.SaveClipboardState();
    EXPECT_EQ(session.Render(), "[a] b") << "the own write was recorded";

    session.Play("c");
    EXPECT_FALSE(session.history.ClipboardHoldsOwnWrite());
    EXPECT_EQ(session.Render(), "a [c]");
}

// An owner that renders each format only when asked, slowly, as office programs do: the text
// is asked for first, the rest in the clipboard's order until about a second has gone, and
// the partial state keeps the clipboard's order.
TEST(StateHistory, StopsAskingAtTheTimeLimitTextFirstAndKeepsTheOrder) {
    HistorySession session;
    session.clipboard.Put({
        {0xC001, u"Rich Text Format", "rtf", true, 400},
        {0xC002, u"HTML Format", "html", true, 400},
        {13, u"", "unicode", true, 400},
        {0xC003, u"Biff12", "cells", true, 400},
    });
    session.history.ChangeCount = 1;
    session.history.SaveClipboardState();
    EXPECT_EQ(session.clipboard.asked, (std::vector<std::int32_t>{13, 0xC001, 0xC002}));
    ASSERT_EQ(session.history.LastState(), 1);
    EXPECT_TRUE(session.history.State(1).partial);

    session.clipboard.Copy("other");
    session.history.RestoreState();
    std::vector<std::string> restored;
    for (const FakeClipboard::Format& format : session.clipboard.formats) {
        restored.push_back(format.bytes);
    }
    EXPECT_EQ(restored, (std::vector<std::string>{"rtf", "html", "unicode"}));
}

TEST(StateHistory, KeepsFormatsNamesAndOrderAndWritesNamedFormatsByName) {
    HistorySession session;
    session.clipboard.Put({
        {13, u"", "unicode text"},
        {0xC123, u"HTML Format", "<b>x</b>"},
        {2, u"", "bitmap", false},
        {1, u"", "text"},
    });
    session.history.ChangeCount = 1;
    session.history.SaveClipboardState();
    const ClipboardState& state = session.history.State(1);
    ASSERT_EQ(state.entries.size(), 3u);
    EXPECT_EQ(state.entries[0].formatId, 13);
    EXPECT_EQ(state.entries[1].formatName, u"HTML Format");
    EXPECT_EQ(state.entries[2].formatId, 1);

    session.clipboard.Copy("other");
    session.history.RestoreState();
    ASSERT_EQ(session.clipboard.formats.size(), 3u);
    EXPECT_EQ(session.clipboard.formats[1].id,
              session.clipboard.RegisterClipboardFormat(u"HTML Format"));
    EXPECT_EQ(session.clipboard.formats[1].bytes, "<b>x</b>");
    EXPECT_EQ(FakeClipboard::BlockBytes(state.entries[1].data), "<b>x</b>")
        << "the stored copy stays";
}

}  // namespace
}  // namespace revertly::history
