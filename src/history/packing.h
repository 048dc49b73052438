// Making new states compact away from the window's thread. A state is recorded as it was
// read, so that it can be put back at once; its large blocks are then compressed on the
// packer's own thread, and the history swaps the compact blocks in when they are ready.
// A picture's two bitmap formats (the program's own and the one Windows lists beside it)
// usually hold the same pixels after different headers: those pixels are kept once.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "history/clipboard_state.h"
#include "history/stored_data.h"

namespace revertly::history {

// Blocks smaller than this stay as they are: compressing them saves too little to matter.
inline constexpr std::size_t kSmallestPacked = 4096;

// The blocks of one state to be made compact, as they were read.
struct PackingJob {
    // Names the state the job is for (its packingJob).
    std::uint64_t id = 0;
    std::vector<std::shared_ptr<const Chunk>> bodies;
    // The two bitmap formats' bodies, which may share their pixels; null when not both.
    std::shared_ptr<const Chunk> bitmap;
    std::shared_ptr<const Chunk> bitmapV5;

    bool empty() const { return bodies.empty() && !bitmap && !bitmapV5; }
};

// A block's data as it is to be kept from now on, for the entry that still holds `from`.
struct Replacement {
    std::shared_ptr<const Chunk> from;
    StoredData to;
};
struct PackingResult {
    std::uint64_t id = 0;  // the job's
    std::vector<Replacement> replacements;
};

// The job for a newly read state; empty when it has nothing worth packing.
PackingJob MakePackingJob(const ClipboardState& state);
// Compresses what is worth it and shares the bitmap formats' pixels. A block that would not
// get smaller gets no replacement.
PackingResult RunPacking(const PackingJob& job);
// Puts the replacements into the entries that still hold what they replace, and counts
// the state's stored bytes anew: an entry's head, and its body unless an earlier entry of
// the state shares it. Answers whether the state changed.
bool ApplyPacking(const PackingResult& result, ClipboardState& state);
// Counts each entry's stored bytes: its head, and its body unless an earlier entry of the
// state shares it.
void CountStoredBytes(ClipboardState& state);

// Runs packing jobs one after another on a thread of its own, started with the first job.
class BackgroundPacker {
  public:
    // ready: called on the packer's thread after each job, to have the owner take the
    // result on its own thread.
    explicit BackgroundPacker(std::function<void()> ready) : ready_(std::move(ready)) {}
    // Finishes the job under way and drops the rest.
    ~BackgroundPacker();
    BackgroundPacker(const BackgroundPacker&) = delete;
    BackgroundPacker& operator=(const BackgroundPacker&) = delete;

    // False when the job cannot be taken (no thread could be started, or memory ran out): the
    // state then stays as it was read.
    bool Submit(PackingJob job);
    // Drops a job that has not begun, with the data it holds: its state has left the history.
    void Cancel(std::uint64_t id);
    // The results of the jobs finished so far, oldest first.
    std::vector<PackingResult> TakeDone();
    // Waits until every job submitted is finished.
    void WaitUntilIdle();

  private:
    void Work();

    std::function<void()> ready_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<PackingJob> waiting_;
    std::vector<PackingResult> done_;
    bool working_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace revertly::history
