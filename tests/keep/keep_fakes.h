// The kept history's ports for the tests: a seal that really authenticates, under a key of
// the test's choosing, and a folder in memory.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "keep/keep_ports.h"

namespace revertly::testing {

// Not a cipher anyone should trust, but one that behaves like the real seal: the contents
// XORed with a stream drawn from the key and a fresh nonce, then a keyed 64-bit checksum of
// the role, the version, the length, the nonce and the encrypted bytes. Every change of one
// byte changes the checksum, and so does a cut, another key, role or version.
// Layout: nonce (8 bytes), encrypted contents, checksum (8 bytes).
class TestSeal final : public keep::SealPort {
  public:
    explicit TestSeal(std::uint64_t key) : key_(key) {}

    std::optional<std::vector<std::byte>> Seal(keep::FileRole role, std::uint16_t version,
                                               std::span<const std::byte> contents) override;
    std::optional<std::vector<std::byte>> Open(keep::FileRole role, std::uint16_t version,
                                               std::span<const std::byte> sealed) override;
    // A new key, as the real seal makes one after its key is destroyed.
    bool Forget() override {
        key_ = key_ * 6364136223846793005u + 1442695040888963407u;
        return true;
    }

  private:
    std::uint64_t Checksum(keep::FileRole role, std::uint16_t version,
                           std::span<const std::byte> nonceAndText) const;
    void Cipher(std::uint64_t nonce, std::span<std::byte> bytes) const;

    std::uint64_t key_;
    std::uint64_t nextNonce_ = 1;
};

class MemoryFolder final : public keep::KeptFilesPort {
  public:
    std::optional<std::vector<std::u16string>> List() override;
    std::optional<std::vector<std::byte>> Read(std::u16string_view name) override;
    bool Write(std::u16string_view name, std::span<const std::byte> bytes) override;
    bool Remove(std::u16string_view name) override;
    bool Hold() override {
        held = !heldElsewhere;
        return held;
    }
    bool RemoveAllAndLetGo() override {
        files.clear();
        held = false;
        return true;
    }
    void LetGo() override { held = false; }

    // The names, sorted, joined by spaces.
    std::string Names() const;

    std::map<std::u16string, std::vector<std::byte>, std::less<>> files;
    // Writes of these names fail.
    std::set<std::u16string, std::less<>> refusedWrites;
    bool held = false;
    // Another program holds the folder: Hold fails.
    bool heldElsewhere = false;
};

}  // namespace revertly::testing
