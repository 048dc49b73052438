#include "keep/seal_win32.h"

#include <algorithm>
#include <array>
#include <limits>

#include "common/last_error_win32.h"
#include "keep/api_win32.h"

namespace revertly::keep {

namespace release {
void Algorithm(void* algorithm) {
    const LastErrorContext keepError;
    Api().BCryptCloseAlgorithmProvider(algorithm, 0);
}
void Key(void* key) {
    const LastErrorContext keepError;
    Api().BCryptDestroyKey(key);
}
}  // namespace release

namespace {

constexpr ULONG kKeySize = 32;
constexpr ULONG kNonceSize = 12;
constexpr ULONG kTagSize = 16;
// BCrypt takes 32-bit counts.
constexpr std::size_t kLargestContents = std::numeric_limits<ULONG>::max() - kNonceSize - kTagSize;

// Binds the key's protection to this program: another program of the same user that asks
// DPAPI for the key without it is refused.
constexpr std::string_view kKeyEntropy = "Revertly kept history key";
// Binds every sealed file to this program, beside its role and version.
constexpr std::string_view kProductTag = "Revertly";

void FreeLocal(BYTE* block) {
    const LastErrorContext keepError;
    Api().LocalFree(block);
}
using UniqueLocalBlock = UniqueHandle<BYTE*, &FreeLocal>;

// The plain key, wiped when it goes.
struct PlainKey {
    ~PlainKey() { SecureZeroMemory(bytes.data(), bytes.size()); }
    std::array<UCHAR, kKeySize> bytes{};
};

// The Win32 structures name input buffers without const.
PUCHAR Bytes(const void* bytes) {
    return static_cast<PUCHAR>(const_cast<void*>(bytes));
}

DATA_BLOB BlobOf(const void* bytes, std::size_t size) {
    return DATA_BLOB{static_cast<DWORD>(size), Bytes(bytes)};
}

// The product tag, the role and the version (little-endian).
std::array<UCHAR, kProductTag.size() + 3> AssociatedData(FileRole role, std::uint16_t version) {
    std::array<UCHAR, kProductTag.size() + 3> data{};
    std::copy(kProductTag.begin(), kProductTag.end(), data.begin());
    data[kProductTag.size()] = static_cast<UCHAR>(role);
    data[kProductTag.size() + 1] = static_cast<UCHAR>(version & 0xFF);
    data[kProductTag.size() + 2] = static_cast<UCHAR>(version >> 8);
    return data;
}

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO CipherInfo(PUCHAR nonce, std::span<UCHAR> associated,
                                                 PUCHAR tag) {
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
    BCRYPT_INIT_AUTH_MODE_INFO(info);
    info.pbNonce = nonce;
    info.cbNonce = kNonceSize;
    info.pbAuthData = associated.data();
    info.cbAuthData = static_cast<ULONG>(associated.size());
    info.pbTag = tag;
    info.cbTag = kTagSize;
    return info;
}

enum class KeyFile {
    Opened,
    // Not there, or DPAPI refuses it (another user's or computer's, or protected before an
    // administrator reset the user's password): what was sealed with it cannot be opened
    // again, and a new key is needed.
    Lost,
    // There but not readable now (held by another program, say): the key may still be good,
    // so it is not replaced.
    Unreadable,
};

KeyFile ReadKeyFile(KeptFilesPort& files, PlainKey& key) {
    const std::optional<std::vector<std::u16string>> names = files.List();
    if (!names) {
        return KeyFile::Unreadable;
    }
    if (std::find(names->begin(), names->end(), kKeyFileName) == names->end()) {
        return KeyFile::Lost;
    }
    const std::optional<std::vector<std::byte>> protectedKey = files.Read(kKeyFileName);
    if (!protectedKey) {
        return KeyFile::Unreadable;
    }
    DATA_BLOB in = BlobOf(protectedKey->data(), protectedKey->size());
    DATA_BLOB entropy = BlobOf(kKeyEntropy.data(), kKeyEntropy.size());
    DATA_BLOB out{};
    if (protectedKey->size() > std::numeric_limits<DWORD>::max() ||
        !Api().CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr,
                                  CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        return KeyFile::Lost;
    }
    const UniqueLocalBlock plain(out.pbData);
    const bool whole = out.cbData == key.bytes.size();
    if (whole) {
        std::copy_n(out.pbData, key.bytes.size(), key.bytes.begin());
    }
    SecureZeroMemory(out.pbData, out.cbData);
    return whole ? KeyFile::Opened : KeyFile::Lost;
}

// A new random key, written protected to the key's file.
bool MakeKeyFile(KeptFilesPort& files, PlainKey& key) {
    if (!BCRYPT_SUCCESS(Api().BCryptGenRandom(nullptr, key.bytes.data(), kKeySize,
                                              BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        return false;
    }
    DATA_BLOB in = BlobOf(key.bytes.data(), key.bytes.size());
    DATA_BLOB entropy = BlobOf(kKeyEntropy.data(), kKeyEntropy.size());
    DATA_BLOB out{};
    if (!Api().CryptProtectData(&in, L"Revertly", &entropy, nullptr, nullptr,
                                CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        return false;
    }
    const UniqueLocalBlock protectedKey(out.pbData);
    return files.Write(kKeyFileName, std::as_bytes(std::span(protectedKey.get(), out.cbData)));
}

}  // namespace

bool Win32Seal::HaveKey() {
    if (key_) {
        return true;
    }
    if (!algorithm_) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        if (!BCRYPT_SUCCESS(
                Api().BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
            return false;
        }
        decltype(algorithm_) opened(algorithm);
        if (!BCRYPT_SUCCESS(Api().BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE,
                                                    Bytes(BCRYPT_CHAIN_MODE_GCM),
                                                    sizeof(BCRYPT_CHAIN_MODE_GCM), 0))) {
            return false;
        }
        algorithm_ = std::move(opened);
    }
    // A key file that will not open now is kept: a new key would lose every kept file for
    // what may be a moment's hold by another program.
    PlainKey plain;
    const KeyFile found = ReadKeyFile(files_, plain);
    if (found == KeyFile::Unreadable || (found == KeyFile::Lost && !MakeKeyFile(files_, plain))) {
        return false;
    }
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!BCRYPT_SUCCESS(Api().BCryptGenerateSymmetricKey(algorithm_.get(), &key, nullptr, 0,
                                                         plain.bytes.data(), kKeySize, 0))) {
        return false;
    }
    key_.reset(key);
    return true;
}

std::optional<std::vector<std::byte>> Win32Seal::Seal(FileRole role, std::uint16_t version,
                                                      std::span<const std::byte> contents) {
    if (contents.size() > kLargestContents || !HaveKey()) {
        return std::nullopt;
    }
    const auto size = static_cast<ULONG>(contents.size());
    std::vector<std::byte> sealed(kNonceSize + size + kTagSize);
    const PUCHAR nonce = Bytes(sealed.data());
    if (!BCRYPT_SUCCESS(
            Api().BCryptGenRandom(nullptr, nonce, kNonceSize, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        return std::nullopt;
    }
    std::array associated = AssociatedData(role, version);
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info =
        CipherInfo(nonce, associated, nonce + kNonceSize + size);
    ULONG done = 0;
    const NTSTATUS status = Api().BCryptEncrypt(key_.get(), Bytes(contents.data()), size, &info,
                                                nullptr, 0, nonce + kNonceSize, size, &done, 0);
    if (!BCRYPT_SUCCESS(status) || done != size) {
        return std::nullopt;
    }
    return sealed;
}

std::optional<std::vector<std::byte>> Win32Seal::Open(FileRole role, std::uint16_t version,
                                                      std::span<const std::byte> sealed) {
    if (sealed.size() < kNonceSize + kTagSize ||
        sealed.size() - kNonceSize - kTagSize > kLargestContents || !HaveKey()) {
        return std::nullopt;
    }
    const auto size = static_cast<ULONG>(sealed.size() - kNonceSize - kTagSize);
    std::vector<std::byte> contents(size);
    const PUCHAR nonce = Bytes(sealed.data());
    std::array associated = AssociatedData(role, version);
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info =
        CipherInfo(nonce, associated, nonce + kNonceSize + size);
    ULONG done = 0;
    const NTSTATUS status = Api().BCryptDecrypt(key_.get(), nonce + kNonceSize, size, &info,
                                                nullptr, 0, Bytes(contents.data()), size, &done, 0);
    if (!BCRYPT_SUCCESS(status) || done != size) {
        // Nothing of a file that failed its tag is handed on, nor left in memory.
        SecureZeroMemory(contents.data(), contents.size());
        return std::nullopt;
    }
    return contents;
}

bool Win32Seal::Forget() {
    key_.reset();
    return files_.Remove(kKeyFileName);
}

}  // namespace revertly::keep
