// Keeps the history on disk from a thread of its own, so that the window's thread never waits
// for the disk or the cipher: it hands over what to keep (states whose data is shared, not
// copied) and hears back when the work is done. A save asked for while another waits takes its
// place: only the newest history needs to reach the disk.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "history/state_history.h"
#include "keep/history_store.h"
#include "keep/keep_ports.h"
#include "keep/kept_state.h"

namespace revertly::keep {

// A history as it is to be kept: its states oldest first and the current one's position.
struct KeptHistory {
    std::vector<KeptState> states;
    std::int32_t current = 0;
};

// What of the history can go to disk now: every state that holds bytes, less (unless asRead)
// those still waiting for the packer, which are kept once they are compact. The current
// position follows PositionAmongKept.
KeptHistory SnapshotOf(const history::StateHistory& history, bool asRead);

class HistoryKeeper {
  public:
    // ready: called on the keeper's thread when a load or a save is done, to have the owner
    // take the result (TakeDone) on its own thread.
    HistoryKeeper(SealPort& seal, KeptFilesPort& files, std::function<void()> ready)
        : seal_(seal), files_(files), store_(seal, files), ready_(std::move(ready)) {}
    // Finishes what was asked, then lets the folder go.
    ~HistoryKeeper();
    HistoryKeeper(const HistoryKeeper&) = delete;
    HistoryKeeper& operator=(const HistoryKeeper&) = delete;

    // Starts keeping: holds the folder, then reads what an earlier run kept (load), or removes
    // whatever is there (the history in memory is what is to be kept from now on). False when
    // another program holds the folder: nothing is kept then.
    bool TurnOn(bool load);
    // Stops keeping once the work under way is done, and removes every file, the key's too;
    // nothing when another program holds the folder. False when something stayed.
    bool TurnOff();
    // Removes what an earlier run kept, while keeping is off, unless another program holds it.
    void RemoveLeftovers();
    // Has the history kept; a save not yet begun is replaced.
    void Save(KeptHistory history);
    // Waits until everything asked for is done.
    void Flush();

    struct Done {
        std::optional<LoadedHistory> loaded;  // once, after TurnOn(true)
        std::optional<bool> saved;            // whether the last save kept all
    };
    Done TakeDone();

  private:
    void Work();

    SealPort& seal_;
    KeptFilesPort& files_;
    HistoryStore store_;
    std::function<void()> ready_;
    // Whether this program holds the folder (the window's thread only).
    bool held_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    // The work asked for, done in this order.
    bool loadAsked_ = false;
    bool clearAsked_ = false;
    std::optional<KeptHistory> saveAsked_;
    bool working_ = false;
    bool stopping_ = false;
    Done done_;
    std::thread thread_;
};

}  // namespace revertly::keep
