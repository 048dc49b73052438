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
    // The clipboard's change number while it was open for the read: the copy that was read.
    std::uint32_t changeNumber = 0;
};

enum class WriteOutcome {
    // Every format of the state is on the clipboard.
    Written,
    // Another program held the clipboard open: nothing was touched; a later try may work.
    Busy,
    // The state could not be put back (memory ran out, its data did not unpack, the clipboard
    // refused a format). When nothing could be put the clipboard keeps what it held;
    // otherwise it may hold part of the state.
    Failed,
};

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::Busy;
    // The clipboard's change number as the write left it, when it changed the clipboard;
    // nothing when another program changed the clipboard again before the number could be
    // read.
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
