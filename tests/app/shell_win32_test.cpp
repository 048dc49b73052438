#include "app/shell_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "app/api_win32.h"
#include "app/autorun.h"
#include "support/api_override.h"
#include "support/scratch_dir.h"

namespace revertly::app {
namespace {

namespace fs = std::filesystem;

struct LinkContents {
    std::wstring path, target, arguments, workingFolder;
};

// Reads a saved link back through the shell. Wine keeps the link's path text in the ANSI
// code page only, so a Cyrillic folder name reads back from GetPath as "?" there; the link's
// item list holds the whole name. Wine also leaves a "/" in the item list where Windows
// stores "\", so the target is compared with "\" throughout.
LinkContents ReadLink(const std::u16string& linkPath) {
    LinkContents read;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    PIDLIST_ABSOLUTE items = nullptr;
    wchar_t text[4][INFOTIPSIZE] = {};
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_PPV_ARGS(&file))) &&
        SUCCEEDED(file->Load(reinterpret_cast<const wchar_t*>(linkPath.c_str()), STGM_READ)) &&
        SUCCEEDED(link->GetPath(text[0], MAX_PATH, nullptr, SLGP_RAWPATH)) &&
        SUCCEEDED(link->GetIDList(&items)) && SHGetPathFromIDListW(items, text[1]) &&
        SUCCEEDED(link->GetArguments(text[2], INFOTIPSIZE)) &&
        SUCCEEDED(link->GetWorkingDirectory(text[3], MAX_PATH))) {
        read = {text[0], text[1], text[2], text[3]};
        std::ranges::replace(read.target, L'/', L'\\');
    }
    CoTaskMemFree(items);
    if (file != nullptr) {
        file->Release();
    }
    if (link != nullptr) {
        link->Release();
    }
    CoUninitialize();
    return read;
}

// A link in the user's Startup folder, which every test in the prefix shares: removed again
// whatever the test left of it.
struct StartupLink {
    explicit StartupLink(std::u16string_view name = u"Revertly \u0442\u0435\u0441\u0442.lnk")
        : path(Win32ShellPort().UserStartupFolder() + u"\\" + std::u16string(name)) {}
    ~StartupLink() {
        std::error_code ignored;
        fs::permissions(fs::path(path), fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove(fs::path(path), ignored);
    }
    const std::u16string path;
};

TEST(ShellWin32, ShortcutInTheStartupFolderReadsBackAndIsDeletedWhenReadOnly) {
    Win32ShellPort shell;
    const std::u16string startup = shell.UserStartupFolder();
    EXPECT_TRUE(startup.ends_with(u"\\Start Menu\\Programs\\StartUp")) << fs::path(startup);
    EXPECT_TRUE(fs::is_directory(fs::path(startup))) << fs::path(startup);
    EXPECT_TRUE(shell.CommonStartupFolder().ends_with(u"\\Start Menu\\Programs\\StartUp"));

    const testing::ScratchDir scratch;
    const std::u16string folder = scratch.File(
        u"\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u0430 \u0442\u0435\u0441\u0442");
    fs::create_directory(fs::path(folder));
    testing::WriteBytes(folder + u"\\revertly.exe", "MZ");
    const StartupLink startupLink;
    const std::u16string& link = startupLink.path;

    ASSERT_TRUE(
        shell.CreateShortcut(link, folder + u"/revertly.exe", u"{'Minimized':true}", folder));
    EXPECT_TRUE(shell.FileExists(link));
    const LinkContents contents = ReadLink(link);
    EXPECT_TRUE(contents.path.ends_with(L"\\revertly.exe")) << contents.path;
    EXPECT_EQ(contents.path.find(L'/'), std::wstring::npos) << contents.path;
    EXPECT_EQ(contents.target, std::wstring(folder.begin(), folder.end()) + L"\\revertly.exe");
    EXPECT_EQ(contents.arguments, L"{'Minimized':true}");
    EXPECT_EQ(contents.workingFolder, std::wstring(folder.begin(), folder.end()));

    testing::SetReadOnly(link, true);
    EXPECT_TRUE(shell.RemoveFile(link));
    EXPECT_FALSE(shell.FileExists(link));
    EXPECT_FALSE(testing::FileExists(link));
}

// A shortcut left by a copy of the program in another folder (the program was moved) gives
// way to one to the running copy, and a second call leaves that one shortcut as it is.
TEST(ShellWin32, AutorunReplacesAShortcutToAMovedProgram) {
    Win32ShellPort shell;
    const testing::ScratchDir scratch;
    const std::u16string before = scratch.File(u"before");
    const std::u16string after = scratch.File(u"after");
    for (const std::u16string& folder : {before, after}) {
        fs::create_directory(fs::path(folder));
        testing::WriteBytes(folder + u"\\revertly.exe", "MZ");
    }
    const StartupLink startupLink(u"Revertly.lnk");
    ASSERT_TRUE(shell.CreateShortcut(startupLink.path, before + u"/revertly.exe", kAutorunArguments,
                                     before));

    const std::wstring expected(after.begin(), after.end());
    for (int call = 1; call <= 2; ++call) {
        EXPECT_TRUE(SetAutorun(shell, {after, u"revertly"}, true)) << call;
        const LinkContents contents = ReadLink(startupLink.path);
        EXPECT_EQ(contents.target, expected + L"\\revertly.exe") << call;
        EXPECT_EQ(contents.workingFolder, expected) << call;
    }
    EXPECT_EQ(testing::ListFolder(fs::path(shell.UserStartupFolder())), "Revertly.lnk");
}

TEST(ShellWin32, MissingFilesFoldersAndCutPathsAreRefused) {
    const testing::ScratchDir scratch;
    const std::u16string file = scratch.File(u"Revertly.lnk");
    testing::WriteBytes(file, "link");
    // Read only up to the U+0000, this path would name the existing file.
    const std::u16string cut = file + u'\0' + u"x";
    Win32ShellPort shell;

    for (const std::u16string& other :
         {scratch.File(u"missing.lnk"), scratch.Path().u16string(), cut}) {
        EXPECT_FALSE(shell.FileExists(other)) << fs::path(other);
        EXPECT_FALSE(shell.RemoveFile(other)) << fs::path(other);
    }
    for (const std::u16string& link :
         {scratch.File(u"missing\\Revertly.lnk"), scratch.Path().u16string(), cut}) {
        EXPECT_FALSE(shell.CreateShortcut(link, file, u"", u"")) << fs::path(link);
    }
    EXPECT_EQ(testing::ListFolder(scratch.Path()), "Revertly.lnk");
    EXPECT_EQ(testing::ReadBytes(file), "link");
    EXPECT_TRUE(shell.RemoveFile(file));
    EXPECT_FALSE(testing::FileExists(file));
}

// A failure may still hand out a buffer for the caller to free; what it holds is no folder.
HRESULT WINAPI FailingKnownFolder(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path) {
    *path = static_cast<PWSTR>(CoTaskMemAlloc(2 * sizeof(wchar_t)));
    (*path)[0] = L'C';
    (*path)[1] = L'\0';
    return E_FAIL;
}
HRESULT WINAPI FailingCreate(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

TEST(ShellWin32, FailingServicesGiveQuietAnswers) {
    const testing::ScratchDir scratch;
    const std::u16string link = scratch.File(u"Revertly.lnk");
    Win32ShellPort shell;
    const testing::ApiOverride api(Api());
    api->SHGetKnownFolderPath = FailingKnownFolder;
    api->CoCreateInstance = FailingCreate;
    EXPECT_EQ(shell.UserStartupFolder(), u"");
    EXPECT_EQ(shell.CommonStartupFolder(), u"");
    EXPECT_FALSE(shell.CreateShortcut(link, link, u"", u""));
}

}  // namespace
}  // namespace revertly::app
