// What the history needs of the clipboard: three operations, in its own terms.
#pragma once

#include "history/clipboard_state.h"

namespace revertly::history {

enum class ReadOutcome {
    // The state holds every format that could be copied (possibly none).
    Read,
    // Another program held the clipboard open, also after a few quick retries.
    FailedToOpen,
    // The clipboard is marked as not to be kept in a history (a password manager's copy):
    // nothing of it was copied.
    Excluded,
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::FailedToOpen;
    ClipboardState state;
};

class ClipboardPort {
  public:
    virtual ~ClipboardPort() = default;

    // The number of formats on the clipboard; 0 when it is empty.
    virtual int CountClipboardFormats() = 0;

    // Reads the whole clipboard into a new state.
    virtual ReadResult ReadClipboardState() = 0;

    // Puts fresh copies of the state's formats on the clipboard, replacing what it held.
    // Sets ignoreNextChange to true just before the clipboard is emptied, so the change
    // notification that this write causes (delivered before the write returns) is not
    // taken for a change by another program. Answers false, touching neither the clipboard
    // nor the flag, when the clipboard could not be opened.
    virtual bool WriteClipboardState(const ClipboardState& state, bool& ignoreNextChange) = 0;
};

}  // namespace revertly::history
