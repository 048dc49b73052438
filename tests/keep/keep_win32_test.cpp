// The kept history's Win32 adapters against the real API: the folder's files, and the seal
// (DPAPI and BCrypt), each in a scratch folder of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "keep/api_win32.h"
#include "keep/history_store.h"
#include "keep/kept_files_win32.h"
#include "keep/seal_win32.h"
#include "support/api_override.h"
#include "support/fake_clipboard.h"
#include "support/scratch_dir.h"

namespace revertly::keep {
namespace {

using revertly::testing::ApiOverride;
using revertly::testing::FakeClipboard;
using revertly::testing::ListFolder;
using revertly::testing::ReadBytes;
using revertly::testing::ScratchDir;
using revertly::testing::WriteBytes;

std::vector<std::byte> Bytes(std::string_view text) {
    const auto bytes = std::as_bytes(std::span(text));
    return {bytes.begin(), bytes.end()};
}

std::vector<std::u16string> Sorted(std::optional<std::vector<std::u16string>> names) {
    if (!names) {
        return {u"(not listed)"};
    }
    std::sort(names->begin(), names->end());
    return *names;
}

BOOL WINAPI RefuseMove(LPCWSTR, LPCWSTR, DWORD) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

// Opens the file as another program that shares it with no one: it can be neither read,
// replaced nor removed until closed.
HANDLE OpenUnshared(const std::u16string& path) {
    return CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Win32KeptFiles, WritesReadsListsAndRemovesWholeFilesInItsFolder) {
    const ScratchDir dir;
    const std::u16string folder = dir.File(u"Revertly");
    Win32KeptFiles files(folder);
    EXPECT_EQ(files.List(), std::vector<std::u16string>{}) << "no folder yet";
    EXPECT_EQ(files.Read(u"a.rvk"), std::nullopt);

    ASSERT_TRUE(files.Write(u"a.rvk", Bytes("first"))) << "makes the folder";
    ASSERT_TRUE(files.Write(u"a.rvk", Bytes("second")));
    ASSERT_TRUE(files.Write(u"b.rvk", {}));
    EXPECT_EQ(files.Read(u"a.rvk"), Bytes("second"));
    EXPECT_EQ(files.Read(u"b.rvk"), std::vector<std::byte>{});

    // A write cut short by a crash leaves its temporary file; a folder is no file.
    WriteBytes(folder + u"\\a.rvk.4242-0.tmp", "cut short");
    std::filesystem::create_directory(std::filesystem::path(folder + u"\\sub"));
    EXPECT_EQ(Sorted(files.List()), (std::vector<std::u16string>{u"a.rvk", u"b.rvk"}));

    EXPECT_TRUE(files.Remove(u"a.rvk"));
    EXPECT_TRUE(files.Remove(u"a.rvk")) << "gone already";
    EXPECT_EQ(files.Read(u"a.rvk"), std::nullopt);

    for (const std::u16string_view name : {u"", u"..", u"sub\\c.rvk", u"sub/c.rvk", u"C:c.rvk"}) {
        EXPECT_FALSE(files.Write(name, Bytes("elsewhere")))
            << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(ListFolder(folder + u"\\sub"), "");
}

TEST(Win32KeptFiles, WriteRefusedHalfWayLeavesTheOldFileAndNoTemporaryFile) {
    const ScratchDir dir;
    const std::u16string folder = dir.File(u"Revertly");
    Win32KeptFiles files(folder);
    ASSERT_TRUE(files.Write(u"index.rvk", Bytes("old")));

    const ApiOverride api(Api());
    api->MoveFileExW = &RefuseMove;
    EXPECT_FALSE(files.Write(u"index.rvk", Bytes("new")));
    EXPECT_EQ(files.Read(u"index.rvk"), Bytes("old"));
    EXPECT_EQ(ListFolder(folder), "index.rvk");
}

TEST(Win32KeptFiles, HoldsItsFolderAloneUntilItLetsGoAndNeverListsTheLock) {
    const ScratchDir dir;
    const std::u16string folder = dir.File(u"Revertly");
    Win32KeptFiles first(folder);
    Win32KeptFiles second(folder);
    ASSERT_TRUE(first.Hold()) << "makes the folder";
    EXPECT_TRUE(first.Hold()) << "held again";
    WriteBytes(folder + u"\\state-1.rvk.4242-0.tmp", "a write cut short by a crash");
    EXPECT_FALSE(second.Hold());
    EXPECT_EQ(ListFolder(folder), "lock.rvk state-1.rvk.4242-0.tmp") << "not the holder's";
    first.LetGo();
    ASSERT_TRUE(first.Hold());
    EXPECT_EQ(ListFolder(folder), "lock.rvk") << "the temporary file goes with a new hold";
    EXPECT_EQ(first.List(), std::vector<std::u16string>{});
    first.LetGo();
    EXPECT_EQ(ListFolder(folder), "") << "the lock file goes with the hold";
    EXPECT_TRUE(second.Hold());
}

TEST(Win32KeptFiles, RemoveAllAndLetGoSaysSoWhenAFileStaysAndElseLeavesNoFolder) {
    const ScratchDir dir;
    const std::u16string folder = dir.File(u"Revertly");
    Win32KeptFiles files(folder);
    ASSERT_TRUE(files.Hold());
    ASSERT_TRUE(files.Write(u"index.rvk", Bytes("index")));
    WriteBytes(folder + u"\\index.rvk.4242-0.tmp", "cut short");
    {
        const HANDLE held = OpenUnshared(folder + u"\\index.rvk");
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(files.RemoveAllAndLetGo());
        CloseHandle(held);
    }
    EXPECT_EQ(ListFolder(folder), "index.rvk");
    EXPECT_TRUE(files.RemoveAllAndLetGo());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder)));
}

template <typename Haystack, typename Needle>
bool Holds(const Haystack& haystack, const Needle& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// A folder and a seal over it, as the program would make them.
struct SealedFolder {
    ScratchDir dir;
    std::u16string folder = dir.File(u"Revertly");
    Win32KeptFiles files{folder};
    std::u16string KeyFile() const { return folder + u"\\key.rvk"; }
};

// The plain key the seal last handed to BCrypt.
std::string plainKey;
decltype(&::BCryptGenerateSymmetricKey) realGenerateKey = nullptr;
NTSTATUS WINAPI RememberPlainKey(BCRYPT_ALG_HANDLE algorithm, BCRYPT_KEY_HANDLE* key, PUCHAR object,
                                 ULONG objectSize, PUCHAR secret, ULONG size, ULONG flags) {
    plainKey.assign(reinterpret_cast<const char*>(secret), size);
    return realGenerateKey(algorithm, key, object, objectSize, secret, size, flags);
}

TEST(Win32Seal, OpensWhatItSealedAndNothingElse) {
    SealedFolder kept;
    Win32Seal seal(kept.files);
    const std::vector<std::byte> contents = Bytes("a copied text, never on disk in the clear");
    const std::optional<std::vector<std::byte>> sealed =
        seal.Seal(FileRole::State, kKeptVersion, contents);
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->size(), 12 + contents.size() + 16);
    EXPECT_FALSE(Holds(*sealed, Bytes("copied")));
    EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion, *sealed), contents);
    EXPECT_NE(seal.Seal(FileRole::State, kKeptVersion, contents), sealed) << "a fresh nonce";
    Win32Seal later(kept.files);
    EXPECT_EQ(later.Open(FileRole::State, kKeptVersion, *sealed), contents) << "the key is kept";

    for (const std::size_t at : {std::size_t{0}, std::size_t{12}, sealed->size() - 1}) {
        std::vector<std::byte> changed = *sealed;
        changed[at] ^= std::byte{1};
        EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion, changed), std::nullopt) << at;
    }
    std::vector<std::byte> cut(sealed->begin(), sealed->end() - 1);
    EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion, cut), std::nullopt);
    std::vector<std::byte> longer = *sealed;
    longer.push_back(std::byte{0});
    EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion, longer), std::nullopt);
    EXPECT_EQ(seal.Open(FileRole::Index, kKeptVersion, *sealed), std::nullopt);
    EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion + 1, *sealed), std::nullopt);
}

TEST(Win32Seal, KeepsItsKeyOnlyAsDpapiProtectedIt) {
    SealedFolder kept;
    const ApiOverride api(Api());
    realGenerateKey = api.Saved().BCryptGenerateSymmetricKey;
    api->BCryptGenerateSymmetricKey = &RememberPlainKey;
    Win32Seal seal(kept.files);
    ASSERT_TRUE(seal.Seal(FileRole::Index, kKeptVersion, Bytes("index")));
    ASSERT_EQ(plainKey.size(), 32u);
    const std::string keyFile = ReadBytes(kept.KeyFile());
    EXPECT_GT(keyFile.size(), plainKey.size());
    EXPECT_FALSE(Holds(keyFile, plainKey));
}

TEST(Win32Seal, KeyThatDpapiRefusesIsReplacedAndWhatItSealedIsLost) {
    SealedFolder kept;
    const std::optional<std::vector<std::byte>> old =
        Win32Seal(kept.files).Seal(FileRole::State, kKeptVersion, Bytes("old"));
    ASSERT_TRUE(old);
    // As a key file of another user or computer: a blob DPAPI will not open.
    std::string keyFile = ReadBytes(kept.KeyFile());
    keyFile[keyFile.size() / 2] ^= 1;
    WriteBytes(kept.KeyFile(), keyFile);

    Win32Seal seal(kept.files);
    EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion, *old), std::nullopt);
    EXPECT_NE(ReadBytes(kept.KeyFile()), keyFile);
    const std::optional<std::vector<std::byte>> fresh =
        seal.Seal(FileRole::State, kKeptVersion, Bytes("new"));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(Win32Seal(kept.files).Open(FileRole::State, kKeptVersion, *fresh), Bytes("new"));
}

TEST(Win32Seal, KeyFileThatCannotBeReadNowIsKept) {
    SealedFolder kept;
    const std::optional<std::vector<std::byte>> old =
        Win32Seal(kept.files).Seal(FileRole::State, kKeptVersion, Bytes("old"));
    ASSERT_TRUE(old);
    const std::string keyFile = ReadBytes(kept.KeyFile());
    {
        const HANDLE held = OpenUnshared(kept.KeyFile());
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Win32Seal(kept.files).Open(FileRole::State, kKeptVersion, *old), std::nullopt);
        CloseHandle(held);
    }
    EXPECT_EQ(ReadBytes(kept.KeyFile()), keyFile);
    EXPECT_EQ(Win32Seal(kept.files).Open(FileRole::State, kKeptVersion, *old), Bytes("old"));
}

TEST(Win32Seal, ForgetDestroysTheKeyAndTheNextSealMakesANewOne) {
    SealedFolder kept;
    Win32Seal seal(kept.files);
    const std::optional<std::vector<std::byte>> old =
        seal.Seal(FileRole::State, kKeptVersion, Bytes("old"));
    ASSERT_TRUE(old);
    ASSERT_TRUE(seal.Forget());
    EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion, *old), std::nullopt);
    const std::optional<std::vector<std::byte>> fresh =
        seal.Seal(FileRole::State, kKeptVersion, Bytes("new"));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(seal.Open(FileRole::State, kKeptVersion, *fresh), Bytes("new"));
}

TEST(Win32KeptHistory, ComesBackThroughTheRealSealAndFolderWithNothingInTheClear) {
    SealedFolder kept;
    const std::string text = "a text copied before the restart";
    history::ClipboardState state;
    history::ClipboardFormatData& entry = state.entries.emplace_back();
    entry.formatId = FakeClipboard::kText;
    entry.data = FakeClipboard::MakeBlock(text);
    entry.storedBytes = text.size();
    const KeptState saved = KeepOf(7, state);
    {
        Win32Seal seal(kept.files);
        ASSERT_TRUE(HistoryStore(seal, kept.files).Save(std::span(&saved, 1), 1));
    }
    for (const auto& file : std::filesystem::directory_iterator(kept.folder)) {
        EXPECT_FALSE(Holds(ReadBytes(file.path().u16string()), std::string_view("copied")))
            << file.path().filename().string();
    }

    Win32Seal seal(kept.files);
    const LoadedHistory loaded = HistoryStore(seal, kept.files).Load();
    ASSERT_EQ(loaded.states.size(), 1u);
    ASSERT_EQ(loaded.states[0].entries.size(), 1u);
    EXPECT_EQ(FakeClipboard::BlockBytes(loaded.states[0].entries[0].data), text);
    EXPECT_EQ(loaded.current, 1);
}

}  // namespace
}  // namespace revertly::keep
