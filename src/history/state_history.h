// The bounded history of clipboard states with a current position.
//
// Slots are numbered from 1 to StatesCount, oldest first. Slots 1 to LastState hold a state,
// the rest are empty, and 0 <= CurrentState <= LastState <= StatesCount, with CurrentState
// = 0 only when the history is empty. A new snapshot goes right after the current state and
// releases every state after it; when the history is full and the current state is the
// newest, the oldest is dropped. Undo and redo step one slot and put that state back on the
// clipboard.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "history/clipboard_port.h"
#include "history/clipboard_state.h"
#include "history/packing.h"

namespace revertly::history {

// The capacities the user can choose.
inline constexpr std::int32_t kStateCounts[] = {5, 10, 15, 20, 50};
inline constexpr std::int32_t kDefaultStatesCount = 10;

// The memory all stored states may take together, unless the settings say otherwise.
inline constexpr std::uint64_t kDefaultMemoryBudget = 256ull << 20;

// What an undo or redo did.
enum class StepResult {
    Moved,  // the position moved and the clipboard holds that state
    AtEnd,  // there was no state to go to: nothing changed
    Busy,   // another program held the clipboard: nothing changed, a later try may work
};

class StateHistory {
  public:
    explicit StateHistory(ClipboardPort& clipboard, std::int32_t statesCount = kDefaultStatesCount)
        : clipboard_(clipboard), statesCount_(statesCount) {}

    // Records the clipboard as a new state after the current one; or, after a burst of
    // three or more changes, or when the clipboard is empty, puts the current state back
    // instead. A clipboard marked as not to be kept, one that holds only formats the history
    // does not keep, and one whose read was cut short change nothing. Answers false when another
    // program held the clipboard: nothing was recorded or put back, and a later try may work.
    bool SaveClipboardState();
    // Puts the current state back on the clipboard; false when the clipboard was busy.
    bool RestoreState();
    // One slot back, and that state onto the clipboard; nothing at the oldest state.
    StepResult UndoState();
    // One slot forward, and that state onto the clipboard; nothing at the newest state.
    StepResult RedoState();
    // The state of a filled slot onto the clipboard, and that slot the current one, as that
    // many undos or redos would; the states after it stay. Nothing for an empty slot.
    StepResult GoToState(std::int32_t slot);
    // Releases every stored state; the clipboard keeps what it holds.
    void ClearHistory();
    // Changes the capacity: shrinking drops the oldest states, growing keeps them all.
    void SetStatesCount(std::int32_t count);
    // The memory all stored states may take together. A new state that would pass it drops
    // the oldest states first; the state the clipboard holds is kept whatever its size.
    void SetMemoryBudget(std::uint64_t bytes) { memoryBudget_ = bytes; }
    // The memory the stored states take.
    std::uint64_t StoredBytes() const { return BytesOfStates(false); }
    // Has each new state made compact by the packer (none: states stay as read).
    void SetPacker(BackgroundPacker* packer) { packer_ = packer; }
    // Puts the compact blocks that the packer has finished into their states. Answers whether
    // states were dropped for the budget then, which moves the others to other slots.
    bool ApplyPackedStates();

    // Gives the slot array its StatesCount empty slots on first use.
    void EnsureStates();
    // Releases the state in slot i, if any.
    void FreeState(std::int32_t slot);
    // Releases the states in slots i to StatesCount.
    void FreeStatesFrom(std::int32_t slot);
    // Releases the states in slots 1 to n.
    void FreeOldestStates(std::int32_t count);
    bool IsFilled(std::int32_t slot) const;
    // The state in a filled slot.
    const ClipboardState& State(std::int32_t slot) const;

    std::int32_t StatesCount() const { return statesCount_; }
    std::int32_t CurrentState() const { return currentState_; }
    std::int32_t LastState() const { return lastState_; }

    // Whether the clipboard holds what the program itself wrote last, unchanged since, or a
    // write is under way: a change notice then reports that write and nothing is recorded.
    // Decided by the clipboard's change number, not by the order in which notices arrive
    // (a notice may come inside the write, or be posted and arrive after later changes).
    bool ClipboardHoldsOwnWrite();
    // What a change notice reports: the program's own write, which the clipboard still holds;
    // a write of the program's whose notice comes only after the clipboard changed again
    // (known where every write is noticed once and in order: the listener list), which is
    // no copy but must not count towards a burst either (two of them and the copy after
    // would make one, and a state would be put over that copy); or another program's change.
    enum class Notice { OwnWrite, LateOwnWrite, Change };
    Notice ClassifyNotice();
    void NoticeEveryWrite(bool every) { noticeEveryWrite_ = every; }
    // The number of change notifications in the current burst, kept by the window's message
    // handling: 1 for the notification that starts the save timer, one more for each that
    // restarts it.
    std::int32_t ChangeCount = 0;

  private:
    bool HasSlots() const { return !states_.empty(); }
    std::optional<ClipboardState>& Slot(std::int32_t slot) { return states_[slot - 1]; }
    // Writes the state of a filled slot; false when the clipboard could not be opened.
    bool WriteSlot(std::int32_t slot);
    // Releases the oldest state and moves the others down one slot.
    void DropOldest();
    // A clear asked for while a write was under way, done once the write is.
    void ClearIfAskedDuringWrite();
    // Writes the state of a filled slot and makes it the current one.
    StepResult StepTo(std::int32_t slot);
    // Has the packer make the state compact. Copies that come faster than they can be packed
    // wait for the packer rather than pile up as read.
    void SubmitPacking(ClipboardState& state);
    // Puts compact blocks into the states they were made for, then keeps the budget.
    bool Apply(const std::vector<PackingResult>& results);
    // The state that a packing job is for, if it is still kept.
    ClipboardState* StateOfJob(std::uint64_t id);
    // What the states take; settledOnly: only those not waiting for the packer.
    std::uint64_t BytesOfStates(bool settledOnly) const;
    // Drops the states farthest back until the stored states fit in the budget. States that
    // wait for the packer count once they are compact: their size as read would drop
    // states for nothing.
    // Answers whether it dropped any.
    bool KeepWithinBudget();

    ClipboardPort& clipboard_;
    std::int32_t statesCount_;
    std::uint64_t memoryBudget_ = kDefaultMemoryBudget;
    BackgroundPacker* packer_ = nullptr;
    std::uint64_t lastPackingJob_ = 0;
    std::int32_t currentState_ = 0;
    std::int32_t lastState_ = 0;
    std::vector<std::optional<ClipboardState>> states_;
    // The clipboard's change number right after the program's last write, if it is known.
    std::optional<std::uint32_t> ownWrite_;
    bool writing_ = false;
    bool noticeEveryWrite_ = false;
    // The program's writes whose notice has not arrived yet.
    int dueOwnNotices_ = 0;
    bool clearAfterWrite_ = false;
};

}  // namespace revertly::history
