// Every Win32 call goes through the file calls the caller hands in.
#include "settings/whole_file_win32.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "common/last_error_win32.h"

namespace revertly::files {
namespace {

// Files of 4 GiB or more are not read: the contents would not fit one ReadFile call, and a
// wrong piece of the file is worse than none.
constexpr ULONGLONG kLargestFile = 0xFFFFFFFF;

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t kPiece = 1 << 30;

class FileHandle {
  public:
    FileHandle(const FileCalls& calls, HANDLE handle) : calls_(calls), handle_(handle) {}
    ~FileHandle() {
        if (IsOpen()) {
            const LastErrorContext keepError;
            calls_.CloseHandle(handle_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        return calls_.CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
    }

  private:
    const FileCalls& calls_;
    HANDLE handle_;
};

bool ReadAll(const FileCalls& calls, HANDLE file, std::vector<std::byte>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size() - done, kPiece));
        if (!calls.ReadFile(file, bytes.data() + done, wanted, &count, nullptr)) {
            return false;
        }
        if (count == 0) {
            break;
        }
        done += count;
    }
    bytes.resize(done);
    return true;
}

bool WriteAll(const FileCalls& calls, HANDLE file, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), kPiece));
        if (!calls.WriteFile(file, bytes.data(), wanted, &count, nullptr) || count == 0) {
            return false;
        }
        bytes = bytes.subspan(count);
    }
    return true;
}

// A file that another program has open without delete sharing cannot be replaced or
// recreated until it lets go. Windows answers that as a sharing or lock violation, and for
// the replace of an open target as access denied (so does Wine).
bool IsBusy(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

// How many temporary names this process has given up. A deleted temporary file keeps its
// name while another program (a scanner looking at the new file) still has it open with
// delete sharing, wherever the volume does not delete POSIX-style (FAT32 and exFAT sticks,
// network shares, older Windows 10), and creating that name again is refused with access
// denied: the answer a folder that takes no new files gives too. So a name is used again only
// while its file is still there, and once it has been deleted the next try takes a new one.
std::atomic<std::uint32_t> namesGivenUp{0};

constexpr std::wstring_view kTemporarySuffix = L".tmp";

// <file>.<process id>-<n>.tmp beside the target: no other process uses these names.
std::wstring TemporaryName(const std::wstring& target) {
    return target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(namesGivenUp.load()) + std::wstring(kTemporarySuffix);
}

// Writes a temporary file and replaces the target with it in one step.
WriteResult WriteAndReplace(const FileCalls& calls, const std::wstring& target,
                            std::span<const std::byte> bytes) {
    const std::wstring temporary = TemporaryName(target);
    bool written = false;
    {
        FileHandle file(calls, calls.CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen()) {
            // A scanner may still hold the temporary file of the try before, whose delete
            // failed; access denied for a name never deleted is the folder's own answer and
            // lasts.
            const DWORD error = GetLastError();
            return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                       ? WriteResult::Busy
                       : WriteResult::Failed;
        }
        // Flushed every time: replacing the old file with unflushed data can leave an empty
        // file after a power cut.
        written = WriteAll(calls, file.Get(), bytes) && calls.FlushFileBuffers(file.Get());
        written = file.Close() && written;
    }
    // The temporary file is closed before this point: it was opened without sharing, so it
    // could be neither moved nor deleted while open.
    WriteResult result = WriteResult::Failed;
    if (written) {
        if (calls.MoveFileExW(temporary.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return WriteResult::Written;
        }
        result = IsBusy(GetLastError()) ? WriteResult::Busy : WriteResult::Failed;
    }
    if (calls.DeleteFileW(temporary.c_str())) {
        ++namesGivenUp;
    }
    return result;
}

// A read-only file, or a folder in the file's place. Windows refuses to replace either, and
// for a folder with access denied, the answer it also gives while a reader holds a file.
bool IsUnreplaceable(const FileCalls& calls, const std::wstring& path) {
    const DWORD attributes = calls.GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

}  // namespace

std::optional<std::vector<std::byte>> ReadWholeFile(const FileCalls& calls,
                                                    const std::wstring& path) {
    const FileHandle file(calls,
                          calls.CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsOpen() || !calls.GetFileSizeEx(file.Get(), &size) ||
        static_cast<ULONGLONG>(size.QuadPart) > kLargestFile) {
        return std::nullopt;
    }
    std::vector<std::byte> bytes(static_cast<std::size_t>(size.QuadPart));
    if (!ReadAll(calls, file.Get(), bytes)) {
        return std::nullopt;
    }
    return bytes;
}

WriteResult ReplaceWholeFile(const FileCalls& calls, const std::wstring& target,
                             std::span<const std::byte> bytes, std::uint32_t patienceMs) {
    // Windows refuses to replace a read-only file; Wine replaces it all the same. Asking
    // first makes both refuse alike, before any temporary file exists, and tells a lasting
    // refusal from a reader's passing one.
    if (IsUnreplaceable(calls, target)) {
        return WriteResult::Failed;
    }
    constexpr std::uint32_t kPauseMs = 50;
    for (std::uint32_t waited = 0;; waited += kPauseMs) {
        const WriteResult result = WriteAndReplace(calls, target, bytes);
        if (result != WriteResult::Busy || waited >= patienceMs) {
            return result;
        }
        calls.Sleep(kPauseMs);
    }
}

bool IsTemporaryFileName(std::wstring_view name) {
    return name.ends_with(kTemporarySuffix);
}

}  // namespace revertly::files
