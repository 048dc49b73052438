#include "app/choices/recent_states.h"

#include <string>

#include "app/hint/step_hint.h"

namespace revertly::app {

namespace {

constexpr int kAccessKeys = 10;

// A menu takes "&" for the mark of the access key that follows: a copied "&" is doubled to
// show as itself.
std::u16string MenuText(std::u16string_view text) {
    std::u16string escaped;
    for (const char16_t c : text) {
        escaped += c;
        if (c == u'&') {
            escaped += u'&';
        }
    }
    return escaped;
}

std::u16string Numbered(int number) {
    const std::string digits = std::to_string(number);
    std::u16string text(digits.begin(), digits.end());
    if (number <= kAccessKeys) {
        text.insert(text.size() - 1, u"&");
    }
    return text;
}

}  // namespace

RecentStates ListRecentStates(const history::StateHistory& history) {
    RecentStates list;
    for (std::int32_t slot = history.LastState(); slot >= 1; --slot) {
        if (!history.IsFilled(slot)) {
            continue;
        }
        const int number = static_cast<int>(list.lines.size()) + 1;
        list.lines.push_back(
            {Numbered(number) + u"  " + MenuText(StatePreview(history.State(slot))),
             slot == history.CurrentState()});
        list.slots.push_back(slot);
    }
    return list;
}

}  // namespace revertly::app
