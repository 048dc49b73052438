#include "keep/file_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_clipboard.h"

namespace revertly::keep {
namespace {

using history::ClipboardState;
using testing::FakeClipboard;

int released = 0;
void CountRelease(history::DataBlock::Handle) {
    ++released;
}

// Little-endian numbers, each with its width in bytes.
std::vector<std::byte> Numbers(std::initializer_list<std::pair<std::uint64_t, int>> numbers) {
    std::vector<std::byte> bytes;
    for (const auto& [value, width] : numbers) {
        for (int i = 0; i < width; ++i) {
            bytes.push_back(static_cast<std::byte>(value >> (8 * i)));
        }
    }
    return bytes;
}

TEST(KeepFormat, LeavesOutFormatsHeldAsBlocksAndMarksTheStatePartial) {
    ClipboardState state;
    state.entries.resize(2);
    state.entries[0].formatId = 14;
    state.entries[0].block = history::DataBlock(7, CountRelease);
    state.entries[1].formatId = FakeClipboard::kText;
    state.entries[1].data = FakeClipboard::MakeBlock("text");

    const KeptState kept = KeepOf(1, state);
    ASSERT_EQ(kept.entries.size(), 1u);
    EXPECT_EQ(kept.entries[0].formatId, FakeClipboard::kText);
    EXPECT_TRUE(kept.partial);
    EXPECT_EQ(released, 0);
}

TEST(KeepFormat, RefusesContentsThatAreCutShortOrDoNotHoldTogether) {
    KeptState state;
    state.id = 9;
    state.summary.text = u"text";
    state.entries.push_back({1, u"", FakeClipboard::MakeBlock("text")});
    state.entries.push_back({0xC001, u"Named", state.entries[0].data});
    const std::vector<std::byte> whole = WriteStateContents(state);
    ASSERT_TRUE(ReadStateContents(whole));
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_FALSE(ReadStateContents(std::span(whole).first(size))) << size << " bytes";
    }
    std::vector<std::byte> longer = whole;
    longer.push_back(std::byte{0});
    EXPECT_FALSE(ReadStateContents(longer));

    std::vector<std::byte> markedAsIndex = whole;
    markedAsIndex[0] = static_cast<std::byte>(FileRole::Index);
    const std::vector<std::vector<std::byte>> states = {
        markedAsIndex,
        // No chunks, and four thousand million entries claimed in four bytes.
        Numbers({{2, 1}, {1, 2}, {9, 8}, {0, 1}, {0, 4}, {0xFFFFFFFF, 4}}),
        // An entry whose body is a chunk that is not there.
        Numbers({{2, 1}, {1, 2}, {9, 8}, {0, 1}, {0, 4}, {1, 4}, {1, 4}, {0, 2}, {0, 4}, {0, 4}}),
        // A compressed chunk of one byte that claims 4 KiB, more than deflate can make of it.
        Numbers(
            {{2, 1}, {1, 2}, {9, 8}, {0, 1}, {1, 4}, {1, 1}, {4096, 8}, {1, 8}, {0x78, 1}, {0, 4}}),
    };
    for (const std::vector<std::byte>& contents : states) {
        EXPECT_FALSE(ReadStateContents(contents)) << &contents - states.data();
    }

    const std::vector<std::vector<std::byte>> indexes = {
        WriteIndexContents({.ids = {1, 2}, .current = 3}),
        WriteIndexContents({.ids = {1, 2}, .current = 0}),
        WriteIndexContents({.ids = {1, 1}, .current = 1}),
        whole,
    };
    ASSERT_TRUE(ReadIndexContents(WriteIndexContents({.ids = {1, 2}, .current = 2})));
    for (const std::vector<std::byte>& contents : indexes) {
        EXPECT_FALSE(ReadIndexContents(contents)) << &contents - indexes.data();
    }
}

}  // namespace
}  // namespace revertly::keep
