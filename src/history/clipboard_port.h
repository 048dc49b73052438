// What the history needs of the clipboard: three operations, in its own terms.
#pragma once

#include <cstdint>
#include <optional>

#include "history/clipboard_state.h"

namespace revertly::history {

enum class ReadOutcome {
    // The state holds every format that could be copied (possibly none), or those that the
    // time limit left room for (a partial state).
    Read,
    // Another program held the clipboard open; a later try may work.
    FailedToOpen,
    // The clipboard is marked as not to be kept in a history (a password manager's copy):
    // nothing of it was copied.
    Excluded,
    // The clipboard was lost half-way through the list of its formats: what was read is not
    // the whole of any copy.
    CutShort,
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::FailedToOpen;
    ClipboardState state;
};

struct WriteResult {
    // False when the clipboard could not be opened: nothing was touched.
    bool written = false;
    // The clipboard's change number as the write left it; nothing when another program
    // changed the clipboard again before the number could be read.
    std::optional<std::uint32_t> changeNumber;
};

class ClipboardPort {
  public:
    virtual ~ClipboardPort() = default;

    // The number of formats on the clipboard; 0 when it is empty.
    virtual int CountClipboardFormats() = 0;

    // Reads the whole clipboard into a new state.
    virtual ReadResult ReadClipboardState() = 0;

    // Puts fresh copies of the state's formats on the clipboard, replacing what it held.
    virtual WriteResult WriteClipboardState(const ClipboardState& state) = 0;

    // A number that changes with every change of the clipboard's content, by any program.
    virtual std::uint32_t ClipboardChangeNumber() = 0;
};

}  // namespace revertly::history
