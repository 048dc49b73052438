// A clipboard state as the history keeps it on disk: its formats' bytes as the state holds
// them (compressed bodies stay compressed, a picture's shared pixels stay shared), named by
// an id that stays with the state while it moves between slots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "history/clipboard_state.h"
#include "history/stored_data.h"

namespace revertly::keep {

struct KeptEntry {
    std::int32_t formatId = 0;
    std::u16string formatName;
    history::StoredData data;
};

// Copyable and cheap to copy: the bodies are shared with the state it was taken from, so the
// writer's thread can serialize it while the history goes on.
struct KeptState {
    std::uint64_t id = 0;
    std::vector<KeptEntry> entries;
    history::StateSummary summary;
    bool partial = false;
};

// What of a state can be kept: every format held as bytes. Formats held as a block (metafile
// pictures, enhanced metafiles) are GDI objects with no bytes of their own here; they are left
// out and the state is marked partial, as a capture cut short is.
KeptState KeepOf(std::uint64_t id, const history::ClipboardState& state);

// The state again, with each entry's stored bytes counted as the history counts them.
history::ClipboardState ToClipboardState(const KeptState& kept);

}  // namespace revertly::keep
