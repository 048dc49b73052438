#include "e2e/scratch_folder.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace revertly::driver {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(std::wstring_view name) {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            (std::wstring(name) + L" " + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(++counter));
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    fs::create_directories(path_, ignored);
    // The long form of every part, as the shell reports paths: the temporary folder may be
    // given in short 8.3 names.
    wchar_t longPath[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(path_.c_str(), longPath, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        path_ = longPath;
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace revertly::driver
