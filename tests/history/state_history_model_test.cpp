// Thousands of random sessions played against the history and against a deliberately
// simple model of it (a list of texts and a position), compared after every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "history/state_history.h"
#include "support/fake_clipboard.h"

namespace revertly::history {
namespace {

using revertly::testing::FakeClipboard;

struct Model {
    std::vector<std::string> states;
    int current = 0;
    int capacity = kDefaultStatesCount;
    std::string clipboard;

    // Writes the state at a position; false when the clipboard is busy.
    bool Write(int position, bool busy) {
        if (busy) {
            return false;
        }
        clipboard = states[static_cast<std::size_t>(position - 1)];
        return true;
    }
    void Restore(bool busy) {
        if (current >= 1) {
            Write(current, busy);
        }
    }
    void Record(const std::string& text) {
        if (current == capacity) {
            states.erase(states.begin());
        } else {
            states.resize(static_cast<std::size_t>(current));
        }
        states.push_back(text);
        current = static_cast<int>(states.size());
    }
    void Resize(int count) {
        const int excess = static_cast<int>(states.size()) - count;
        if (excess > 0) {
            states.erase(states.begin(), states.begin() + excess);
            current = std::max(current - excess, 1);
        }
        capacity = count;
    }
};

enum class Change { Copy, Empty, Unreadable, Secret };

class ModelTest : public ::testing::Test {
  protected:
    void ExpectSame(const std::string& step) {
        ASSERT_EQ(history_.LastState(), static_cast<int>(model_.states.size())) << step;
        ASSERT_EQ(history_.CurrentState(), model_.current) << step;
        ASSERT_EQ(history_.StatesCount(), model_.capacity) << step;
        ASSERT_EQ(clipboard_.Text(), model_.clipboard) << step;
        for (int slot = 1; slot <= history_.StatesCount(); ++slot) {
            ASSERT_EQ(history_.IsFilled(slot), slot <= history_.LastState()) << step;
            if (slot <= history_.LastState()) {
                ASSERT_EQ(FakeClipboard::BlockBytes(history_.State(slot).entries[0].data),
                          model_.states[static_cast<std::size_t>(slot - 1)])
                    << step;
            }
        }
        ASSERT_EQ(FakeClipboard::LiveBlocks(), blocksBefore_ + model_.states.size()) << step;
    }

    // Another program changes the clipboard; a burst of `changes` notifications ends and
    // the save timer fires.
    void PlayChange(Change change, int changes, bool busy, const std::string& text) {
        switch (change) {
            case Change::Copy:
            case Change::Secret:
                clipboard_.Copy(text);
                model_.clipboard = text;
                break;
            case Change::Empty:
                clipboard_.Empty();
                model_.clipboard.clear();
                break;
            case Change::Unreadable:
                clipboard_.Put({{2, u"", "bitmap", false}});
                model_.clipboard.clear();
                break;
        }
        clipboard_.excluded = change == Change::Secret;
        clipboard_.busyOpens = busy ? 1 : 0;
        history_.ChangeCount = changes;
        history_.SaveClipboardState();

        if (changes > 2 || change == Change::Empty) {
            model_.Restore(busy);
        } else if (busy || change == Change::Secret || change == Change::Unreadable) {
            // neither recorded nor overwritten
        } else {
            model_.Record(text);
        }
        clipboard_.busyOpens = 0;
    }

    FakeClipboard clipboard_;
    StateHistory history_{clipboard_};
    Model model_;
    const std::size_t blocksBefore_ = FakeClipboard::LiveBlocks();
};

TEST_F(ModelTest, RandomSessionsMatchTheModel) {
    std::mt19937 random(20261208);
    const auto pick = [&random](int below) {
        return std::uniform_int_distribution<int>(0, below - 1)(random);
    };
    int copies = 0;
    for (int session = 0; session < 1000 && !HasFatalFailure(); ++session) {
        const int undoBias = pick(6);
        for (int step = 0; step < 150 && !HasFatalFailure(); ++step) {
            std::ostringstream what;
            what << "session " << session << " step " << step << ": ";
            // Each session leans its own way, so that some build long histories and walk
            // far back in them before the capacity shrinks.
            const int action = pick(20) < undoBias ? 9 : pick(20);
            const bool busy = pick(8) == 0;
            if (action < 9) {
                const Change change = pick(10) < 7 ? Change::Copy : static_cast<Change>(pick(4));
                const int changes = 1 + (pick(4) == 0 ? pick(4) : 0);
                const std::string text = "t" + std::to_string(copies++);
                what << "change " << static_cast<int>(change) << " x" << changes
                     << (busy ? " busy" : "");
                PlayChange(change, changes, busy, text);
            } else if (action < 13) {
                // sometimes a run of undos, to walk far back
                const int undos = pick(4) == 0 ? 1 + pick(12) : 1;
                what << undos << " undo" << (busy ? " busy" : "");
                for (int undo = 0; undo < undos; ++undo) {
                    clipboard_.busyOpens = busy ? 1 : 0;
                    history_.UndoState();
                    if (model_.current >= 2 && model_.Write(model_.current - 1, busy)) {
                        --model_.current;
                    }
                }
            } else if (action < 17) {
                what << "redo" << (busy ? " busy" : "");
                clipboard_.busyOpens = busy ? 1 : 0;
                history_.RedoState();
                if (model_.current < static_cast<int>(model_.states.size()) &&
                    model_.Write(model_.current + 1, busy)) {
                    ++model_.current;
                }
            } else if (action < 18) {
                what << "clear";
                history_.ClearHistory();
                model_.states.clear();
                model_.current = 0;
            } else {
                const int count = kStateCounts[pick(5)];
                what << "capacity " << count;
                history_.SetStatesCount(count);
                model_.Resize(count);
            }
            clipboard_.busyOpens = 0;
            ExpectSame(what.str());
        }
    }
    history_.ClearHistory();
    EXPECT_EQ(FakeClipboard::LiveBlocks(), blocksBefore_) << "every block released";
}

}  // namespace
}  // namespace revertly::history
