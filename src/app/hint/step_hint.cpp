#include "app/hint/step_hint.h"

#include <algorithm>

#include "settings/settings.h"

namespace revertly::app {

namespace {

constexpr char16_t kEllipsis = u'\u2026';

bool IsLineEnd(char16_t c) {
    return c == u'\r' || c == u'\n';
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\u00A0' ||
           c == u'\u3000' || (c >= u'\u2000' && c <= u'\u200A');
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// The first line with something to show, its white space runs made single spaces and trimmed.
std::u16string FirstLine(std::u16string_view text) {
    std::u16string line;
    for (std::size_t i = 0; i < text.size() && text[i] != u'\0'; ++i) {
        const char16_t c = text[i];
        if (IsLineEnd(c)) {
            if (!line.empty()) {
                break;
            }
        } else if (IsSpace(c)) {
            if (!line.empty() && line.back() != u' ') {
                line += u' ';
            }
        } else {
            line += c;
        }
    }
    if (!line.empty() && line.back() == u' ') {
        line.pop_back();
    }
    return line;
}

std::u16string Cut(std::u16string line) {
    if (line.size() <= kPreviewLength) {
        return line;
    }
    std::size_t keep = kPreviewLength - 1;
    if (IsHighSurrogate(line[keep - 1])) {
        --keep;
    }
    line.resize(keep);
    if (!line.empty() && line.back() == u' ') {
        line.pop_back();
    }
    return line + kEllipsis;
}

std::u16string Number(std::int64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::int32_t Scale(std::int32_t pixels, std::uint32_t dpi) {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(pixels) * dpi + 48) / 96);
}

// The preview's words for what the state holds, from its summary.
std::u16string WhatItHolds(const history::ClipboardState& state) {
    const history::StateSummary& summary = state.summary;
    if (summary.text) {
        const std::u16string line = FirstLine(*summary.text);
        return line.empty() ? u"An empty text" : Cut(line);
    }
    if (summary.picture) {
        return u"A picture";
    }
    if (summary.files) {
        return u"Files";
    }
    const std::size_t formats = state.entries.size();
    return Number(static_cast<std::int64_t>(formats)) + (formats == 1 ? u" format" : u" formats");
}

}  // namespace

bool StepHintWanted(const json::JsonValue& settings) {
    return settings::SettingIsTrue(settings, kStepHintKey);
}

std::u16string StepPosition(std::int32_t position, std::int32_t count, StepNote note) {
    std::u16string text = u"State " + Number(position) + u" of " + Number(count);
    if (note == StepNote::Oldest) {
        text += u" (the oldest)";
    } else if (note == StepNote::Newest) {
        text += u" (the newest)";
    } else if (note == StepNote::ClipboardBusy) {
        text += u" (the clipboard is busy)";
    } else if (note == StepNote::NotPutBack) {
        text += u" (the state could not be put back)";
    } else if (note == StepNote::ListChanged) {
        text += u" (the list had changed)";
    }
    return text;
}

std::u16string StatePreview(const history::ClipboardState& state) {
    return WhatItHolds(state) + (state.partial ? u" (partly kept)" : u"");
}

std::u16string StepHintText(const history::ClipboardState& state, std::int32_t position,
                            std::int32_t count, StepNote note) {
    return StepPosition(position, count, note) + u"\n" + StatePreview(state);
}

HintRect PlaceStepHint(const HintRect& workArea, std::int32_t textWidth, std::int32_t textHeight,
                       std::uint32_t dpi) {
    const std::int32_t padding = Scale(10, dpi);
    const std::int32_t gap = Scale(48, dpi);  // above the bottom of the work area
    const std::int32_t areaWidth = workArea.right - workArea.left;
    const std::int32_t areaHeight = workArea.bottom - workArea.top;
    const std::int32_t width = std::min(textWidth + 2 * padding, areaWidth);
    const std::int32_t height = std::min(textHeight + 2 * padding, areaHeight);
    HintRect rect;
    rect.left = workArea.left + (areaWidth - width) / 2;
    rect.right = rect.left + width;
    rect.bottom = std::max(workArea.bottom - gap, workArea.top + height);
    rect.top = rect.bottom - height;
    return rect;
}

}  // namespace revertly::app
