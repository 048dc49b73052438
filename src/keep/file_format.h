// The contents of the kept history's files before they are sealed and after they are opened:
// one file per state and one index. All numbers are little-endian; docs/ARCHITECTURE.md
// ("Kept history on disk") gives the byte layout.
//
// The readers take whatever bytes they are given (a file opened with the right key is still
// checked byte by byte): they answer the contents or nothing, and allocate no more than the
// bytes in hand can fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keep/kept_state.h"

namespace revertly::keep {

// The layout of both kinds of file. A reader of this version refuses every other.
inline constexpr std::uint16_t kKeptVersion = 1;

// What a file is, written first in its contents and bound into its seal, so that one kind
// can never be taken for the other.
enum class FileRole : std::uint8_t {
    Index = 1,
    State = 2,
};

// The order of the states, oldest first, by id, and the current one's position among them
// (1-based; 0 only when there are none).
struct KeptIndex {
    std::vector<std::uint64_t> ids;
    std::uint32_t current = 0;
};

// Every entry has a body, as KeepOf and the reader make them.
std::vector<std::byte> WriteStateContents(const KeptState& state);
std::optional<KeptState> ReadStateContents(std::span<const std::byte> contents);

std::vector<std::byte> WriteIndexContents(const KeptIndex& index);
std::optional<KeptIndex> ReadIndexContents(std::span<const std::byte> contents);

// The files' names in the folder: "index.rvk", and "state-<id in 16 hex digits>.rvk".
inline constexpr std::u16string_view kIndexFileName = u"index.rvk";
std::u16string StateFileName(std::uint64_t id);
// The id a state file's name stands for; nothing for every other name.
std::optional<std::uint64_t> StateFileId(std::u16string_view name);

}  // namespace revertly::keep
