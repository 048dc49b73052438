#include "app/clipboard_owner_win32.h"

#include <string>

#include "app/api_win32.h"
#include "common/unique_win32.h"

namespace revertly::app {

namespace {

// The longest path Windows gives a program.
constexpr DWORD kLongestPath = 32768;

}  // namespace

std::optional<std::u16string> Win32ClipboardOwner::ClipboardOwnerProgram() {
    const HWND owner = Api().GetClipboardOwner();
    if (owner == nullptr) {
        return std::nullopt;
    }
    DWORD processId = 0;
    Api().GetWindowThreadProcessId(owner, &processId);
    if (processId == 0) {
        return std::nullopt;  // the window is gone already
    }
    // The least access that reads a process's image; Windows grants it for more processes
    // than it grants any other query to.
    const UniqueKernelHandle process(
        Api().OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return std::nullopt;
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(path.size());
        if (Api().QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
            return std::u16string(path.begin(), path.begin() + length);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= kLongestPath) {
            return std::nullopt;
        }
        path.resize(kLongestPath);
    }
}

}  // namespace revertly::app
