#include "keep/history_keeper.h"

#include <utility>

namespace revertly::keep {

KeptHistory SnapshotOf(const history::StateHistory& history, bool asRead) {
    KeptHistory kept;
    std::vector<bool> taken;
    for (std::int32_t slot = 1; slot <= history.LastState(); ++slot) {
        const history::ClipboardState& state = history.State(slot);
        KeptState keptState = KeepOf(state.id, state);
        const bool take = (asRead || state.packingJob == 0) && !keptState.entries.empty();
        if (take) {
            kept.states.push_back(std::move(keptState));
        }
        taken.push_back(take);
    }
    kept.current = static_cast<std::int32_t>(PositionAmongKept(taken, history.CurrentState()));
    return kept;
}

HistoryKeeper::~HistoryKeeper() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    files_.LetGo();
}

bool HistoryKeeper::TurnOn(bool load) {
    Flush();
    held_ = files_.Hold();
    if (!held_) {
        return false;
    }
    {
        const std::lock_guard lock(mutex_);
        (load ? loadAsked_ : clearAsked_) = true;
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { Work(); });
        }
    }
    changed_.notify_all();
    return true;
}

// A folder another program holds is that program's to keep: nothing of it is touched.
bool HistoryKeeper::TurnOff() {
    if (!std::exchange(held_, false)) {
        return true;
    }
    Flush();
    // The thread is idle and stays so: nothing is asked of it while keeping is off.
    const bool statesGone = store_.Clear();
    const bool keyGone = seal_.Forget();
    return files_.RemoveAllAndLetGo() && statesGone && keyGone;
}

void HistoryKeeper::RemoveLeftovers() {
    const std::optional<std::vector<std::u16string>> names = files_.List();
    if (names && !names->empty()) {
        held_ = files_.Hold();
        TurnOff();
    }
}

void HistoryKeeper::Save(KeptHistory history) {
    {
        const std::lock_guard lock(mutex_);
        saveAsked_ = std::move(history);
    }
    changed_.notify_all();
}

void HistoryKeeper::Flush() {
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) {
        return;
    }
    changed_.wait(lock, [this] { return !working_ && !loadAsked_ && !clearAsked_ && !saveAsked_; });
}

HistoryKeeper::Done HistoryKeeper::TakeDone() {
    const std::lock_guard lock(mutex_);
    return std::exchange(done_, {});
}

// Asked for work is done even when stopping: the owner stops after its last save.
void HistoryKeeper::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock,
                      [this] { return stopping_ || loadAsked_ || clearAsked_ || saveAsked_; });
        if (!loadAsked_ && !clearAsked_ && !saveAsked_) {
            return;
        }
        working_ = true;
        if (std::exchange(loadAsked_, false)) {
            lock.unlock();
            LoadedHistory loaded = store_.Load();
            lock.lock();
            done_.loaded = std::move(loaded);
        } else if (std::exchange(clearAsked_, false)) {
            lock.unlock();
            store_.Clear();
            lock.lock();
        } else {
            const KeptHistory history = std::move(*saveAsked_);
            saveAsked_.reset();
            lock.unlock();
            const bool saved = store_.Save(history.states, history.current);
            lock.lock();
            done_.saved = saved;
        }
        working_ = false;
        lock.unlock();
        changed_.notify_all();
        if (ready_) {
            ready_();
        }
        lock.lock();
    }
}

}  // namespace revertly::keep
