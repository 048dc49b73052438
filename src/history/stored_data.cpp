#include "history/stored_data.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace revertly::history {
namespace {

// The fastest level: pictures of screens and documents, the large blocks people copy, are
// mostly runs and repeats, which it finds as well as the slower ones do.
constexpr int kLevel = 1;
// zlib counts in 32-bit numbers: larger blocks go in and come out in pieces.
constexpr std::size_t kPiece = std::size_t{1} << 30;
// What is worth keeping compressed: at most seven eighths of the bytes.
constexpr std::size_t WorthKeeping(std::size_t size) {
    return size - size / 8;
}
// Blocks up to this size are compressed outright; larger ones are sampled first.
constexpr std::size_t kSampledFrom = 256 << 10;
constexpr std::size_t kSamples = 8;
constexpr std::size_t kSampleSize = 16 << 10;

uInt Piece(std::size_t left) {
    return static_cast<uInt>(std::min(left, kPiece));
}

// Deflates bytes into out; answers the bytes written, or nothing when they do not fit.
std::optional<std::size_t> Deflate(z_stream& stream, std::span<const std::byte> bytes,
                                   std::span<std::byte> out) {
    std::size_t in = 0;
    std::size_t written = 0;
    for (;;) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(bytes.data() + in));
        stream.avail_in = Piece(bytes.size() - in);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + written);
        stream.avail_out = Piece(out.size() - written);
        const uInt givenIn = stream.avail_in;
        const uInt givenOut = stream.avail_out;
        const bool last = in + givenIn == bytes.size();
        const int result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
        in += givenIn - stream.avail_in;
        written += givenOut - stream.avail_out;
        if (result == Z_STREAM_END) {
            return written;
        }
        // Full with more to come: the bytes are not worth keeping compressed.
        if (result == Z_STREAM_ERROR || written == out.size()) {
            return std::nullopt;
        }
    }
}

class Deflater {
  public:
    Deflater() : ready_(deflateInit(&stream_, kLevel) == Z_OK) {}
    ~Deflater() {
        if (ready_) {
            deflateEnd(&stream_);
        }
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    std::optional<std::size_t> Run(std::span<const std::byte> bytes, std::span<std::byte> out) {
        if (!ready_ || deflateReset(&stream_) != Z_OK) {
            return std::nullopt;
        }
        return Deflate(stream_, bytes, out);
    }

  private:
    z_stream stream_{};
    bool ready_;
};

}  // namespace

std::unique_ptr<Chunk> Chunk::Allocate(std::size_t size) {
    std::unique_ptr<std::byte[], FreeBytes> bytes(new (std::nothrow) std::byte[size]);
    if (!bytes) {
        return nullptr;
    }
    return std::unique_ptr<Chunk>(new Chunk(std::move(bytes), size, size, false));
}

std::shared_ptr<const Chunk> Chunk::Copy(std::span<const std::byte> bytes) {
    std::unique_ptr<Chunk> chunk = Allocate(bytes.size());
    if (!chunk) {
        return nullptr;
    }
    std::copy(bytes.begin(), bytes.end(), chunk->writable().begin());
    return chunk;
}

std::shared_ptr<const Chunk> Chunk::Compress(std::span<const std::byte> bytes) {
    const std::size_t room = WorthKeeping(bytes.size());
    std::unique_ptr<std::byte[], FreeBytes> out(new (std::nothrow) std::byte[room]);
    if (!out) {
        return nullptr;
    }
    const std::optional<std::size_t> written = Deflater().Run(bytes, {out.get(), room});
    if (!written) {
        return nullptr;
    }
    // Only the bytes written stay: the room for the worst case goes.
    std::unique_ptr<std::byte[], FreeBytes> kept(new (std::nothrow) std::byte[*written]);
    if (!kept) {
        return nullptr;
    }
    std::memcpy(kept.get(), out.get(), *written);
    return std::shared_ptr<const Chunk>(new Chunk(std::move(kept), *written, bytes.size(), true));
}

std::shared_ptr<const Chunk> Chunk::FromStored(std::span<const std::byte> stored, std::size_t size,
                                               bool compressed) {
    if (!compressed && stored.size() != size) {
        return nullptr;
    }
    std::unique_ptr<Chunk> chunk = Allocate(stored.size());
    if (!chunk) {
        return nullptr;
    }
    std::copy(stored.begin(), stored.end(), chunk->writable().begin());
    chunk->size_ = size;
    chunk->compressed_ = compressed;
    return chunk;
}

bool Chunk::CopyTo(std::span<std::byte> out) const {
    if (out.size() != size_) {
        return false;
    }
    if (!compressed_) {
        std::copy(stored_.begin(), stored_.end(), out.begin());
        return true;
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return false;
    }
    std::size_t in = 0;
    std::size_t written = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_in = reinterpret_cast<Bytef*>(stored_.data() + in);
        stream.avail_in = Piece(stored_.size() - in);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + written);
        stream.avail_out = Piece(out.size() - written);
        const uInt givenIn = stream.avail_in;
        const uInt givenOut = stream.avail_out;
        result = inflate(&stream, Z_NO_FLUSH);
        in += givenIn - stream.avail_in;
        written += givenOut - stream.avail_out;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END && written == size_;
}

bool StoredData::CopyTo(std::span<std::byte> out) const {
    if (!body || out.size() != size()) {
        return false;
    }
    std::copy(head.begin(), head.end(), out.begin());
    return body->CopyTo(out.subspan(head.size()));
}

bool LooksIncompressible(std::span<const std::byte> bytes) {
    if (bytes.size() <= kSampledFrom) {
        return false;
    }
    Deflater deflater;
    std::byte out[WorthKeeping(kSampleSize)];
    std::size_t worth = 0;
    const std::size_t step = (bytes.size() - kSampleSize) / (kSamples - 1);
    for (std::size_t k = 0; k < kSamples; ++k) {
        // A sample that does not fit in seven eighths of its size counts whole.
        const std::optional<std::size_t> written =
            deflater.Run(bytes.subspan(k * step, kSampleSize), out);
        worth += written.value_or(kSampleSize);
    }
    return worth > WorthKeeping(kSamples * kSampleSize);
}

std::size_t CommonTail(std::span<const std::byte> a, std::span<const std::byte> b) {
    constexpr std::size_t kStride = 4096;
    std::size_t same = 0;
    const std::size_t most = std::min(a.size(), b.size());
    while (same < most) {
        const std::size_t run = std::min(kStride, most - same);
        if (std::memcmp(a.data() + a.size() - same - run, b.data() + b.size() - same - run, run) ==
            0) {
            same += run;
            continue;
        }
        // The first difference lies within this run: find it byte by byte from its end.
        while (a[a.size() - same - 1] == b[b.size() - same - 1]) {
            ++same;
        }
        break;
    }
    return same;
}

}  // namespace revertly::history
