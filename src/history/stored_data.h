// The bytes of a format's data as a state keeps them: first as they were read, later, once
// the background packer has been at them, compressed where that saves memory, and shared
// between a picture's two bitmap formats where they hold the same pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace revertly::history {

// A run of bytes that never changes once made: kept as it is, or deflated. Shared between
// the history (on the window's thread) and the packer (on its own), which only read it.
class Chunk {
  public:
    // Room for bytes that the caller fills before the chunk is shared; empty when memory
    // runs out.
    static std::unique_ptr<Chunk> Allocate(std::size_t size);
    static std::shared_ptr<const Chunk> Copy(std::span<const std::byte> bytes);
    // The bytes deflated, or nothing when that would not save at least an eighth of them
    // (noise, photos, data compressed already) or memory runs out.
    static std::shared_ptr<const Chunk> Compress(std::span<const std::byte> bytes);
    // A chunk made again from what another one kept (its stored() bytes, the size they stand
    // for, whether they are deflated), as a history read back from disk has it. Null when
    // memory runs out, or when bytes kept as they are do not have that size. Compressed bytes
    // are not inflated here: CopyTo finds out whether they make exactly that size.
    static std::shared_ptr<const Chunk> FromStored(std::span<const std::byte> stored,
                                                   std::size_t size, bool compressed);

    // The bytes it stands for; the memory it takes.
    std::size_t size() const { return size_; }
    std::size_t storedSize() const { return stored_.size(); }
    bool compressed() const { return compressed_; }
    // The bytes as they are kept; for a chunk that is not compressed, the bytes themselves.
    std::span<const std::byte> stored() const { return stored_; }
    std::span<std::byte> writable() { return stored_; }
    // Writes the bytes it stands for, exactly size() of them; false when the compressed data
    // does not inflate to exactly that.
    bool CopyTo(std::span<std::byte> out) const;

  private:
    struct FreeBytes {
        void operator()(std::byte* bytes) const { delete[] bytes; }
    };
    Chunk(std::unique_ptr<std::byte[], FreeBytes> bytes, std::size_t stored, std::size_t size,
          bool compressed)
        : bytes_(std::move(bytes)),
          stored_(bytes_.get(), stored),
          size_(size),
          compressed_(compressed) {}

    std::unique_ptr<std::byte[], FreeBytes> bytes_;
    std::span<std::byte> stored_;
    std::size_t size_;
    bool compressed_;
};

// One format's data: a head kept as it is, then a body that may be compressed or shared.
// A block read from the clipboard has all its bytes in the body.
struct StoredData {
    std::vector<std::byte> head;
    std::shared_ptr<const Chunk> body;

    explicit operator bool() const { return body != nullptr; }
    std::size_t size() const { return head.size() + (body ? body->size() : 0); }
    // Writes all size() bytes; false when the body does not inflate whole.
    bool CopyTo(std::span<std::byte> out) const;
};

// Whether deflating the bytes would save little, judged from a few samples spread across
// them, so that no time goes on compressing noise.
bool LooksIncompressible(std::span<const std::byte> bytes);

// How many bytes at the end of a and b are the same.
std::size_t CommonTail(std::span<const std::byte> a, std::span<const std::byte> b);

}  // namespace revertly::history
