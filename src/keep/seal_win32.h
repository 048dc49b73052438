// The kept history's seal on Windows: AES-GCM (BCrypt) under a random 256-bit key of the
// user's, kept in the folder protected with DPAPI, so that only the same user on the same
// computer can open what it sealed. Every Win32 call goes through Api() (keep/api_win32.h).
//
// A sealed file: the 12-byte nonce, the ciphertext (as long as the contents), the 16-byte
// tag. The associated data binds the product, the file's role and its version.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/unique_handle.h"
#include "keep/keep_ports.h"

namespace revertly::keep {

// The key's file in the kept folder: the key as DPAPI protected it.
inline constexpr std::u16string_view kKeyFileName = u"key.rvk";

namespace release {
void Algorithm(void* algorithm);
void Key(void* key);
}  // namespace release

// Not for two threads at once, as the store that uses it.
class Win32Seal final : public SealPort {
  public:
    // The key is read from `files`, or made and written there, at the first seal or open.
    explicit Win32Seal(KeptFilesPort& files) : files_(files) {}

    std::optional<std::vector<std::byte>> Seal(FileRole role, std::uint16_t version,
                                               std::span<const std::byte> contents) override;
    std::optional<std::vector<std::byte>> Open(FileRole role, std::uint16_t version,
                                               std::span<const std::byte> sealed) override;
    // Removes the key's file through the files port; the key in memory goes whatever the
    // answer, and the next seal or open reads the key file again or makes a new one.
    bool Forget() override;

  private:
    bool HaveKey();

    KeptFilesPort& files_;
    // Declared first so that it goes last: the key belongs to the provider.
    UniqueHandle<void*, &release::Algorithm> algorithm_;
    UniqueHandle<void*, &release::Key> key_;
};

}  // namespace revertly::keep
