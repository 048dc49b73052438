#include "settings/settings_place.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/settings.h"
#include "support/printable_text.h"
#include "support/scratch_dir.h"
#ifdef _WIN32
#include "settings/settings_place_win32.h"
#include "support/api_override.h"
#endif

namespace revertly::settings {
namespace {

using revertly::testing::Printable;
using revertly::testing::ReadBytes;
using revertly::testing::ScratchDir;
using revertly::testing::WriteBytes;

constexpr std::u16string_view kProgramFolder = u"P";
constexpr std::u16string_view kDataFolder = u"D";

struct FakePlace final : SettingsPlacePort {
    bool FolderTakesNewFiles(std::u16string_view) override { return writable; }
    std::u16string UserDataFolder(std::u16string_view name) override {
        asked = std::u16string(name);
        return hasDataFolder ? std::u16string(kDataFolder) : u"";
    }
    bool FileExists(std::u16string_view path) override {
        return files.count(std::u16string(path)) > 0;
    }

    bool writable = true;
    bool hasDataFolder = true;
    std::set<std::u16string> files;
    std::u16string asked;
};

TEST(ChooseSettingsPlace, BesideAWritableProgramElseInTheUserDataFolderTakingOverOnce) {
    const std::u16string beside = SettingsFilePath(kProgramFolder, u"tool");
    const std::u16string data = SettingsFilePath(kDataFolder, u"tool");
    struct Case {
        const char* why;
        bool writable;
        bool hasDataFolder;
        std::set<std::u16string> files;
        std::u16string file;
        std::u16string readFrom;
    };
    const Case cases[] = {
        {"a writable program folder keeps its settings",
         true,
         true,
         {beside, data},
         beside,
         beside},
        {"a refusing folder: the data folder's file", false, true, {beside, data}, data, data},
        {"a refusing folder: the file beside it is the starting point",
         false,
         true,
         {beside},
         data,
         beside},
        {"a refusing folder and no file anywhere", false, true, {}, data, data},
        {"no user data folder: beside the program after all",
         false,
         false,
         {beside},
         beside,
         beside},
    };
    for (const Case& c : cases) {
        FakePlace port;
        port.writable = c.writable;
        port.hasDataFolder = c.hasDataFolder;
        port.files = c.files;
        const SettingsPlace place = ChooseSettingsPlace(port, kProgramFolder, u"tool");
        EXPECT_EQ(Printable(place.file), Printable(c.file)) << c.why;
        EXPECT_EQ(Printable(place.readFrom), Printable(c.readFrom)) << c.why;
        // The data folder is made only for a program that needs it.
        EXPECT_EQ(Printable(port.asked), c.writable ? "" : "Revertly") << c.why;
    }
}

TEST(SettingsFile, TakenOverSettingsAreReadOnceAndThenOnlyTheNewFile) {
    ScratchDir dir;
    const std::u16string old = dir.File(u"old.txt");
    const std::u16string current = dir.File(u"new.txt");
    WriteBytes(old, "{'StatesCount':20}");
    SettingsFile file(current, old);
    file.LoadWithDefaults();
    file.SaveSettings();
    EXPECT_EQ(ReadBytes(current), R"({"StatesCount":20,"Autorun":true})");
    EXPECT_EQ(ReadBytes(old), "{'StatesCount':20}");
    WriteBytes(current, "{'StatesCount':5}");
    file.LoadSettings();
    EXPECT_EQ(file.Get(kStatesCountKey)->AsInt32(), 5);
}

#ifdef _WIN32
HRESULT WINAPI NoKnownFolder(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path) {
    *path = nullptr;
    return E_FAIL;
}

TEST(Win32SettingsPlace, ProbesWithoutATraceAndMakesTheDataFolder) {
    Win32SettingsPlace place;
    ScratchDir dir;
    EXPECT_TRUE(place.FolderTakesNewFiles(dir.Path().u16string()));
    EXPECT_EQ(revertly::testing::ListFolder(dir.Path()), "") << "the probe file stayed";
    EXPECT_FALSE(place.FolderTakesNewFiles(dir.File(u"missing")));

    const std::u16string folder = place.UserDataFolder(u"Revertly place test");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(GetFileAttributesW(reinterpret_cast<const wchar_t*>(folder.c_str())) &
                  FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(place.UserDataFolder(u"Revertly place test"), folder) << "asked a second time";
    RemoveDirectoryW(reinterpret_cast<const wchar_t*>(folder.c_str()));

    // No known folder: no data folder either (and nothing to free but what the call gave).
    const testing::ApiOverride api(Api());
    api->SHGetKnownFolderPath = &NoKnownFolder;
    EXPECT_EQ(Printable(place.UserDataFolder(u"Revertly place test")), "");
}
#endif

}  // namespace
}  // namespace revertly::settings
