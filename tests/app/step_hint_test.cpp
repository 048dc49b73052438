#include "app/hint/step_hint.h"

#include <gtest/gtest.h>

#include <optional>

namespace revertly::app {
namespace {

history::ClipboardState StateWith(std::optional<std::u16string> text, bool picture = false,
                                  bool files = false, std::size_t formats = 0) {
    history::ClipboardState state;
    state.summary = {std::move(text), picture, files};
    state.entries.resize(formats);
    return state;
}

TEST(StepHint, PreviewsTheStateByItsFirstLineOrWhatItHolds) {
    const std::u16string sixty(60, u'a');
    const std::u16string emoji = u"\U0001F600";  // a surrogate pair
    const struct {
        history::ClipboardState state;
        std::u16string preview;
    } cases[] = {
        {StateWith(u"Hello, world"), u"Hello, world"},
        {StateWith(u"  one \t\t two  \r\nsecond line"), u"one two"},
        {StateWith(u"\r\n\n   \r\nafter blank lines\nmore"), u"after blank lines"},
        {StateWith(u"tab\tand\u00A0no-break"), u"tab and no-break"},
        {StateWith(sixty), sixty},
        {StateWith(sixty + u"b"), std::u16string(59, u'a') + u"\u2026"},
        {StateWith(std::u16string(58, u'a') + emoji + u"tail"),
         std::u16string(58, u'a') + u"\u2026"},
        {StateWith(u""), u"An empty text"},
        {StateWith(u" \r\n\t"), u"An empty text"},
        {StateWith(std::nullopt, true, false, 3), u"A picture"},
        {StateWith(std::nullopt, false, true, 2), u"Files"},
        {StateWith(std::nullopt, false, false, 4), u"4 formats"},
        {StateWith(std::nullopt, false, false, 1), u"1 format"},
        {[] {
             history::ClipboardState state = StateWith(u"A range");
             state.partial = true;
             return state;
         }(),
         u"A range (partly kept)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatePreview(c.state), c.preview)
            << std::string(c.preview.begin(), c.preview.end());
    }
}

TEST(StepHint, NamesThePositionAndTheEndAStepRanInto) {
    EXPECT_EQ(StepPosition(3, 7, StepNote::None), u"State 3 of 7");
    EXPECT_EQ(StepPosition(1, 7, StepNote::Oldest), u"State 1 of 7 (the oldest)");
    EXPECT_EQ(StepPosition(50, 50, StepNote::Newest), u"State 50 of 50 (the newest)");
    EXPECT_EQ(StepHintText(StateWith(u"x"), 2, 3, StepNote::None), u"State 2 of 3\nx");
}

TEST(StepHint, SitsNearTheBottomCentreOfTheWorkAreaAndInsideIt) {
    const HintRect work{1920, 0, 3840, 1040};  // a second monitor, the taskbar below 1040
    EXPECT_EQ(PlaceStepHint(work, 200, 40, 96), (HintRect{2770, 932, 2990, 992}));
    EXPECT_EQ(PlaceStepHint(work, 200, 40, 192), (HintRect{2760, 864, 3000, 944}))
        << "padding and gap scale with the dpi";
    const HintRect small{0, 0, 300, 100};
    const HintRect tooBig = PlaceStepHint(small, 1000, 500, 96);
    EXPECT_EQ(tooBig, small);
}

TEST(StepHint, OnlyTrueTurnsTheSettingOn) {
    const auto settings = [](json::JsonValue value) {
        auto object = std::make_shared<json::JsonObject>();
        object->Add(std::u16string(kStepHintKey), std::move(value));
        return json::JsonValue::Object(object);
    };
    EXPECT_TRUE(StepHintWanted(settings(json::JsonValue::Boolean(true))));
    EXPECT_FALSE(StepHintWanted(settings(json::JsonValue::Boolean(false))));
    EXPECT_FALSE(StepHintWanted(settings(json::JsonValue::String(u"true"))));
    EXPECT_FALSE(StepHintWanted(settings(json::JsonValue::Int32(1))));
    EXPECT_FALSE(StepHintWanted(json::JsonValue::Object(std::make_shared<json::JsonObject>())));
}

}  // namespace
}  // namespace revertly::app
