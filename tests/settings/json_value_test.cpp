#include "settings/json_value.h"

#include <gtest/gtest.h>

#include <string>

#include "support/printable_text.h"

namespace revertly::json {
namespace {

using revertly::testing::Printable;

// "key=value,..." with Int32 values, in iteration order.
std::string Entries(const JsonObject& object) {
    std::string out;
    object.ForEach([&out](const std::u16string& key, const JsonValue& value) {
        out += (out.empty() ? "" : ",") + Printable(key) + "=" + std::to_string(value.AsInt32());
    });
    return out;
}

std::string Items(const JsonArray& array) {
    std::string out;
    for (std::size_t i = 1; i <= array.Count(); ++i) {
        out += (i == 1 ? "" : ",") + std::to_string(array.Item(i).AsInt32());
    }
    return out;
}

TEST(JsonObjectTest, KeepsInsertionOrderThroughSetRemoveAndAdd) {
    JsonObject object;
    object.Add(u"a", JsonValue::Int32(1));
    object.Add(u"b", JsonValue::Int32(2));
    object.Add(u"c", JsonValue::Int32(3));

    object.Set(u"a", JsonValue::Int32(10));  // an existing key keeps its position
    EXPECT_EQ(Entries(object), "a=10,b=2,c=3");

    object.Set(u"d", JsonValue::Int32(4));  // a missing key is appended
    object.Remove(u"b");                    // the gap closes
    object.Remove(u"missing");
    EXPECT_EQ(Entries(object), "a=10,c=3,d=4");
    EXPECT_EQ(object.Count(), 3u);
    EXPECT_FALSE(object.Exists(u"b"));
    EXPECT_EQ(object.Get(u"b"), nullptr);

    object.Add(u"b", JsonValue::Int32(5));  // re-added at the end
    EXPECT_EQ(Entries(object), "a=10,c=3,d=4,b=5");
    EXPECT_TRUE(object.Exists(u"b"));
    EXPECT_EQ(object.Get(u"c")->AsInt32(), 3);

    EXPECT_FALSE(object.Exists(u"A"));  // keys are case-sensitive
}

TEST(JsonObjectTest, StaysCorrectAcrossManyRemoveAddCycles) {
    JsonObject object;
    object.Add(u"x", JsonValue::Int32(0));
    object.Add(u"y", JsonValue::Int32(0));
    object.Add(u"z", JsonValue::Int32(0));
    // Each cycle moves one key to the end; dead entries are swept out many times on the way.
    const std::u16string keys[] = {u"x", u"y", u"z"};
    for (int i = 1; i <= 1000; ++i) {
        const std::u16string& key = keys[i % 3 == 0 ? 1 : 0];
        object.Remove(key);
        object.Add(key, JsonValue::Int32(i));
    }
    // The last cycles moved x (999 is a multiple of 3, so y came before: ..., y=999, x=1000).
    EXPECT_EQ(Entries(object), "z=0,y=999,x=1000");
    EXPECT_EQ(object.Count(), 3u);
    EXPECT_EQ(object.Get(u"y")->AsInt32(), 999);
    object.Set(u"y", JsonValue::Int32(-1));
    EXPECT_EQ(Entries(object), "z=0,y=-1,x=1000");
    const std::vector<std::u16string> expected_keys = {u"z", u"y", u"x"};
    EXPECT_EQ(object.Keys(), expected_keys);
}

TEST(JsonArrayTest, InsertsAfterAPositionAndRemovesFromOne) {
    JsonArray array;
    array.Append(JsonValue::Int32(1));
    array.Append(JsonValue::Int32(3));
    array.InsertAfter(1, JsonValue::Int32(2));
    array.InsertAfter(0, JsonValue::Int32(0));
    array.InsertAfter(4, JsonValue::Int32(4));
    EXPECT_EQ(Items(array), "0,1,2,3,4");
    array.Remove(1);
    array.Remove(4);
    EXPECT_EQ(Items(array), "1,2,3");
    array.Remove(2);
    EXPECT_EQ(Items(array), "1,3");
    EXPECT_EQ(array.Count(), 2u);
}

}  // namespace
}  // namespace revertly::json
