// Feeds arbitrary bytes to the readers of the kept history's files, as they would come out of
// the seal: whatever they are, the readers answer the contents or nothing. What they answer
// must write back to contents that read the same again, and a state must make a history
// state whose bodies put back as many bytes as they claim, or say they cannot.
//
// Input: the contents of a state file or of an index; the reader is chosen by the role byte
// they start with, so seeds written by the program reach both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "keep/file_format.h"

namespace {

using revertly::keep::FileRole;

void CheckState(std::span<const std::byte> contents) {
    const std::optional<revertly::keep::KeptState> state =
        revertly::keep::ReadStateContents(contents);
    if (!state) {
        return;
    }
    const std::vector<std::byte> written = revertly::keep::WriteStateContents(*state);
    const std::optional<revertly::keep::KeptState> again =
        revertly::keep::ReadStateContents(written);
    if (!again || revertly::keep::WriteStateContents(*again) != written) {
        std::abort();
    }
    // Small bodies only: a compressed one may claim a thousand times its own size.
    for (const revertly::keep::KeptEntry& entry : state->entries) {
        if (entry.data.size() <= (1u << 20)) {
            std::vector<std::byte> out(entry.data.size());
            entry.data.CopyTo(out);
        }
    }
    revertly::keep::ToClipboardState(*state);
}

void CheckIndex(std::span<const std::byte> contents) {
    const std::optional<revertly::keep::KeptIndex> index =
        revertly::keep::ReadIndexContents(contents);
    if (!index) {
        return;
    }
    const std::optional<revertly::keep::KeptIndex> again =
        revertly::keep::ReadIndexContents(revertly::keep::WriteIndexContents(*index));
    if (!again || again->ids != index->ids || again->current != index->current) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> contents(reinterpret_cast<const std::byte*>(data), size);
    if (size > 0 && data[0] == static_cast<std::uint8_t>(FileRole::Index)) {
        CheckIndex(contents);
    } else {
        CheckState(contents);
    }
    return 0;
}
