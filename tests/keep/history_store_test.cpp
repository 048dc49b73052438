#include "keep/history_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "history/packing.h"
#include "keep/keep_fakes.h"
#include "support/fake_clipboard.h"

namespace revertly::keep {
namespace {

using history::ClipboardFormatData;
using history::ClipboardState;
using testing::FakeClipboard;
using testing::MemoryFolder;
using testing::TestSeal;

constexpr std::uint64_t kKey = 0x5EC12E7;
constexpr std::int32_t kBitmap = 8;
constexpr std::int32_t kBitmapV5 = 17;

void AddFormat(ClipboardState& state, std::int32_t id, std::u16string name,
               const std::string& bytes) {
    ClipboardFormatData& entry = state.entries.emplace_back();
    entry.formatId = id;
    entry.formatName = std::move(name);
    entry.data = FakeClipboard::MakeBlock(bytes);
    entry.storedBytes = bytes.size();
}

KeptState Text(std::uint64_t id, const std::string& text) {
    ClipboardState state;
    AddFormat(state, FakeClipboard::kText, u"", text);
    state.summary.text = std::u16string(text.begin(), text.end());
    return KeepOf(id, state);
}

// A picture as Windows lists it, its two bitmap formats packed to share their pixels.
KeptState Picture(std::uint64_t id) {
    std::string pixels(256 << 10, '\0');
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<char>('a' + (i / 4096) % 5);
    }
    ClipboardState state;
    AddFormat(state, kBitmap, u"", std::string(40, 'h') + pixels);
    AddFormat(state, kBitmapV5, u"", std::string(124, 'v') + pixels);
    state.summary.picture = true;
    history::ApplyPacking(history::RunPacking(history::MakePackingJob(state)), state);
    return KeepOf(id, state);
}

// Each format as "id name bytes", for comparing what two states would put back.
std::vector<std::string> Formats(const KeptState& state) {
    std::vector<std::string> formats;
    for (const KeptEntry& entry : state.entries) {
        formats.push_back(std::to_string(entry.formatId) + " " +
                          std::string(entry.formatName.begin(), entry.formatName.end()) + " " +
                          FakeClipboard::BlockBytes(entry.data));
    }
    return formats;
}

std::vector<std::uint64_t> Ids(const LoadedHistory& loaded) {
    std::vector<std::uint64_t> ids;
    for (const KeptState& state : loaded.states) {
        ids.push_back(state.id);
    }
    return ids;
}

std::string StateFile(std::uint64_t id) {
    const std::u16string name = StateFileName(id);
    return std::string(name.begin(), name.end());
}

class KeepStore : public ::testing::Test {
  protected:
    // Another run of the program: a store that has written nothing yet, over the same folder.
    LoadedHistory LoadAgain() {
        HistoryStore again(seal, folder);
        return again.Load();
    }

    MemoryFolder folder;
    TestSeal seal{kKey};
    HistoryStore store{seal, folder};
};

TEST_F(KeepStore, KeepsStatesInOrderWithThePositionAndThePicturesSharedPixels) {
    KeptState html = Text(3, "<b>third</b>");
    html.entries.push_back({0xC123, u"HTML Format", FakeClipboard::MakeBlock("<b>")});
    html.partial = true;
    const std::vector<KeptState> states = {Text(1, "first"), Picture(2), html};
    ASSERT_TRUE(store.Save(states, 2));

    const LoadedHistory loaded = LoadAgain();
    ASSERT_EQ(Ids(loaded), (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(loaded.current, 2);
    EXPECT_EQ(loaded.nextId, 4u);
    for (std::size_t i = 0; i < states.size(); ++i) {
        EXPECT_EQ(Formats(loaded.states[i]), Formats(states[i])) << "state " << i + 1;
        EXPECT_EQ(loaded.states[i].summary.text, states[i].summary.text);
        EXPECT_EQ(loaded.states[i].summary.picture, states[i].summary.picture);
        EXPECT_EQ(loaded.states[i].partial, states[i].partial);
    }
    // The pixels come back compressed and shared, so the picture takes as little as before.
    const KeptState& picture = loaded.states[1];
    EXPECT_TRUE(picture.entries[0].data.body->compressed());
    EXPECT_EQ(picture.entries[0].data.body, picture.entries[1].data.body);
    EXPECT_EQ(ToClipboardState(picture).entries[1].storedBytes, 124u);
}

TEST_F(KeepStore, LeavesOutOnlyAStateWhoseFileCannotBeUsedAndRemovesIt) {
    const std::vector<KeptState> states = {Text(1, "one"), Text(2, "two"), Text(3, "three")};
    const std::vector<std::byte> contents = WriteStateContents(states[1]);
    std::vector<std::byte> laterVersion = contents;
    laterVersion[1] = static_cast<std::byte>(kKeptVersion + 1);
    const struct {
        const char* what;
        std::function<void(std::vector<std::byte>&, const MemoryFolder&)> damage;
    } cases[] = {
        {"cut short", [](auto& file, auto&) { file.pop_back(); }},
        {"a byte changed", [](auto& file, auto&) { file[file.size() / 2] ^= std::byte{1}; }},
        {"sealed with another key",
         [&](auto& file, auto&) { file = *TestSeal(kKey + 1).Seal(FileRole::State, 1, contents); }},
        {"sealed for another version",
         [&](auto& file, auto&) { file = *seal.Seal(FileRole::State, 2, contents); }},
        {"another version inside",
         [&](auto& file, auto&) { file = *seal.Seal(FileRole::State, 1, laterVersion); }},
        {"sealed as the index",
         [&](auto& file, auto&) { file = *seal.Seal(FileRole::Index, 1, contents); }},
        {"another state's file",
         [](auto& file, auto& all) { file = all.files.at(StateFileName(1)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        folder.files.clear();
        HistoryStore fresh(seal, folder);
        ASSERT_TRUE(fresh.Save(states, 3));
        c.damage(folder.files.at(StateFileName(2)), folder);

        const LoadedHistory loaded = LoadAgain();
        EXPECT_EQ(Ids(loaded), (std::vector<std::uint64_t>{1, 3}));
        EXPECT_EQ(loaded.current, 2);
        EXPECT_EQ(folder.Names(), "index.rvk " + StateFile(1) + " " + StateFile(3));
    }
}

TEST_F(KeepStore, ADamagedIndexStartsEmptyAndRemovesEveryKeptFile) {
    ASSERT_TRUE(store.Save(std::vector{Text(1, "one"), Text(2, "two")}, 2));
    folder.files[u"lock"] = {};
    folder.files.at(std::u16string(kIndexFileName))[3] ^= std::byte{0x80};

    const LoadedHistory loaded = LoadAgain();
    EXPECT_TRUE(loaded.states.empty());
    EXPECT_EQ(loaded.current, 0);
    EXPECT_EQ(folder.Names(), "lock");
}

TEST_F(KeepStore, WritesEachStateOnceAndRemovesTheFilesOfStatesThatLeft) {
    ASSERT_TRUE(store.Save(std::vector{Text(1, "one"), Text(2, "two"), Text(3, "three")}, 3));
    const std::vector<std::byte> second = folder.files.at(StateFileName(2));

    ASSERT_TRUE(store.Save(std::vector{Text(2, "two"), Text(3, "three"), Text(4, "four")}, 1));
    EXPECT_EQ(folder.Names(),
              "index.rvk " + StateFile(2) + " " + StateFile(3) + " " + StateFile(4));
    EXPECT_EQ(folder.files.at(StateFileName(2)), second);
    const LoadedHistory loaded = LoadAgain();
    EXPECT_EQ(Ids(loaded), (std::vector<std::uint64_t>{2, 3, 4}));
    EXPECT_EQ(loaded.current, 1);

    EXPECT_TRUE(store.Clear());
    EXPECT_EQ(folder.Names(), "");
}

TEST_F(KeepStore, AStateThatCannotBeWrittenStaysOutOfTheIndexUntilItIs) {
    const std::vector<KeptState> states = {Text(1, "one"), Text(2, "two")};
    folder.refusedWrites.insert(StateFileName(2));
    EXPECT_FALSE(store.Save(states, 2));
    const LoadedHistory loaded = LoadAgain();
    EXPECT_EQ(Ids(loaded), (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(loaded.current, 1);

    folder.refusedWrites.clear();
    EXPECT_TRUE(store.Save(states, 2));
    EXPECT_EQ(Ids(LoadAgain()), (std::vector<std::uint64_t>{1, 2}));
}

TEST_F(KeepStore, NoFileHoldsTheCopiedTextInTheClear) {
    const std::string secret = "my bank password";
    const std::u16string wide(secret.begin(), secret.end());
    std::string wideBytes;
    for (const char16_t unit : wide) {
        wideBytes += {static_cast<char>(unit), '\0'};
    }
    ASSERT_TRUE(store.Save(std::vector{Text(1, secret)}, 1));

    ASSERT_EQ(folder.files.size(), 2u);
    for (const auto& [name, bytes] : folder.files) {
        const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        EXPECT_EQ(text.find(secret), std::string::npos);
        EXPECT_EQ(text.find(wideBytes), std::string::npos);
    }
}

}  // namespace
}  // namespace revertly::keep
