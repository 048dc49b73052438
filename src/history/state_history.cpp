#include "history/state_history.h"

#include <algorithm>
#include <utility>

namespace revertly::history {

namespace {

bool SameBytes(const StoredData& a, const StoredData& b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.head == b.head && a.body == b.body) {
        return true;
    }
    std::vector<std::byte> left(a.size());
    std::vector<std::byte> right(b.size());
    return a.CopyTo(left) && b.CopyTo(right) && left == right;
}

}  // namespace

bool SameContents(const ClipboardState& a, const ClipboardState& b) {
    return std::equal(
        a.entries.begin(), a.entries.end(), b.entries.begin(), b.entries.end(),
        [](const ClipboardFormatData& x, const ClipboardFormatData& y) {
            const bool named = !x.formatName.empty() || !y.formatName.empty();
            return (named ? x.formatName == y.formatName : x.formatId == y.formatId) &&
                   bool(x.block) == bool(y.block) && bool(x.data) == bool(y.data) &&
                   (!x.data || SameBytes(x.data, y.data));
        });
}

// Releases the blocks front to back, then the entries themselves.
void StateHistory::Release(std::optional<ClipboardState>& slot) {
    if (!slot) {
        return;
    }
    if (packer_ && slot->packingJob != 0) {
        packer_->Cancel(slot->packingJob);
    }
    for (ClipboardFormatData& entry : slot->entries) {
        entry.block.reset();
    }
    slot.reset();
    ++layout_;
    ++revision_;
}

SaveResult StateHistory::SaveCopy(std::optional<std::uint32_t> judged) {
    // The clipboard still holds the program's own write, which is the current state: there
    // is nothing to record and nothing to put back.
    if (ClipboardHoldsOwnWrite()) {
        return SaveResult::Done;
    }
    if (judged && clipboard_.ClipboardChangeNumber() != *judged) {
        return SaveResult::Changed;
    }
    // A burst of three or more changes in quick succession is not the user copying; put
    // the current state back over whatever the burst left.
    if (ChangeCount > 2 || clipboard_.CountClipboardFormats() == 0) {
        return RestoreState() ? SaveResult::Done : SaveResult::Busy;
    }
    ReadResult read = clipboard_.ReadClipboardState();
    if (read.outcome == ReadOutcome::FailedToOpen) {
        return SaveResult::Busy;
    }
    // Another program copied between the look at the number and the read.
    if (judged && read.changeNumber != *judged) {
        return SaveResult::Changed;
    }
    // A secret, a read cut short, or a copy of formats the history does not keep (their data
    // only their owner understands): not recorded, and nothing is put over it, since that
    // would take another program's copy away.
    if (read.outcome != ReadOutcome::Read || read.state.entries.empty()) {
        return SaveResult::Done;
    }
    EnsureStates();
    if (currentState_ == statesCount_) {
        DropOldest();
    }
    lastState_ = ++currentState_;
    FreeStatesFrom(currentState_);
    Slot(currentState_) = std::move(read.state);
    Slot(currentState_)->id = nextId_++;
    ++revision_;
    SubmitPacking(*Slot(currentState_));
    KeepWaitingWithinBudget();
    KeepWithinBudget();
    return SaveResult::Done;
}

// Marked before it is handed over, so that the budget does not count it as read while the
// packer catches up.
void StateHistory::SubmitPacking(ClipboardState& state) {
    PackingJob job = MakePackingJob(state);
    if (!packer_ || job.empty()) {
        return;
    }
    job.id = state.packingJob = ++lastPackingJob_;
    if (!packer_->Submit(std::move(job))) {
        state.packingJob = 0;
    }
}

ClipboardState* StateHistory::StateOfJob(std::uint64_t id) {
    for (std::optional<ClipboardState>& state : states_) {
        if (state && state->packingJob == id) {
            return &*state;
        }
    }
    return nullptr;
}

void StateHistory::SetMemoryBudget(std::uint64_t bytes) {
    memoryBudget_ = bytes;
    KeepWithinBudget();
}

// The states farthest back go first, as a full history drops its oldest, then those that
// redo would reach, farthest first; the current one, which the clipboard holds, stays
// whatever its size.
void StateHistory::KeepWithinBudget() {
    while (lastState_ > 1 && BytesOfStates(/*settledOnly=*/true) > memoryBudget_) {
        DropState(currentState_ > 1 ? 1 : lastState_);
    }
}

// The newest state waiting is left out of the count: the packer is about to reach it, and it
// is usually the one the clipboard holds. Packing goes oldest first, so the oldest waiting
// state is the one being packed, or the next.
void StateHistory::KeepWaitingWithinBudget() {
    for (;;) {
        std::uint64_t newestJob = 0;
        for (std::int32_t slot = 1; slot <= lastState_; ++slot) {
            newestJob = std::max(newestJob, Slot(slot)->packingJob);
        }
        std::uint64_t bytes = 0;
        std::int32_t oldest = 0;
        for (std::int32_t slot = 1; slot <= lastState_; ++slot) {
            const std::uint64_t job = Slot(slot)->packingJob;
            if (job == 0 || job == newestJob) {
                continue;
            }
            bytes += BytesOf(*Slot(slot));
            if (slot != currentState_ && (oldest == 0 || job < Slot(oldest)->packingJob)) {
                oldest = slot;
            }
        }
        if (bytes <= memoryBudget_ || oldest == 0) {
            return;
        }
        DropState(oldest);
    }
}

void StateHistory::ApplyPackedStates() {
    if (!packer_) {
        return;
    }
    for (const PackingResult& result : packer_->TakeDone()) {
        if (ClipboardState* state = StateOfJob(result.id)) {
            ApplyPacking(result, *state);
            state->packingJob = 0;
            ++revision_;
        }
    }
    KeepWithinBudget();
}

std::uint64_t StateHistory::BytesOf(const ClipboardState& state) {
    std::uint64_t bytes = 0;
    for (const ClipboardFormatData& entry : state.entries) {
        bytes += entry.storedBytes;
    }
    return bytes;
}

std::uint64_t StateHistory::BytesOfStates(bool settledOnly) const {
    std::uint64_t bytes = 0;
    for (const std::optional<ClipboardState>& state : states_) {
        if (state && !(settledOnly && state->packingJob != 0)) {
            bytes += BytesOf(*state);
        }
    }
    return bytes;
}

void StateHistory::DropState(std::int32_t slot) {
    FreeState(slot);
    std::move(states_.begin() + slot, states_.begin() + lastState_, states_.begin() + slot - 1);
    Slot(lastState_).reset();  // moved down: what is left there is empty
    --lastState_;
    if (currentState_ >= slot) {
        --currentState_;
    }
}

// A state that cannot be put back is not tried again: nothing would change.
bool StateHistory::RestoreState() {
    EnsureStates();
    const bool done = currentState_ < 1 || !IsFilled(currentState_) ||
                      WriteSlot(currentState_) != WriteOutcome::Busy;
    ClearIfAskedDuringWrite();
    return done;
}

StepResult StateHistory::UndoState() {
    EnsureStates();
    if (currentState_ < 2 || !IsFilled(currentState_ - 1)) {
        return StepResult::AtEnd;
    }
    return StepTo(currentState_ - 1);
}

StepResult StateHistory::RedoState() {
    EnsureStates();
    if (currentState_ >= lastState_) {
        return StepResult::AtEnd;
    }
    return StepTo(currentState_ + 1);
}

StepResult StateHistory::GoToState(std::int32_t slot) {
    EnsureStates();
    if (!IsFilled(slot)) {
        return StepResult::AtEnd;
    }
    return StepTo(slot);
}

// The position moves only when the state is on the clipboard: otherwise it would name a
// state that is not there.
StepResult StateHistory::StepTo(std::int32_t slot) {
    const WriteOutcome outcome = WriteSlot(slot);
    if (outcome == WriteOutcome::Written) {
        currentState_ = slot;
        ++revision_;
    }
    ClearIfAskedDuringWrite();
    switch (outcome) {
        case WriteOutcome::Written:
            return StepResult::Moved;
        case WriteOutcome::Busy:
            return StepResult::Busy;
        case WriteOutcome::Failed:
            break;
    }
    return StepResult::Failed;
}

void StateHistory::ClearHistory() {
    // A shutdown can arrive while a write waits on another program (a message that Windows
    // sends, such as the end of the session): the state being written stays until the
    // write is done.
    if (writing_) {
        clearAfterWrite_ = true;
        return;
    }
    FreeStatesFrom(1);
    lastState_ = 0;
    currentState_ = 0;
}

void StateHistory::AdoptKept(std::vector<ClipboardState> kept, std::int32_t current,
                             std::uint64_t nextId) {
    EnsureStates();
    const auto keptCount = static_cast<std::int32_t>(kept.size());
    current = std::clamp(current, keptCount > 0 ? 1 : 0, keptCount);
    // The states recorded since start-up, and which of them is the current one.
    std::int32_t recentCurrent = currentState_;
    if (lastState_ > 0 && current > 0 && SameContents(*Slot(1), kept[current - 1])) {
        Release(Slot(1));
        --recentCurrent;
    }
    std::vector<ClipboardState> recent;
    for (std::int32_t slot = 1; slot <= lastState_; ++slot) {
        if (Slot(slot)) {
            recent.push_back(std::move(*Slot(slot)));
            Slot(slot).reset();
        }
    }
    if (!recent.empty()) {
        kept.resize(static_cast<std::size_t>(current));  // the kept redo states give way
    }
    nextId_ = nextId;  // the states recorded since start-up take theirs anew
    const auto before = static_cast<std::int32_t>(kept.size());
    for (ClipboardState& state : recent) {
        state.id = nextId_++;  // never saved yet, so free to be named anew
        kept.push_back(std::move(state));
    }
    // The whole history in order; drop the oldest that do not fit the slots.
    const auto total = static_cast<std::int32_t>(kept.size());
    std::int32_t position = recent.empty() ? current : before + std::max(recentCurrent, 0);
    const std::int32_t excess = std::max(total - statesCount_, 0);
    for (std::int32_t i = 0; i < total - excess; ++i) {
        Slot(i + 1) = std::move(kept[static_cast<std::size_t>(i + excess)]);
    }
    lastState_ = total - excess;
    currentState_ = lastState_ == 0 ? 0 : std::clamp(position - excess, 1, lastState_);
    ++layout_;
    ++revision_;
    KeepWithinBudget();
}

void StateHistory::SetStatesCount(std::int32_t count) {
    if (count < 1) {
        return;
    }
    if (!HasSlots()) {
        statesCount_ = count;
        states_.resize(static_cast<std::size_t>(count));
        return;
    }
    const std::int32_t excess = lastState_ - count;
    if (excess > 0) {
        // Keep the newest states in their order. When the current state is among those
        // dropped, the position goes to the oldest state kept.
        FreeOldestStates(excess);
        std::move(states_.begin() + excess, states_.begin() + lastState_, states_.begin());
        std::for_each(states_.begin() + count, states_.begin() + lastState_,
                      [](std::optional<ClipboardState>& moved) { moved.reset(); });
        lastState_ = count;
        currentState_ = std::max(currentState_ - excess, 1);
        ++revision_;
    }
    if (count != statesCount_) {
        statesCount_ = count;
        states_.resize(static_cast<std::size_t>(count));
    }
}

void StateHistory::EnsureStates() {
    if (!HasSlots()) {
        states_.resize(static_cast<std::size_t>(statesCount_));
    }
}

void StateHistory::FreeState(std::int32_t slot) {
    if (slot >= 1 && slot <= static_cast<std::int32_t>(states_.size())) {
        Release(Slot(slot));
    }
}

void StateHistory::FreeStatesFrom(std::int32_t slot) {
    for (std::int32_t k = std::max(slot, 1); k <= static_cast<std::int32_t>(states_.size()); ++k) {
        Release(Slot(k));
    }
}

void StateHistory::FreeOldestStates(std::int32_t count) {
    for (std::int32_t k = 1; k <= std::min(count, static_cast<std::int32_t>(states_.size())); ++k) {
        Release(Slot(k));
    }
}

bool StateHistory::IsFilled(std::int32_t slot) const {
    return slot >= 1 && slot <= static_cast<std::int32_t>(states_.size()) &&
           states_[static_cast<std::size_t>(slot - 1)].has_value();
}

const ClipboardState& StateHistory::State(std::int32_t slot) const {
    return *states_.at(static_cast<std::size_t>(slot - 1));
}

bool StateHistory::ClipboardHoldsOwnWrite() {
    return writing_ || (ownWrite_ && clipboard_.ClipboardChangeNumber() == *ownWrite_);
}

StateHistory::Notice StateHistory::ClassifyNotice() {
    const bool due = dueOwnNotices_ > 0;
    if (due) {
        --dueOwnNotices_;
    }
    return ClipboardHoldsOwnWrite() ? Notice::OwnWrite
           : due                    ? Notice::LateOwnWrite
                                    : Notice::Change;
}

void StateHistory::ClearIfAskedDuringWrite() {
    if (std::exchange(clearAfterWrite_, false)) {
        ClearHistory();
    }
}

// A failed write may have changed the clipboard too (emptied it, put part of the state): its
// notice is the program's own all the same.
WriteOutcome StateHistory::WriteSlot(std::int32_t slot) {
    // The viewer chain's notice of this write arrives while the clipboard is being closed,
    // before the write has returned its change number.
    writing_ = true;
    const WriteResult result = clipboard_.WriteClipboardState(*Slot(slot));
    writing_ = false;
    if (result.outcome == WriteOutcome::Written || result.changeNumber) {
        ownWrite_ = result.changeNumber;
        dueOwnNotices_ += noticeEveryWrite_ ? 1 : 0;
    }
    return result.outcome;
}

}  // namespace revertly::history
