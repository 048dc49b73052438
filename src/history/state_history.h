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
    Moved,   // the position moved and the clipboard holds that state
    AtEnd,   // there was no state to go to: nothing changed
    Busy,    // another program held the clipboard: nothing changed, a later try may work
    Failed,  // the state could not be put back: the position did not move
};

// What a save did.
enum class SaveResult {
    Done,     // recorded, put back, or left alone as the rules say
    Busy,     // another program held the clipboard: nothing happened, a later try may work
    Changed,  // the clipboard no longer holds the copy the caller judged: nothing happened
};

// Whether two states hold the same formats with the same bytes (a registered format known by
// its name, since its number differs between sessions). Formats held as blocks are compared by
// their number alone: what they hold is the system's.
bool SameContents(const ClipboardState& a, const ClipboardState& b);

class StateHistory {
  public:
    explicit StateHistory(ClipboardPort& clipboard, std::int32_t statesCount = kDefaultStatesCount)
        : clipboard_(clipboard), statesCount_(statesCount) {}

    // Records the clipboard as a new state after the current one; or, after a burst of
    // three or more changes, or when the clipboard is empty, puts the current state back
    // instead. A clipboard marked as not to be kept, one that holds only formats the history
    // does not keep, and one whose read was cut short change nothing. Answers false when another
    // program held the clipboard: nothing was recorded or put back, and a later try may work.
    bool SaveClipboardState() { return SaveCopy(std::nullopt) != SaveResult::Busy; }
    // The same for the copy the caller has judged worth recording, named by the clipboard's
    // change number when it was judged: only that copy is read and recorded, never one that
    // another program put there since.
    SaveResult SaveCopy(std::optional<std::uint32_t> judged);
    // Puts the current state back on the clipboard; false when the clipboard was busy.
    bool RestoreState();
    // Steps answer Failed when the state could not be put back, and Busy when another
    // program held the clipboard; either way the position stays.
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
    // The memory all stored states may take together, counted once they are packed. Past it
    // the oldest states go first, then, after an undo, the newest; the current state is kept
    // whatever its size. States waiting for the packer, other than the newest, may take as
    // much again as read; past that the oldest of them goes. A smaller budget drops states
    // at once.
    void SetMemoryBudget(std::uint64_t bytes);
    std::uint64_t MemoryBudget() const { return memoryBudget_; }
    // The memory the stored states take.
    std::uint64_t StoredBytes() const { return BytesOfStates(false); }
    // Has each new state made compact by the packer (none: states stay as read).
    void SetPacker(BackgroundPacker* packer) { packer_ = packer; }
    // Puts the compact blocks that the packer has finished into their states.
    void ApplyPackedStates();
    // Changes whenever a state leaves the history, which moves states to other slots: a slot
    // chosen before then may hold another state now.
    std::uint64_t Layout() const { return layout_; }
    // Changes whenever anything that the kept history records changes: a state recorded,
    // dropped or made compact, the position moved.
    std::uint64_t Revision() const { return revision_; }
    // The states as a previous run kept them, oldest first, with the current one's position
    // (1-based) and the id that new states are to take theirs from: they go before the states
    // recorded since start-up. The first of those is left out when it holds what the kept
    // current state holds (the clipboard still had it), so that the position stays; any others
    // follow the kept current state, whose redo states they replace, as a new copy after an
    // undo does. Then the count and the budget apply, the oldest going first.
    void AdoptKept(std::vector<ClipboardState> kept, std::int32_t current, std::uint64_t nextId);
    // The clipboard's change number now.
    std::uint32_t ClipboardChangeNumber() { return clipboard_.ClipboardChangeNumber(); }

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
    // The id the next state recorded is to take.
    std::uint64_t NextStateId() const { return nextId_; }
    // The number of change notifications in the current burst, kept by the window's message
    // handling: 1 for the notification that starts the save timer, one more for each that
    // restarts it.
    std::int32_t ChangeCount = 0;

  private:
    bool HasSlots() const { return !states_.empty(); }
    std::optional<ClipboardState>& Slot(std::int32_t slot) { return states_[slot - 1]; }
    // Releases a slot's state, and its packing job if the packer has not begun it.
    void Release(std::optional<ClipboardState>& slot);
    // Writes the state of a filled slot.
    WriteOutcome WriteSlot(std::int32_t slot);
    // Releases a state and moves the states after it down one slot.
    void DropState(std::int32_t slot);
    void DropOldest() { DropState(1); }
    // A clear asked for while a write was under way, done once the write is.
    void ClearIfAskedDuringWrite();
    // Writes the state of a filled slot and makes it the current one.
    StepResult StepTo(std::int32_t slot);
    // Has the packer make the state compact.
    void SubmitPacking(ClipboardState& state);
    // The state that a packing job is for, if it is still kept.
    ClipboardState* StateOfJob(std::uint64_t id);
    // What a state's entries take, as the budget counts them.
    static std::uint64_t BytesOf(const ClipboardState& state);
    // What the states take; settledOnly: only those not waiting for the packer.
    std::uint64_t BytesOfStates(bool settledOnly) const;
    // Drops states until the stored states fit in the budget: the oldest while any lie before
    // the current state, then the newest. States that wait for the packer count once they
    // are compact: their size as read would drop states for nothing. Copies that come faster
    // than they can be packed are bounded apart (KeepWaitingWithinBudget).
    void KeepWithinBudget();
    // Drops the oldest state waiting for the packer while those waiting, other than the
    // newest of them, take more than the budget as read. The current state stays.
    void KeepWaitingWithinBudget();

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
    std::uint64_t layout_ = 0;
    std::uint64_t revision_ = 0;
    std::uint64_t nextId_ = 1;
};

}  // namespace revertly::history
