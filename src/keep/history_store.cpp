#include "keep/history_store.h"

#include <algorithm>

namespace revertly::keep {

std::uint32_t PositionAmongKept(const std::vector<bool>& kept, std::int32_t current) {
    std::uint32_t position = 0;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept[i]) {
            ++count;
            if (static_cast<std::int64_t>(i) < current) {
                position = count;
            }
        }
    }
    return count == 0 ? 0 : std::max<std::uint32_t>(position, 1);
}

bool HistoryStore::WriteSealed(std::u16string_view name, FileRole role,
                               std::span<const std::byte> contents) {
    const std::optional<std::vector<std::byte>> sealed = seal_.Seal(role, kKeptVersion, contents);
    return sealed && files_.Write(name, *sealed);
}

std::optional<std::vector<std::byte>> HistoryStore::ReadSealed(std::u16string_view name,
                                                               FileRole role) {
    const std::optional<std::vector<std::byte>> sealed = files_.Read(name);
    if (!sealed) {
        return std::nullopt;
    }
    return seal_.Open(role, kKeptVersion, *sealed);
}

std::optional<KeptState> HistoryStore::ReadState(std::uint64_t id) {
    const std::optional<std::vector<std::byte>> contents =
        ReadSealed(StateFileName(id), FileRole::State);
    std::optional<KeptState> state = contents ? ReadStateContents(*contents) : std::nullopt;
    // A file renamed to another state's name is not that state.
    if (!state || state->id != id) {
        return std::nullopt;
    }
    return state;
}

bool HistoryStore::WriteIndex(const KeptIndex& index) {
    return WriteSealed(kIndexFileName, FileRole::Index, WriteIndexContents(index));
}

bool HistoryStore::RemoveAllBut(const std::vector<std::uint64_t>& ids) {
    const std::optional<std::vector<std::u16string>> names = files_.List();
    if (!names) {
        return false;
    }
    bool removed = true;
    for (const std::u16string& name : *names) {
        const std::optional<std::uint64_t> id = StateFileId(name);
        if (id && std::find(ids.begin(), ids.end(), *id) == ids.end()) {
            if (files_.Remove(name)) {
                onDisk_.erase(*id);
            } else {
                removed = false;
            }
        }
    }
    return removed;
}

bool HistoryStore::Save(std::span<const KeptState> states, std::int32_t current) {
    // An empty history is kept as no files at all.
    if (states.empty()) {
        return Clear();
    }
    bool whole = true;
    KeptIndex index;
    std::vector<bool> kept;
    for (const KeptState& state : states) {
        // An id given twice would have one file stand for two states.
        const bool repeated =
            std::find(index.ids.begin(), index.ids.end(), state.id) != index.ids.end();
        const bool written = !repeated && (onDisk_.contains(state.id) ||
                                           WriteSealed(StateFileName(state.id), FileRole::State,
                                                       WriteStateContents(state)));
        if (written) {
            onDisk_.insert(state.id);
            index.ids.push_back(state.id);
        }
        kept.push_back(written);
        whole = whole && written;
    }
    index.current = PositionAmongKept(kept, current);
    // The index is written only over state files that are whole, and the files of states that
    // left go only once an index no longer names them: a crash at any point leaves an index
    // whose every file is there.
    if (!WriteIndex(index)) {
        return false;
    }
    return RemoveAllBut(index.ids) && whole;
}

LoadedHistory HistoryStore::Load() {
    LoadedHistory loaded;
    onDisk_.clear();
    const std::optional<std::vector<std::byte>> contents =
        ReadSealed(kIndexFileName, FileRole::Index);
    const std::optional<KeptIndex> index = contents ? ReadIndexContents(*contents) : std::nullopt;
    if (!index) {
        Clear();
        return loaded;
    }
    std::vector<bool> kept;
    std::vector<std::uint64_t> left;
    for (const std::uint64_t id : index->ids) {
        loaded.nextId = std::max(loaded.nextId, id + 1);
        std::optional<KeptState> state = ReadState(id);
        kept.push_back(state.has_value());
        if (state) {
            onDisk_.insert(id);
            left.push_back(id);
            loaded.states.push_back(std::move(*state));
        }
    }
    // The index may still name the states left out until the next save: their files are gone,
    // so each later load leaves them out the same way.
    loaded.current = static_cast<std::int32_t>(
        PositionAmongKept(kept, static_cast<std::int32_t>(index->current)));
    if (const std::optional<std::vector<std::u16string>> names = files_.List()) {
        for (const std::u16string& name : *names) {
            if (const std::optional<std::uint64_t> id = StateFileId(name)) {
                loaded.nextId = std::max(loaded.nextId, *id + 1);
            }
        }
    }
    // The files of the states left out go with those the index never named.
    RemoveAllBut(left);
    return loaded;
}

bool HistoryStore::Clear() {
    onDisk_.clear();
    const bool statesGone = RemoveAllBut({});
    return files_.Remove(kIndexFileName) && statesGone;
}

}  // namespace revertly::keep
