// How a state is taken from the clipboard, whatever the clipboard: which formats are asked
// for, in which order, and when to stop asking. A program may promise many formats and render
// each only when asked (office programs do so for a copied range), and while a reader waits
// for one, every other program is refused the clipboard.
#pragma once

#include <cstdint>
#include <vector>

#include "history/clipboard_state.h"

namespace revertly::history {

// Once asking has taken this long, nothing more is asked for.
inline constexpr std::uint64_t kCaptureLimitMilliseconds = 1000;

// The format whose data the preview and most pastes need: Unicode text (CF_UNICODETEXT).
inline constexpr std::int32_t kUnicodeTextFormat = 13;

// The clipboard as a capture reads it, open for the whole capture.
class FormatSource {
  public:
    virtual ~FormatSource() = default;
    // Adds a private copy of the format's data to the state, and notes what it stands for in
    // the state's summary; adds nothing when the data cannot be copied.
    virtual void CopyFormat(std::int32_t formatId, ClipboardState& into) = 0;
    // A clock in milliseconds, from any start.
    virtual std::uint64_t Milliseconds() = 0;
};

// Copies the listed formats into a new state: Unicode text first, then the rest in the
// clipboard's order. Once the time limit has passed, nothing more is asked for and the state
// is partial. The state's entries stand in the clipboard's order.
ClipboardState CaptureFormats(const std::vector<std::int32_t>& listed, FormatSource& source);

}  // namespace revertly::history
