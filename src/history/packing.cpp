#include "history/packing.h"

#include <exception>
#include <set>
#include <utility>

namespace revertly::history {
namespace {

// The device-independent bitmap formats, as Windows numbers them (CF_DIB, CF_DIBV5).
constexpr std::int32_t kBitmapFormat = 8;
constexpr std::int32_t kBitmapV5Format = 17;

// As read: all of the block in a body of its own, nothing shared yet.
bool AsRead(const ClipboardFormatData& entry) {
    return entry.data && entry.data.head.empty() && !entry.data.body->compressed();
}

// The bytes compressed when that is worth it; else nothing.
std::shared_ptr<const Chunk> Compact(std::span<const std::byte> bytes) {
    return LooksIncompressible(bytes) ? nullptr : Chunk::Compress(bytes);
}

std::vector<std::byte> Head(std::span<const std::byte> bytes, std::size_t tail) {
    return {bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(tail)};
}

// Keeps the pixels the two bitmap formats share once, compressed if that is worth it.
// Nothing when they share less than half of the smaller block.
std::vector<Replacement> ShareBitmaps(const std::shared_ptr<const Chunk>& a,
                                      const std::shared_ptr<const Chunk>& b) {
    const std::span<const std::byte> aBytes = a->stored();
    const std::span<const std::byte> bBytes = b->stored();
    const std::size_t tail = CommonTail(aBytes, bBytes);
    if (tail < std::min(aBytes.size(), bBytes.size()) / 2) {
        return {};
    }
    const std::span<const std::byte> pixels = aBytes.last(tail);
    std::shared_ptr<const Chunk> shared = Compact(pixels);
    if (!shared) {
        shared = Chunk::Copy(pixels);
    }
    if (!shared) {
        return {};
    }
    return {{a, {Head(aBytes, tail), shared}}, {b, {Head(bBytes, tail), shared}}};
}

}  // namespace

PackingJob MakePackingJob(const ClipboardState& state) {
    PackingJob job;
    for (const ClipboardFormatData& entry : state.entries) {
        if (!AsRead(entry) || entry.data.size() < kSmallestPacked) {
            continue;
        }
        if (entry.formatId == kBitmapFormat) {
            job.bitmap = entry.data.body;
        } else if (entry.formatId == kBitmapV5Format) {
            job.bitmapV5 = entry.data.body;
        } else {
            job.bodies.push_back(entry.data.body);
        }
    }
    return job;
}

PackingResult RunPacking(const PackingJob& job) {
    PackingResult result{.id = job.id, .replacements = {}};
    std::vector<std::shared_ptr<const Chunk>> alone = job.bodies;
    if (job.bitmap && job.bitmapV5) {
        result.replacements = ShareBitmaps(job.bitmap, job.bitmapV5);
    }
    if (result.replacements.empty()) {
        for (const auto& body : {job.bitmap, job.bitmapV5}) {
            if (body) {
                alone.push_back(body);
            }
        }
    }
    for (const std::shared_ptr<const Chunk>& body : alone) {
        if (std::shared_ptr<const Chunk> compact = Compact(body->stored())) {
            result.replacements.push_back({body, {{}, std::move(compact)}});
        }
    }
    return result;
}

bool ApplyPacking(const PackingResult& result, ClipboardState& state) {
    bool changed = false;
    for (ClipboardFormatData& entry : state.entries) {
        for (const Replacement& replacement : result.replacements) {
            if (entry.data.body == replacement.from && AsRead(entry)) {
                entry.data = replacement.to;
                changed = true;
            }
        }
    }
    if (changed) {
        CountStoredBytes(state);
    }
    return changed;
}

void CountStoredBytes(ClipboardState& state) {
    std::set<const Chunk*> counted;
    for (ClipboardFormatData& entry : state.entries) {
        if (entry.data) {
            entry.storedBytes =
                entry.data.head.size() +
                (counted.insert(entry.data.body.get()).second ? entry.data.body->storedSize() : 0);
        }
    }
}

BackgroundPacker::~BackgroundPacker() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool BackgroundPacker::Submit(PackingJob job) {
    try {
        const std::lock_guard lock(mutex_);
        if (!thread_.joinable()) {
            thread_ = std::thread(&BackgroundPacker::Work, this);
        }
        waiting_.push_back(std::move(job));
    } catch (const std::exception&) {
        return false;  // no thread, or no memory for the job
    }
    changed_.notify_all();
    return true;
}

void BackgroundPacker::Cancel(std::uint64_t id) {
    const std::lock_guard lock(mutex_);
    std::erase_if(waiting_, [id](const PackingJob& job) { return job.id == id; });
}

std::vector<PackingResult> BackgroundPacker::TakeDone() {
    const std::lock_guard lock(mutex_);
    return std::exchange(done_, {});
}

void BackgroundPacker::WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && !working_; });
}

void BackgroundPacker::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        const PackingJob job = std::move(waiting_.front());
        waiting_.pop_front();
        working_ = true;
        lock.unlock();
        PackingResult result{.id = job.id, .replacements = {}};
        try {
            result = RunPacking(job);
        } catch (const std::exception&) {
            // Out of memory: the state stays as it was read.
        }
        lock.lock();
        working_ = false;
        done_.push_back(std::move(result));
        changed_.notify_all();
        if (!stopping_ && ready_) {
            lock.unlock();
            ready_();
            lock.lock();
        }
    }
}

}  // namespace revertly::history
