#include "keep/kept_state.h"

#include <limits>

#include "history/packing.h"

namespace revertly::keep {
namespace {

// A format kept in a file: bytes, a name and a head that the file's lengths can say.
bool Keepable(const history::ClipboardFormatData& entry) {
    return !entry.block && entry.data &&
           entry.formatName.size() <= std::numeric_limits<std::uint16_t>::max() &&
           entry.data.head.size() <= std::numeric_limits<std::uint32_t>::max();
}

}  // namespace

KeptState KeepOf(std::uint64_t id, const history::ClipboardState& state) {
    KeptState kept{.id = id, .entries = {}, .summary = state.summary, .partial = state.partial};
    for (const history::ClipboardFormatData& entry : state.entries) {
        if (Keepable(entry)) {
            kept.entries.push_back({entry.formatId, entry.formatName, entry.data});
        } else {
            kept.partial = true;
        }
    }
    return kept;
}

history::ClipboardState ToClipboardState(const KeptState& kept) {
    history::ClipboardState state;
    state.id = kept.id;
    state.summary = kept.summary;
    state.partial = kept.partial;
    for (const KeptEntry& entry : kept.entries) {
        history::ClipboardFormatData& data = state.entries.emplace_back();
        data.formatId = entry.formatId;
        data.formatName = entry.formatName;
        data.data = entry.data;
    }
    history::CountStoredBytes(state);
    return state;
}

}  // namespace revertly::keep
