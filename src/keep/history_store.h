// The history kept on disk: one sealed file per state, named by the state's id, and a sealed
// index of their order and the current position, written last. Runs on whichever thread
// calls it, one thread at a time; it keeps no state of the history, only which files it has
// written.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <vector>

#include "keep/keep_ports.h"
#include "keep/kept_state.h"

namespace revertly::keep {

struct LoadedHistory {
    // Oldest first, as they were kept, less those whose files could not be used.
    std::vector<KeptState> states;
    // The current state's position among them, 1-based; 0 when there are none.
    std::int32_t current = 0;
    // An id above every one the folder names: new states take theirs from here, so that no
    // new state is ever taken for an old file.
    std::uint64_t nextId = 1;
};

// The position among the states kept of the state at `current` (1-based) among all of them,
// `kept` telling which were: the state itself if it was kept, else the nearest older one
// kept, else the oldest kept; 0 when none was.
std::uint32_t PositionAmongKept(const std::vector<bool>& kept, std::int32_t current);

class HistoryStore {
  public:
    HistoryStore(SealPort& seal, KeptFilesPort& files) : seal_(seal), files_(files) {}

    // Keeps the history: the states, oldest first, each with an id of its own that it keeps
    // for life, and the current one's position (1-based, 0 when empty). A state's file is
    // written once, the first time the state is saved, so a state is saved once it is packed;
    // then the index; then the files of states that left are removed. An empty history leaves
    // no file at all. A state whose file
    // cannot be written is left out of the index (the current position moves to the nearest
    // older state kept) and tried again by the next save. Answers whether all of it is kept.
    bool Save(std::span<const KeptState> states, std::int32_t current);

    // The history as it was kept. A state whose file is missing, cannot be opened or does not
    // read whole is left out and its file removed; an index like that leaves nothing: every
    // kept file is removed and the history starts empty. Files the index does not name
    // (written just before a crash, or left by a remove that failed) are removed too.
    LoadedHistory Load();

    // Removes every kept file; other files in the folder stay. Answers whether all are gone.
    bool Clear();

  private:
    bool WriteSealed(std::u16string_view name, FileRole role, std::span<const std::byte> contents);
    std::optional<std::vector<std::byte>> ReadSealed(std::u16string_view name, FileRole role);
    std::optional<KeptState> ReadState(std::uint64_t id);
    bool WriteIndex(const KeptIndex& index);
    // Removes the state files that the index does not name; false when some stay.
    bool RemoveAllBut(const std::vector<std::uint64_t>& ids);

    SealPort& seal_;
    KeptFilesPort& files_;
    // The states whose files this store has written or read.
    std::set<std::uint64_t> onDisk_;
};

}  // namespace revertly::keep
