// What a Windows user gets from the package, under Wine: the per-user installer run silently
// (installed over a running copy, refused by a copy that will not end), the installed program
// at work, and the uninstaller leaving nothing of Revertly behind. And the program in a folder
// that refuses new files, as Program Files does: its settings live in the user's data folder.
//
// tests/package/run prepares both: REVERTLY_SETUP names the installer, and
// REVERTLY_REFUSING_FOLDER a folder holding revertly.exe and a settings file, which it has made
// refuse new files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/shell_win32.h"
#include "e2e/scenario.h"

namespace revertly::driver {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Revertly";

fs::path FromEnvironment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? fs::path(value) : fs::path();
}

const fs::path kInstalled = KnownFolder(FOLDERID_LocalAppData) / L"Programs" / L"Revertly";
const fs::path kInstalledExe = kInstalled / L"revertly.exe";
const fs::path kStartMenuLink = KnownFolder(FOLDERID_Programs) / L"Revertly.lnk";
const fs::path kDataFolder = KnownFolder(FOLDERID_RoamingAppData) / L"Revertly";
const fs::path kKeptFolder = KnownFolder(FOLDERID_LocalAppData) / L"Revertly";

// Runs a program with the arguments and waits for its exit code, handling this thread's
// messages meanwhile; nothing when it could not start or did not end.
std::optional<DWORD> Run(const fs::path& program, const std::wstring& arguments,
                         Milliseconds timeout = 60s) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return std::nullopt;
    }
    CloseHandle(started.hThread);
    std::optional<DWORD> code;
    if (WaitUntil([&] { return WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0; },
                  timeout)) {
        DWORD exitCode = 0;
        GetExitCodeProcess(started.hProcess, &exitCode);
        code = exitCode;
    }
    CloseHandle(started.hProcess);
    return code;
}

std::optional<DWORD> InstallSilently() {
    return Run(FromEnvironment(L"REVERTLY_SETUP"), L"/S");
}

std::optional<std::wstring> UninstallValue(const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, text,
                     &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(text);
}

bool UninstallKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The uninstaller copies itself away and returns at once: its effects are what counts.
bool UninstallSilently() {
    return Run(kInstalled / L"uninstall.exe", L"/S") == 0u &&
           WaitUntil([] { return !fs::exists(kInstalled) && !UninstallKeyExists(); }, 30s);
}

// A file's last-write time in 100 ns units; 0 when it cannot be read.
std::uint64_t WrittenAt(const fs::path& file) {
    const std::optional<FILETIME> time = LastWriteTime(file);
    return time ? (std::uint64_t{time->dwHighDateTime} << 32) | time->dwLowDateTime : 0;
}

// A window that looks like a running Revertly to the installer but ignores WM_CLOSE, as a
// copy that hangs would.
class StubbornCopy {
  public:
    StubbornCopy() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"RevertlyMainWindow";
        RegisterClassExW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"Revertly", WS_OVERLAPPED, 0, 0, 0,
                                  0, nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    ~StubbornCopy() {
        DestroyWindow(window_);
        UnregisterClassW(L"RevertlyMainWindow", GetModuleHandleW(nullptr));
    }
    StubbornCopy(const StubbornCopy&) = delete;
    StubbornCopy& operator=(const StubbornCopy&) = delete;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return message == WM_CLOSE ? 0 : DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};

// Starts the copy in the folder and waits until it runs.
::testing::AssertionResult Started(Revertly& program) {
    if (!program.Start() || !program.WaitForStartUp()) {
        return ::testing::AssertionFailure() << "no start from " << program.Folder();
    }
    return ::testing::AssertionSuccess();
}

class PackageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ClearClipboard());
        ASSERT_TRUE(RemoveStartupLink());
        if (fs::exists(kInstalled / L"uninstall.exe")) {
            ASSERT_TRUE(UninstallSilently()) << "an earlier installation stays";
        }
    }
    void TearDown() override {
        ClearClipboard();
        RemoveStartupLink();
        std::error_code ignored;
        fs::remove_all(kDataFolder, ignored);
    }
};

TEST_F(PackageTest, InstallsRunsReplacesAndUninstallsWithoutATrace) {
    ASSERT_EQ(InstallSilently(), 0u) << FromEnvironment(L"REVERTLY_SETUP");
    EXPECT_TRUE(fs::exists(kInstalledExe));
    const std::optional<Shortcut> menuLink = ReadShortcut(kStartMenuLink);
    ASSERT_TRUE(menuLink.has_value()) << kStartMenuLink;
    EXPECT_EQ(menuLink->target, kInstalledExe.wstring());
    EXPECT_EQ(UninstallValue(L"DisplayName"), L"Revertly");
    EXPECT_EQ(UninstallValue(L"DisplayVersion"), L"" REVERTLY_VERSION);
    EXPECT_EQ(UninstallValue(L"Publisher"), L"Revertly");
    EXPECT_EQ(UninstallValue(L"DisplayIcon"), kInstalledExe.wstring() + L",0");
    EXPECT_EQ(UninstallValue(L"UninstallString"),
              L"\"" + (kInstalled / L"uninstall.exe").wstring() + L"\"");
    DWORD size = 0;
    DWORD sizeBytes = sizeof size;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, L"EstimatedSize", RRF_RT_REG_DWORD,
                           nullptr, &size, &sizeBytes),
              ERROR_SUCCESS);
    EXPECT_GT(size, 0u);

    // A copy that does not end keeps its program: nothing is replaced.
    const std::uint64_t installedAt = WrittenAt(kInstalledExe);
    {
        const StubbornCopy stubborn;
        EXPECT_NE(InstallSilently().value_or(0), 0u) << "installed over a copy that still runs";
    }
    EXPECT_EQ(WrittenAt(kInstalledExe), installedAt);

    // The installed copy at work, with its settings beside it.
    Revertly installed(kInstalled);
    ASSERT_TRUE(Started(installed));
    ASSERT_TRUE(SetClipboardText(L"one"));
    PumpFor(kBetweenCopies);
    ASSERT_TRUE(SetClipboardText(L"two"));
    PumpFor(kBetweenCopies);
    EXPECT_TRUE(HotkeyGives('Z', L"one"));
    EXPECT_TRUE(fs::exists(kInstalled / L"revertly.txt"));
    EXPECT_FALSE(fs::exists(kDataFolder / L"revertly.txt"));

    // Installing again ends the running copy and replaces its program.
    ASSERT_EQ(InstallSilently(), 0u);
    EXPECT_TRUE(installed.WaitForExit().has_value()) << "the running copy was not ended";
    EXPECT_GT(WrittenAt(kInstalledExe), installedAt) << "the program was not replaced";

    // The uninstaller ends the copy again running, and its autorun shortcut, settings and kept
    // history go with it, also settings that an earlier copy kept in the user's data folder.
    Revertly again(kInstalled);
    ASSERT_TRUE(Started(again));
    ASSERT_TRUE(ReadShortcut(StartupLinkPath()).has_value());
    fs::create_directories(kDataFolder);
    { std::ofstream(kDataFolder / L"revertly.txt") << "{}"; }
    fs::create_directories(kKeptFolder);
    for (const wchar_t* name : {L"key.rvk", L"index.rvk", L"index.rvk.4242-0.tmp"}) {
        std::ofstream(kKeptFolder / name) << "sealed";
    }
    ASSERT_TRUE(UninstallSilently()) << "the installation stays";
    EXPECT_TRUE(again.WaitForExit().has_value()) << "the running copy was not ended";
    EXPECT_EQ(CountWindows(L"RevertlyMainWindow", nullptr), 0);
    EXPECT_FALSE(fs::exists(kStartMenuLink));
    EXPECT_FALSE(fs::exists(StartupLinkPath()));
    EXPECT_FALSE(fs::exists(kDataFolder));
    EXPECT_FALSE(fs::exists(kKeptFolder));

    // A shortcut that starts a portable copy elsewhere is that copy's and stays.
    ASSERT_EQ(InstallSilently(), 0u);
    app::Win32ShellPort shell;
    const std::wstring link = StartupLinkPath().wstring();
    ASSERT_TRUE(shell.CreateShortcut(std::u16string(link.begin(), link.end()),
                                     u"C:\\Portable\\revertly.exe", u"", u"C:\\Portable"));
    ASSERT_TRUE(UninstallSilently());
    EXPECT_TRUE(fs::exists(StartupLinkPath())) << "the portable copy's shortcut was removed";
}

// The folder refuses new files, so the settings live in the user's data folder for good: the
// file beside the program is taken over once, and later starts read and write only the new one.
TEST_F(PackageTest, SettingsOfAProgramInARefusingFolderLiveInTheUserDataFolder) {
    const fs::path folder = FromEnvironment(L"REVERTLY_REFUSING_FOLDER");
    const fs::path beside = folder / L"revertly.txt";
    const fs::path data = kDataFolder / L"revertly.txt";
    const std::optional<std::string> besideBefore = ReadFileBytes(beside);
    ASSERT_EQ(besideBefore, R"({"StatesCount":20,"Autorun":false})") << beside;
    const HANDLE probe = CreateFileW((folder / L"probe").c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_EQ(probe, INVALID_HANDLE_VALUE) << "the folder takes new files";

    Revertly first(folder);
    ASSERT_TRUE(Started(first));
    EXPECT_EQ(ReadFileBytes(data), besideBefore) << "not taken over";
    ASSERT_TRUE(first.ChooseTrayItem(TrayItem::Remember5));
    EXPECT_TRUE(WaitUntil([&] {
        return ReadFileBytes(data) == R"({"StatesCount":5,"Autorun":false})";
    })) << ReadFileBytes(data).value_or("no file");
    ASSERT_TRUE(first.Exit());

    Revertly second(folder);
    ASSERT_TRUE(Started(second));
    EXPECT_EQ(ReadFileBytes(data), R"({"StatesCount":5,"Autorun":false})") << "taken over again";
    ASSERT_TRUE(second.Exit());
    EXPECT_EQ(ReadFileBytes(beside), besideBefore);
}

}  // namespace
}  // namespace revertly::driver
