// Whole-file text I/O through the wide Win32 file functions. Every Win32 call goes through
// Api().
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "common/last_error_win32.h"
#include "settings/api_win32.h"
#include "settings/codepage.h"
#include "settings/text_file.h"

namespace revertly::files {
namespace {

// Files of 4 GiB or more are not read: the text would not fit one ReadFile call, and a
// wrong piece of the file is worse than no text.
constexpr ULONGLONG kLargestFile = 0xFFFFFFFF;

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t kPiece = 1 << 30;

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (IsOpen()) {
            const LastErrorContext keepError;
            Api().CloseHandle(handle_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        return Api().CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
    }

  private:
    HANDLE handle_;
};

// A U+0000 would silently cut the name short and point at another file.
bool IsUsablePath(std::u16string_view path) {
    return !path.empty() && path.find(u'\0') == std::u16string_view::npos;
}

std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

bool ReadAll(HANDLE file, std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size() - done, kPiece));
        if (!Api().ReadFile(file, bytes.data() + done, wanted, &count, nullptr)) {
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

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD count = 0;
        const auto wanted = static_cast<DWORD>(std::min(bytes.size(), kPiece));
        if (!Api().WriteFile(file, bytes.data(), wanted, &count, nullptr) || count == 0) {
            return false;
        }
        bytes.remove_prefix(count);
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

// <file>.<process id>-<n>.tmp beside the target: no other process uses these names.
std::wstring TemporaryName(const std::wstring& target) {
    return target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(namesGivenUp.load()) + L".tmp";
}

// Writes a temporary file and replaces the target with it in one step.
WriteResult WriteAndReplace(const std::wstring& target, std::string_view bytes) {
    const std::wstring temporary = TemporaryName(target);
    bool written = false;
    {
        FileHandle file(Api().CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
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
        // Flushed whatever the caller asked: replacing the old file with unflushed data
        // can leave an empty file after a power cut.
        written = WriteAll(file.Get(), bytes) && Api().FlushFileBuffers(file.Get());
        written = file.Close() && written;
    }
    // The temporary file is closed before this point: it was opened without sharing, so it
    // could be neither moved nor deleted while open.
    WriteResult result = WriteResult::Failed;
    if (written) {
        if (Api().MoveFileExW(temporary.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return WriteResult::Written;
        }
        result = IsBusy(GetLastError()) ? WriteResult::Busy : WriteResult::Failed;
    }
    if (Api().DeleteFileW(temporary.c_str())) {
        ++namesGivenUp;
    }
    return result;
}

// A read-only file, or a folder in the file's place. Windows refuses to replace either, and
// for a folder with access denied, the answer it also gives while a reader holds a file.
bool IsUnreplaceable(const std::wstring& path) {
    const DWORD attributes = Api().GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

}  // namespace

std::u16string ReadTextFile(std::u16string_view path) {
    try {
        if (!IsUsablePath(path)) {
            return {};
        }
        const FileHandle file(Api().CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                nullptr));
        LARGE_INTEGER size{};
        if (!file.IsOpen() || !Api().GetFileSizeEx(file.Get(), &size) ||
            static_cast<ULONGLONG>(size.QuadPart) > kLargestFile) {
            return {};
        }
        std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
        if (!ReadAll(file.Get(), bytes)) {
            return {};
        }
        return DecodeCp1251(std::string_view(bytes).substr(0, bytes.find('\0')));
    } catch (const std::exception&) {
        return {};
    }
}

WriteResult WriteTextFile(std::u16string_view path, std::u16string_view text,
                          [[maybe_unused]] bool flush, std::uint32_t patienceMs) {
    try {
        if (!IsUsablePath(path)) {
            return WriteResult::Failed;
        }
        const std::wstring target = ToWide(path);
        const std::optional<std::string> bytes = EncodeCp1251(text.substr(0, text.find(u'\0')));
        if (!bytes) {
            return WriteResult::Failed;
        }

        // Windows refuses to replace a read-only file; Wine replaces it all the same.
        // Asking first makes both refuse alike, before any temporary file exists, and tells
        // a lasting refusal from a reader's passing one.
        if (IsUnreplaceable(target)) {
            return WriteResult::Failed;
        }

        constexpr std::uint32_t kPauseMs = 50;
        for (std::uint32_t waited = 0;; waited += kPauseMs) {
            const WriteResult result = WriteAndReplace(target, *bytes);
            if (result != WriteResult::Busy || waited >= patienceMs) {
                return result;
            }
            Api().Sleep(kPauseMs);
        }
    } catch (const std::exception&) {
        return WriteResult::Failed;
    }
}

}  // namespace revertly::files
