// The shell adapter. Every Win32 and COM call goes through Api().

#include "app/shell_win32.h"

#include <optional>
#include <string>

#include "app/api_win32.h"
#include "common/last_error_win32.h"
#include "common/unique_handle.h"

namespace revertly::app {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// The text as a Windows string; nothing when a U+0000 inside it would cut it short.
std::optional<std::wstring> ToWide(std::u16string_view text) {
    if (text.find(u'\0') != std::u16string_view::npos) {
        return std::nullopt;
    }
    return std::wstring(text.begin(), text.end());
}

void FreeTaskMemory(PWSTR memory) {
    const LastErrorContext keepError;
    Api().CoTaskMemFree(memory);
}
using UniqueTaskText = UniqueHandle<PWSTR, &FreeTaskMemory>;

template <typename Interface>
void ReleaseInterface(Interface* object) {
    const LastErrorContext keepError;
    object->Release();
}
template <typename Interface>
using ComObject = UniqueHandle<Interface*, &ReleaseInterface<Interface>>;

// COM on this thread for the length of one call, in the apartment that the shell expects.
// A thread that already runs COM in the other model answers RPC_E_CHANGED_MODE: COM is
// usable there all the same, and that initialization is not ours to undo.
class ComScope {
  public:
    ComScope() {
        const HRESULT result =
            Api().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        // S_FALSE (already initialized here) needs its CoUninitialize as much as S_OK does.
        initialized_ = SUCCEEDED(result);
        usable_ = initialized_ || result == RPC_E_CHANGED_MODE;
    }
    ~ComScope() {
        if (initialized_) {
            Api().CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    bool Usable() const { return usable_; }

  private:
    bool initialized_ = false;
    bool usable_ = false;
};

std::u16string KnownFolder(REFKNOWNFOLDERID folder) {
    PWSTR buffer = nullptr;
    const HRESULT result = Api().SHGetKnownFolderPath(folder, KF_FLAG_DEFAULT, nullptr, &buffer);
    // The buffer is the caller's to free whether the call succeeded or not.
    const UniqueTaskText path(buffer);
    if (FAILED(result) || !path) {
        return {};
    }
    const std::wstring_view text(path.get());
    return std::u16string(text.begin(), text.end());
}

}  // namespace

void Win32ShellPort::OpenUrl(std::u16string_view url) {
    const std::optional<std::wstring> address = ToWide(url);
    if (!address) {
        return;
    }
    // The "open" verb may be carried out by a shell extension, which needs COM on the calling
    // thread. Without it the call is still worth making: a plain browser needs none.
    const ComScope com;
    Api().ShellExecuteW(nullptr, L"open", address->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::u16string Win32ShellPort::UserStartupFolder() {
    return KnownFolder(FOLDERID_Startup);
}

std::u16string Win32ShellPort::CommonStartupFolder() {
    return KnownFolder(FOLDERID_CommonStartup);
}

bool Win32ShellPort::FileExists(std::u16string_view path) {
    const std::optional<std::wstring> file = ToWide(path);
    if (!file) {
        return false;
    }
    const DWORD attributes = Api().GetFileAttributesW(file->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32ShellPort::RemoveFile(std::u16string_view path) {
    const std::optional<std::wstring> file = ToWide(path);
    if (!file) {
        return false;
    }
    const DWORD attributes = Api().GetFileAttributesW(file->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    // DeleteFileW refuses a read-only file, so its flag goes first; and comes back if the file
    // stays after all (it is open elsewhere, say). No flags at all must be said as "normal".
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        const DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (!Api().SetFileAttributesW(file->c_str(),
                                      writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL)) {
            return false;
        }
    }
    if (Api().DeleteFileW(file->c_str())) {
        return true;
    }
    if (readOnly) {
        Api().SetFileAttributesW(file->c_str(), attributes);
    }
    return false;
}

bool Win32ShellPort::CreateShortcut(std::u16string_view linkPath, std::u16string_view target,
                                    std::u16string_view arguments,
                                    std::u16string_view workingFolder) {
    const std::optional<std::wstring> linkFile = ToWide(linkPath);
    const std::optional<std::wstring> targetPath = ToWide(target);
    const std::optional<std::wstring> argumentText = ToWide(arguments);
    const std::optional<std::wstring> folder = ToWide(workingFolder);
    if (!linkFile || !targetPath || !argumentText || !folder) {
        return false;
    }

    // Declared first, so that every object below is released before COM goes.
    const ComScope com;
    if (!com.Usable()) {
        return false;
    }
    IShellLinkW* createdLink = nullptr;
    if (FAILED(Api().CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&createdLink))) ||
        createdLink == nullptr) {
        return false;
    }
    const ComObject<IShellLinkW> link(createdLink);
    IPersistFile* persist = nullptr;
    if (FAILED(link.get()->SetPath(targetPath->c_str())) ||
        FAILED(link.get()->SetArguments(argumentText->c_str())) ||
        FAILED(link.get()->SetWorkingDirectory(folder->c_str())) ||
        FAILED(link.get()->QueryInterface(IID_PPV_ARGS(&persist))) || persist == nullptr) {
        return false;
    }
    const ComObject<IPersistFile> file(persist);
    return SUCCEEDED(file.get()->Save(linkFile->c_str(), TRUE));
}

}  // namespace revertly::app
