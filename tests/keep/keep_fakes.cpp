#include "keep/keep_fakes.h"

#include <algorithm>

namespace revertly::testing {
namespace {

constexpr std::size_t kNonceSize = 8;
constexpr std::size_t kChecksumSize = 8;

// SplitMix64: a good spread of every bit of its input.
std::uint64_t Mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

void PutNumber(std::vector<std::byte>& out, std::uint64_t value) {
    for (std::size_t i = 0; i < 8; ++i) {
        out.push_back(static_cast<std::byte>(value >> (8 * i)));
    }
}

std::uint64_t GetNumber(std::span<const std::byte> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value |= std::to_integer<std::uint64_t>(bytes[i]) << (8 * i);
    }
    return value;
}

}  // namespace

std::uint64_t TestSeal::Checksum(keep::FileRole role, std::uint16_t version,
                                 std::span<const std::byte> nonceAndText) const {
    // FNV-1a from a keyed start: each step is a one-to-one function of the sum so far, so
    // two inputs that differ in one byte never meet again.
    std::uint64_t sum = Mix(key_);
    const auto add = [&sum](std::uint64_t byte) { sum = (sum ^ byte) * 0x100000001B3ull; };
    add(static_cast<std::uint64_t>(role));
    add(version & 0xFF);
    add(version >> 8);
    for (std::size_t i = 0; i < 8; ++i) {
        add((nonceAndText.size() >> (8 * i)) & 0xFF);
    }
    for (const std::byte byte : nonceAndText) {
        add(std::to_integer<std::uint64_t>(byte));
    }
    return Mix(sum ^ key_);
}

void TestSeal::Cipher(std::uint64_t nonce, std::span<std::byte> bytes) const {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 8 == 0) {
            word = Mix(key_ ^ Mix(nonce) ^ Mix(i));
        }
        bytes[i] ^= static_cast<std::byte>(word >> (8 * (i % 8)));
    }
}

std::optional<std::vector<std::byte>> TestSeal::Seal(keep::FileRole role, std::uint16_t version,
                                                     std::span<const std::byte> contents) {
    const std::uint64_t nonce = nextNonce_++;
    std::vector<std::byte> sealed;
    PutNumber(sealed, nonce);
    sealed.insert(sealed.end(), contents.begin(), contents.end());
    Cipher(nonce, std::span(sealed).subspan(kNonceSize));
    PutNumber(sealed, Checksum(role, version, sealed));
    return sealed;
}

std::optional<std::vector<std::byte>> TestSeal::Open(keep::FileRole role, std::uint16_t version,
                                                     std::span<const std::byte> sealed) {
    if (sealed.size() < kNonceSize + kChecksumSize) {
        return std::nullopt;
    }
    const std::span<const std::byte> nonceAndText = sealed.first(sealed.size() - kChecksumSize);
    if (Checksum(role, version, nonceAndText) != GetNumber(sealed.last(kChecksumSize))) {
        return std::nullopt;
    }
    std::vector<std::byte> contents(nonceAndText.begin() + kNonceSize, nonceAndText.end());
    Cipher(GetNumber(nonceAndText), contents);
    return contents;
}

std::optional<std::vector<std::u16string>> MemoryFolder::List() {
    std::vector<std::u16string> names;
    for (const auto& [name, bytes] : files) {
        names.push_back(name);
    }
    return names;
}

std::optional<std::vector<std::byte>> MemoryFolder::Read(std::u16string_view name) {
    const auto file = files.find(name);
    if (file == files.end()) {
        return std::nullopt;
    }
    return file->second;
}

bool MemoryFolder::Write(std::u16string_view name, std::span<const std::byte> bytes) {
    if (refusedWrites.contains(name)) {
        return false;
    }
    files.insert_or_assign(std::u16string(name),
                           std::vector<std::byte>(bytes.begin(), bytes.end()));
    return true;
}

bool MemoryFolder::Remove(std::u16string_view name) {
    if (const auto file = files.find(name); file != files.end()) {
        files.erase(file);
    }
    return true;
}

std::string MemoryFolder::Names() const {
    std::string names;
    for (const auto& [name, bytes] : files) {
        names += names.empty() ? "" : " ";
        names += std::string(name.begin(), name.end());
    }
    return names;
}

}  // namespace revertly::testing
