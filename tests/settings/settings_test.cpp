#include "settings/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/json_reader.h"
#include "settings/json_writer.h"
#include "support/printable_text.h"
#include "support/scratch_dir.h"

namespace revertly::settings {
namespace {

using json::JsonValue;
using revertly::testing::Printable;
using revertly::testing::ReadBytes;
using revertly::testing::ScratchDir;
using revertly::testing::SetReadOnly;
using revertly::testing::WriteBytes;

class SettingsFileTest : public ::testing::Test {
  protected:
    // Runs the start-up sequence on a file holding `content` (or no file at all) and
    // answers the bytes that the start-up's save leaves on disk.
    std::string StartWith(const std::string* content) {
        if (content != nullptr) {
            WriteBytes(path_, *content);
        }
        file_.LoadWithDefaults();
        file_.SaveSettings();
        return ReadBytes(path_);
    }

    ScratchDir dir_;
    std::u16string path_ = SettingsFilePath(dir_.Path().u16string(), u"revertly");
    SettingsFile file_{path_};
};

TEST_F(SettingsFileTest, FirstStartWritesTheDefaultsExactly) {
    EXPECT_EQ(StartWith(nullptr), R"({"Autorun":true,"StatesCount":10})");
    EXPECT_EQ(ReadBytes(path_).size(), 33u);
}

TEST_F(SettingsFileTest, StartUpReconcilesTheFileWithTheDefaults) {
    struct Case {
        const char* why;
        std::string file;
        std::string written;
    };
    const Case cases[] = {
        {"single quotes, missing key appended", "{'StatesCount':20}",
         R"({"StatesCount":20,"Autorun":true})"},
        {"a quoted number is not an integer", R"({"StatesCount":"5","Autorun":false})",
         R"({"StatesCount":10,"Autorun":false})"},
        {"5.0 is a Double, not an Int32", R"({"StatesCount":5.0})",
         R"({"StatesCount":10,"Autorun":true})"},
        {"1 is not a Boolean", R"({"Autorun":1,"StatesCount":50})",
         R"({"Autorun":true,"StatesCount":50})"},
        {"keys are case-sensitive; unknown keys stay", R"({"autorun":false})",
         R"({"autorun":false,"Autorun":true,"StatesCount":10})"},
        {"an unusable count stays until the user picks one", R"({"StatesCount":7})",
         R"({"StatesCount":7,"Autorun":true})"},
        {"unknown nested values are carried along", R"({"x":[1,{"y":null}],"StatesCount":15})",
         R"({"x":[1,{"y":null}],"StatesCount":15,"Autorun":true})"},
        {"material before the bracket is skipped", "\xEF\xBB\xBFsettings: {'Autorun':false}",
         R"({"Autorun":false,"StatesCount":10})"},
        {"a top-level array counts as no object", "[1,2]", R"({"Autorun":true,"StatesCount":10})"},
        {"no bracket at all", "hello", R"({"Autorun":true,"StatesCount":10})"},
        {"empty file", "", R"({"Autorun":true,"StatesCount":10})"},
        {"a truncated file keeps what was read", "{'StatesCount':5,'Auto",
         R"({"StatesCount":5,"Auto":null,"Autorun":true})"},
        {"Cyrillic text survives the code page", "{'\xC8\xEC\xFF':'\xD2\xE5\xF1\xF2'}",
         "{\"\xC8\xEC\xFF\":\"\xD2\xE5\xF1\xF2\",\"Autorun\":true,\"StatesCount\":10}"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::u16string path = SettingsFilePath(dir.Path().u16string(), u"revertly");
        WriteBytes(path, c.file);
        SettingsFile file(path);
        file.LoadWithDefaults();
        file.SaveSettings();
        EXPECT_EQ(ReadBytes(path), c.written) << c.why;
    }
}

TEST_F(SettingsFileTest, ChangingASettingKeepsItsPlaceAndSavesAtOnce) {
    const std::string file = R"({"StatesCount":20,"Autorun":true})";
    StartWith(&file);
    file_.Set(kStatesCountKey, JsonValue::Int32(50));
    EXPECT_EQ(ReadBytes(path_), R"({"StatesCount":50,"Autorun":true})");
    file_.Set(kAutorunKey, JsonValue::Boolean(false));
    EXPECT_EQ(ReadBytes(path_), R"({"StatesCount":50,"Autorun":false})");
    ASSERT_NE(file_.Get(kStatesCountKey), nullptr);
    EXPECT_EQ(file_.Get(kStatesCountKey)->AsInt32(), 50);
}

TEST_F(SettingsFileTest, AReadOnlyFileIsLeftAloneWhileMemoryKeepsTheChange) {
    const std::string file = R"({"StatesCount":20})";
    WriteBytes(path_, file);
    SetReadOnly(path_, true);
    file_.LoadWithDefaults();
    file_.SaveSettings();
    file_.Set(kStatesCountKey, JsonValue::Int32(5));
    EXPECT_EQ(ReadBytes(path_), file);
    EXPECT_EQ(file_.Get(kStatesCountKey)->AsInt32(), 5);
    SetReadOnly(path_, false);
}

TEST(Settings, HistoryMemoryIsAWholeNumberOfMegabytesOrNothing) {
    const struct {
        const char16_t* text;
        std::optional<std::uint32_t> megabytes;
    } cases[] = {
        {u"{'HistoryMemoryMB':64}", 64},
        {u"{'HistoryMemoryMB':100000}", 100000},
        {u"{'HistoryMemoryMB':2.0}", 2},
        {u"{'HistoryMemoryMB':0}", std::nullopt},
        {u"{'HistoryMemoryMB':-5}", std::nullopt},
        {u"{'HistoryMemoryMB':1.5}", std::nullopt},
        {u"{'HistoryMemoryMB':'64'}", std::nullopt},
        {u"{'HistoryMemoryMB':1E999}", std::nullopt},
        {u"{}", std::nullopt},
        {u"[64]", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HistoryMemoryMegabytes(json::ParseJson(c.text)), c.megabytes)
            << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    }
}

TEST(MergeDefaults, FillsMissingAndMistypedValuesAtEveryLevel) {
    struct Case {
        std::u16string target;
        std::u16string defaults;
        std::u16string merged;
    };
    const Case cases[] = {
        {u"{'a':{'x':1}}", u"{'a':{'x':2,'y':3}}", u"{\"a\":{\"x\":1,\"y\":3}}"},
        {u"{'a':'s','b':1}", u"{'a':{'x':2}}", u"{\"a\":{\"x\":2},\"b\":1}"},
        {u"{'a':[1,'s']}", u"{'a':[5,6,7]}", u"{\"a\":[1,6,7]}"},
        {u"{'a':[1,2,3,4]}", u"{'a':[0]}", u"{\"a\":[1,2,3,4]}"},
        {u"{'a':[1]}", u"{'a':{'x':1}}", u"{\"a\":{\"x\":1}}"},
        {u"{'a':{'x':1}}", u"{'a':[1]}", u"{\"a\":[1]}"},
        {u"{'a':null}", u"{'a':null}", u"{\"a\":null}"},
        {u"{'a':1e3}", u"{'a':1}", u"{\"a\":1}"},
    };
    for (const Case& c : cases) {
        JsonValue target = json::ParseJson(c.target);
        const JsonValue defaults = json::ParseJson(c.defaults);
        EXPECT_FALSE(MergeDefaults(target, defaults)) << Printable(c.target);
        EXPECT_EQ(json::ToJson(target), c.merged) << Printable(c.target);
    }
}

TEST(MergeDefaults, AnswersWhetherTheCallerMustTakeTheDefault) {
    const JsonValue object = json::ParseJson(u"{'x':1}");
    JsonValue scalar = JsonValue::Int32(3);
    EXPECT_TRUE(MergeDefaults(scalar, object));
    EXPECT_EQ(scalar.AsObject(), object.AsObject()) << "containers are taken by reference";

    JsonValue absent = JsonValue::Object(nullptr);
    EXPECT_TRUE(MergeDefaults(absent, object));
    EXPECT_EQ(absent.AsObject(), object.AsObject());

    JsonValue kept = json::ParseJson(u"{'y':2}");
    EXPECT_FALSE(MergeDefaults(kept, JsonValue::Object(nullptr)));
    EXPECT_EQ(json::ToJson(kept), u"{\"y\":2}");

    JsonValue small = JsonValue::Int16(0);
    EXPECT_TRUE(MergeDefaults(small, JsonValue::Int32(0))) << "Int16 and Int32 differ";
    JsonValue same = JsonValue::Int32(9);
    EXPECT_FALSE(MergeDefaults(same, JsonValue::Int32(0)));
}

}  // namespace
}  // namespace revertly::settings
