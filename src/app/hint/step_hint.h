// The step hint: a small note that appears for a moment after each undo or redo and says
// which state the step put on the clipboard ("State 3 of 7", then a preview of the state).
// What it says and where it goes are decided here; the window itself is Win32.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "history/clipboard_state.h"
#include "settings/json_value.h"

namespace revertly::app {

// The setting that turns the hint on. Only the Boolean true does; it is read at start-up and
// written by the settings window only when the user changes it there.
inline constexpr std::u16string_view kStepHintKey = u"StepHint";
bool StepHintWanted(const json::JsonValue& settings);

// Why a step did not move: the end of the history it ran into, another program that held
// the clipboard for as long as the step was tried, a state that could not be put back, or a
// choice from a list whose states had moved since it was shown.
enum class StepNote { None, Oldest, Newest, ClipboardBusy, NotPutBack, ListChanged };

// "State 3 of 7", with " (the oldest)", " (the newest)", " (the clipboard is busy)", " (the
// state could not be put back)" or " (the list had changed)" when the step could not move.
std::u16string StepPosition(std::int32_t position, std::int32_t count, StepNote note);

// A line that stands for the state: the first line of its text that is not blank, with runs
// of white space made one space, cut at kPreviewLength characters with "…" (never inside a
// surrogate pair); for a state without text, what it holds. " (partly kept)" follows for a
// state whose capture stopped before its owner had rendered every format.
inline constexpr std::size_t kPreviewLength = 60;
std::u16string StatePreview(const history::ClipboardState& state);

// Both lines, as the hint shows them and as its window text.
std::u16string StepHintText(const history::ClipboardState& state, std::int32_t position,
                            std::int32_t count, StepNote note);

// Where the hint goes on a monitor, in that monitor's pixels.
struct HintRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    friend bool operator==(const HintRect&, const HintRect&) = default;
};

// The hint's window for a text of the given extent: padded, centred near the bottom of the
// work area (the monitor without the taskbar), kept inside it; sizes scale with the dpi.
HintRect PlaceStepHint(const HintRect& workArea, std::int32_t textWidth, std::int32_t textHeight,
                       std::uint32_t dpi);

}  // namespace revertly::app
