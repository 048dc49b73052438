#include "settings/text_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "support/api_override.h"
#include "support/scratch_dir.h"

#ifdef _WIN32
#include <windows.h>

#include <set>
#include <thread>

#include "settings/api_win32.h"
#endif

namespace revertly::files {
namespace {

using revertly::testing::ListFolder;
using revertly::testing::ReadBytes;
using revertly::testing::ScratchDir;
using revertly::testing::SetReadOnly;
using revertly::testing::WriteBytes;

std::string CyrillicBytes() {
    std::string bytes;
    for (int byte = 0xC0; byte <= 0xFF; ++byte) {
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

std::u16string CyrillicLetters() {
    std::u16string text;
    for (char16_t unit = u'\u0410'; unit <= u'\u044F'; ++unit) {
        text += unit;
    }
    return text;
}

TEST(TextFile, ReadsTheFileUpToItsFirstZeroByte) {
    const struct {
        const char* name;
        std::optional<std::string> bytes;  // none: no file at all
        std::u16string text;
    } cases[] = {
        {"empty file", std::string(), u""},
        {"missing file", std::nullopt, u""},
        {"Cyrillic letters", CyrillicBytes(), CyrillicLetters()},
        {"zero byte ends the text", std::string("ab\0cd", 5), u"ab"},
        {"UTF-8 byte-order mark is plain text", "\xEF\xBB\xBF{}", u"\u043F\u00BB\u0457{}"},
    };
    for (const auto& c : cases) {
        const ScratchDir dir;
        const std::u16string path = dir.File(u"\u0444\u0430\u0439\u043B.txt");
        if (c.bytes) {
            WriteBytes(path, *c.bytes);
        }
        EXPECT_EQ(ReadTextFile(path), c.text) << c.name;
    }
}

TEST(TextFile, RefusesFilesOf4GiBOrMore) {
    const ScratchDir dir;
    const std::u16string path = dir.File(u"huge.txt");
    WriteBytes(path, "abc");
    // Sparse: takes no disk space. Only the low 32 bits of this size would read "abc".
    std::filesystem::resize_file(std::filesystem::path(path), (std::uintmax_t{1} << 32) + 3);
    EXPECT_EQ(ReadTextFile(path), u"");
}

TEST(TextFile, WritesOneBytePerCharacterAndReplacesTheWholeFile) {
    const struct {
        const char* name;
        std::optional<std::string> old;
        std::optional<std::string> leftover;  // a temporary file left behind by a crash
        std::u16string text;
        bool flush;
        std::string bytes;
    } cases[] = {
        {"empty text creates an empty file", std::nullopt, std::nullopt, u"", false, ""},
        {"Cyrillic letters", std::nullopt, std::nullopt, CyrillicLetters(), true, CyrillicBytes()},
        {"shorter text", "a much longer old content", std::nullopt, u"new", false, "new"},
        {"U+0000 ends the text", "old", std::nullopt, std::u16string(u"ab\0cd", 5), true, "ab"},
#ifndef _WIN32
        // POSIX writes through one temporary name, so a crash's leftover is taken over; on
        // Windows every process names its own.
        {"longer leftover temporary file", "old", "leftover content", u"new", false, "new"},
#endif
    };
    for (const auto& c : cases) {
        const ScratchDir dir;
        const std::u16string path = dir.File(u"\u0444\u0430\u0439\u043B.txt");
        if (c.old) {
            WriteBytes(path, *c.old);
        }
        if (c.leftover) {
            WriteBytes(path + u".tmp", *c.leftover);
        }
        EXPECT_EQ(WriteTextFile(path, c.text, c.flush), WriteResult::Written) << c.name;
        EXPECT_EQ(ReadBytes(path), c.bytes) << c.name;
        EXPECT_EQ(ListFolder(dir.Path()), "\u0444\u0430\u0439\u043B.txt") << c.name;
    }
}

TEST(TextFile, FailedWriteLeavesTheFolderAsItWas) {
    const ScratchDir dir;
    EXPECT_EQ(WriteTextFile(dir.File(u"missing/settings.txt"), u"x", false), WriteResult::Failed);
    EXPECT_EQ(WriteTextFile(dir.File(std::u16string(u"cut\0.txt", 8)), u"x", false),
              WriteResult::Failed);
    EXPECT_EQ(ListFolder(dir.Path()), "") << "missing folder or a name with U+0000";

    const std::u16string readOnly = dir.File(u"read-only.txt");
    WriteBytes(readOnly, "old");
    SetReadOnly(readOnly, true);
    EXPECT_EQ(WriteTextFile(readOnly, u"new", false), WriteResult::Failed);
    EXPECT_EQ(ReadBytes(readOnly), "old");

    // A folder in the file's place: refused for good (on POSIX only at the final replace,
    // after the temporary file was written).
    const std::u16string folder = dir.File(u"folder");
    std::filesystem::create_directory(std::filesystem::path(folder));
    EXPECT_EQ(WriteTextFile(folder, u"new", false), WriteResult::Failed);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(folder)));

    EXPECT_EQ(ListFolder(dir.Path()), "folder read-only.txt");
}

#ifdef _WIN32
// Another program reading the settings file without delete sharing blocks the replace: the
// write is Busy, not failed, and the old file stays whole. Given patience, the write waits
// for the reader to let go.
TEST(TextFile, AReaderHoldingTheFileMakesTheWriteBusyUntilItLetsGo) {
    const ScratchDir dir;
    const std::u16string path = dir.File(u"settings.txt");
    WriteBytes(path, "old");
    HANDLE reader = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WriteTextFile(path, u"new", false), WriteResult::Busy);
    EXPECT_EQ(ReadBytes(path), "old");
    EXPECT_EQ(ListFolder(dir.Path()), "settings.txt");

    std::thread letGo([reader] {
        Sleep(200);
        CloseHandle(reader);
    });
    EXPECT_EQ(WriteTextFile(path, u"new", false, 5000), WriteResult::Written);
    letGo.join();
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(ListFolder(dir.Path()), "settings.txt");
}

// Stands in for a scanner that holds every deleted temporary file with delete sharing, on a
// volume that does not delete POSIX-style: the name stays taken, and creating it again is
// refused with access denied, until the scanner lets go.
std::set<std::wstring> deletedNames;
BOOL WINAPI DeleteWhilePending(LPCWSTR name) {
    const BOOL deleted = DeleteFileW(name);
    if (deleted) {
        deletedNames.insert(name);
    }
    return deleted;
}
HANDLE WINAPI RefusePendingNames(LPCWSTR name, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                 HANDLE model) {
    if (deletedNames.count(name) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(name, access, share, security, disposition, flags, model);
}

TEST(TextFile, ATemporaryNameStillPendingDeletionKeepsTheWriteBusyNotFailed) {
    const ScratchDir dir;
    const std::u16string path = dir.File(u"settings.txt");
    WriteBytes(path, "old");
    const testing::ApiOverride api(Api());
    api->DeleteFileW = &DeleteWhilePending;
    api->CreateFileW = &RefusePendingNames;
    HANDLE reader = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WriteTextFile(path, u"new", false), WriteResult::Busy);
    EXPECT_EQ(WriteTextFile(path, u"new", false), WriteResult::Busy) << "the next try";
    CloseHandle(reader);
    EXPECT_EQ(WriteTextFile(path, u"new", false), WriteResult::Written) << "once read";
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(ListFolder(dir.Path()), "settings.txt");
}

int WINAPI RefuseToEncode(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

// Windows refusing the conversion to the code page is a failed write, not an empty text.
TEST(TextFile, ATextTheSystemCannotEncodeLeavesTheFileAsItWas) {
    const ScratchDir dir;
    const std::u16string path = dir.File(u"settings.txt");
    WriteBytes(path, "old");
    WriteResult written = WriteResult::Written;
    {
        const testing::ApiOverride api(Api());
        api->WideCharToMultiByte = RefuseToEncode;
        written = WriteTextFile(path, u"new", false);
    }
    EXPECT_EQ(written, WriteResult::Failed);
    EXPECT_EQ(ReadBytes(path), "old");
    EXPECT_EQ(ListFolder(dir.Path()), "settings.txt");
}
#endif

}  // namespace
}  // namespace revertly::files
