// One snapshot of the clipboard: every format that could be read, each with a private copy
// of its data.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace revertly::history {

// The private copy of one format's data. The history never looks inside a block: it only
// moves and releases it. Who makes the block decides what the handle is and how it is
// released (on Windows a movable global memory block; for a metafile picture the block
// also owns a private copy of the metafile; in the substitute clipboard of the tests a
// buffer of bytes). Move-only: a block belongs to exactly one state and is released once.
class DataBlock {
  public:
    using Handle = std::uintptr_t;
    using ReleaseFunction = void (*)(Handle);

    DataBlock() = default;
    DataBlock(Handle handle, ReleaseFunction release) : handle_(handle), release_(release) {}
    ~DataBlock() { reset(); }

    DataBlock(const DataBlock&) = delete;
    DataBlock& operator=(const DataBlock&) = delete;
    DataBlock(DataBlock&& other) noexcept
        : handle_(std::exchange(other.handle_, 0)), release_(other.release_) {}
    DataBlock& operator=(DataBlock&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, 0);
            release_ = other.release_;
        }
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }

    void reset() {
        if (const Handle old = std::exchange(handle_, 0)) {
            release_(old);
        }
    }

  private:
    Handle handle_ = 0;
    ReleaseFunction release_ = nullptr;
};

// One format of a state.
struct ClipboardFormatData {
    DataBlock block;
    // The format number as the clipboard listed it.
    std::int32_t formatId = 0;
    // For registered formats (ids from 0xC000) the format's name, at most 255 characters;
    // empty for the standard formats and when no name could be read. A write looks a named
    // format up again by its name, since registered ids differ between sessions.
    std::u16string formatName;
};

// The formats of one snapshot, in the order in which the clipboard listed them.
struct ClipboardState {
    std::vector<ClipboardFormatData> entries;
};

}  // namespace revertly::history
