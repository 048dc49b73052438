#include "app/choices/recent_states.h"

#include <gtest/gtest.h>

#include "support/fake_clipboard.h"

namespace revertly::app {
namespace {

using testing::FakeClipboard;

TEST(RecentStates, ListsTheStatesNewestFirstWithPreviewsNumbersAndTheCurrentChecked) {
    FakeClipboard clipboard;
    history::StateHistory history(clipboard, 20);
    const auto record = [&](std::vector<FakeClipboard::Format> formats) {
        clipboard.Put(std::move(formats));
        history.ChangeCount = 1;
        ASSERT_TRUE(history.SaveClipboardState());
    };
    // Its owner renders the text so slowly that the picture is not asked for.
    record({{FakeClipboard::kText, u"", "slow", true, 1500}, {8, u"", "picture"}});
    record({{FakeClipboard::kText, u"", "Fish & chips\r\nand more"}});
    for (int copy = 3; copy <= 12; ++copy) {
        record({{FakeClipboard::kText, u"", "copy " + std::to_string(copy)}});
    }
    history.UndoState();
    history.UndoState();

    const RecentStates list = ListRecentStates(history);
    std::vector<std::string> lines;
    for (const RecentStateLine& line : list.lines) {
        lines.push_back((line.checked ? "* " : "") +
                        std::string(line.caption.begin(), line.caption.end()));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "&1  copy 12", "&2  copy 11", "* &3  copy 10", "&4  copy 9", "&5  copy 8",
                         "&6  copy 7", "&7  copy 6", "&8  copy 5", "&9  copy 4", "1&0  copy 3",
                         "11  Fish && chips", "12  slow (partly kept)"}));
    EXPECT_EQ(list.slots, (std::vector<std::int32_t>{12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
}

}  // namespace
}  // namespace revertly::app
