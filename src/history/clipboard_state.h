// One snapshot of the clipboard: every format that could be read, each with a private copy
// of its data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "history/stored_data.h"

namespace revertly::history {

// The private copy of a format whose data is not plain bytes. The history never looks inside
// such a block: it only moves and releases it. Who makes the block decides what the handle is
// and how it is released (on Windows a metafile picture's memory block with a private copy
// of its metafile, or an enhanced metafile). Move-only: a block belongs to exactly one state
// and is released once.
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

// One format of a state: its data as bytes, or as a block.
struct ClipboardFormatData {
    DataBlock block;
    // The format number as the clipboard listed it.
    std::int32_t formatId = 0;
    // For registered formats (ids from 0xC000) the format's name, at most 255 characters;
    // empty for the standard formats and when no name could be read. A write looks a named
    // format up again by its name, since registered ids differ between sessions.
    std::u16string formatName;
    // The memory the data takes, as the history's budget counts it.
    std::size_t storedBytes = 0;
    // The bytes of a format held as a memory block (most formats).
    StoredData data;
};

// What a state holds, in words a person knows, noted from its own data when it is taken:
// the step hint previews the state from this, never from another read of the clipboard.
struct StateSummary {
    // The start of its Unicode text (at most kSummaryTextLength characters), if it has one.
    std::optional<std::u16string> text;
    bool picture = false;  // a bitmap or a metafile
    bool files = false;    // a list of files, as the Explorer copies them
};
inline constexpr std::size_t kSummaryTextLength = 1024;

// Notes what a format that a state keeps stands for, by its id as Windows numbers it: a
// bitmap (2), a metafile picture (3), a device-independent bitmap (8, 17), an enhanced
// metafile (14), a list of files (15). The text is noted by whoever reads the format's bytes.
inline void NoteFormat(StateSummary& summary, std::int32_t formatId) {
    summary.picture = summary.picture || formatId == 2 || formatId == 3 || formatId == 8 ||
                      formatId == 14 || formatId == 17;
    summary.files = summary.files || formatId == 15;
}

// The formats of one snapshot, in the order in which the clipboard listed them.
struct ClipboardState {
    std::vector<ClipboardFormatData> entries;
    StateSummary summary;
    // The capture stopped asking before every format was copied: its owner took too long to
    // render them.
    bool partial = false;
    // The packer's job that will make it compact; 0 when none is under way.
    std::uint64_t packingJob = 0;
    // Names the state for as long as it is kept, also on disk, wherever it moves in the
    // history; given when it is recorded.
    std::uint64_t id = 0;
};

}  // namespace revertly::history
