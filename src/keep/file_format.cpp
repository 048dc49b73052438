#include "keep/file_format.h"

#include <algorithm>
#include <limits>
#include <set>
#include <unordered_map>

namespace revertly::keep {
namespace {

// The summary's flags and the chunk's.
constexpr std::uint8_t kPartial = 1;
constexpr std::uint8_t kPicture = 2;
constexpr std::uint8_t kFiles = 4;
constexpr std::uint8_t kHasText = 8;
constexpr std::uint8_t kKnownStateFlags = kPartial | kPicture | kFiles | kHasText;
constexpr std::uint8_t kCompressed = 1;

// Deflate makes at most 1032 bytes of each byte it keeps: a compressed chunk that claims
// more cannot be whole, and putting it back would ask for memory it never fills.
constexpr std::uint64_t kMostInflation = 1032;

class ContentsWriter {
  public:
    template <typename Number>
    void PutNumber(Number value) {
        for (std::size_t i = 0; i < sizeof(Number); ++i) {
            bytes_.push_back(static_cast<std::byte>(static_cast<std::uint64_t>(value) >> (8 * i)));
        }
    }
    void PutBytes(std::span<const std::byte> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    void PutText(std::u16string_view text) {
        for (const char16_t unit : text) {
            PutNumber(static_cast<std::uint16_t>(unit));
        }
    }
    void Header(FileRole role) {
        PutNumber(static_cast<std::uint8_t>(role));
        PutNumber(kKeptVersion);
    }
    std::vector<std::byte> Take() { return std::move(bytes_); }

  private:
    std::vector<std::byte> bytes_;
};

// Reads from the front of the contents; every read checks what is left first.
class ContentsReader {
  public:
    explicit ContentsReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    template <typename Number>
    bool Get(Number& value) {
        if (bytes_.size() < sizeof(Number)) {
            return false;
        }
        std::uint64_t gathered = 0;
        for (std::size_t i = 0; i < sizeof(Number); ++i) {
            gathered |= static_cast<std::uint64_t>(bytes_[i]) << (8 * i);
        }
        value = static_cast<Number>(gathered);
        bytes_ = bytes_.subspan(sizeof(Number));
        return true;
    }
    bool Get(std::uint64_t count, std::span<const std::byte>& out) {
        if (count > bytes_.size()) {
            return false;
        }
        out = bytes_.first(static_cast<std::size_t>(count));
        bytes_ = bytes_.subspan(static_cast<std::size_t>(count));
        return true;
    }
    bool Get(std::uint64_t units, std::u16string& text) {
        std::span<const std::byte> bytes;
        if (units > bytes_.size() / 2 || !Get(units * 2, bytes)) {
            return false;
        }
        text.resize(static_cast<std::size_t>(units));
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(std::to_integer<unsigned>(bytes[2 * i]) |
                                            std::to_integer<unsigned>(bytes[2 * i + 1]) << 8);
        }
        return true;
    }
    // Whether `count` items of at least `each` bytes can still follow.
    bool Holds(std::uint64_t count, std::size_t each) const {
        return count <= bytes_.size() / each;
    }
    bool Header(FileRole role) {
        std::uint8_t readRole = 0;
        std::uint16_t version = 0;
        return Get(readRole) && Get(version) && readRole == static_cast<std::uint8_t>(role) &&
               version == kKeptVersion;
    }
    bool AtEnd() const { return bytes_.empty(); }

  private:
    std::span<const std::byte> bytes_;
};

// The bodies of a state, each once however many entries share it.
struct ChunkTable {
    std::vector<const history::Chunk*> chunks;
    std::unordered_map<const history::Chunk*, std::uint32_t> numbers;

    std::uint32_t Number(const history::Chunk* chunk) {
        const auto [at, added] = numbers.emplace(chunk, static_cast<std::uint32_t>(chunks.size()));
        if (added) {
            chunks.push_back(chunk);
        }
        return at->second;
    }
};

std::uint8_t StateFlags(const KeptState& state) {
    return static_cast<std::uint8_t>(
        (state.partial ? kPartial : 0) | (state.summary.picture ? kPicture : 0) |
        (state.summary.files ? kFiles : 0) | (state.summary.text ? kHasText : 0));
}

bool ReadChunks(ContentsReader& reader, std::vector<std::shared_ptr<const history::Chunk>>& out) {
    // A chunk takes at least its flag and two sizes.
    constexpr std::size_t kSmallestChunk = 1 + 8 + 8;
    std::uint32_t count = 0;
    if (!reader.Get(count) || !reader.Holds(count, kSmallestChunk)) {
        return false;
    }
    out.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t flags = 0;
        std::uint64_t size = 0;
        std::uint64_t storedSize = 0;
        std::span<const std::byte> stored;
        if (!reader.Get(flags) || !reader.Get(size) || !reader.Get(storedSize) ||
            !reader.Get(storedSize, stored) || (flags & ~kCompressed) != 0 ||
            size > std::numeric_limits<std::size_t>::max()) {
            return false;
        }
        const bool compressed = (flags & kCompressed) != 0;
        if (compressed && (stored.empty() || size / kMostInflation > stored.size())) {
            return false;
        }
        std::shared_ptr<const history::Chunk> chunk =
            history::Chunk::FromStored(stored, static_cast<std::size_t>(size), compressed);
        if (!chunk) {
            return false;
        }
        out.push_back(std::move(chunk));
    }
    return true;
}

bool ReadEntries(ContentsReader& reader,
                 const std::vector<std::shared_ptr<const history::Chunk>>& chunks,
                 std::vector<KeptEntry>& out) {
    // An entry takes at least its id, two lengths and its chunk's number.
    constexpr std::size_t kSmallestEntry = 4 + 2 + 4 + 4;
    std::uint32_t count = 0;
    if (!reader.Get(count) || !reader.Holds(count, kSmallestEntry)) {
        return false;
    }
    out.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        KeptEntry& entry = out.emplace_back();
        std::uint16_t nameLength = 0;
        std::uint32_t headLength = 0;
        std::span<const std::byte> head;
        std::uint32_t chunk = 0;
        if (!reader.Get(entry.formatId) || !reader.Get(nameLength) ||
            !reader.Get(nameLength, entry.formatName) || !reader.Get(headLength) ||
            !reader.Get(headLength, head) || !reader.Get(chunk) || chunk >= chunks.size()) {
            return false;
        }
        entry.data.head.assign(head.begin(), head.end());
        entry.data.body = chunks[chunk];
    }
    return true;
}

}  // namespace

std::vector<std::byte> WriteStateContents(const KeptState& state) {
    ContentsWriter writer;
    writer.Header(FileRole::State);
    writer.PutNumber(state.id);
    writer.PutNumber(StateFlags(state));
    if (state.summary.text) {
        writer.PutNumber(static_cast<std::uint32_t>(state.summary.text->size()));
        writer.PutText(*state.summary.text);
    }
    ChunkTable table;
    for (const KeptEntry& entry : state.entries) {
        table.Number(entry.data.body.get());
    }
    writer.PutNumber(static_cast<std::uint32_t>(table.chunks.size()));
    for (const history::Chunk* chunk : table.chunks) {
        writer.PutNumber(static_cast<std::uint8_t>(chunk->compressed() ? kCompressed : 0));
        writer.PutNumber(static_cast<std::uint64_t>(chunk->size()));
        writer.PutNumber(static_cast<std::uint64_t>(chunk->storedSize()));
        writer.PutBytes(chunk->stored());
    }
    writer.PutNumber(static_cast<std::uint32_t>(state.entries.size()));
    for (const KeptEntry& entry : state.entries) {
        writer.PutNumber(entry.formatId);
        writer.PutNumber(static_cast<std::uint16_t>(entry.formatName.size()));
        writer.PutText(entry.formatName);
        writer.PutNumber(static_cast<std::uint32_t>(entry.data.head.size()));
        writer.PutBytes(entry.data.head);
        writer.PutNumber(table.Number(entry.data.body.get()));
    }
    return writer.Take();
}

std::optional<KeptState> ReadStateContents(std::span<const std::byte> contents) {
    ContentsReader reader(contents);
    KeptState state;
    std::uint8_t flags = 0;
    if (!reader.Header(FileRole::State) || !reader.Get(state.id) || !reader.Get(flags) ||
        (flags & ~kKnownStateFlags) != 0) {
        return std::nullopt;
    }
    state.partial = (flags & kPartial) != 0;
    state.summary.picture = (flags & kPicture) != 0;
    state.summary.files = (flags & kFiles) != 0;
    if ((flags & kHasText) != 0) {
        std::uint32_t length = 0;
        std::u16string text;
        if (!reader.Get(length) || !reader.Get(length, text)) {
            return std::nullopt;
        }
        state.summary.text = std::move(text);
    }
    std::vector<std::shared_ptr<const history::Chunk>> chunks;
    if (!ReadChunks(reader, chunks) || !ReadEntries(reader, chunks, state.entries) ||
        !reader.AtEnd()) {
        return std::nullopt;
    }
    return state;
}

std::vector<std::byte> WriteIndexContents(const KeptIndex& index) {
    ContentsWriter writer;
    writer.Header(FileRole::Index);
    writer.PutNumber(static_cast<std::uint32_t>(index.ids.size()));
    for (const std::uint64_t id : index.ids) {
        writer.PutNumber(id);
    }
    writer.PutNumber(index.current);
    return writer.Take();
}

std::optional<KeptIndex> ReadIndexContents(std::span<const std::byte> contents) {
    ContentsReader reader(contents);
    KeptIndex index;
    std::uint32_t count = 0;
    if (!reader.Header(FileRole::Index) || !reader.Get(count) ||
        !reader.Holds(count, sizeof(std::uint64_t))) {
        return std::nullopt;
    }
    index.ids.resize(count);
    for (std::uint64_t& id : index.ids) {
        reader.Get(id);
    }
    // Two places for one state's file would drop it twice.
    const std::set<std::uint64_t> distinct(index.ids.begin(), index.ids.end());
    if (!reader.Get(index.current) || !reader.AtEnd() || distinct.size() != count ||
        index.current > count || (index.current == 0) != (count == 0)) {
        return std::nullopt;
    }
    return index;
}

std::u16string StateFileName(std::uint64_t id) {
    constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string name = u"state-";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += kDigits[(id >> shift) & 0xF];
    }
    return name + u".rvk";
}

std::optional<std::uint64_t> StateFileId(std::u16string_view name) {
    constexpr std::u16string_view kPrefix = u"state-";
    constexpr std::u16string_view kSuffix = u".rvk";
    constexpr std::size_t kDigits = 16;
    if (name.size() != kPrefix.size() + kDigits + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    std::uint64_t id = 0;
    for (const char16_t digit : name.substr(kPrefix.size(), kDigits)) {
        const bool decimal = digit >= u'0' && digit <= u'9';
        if (!decimal && !(digit >= u'a' && digit <= u'f')) {
            return std::nullopt;
        }
        id = id << 4 | static_cast<std::uint64_t>(decimal ? digit - u'0' : digit - u'a' + 10);
    }
    return id;
}

}  // namespace revertly::keep
