#include "app/choices/program_filter.h"

#include <gtest/gtest.h>

#include "settings/json_reader.h"

namespace revertly::app {
namespace {

// An owner port that counts its lookups.
struct Owner final : ClipboardOwnerPort {
    std::optional<std::u16string> program;
    int lookups = 0;
    std::optional<std::u16string> ClipboardOwnerProgram() override {
        ++lookups;
        return program;
    }
};

TEST(ProgramFilter, MatchesByNameOrWholePathIgnoringCaseAndNeverACopyWithoutOwner) {
    const ProgramFilter filter(
        json::ParseJson(u"{'IgnoredPrograms':['KeePass.exe','C:\\\\Tools\\\\RDP\\\\mstsc.exe','"
                        u"Блокнот.exe',5,'']}"));
    const struct {
        const char16_t* path;
        bool ignored;
    } cases[] = {
        {u"C:\\Program Files\\KeePass\\keepass.EXE", true},
        {u"D:\\KEEPASS.exe", true},
        {u"C:\\Tools\\KeePass.exe.old", false},
        {u"C:\\Tools\\MyKeePass.exe", false},
        {u"c:/tools/rdp/MSTSC.EXE", true},
        {u"D:\\RDP\\mstsc.exe", false},  // a path names that program only
        {u"C:\\Программы\\БЛОКНОТ.EXE", true},
        {u"5", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(filter.Ignores(c.path), c.ignored)
            << std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path));
    }

    Owner owner;
    EXPECT_FALSE(filter.IgnoresClipboardOwner(owner)) << "no window owns the clipboard";
    owner.program = u"C:\\KeePass\\KeePass.exe";
    EXPECT_TRUE(filter.IgnoresClipboardOwner(owner));

    for (const char16_t* settings : {u"{}", u"{'IgnoredPrograms':'KeePass.exe'}"}) {
        const ProgramFilter none(json::ParseJson(settings));
        const int before = owner.lookups;
        EXPECT_FALSE(none.IgnoresClipboardOwner(owner));
        EXPECT_EQ(owner.lookups, before) << "the owner is looked up only for a list";
    }
}

}  // namespace
}  // namespace revertly::app
