#include "e2e/footprint.h"

#include <psapi.h>

// The shell headers need the types of windows.h first.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/unique_win32.h"

namespace revertly::driver {

namespace fs = std::filesystem;

namespace {

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ComReleaser>;

}  // namespace

fs::path KnownFolder(const GUID& id) {
    PWSTR path = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) {
        folder = path;
    }
    CoTaskMemFree(path);
    return folder;
}

fs::path StartupFolder() {
    return KnownFolder(FOLDERID_Startup);
}

fs::path StartupLinkPath() {
    return StartupFolder() / (std::wstring(kApplicationTitle) + L".lnk");
}

bool RemoveStartupLink() {
    const fs::path link = StartupLinkPath();
    SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(link.c_str());
    return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The target is read from the link's item list: Wine keeps the path text of a link in the
// ANSI code page only, where a Cyrillic folder name turns into "?".
std::optional<Shortcut> ReadShortcut(const fs::path& link) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::optional<Shortcut> read;
    {
        IShellLinkW* rawLink = nullptr;
        IPersistFile* rawFile = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_PPV_ARGS(&rawLink)))) {
            rawLink->QueryInterface(IID_PPV_ARGS(&rawFile));
        }
        const ComPtr<IShellLinkW> shellLink(rawLink);
        const ComPtr<IPersistFile> file(rawFile);
        PIDLIST_ABSOLUTE items = nullptr;
        wchar_t target[MAX_PATH] = {};
        wchar_t arguments[INFOTIPSIZE] = {};
        wchar_t workingFolder[MAX_PATH] = {};
        if (file && SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetIDList(&items)) && SHGetPathFromIDListW(items, target) &&
            SUCCEEDED(shellLink->GetArguments(arguments, INFOTIPSIZE)) &&
            SUCCEEDED(shellLink->GetWorkingDirectory(workingFolder, MAX_PATH))) {
            read = Shortcut{target, arguments, workingFolder};
            std::ranges::replace(read->target, L'/', L'\\');
        }
        CoTaskMemFree(items);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return read;
}

std::optional<std::uint32_t> ReadInstanceBlock() {
    const UniqueKernelHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, kApplicationTitle));
    if (!mapping) {
        return std::nullopt;
    }
    const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(std::uint32_t));
    if (view == nullptr) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, view, sizeof value);
    UnmapViewOfFile(view);
    return value;
}

std::optional<std::size_t> WorkingSetBytes(DWORD processId) {
    const UniqueKernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    PROCESS_MEMORY_COUNTERS counters{};
    if (!process || !K32GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) {
        return std::nullopt;
    }
    return counters.WorkingSetSize;
}

// Shared for deletion too: the program replaces its settings file by renaming a new one over
// it, which a reader without FILE_SHARE_DELETE would make fail.
std::optional<std::string> ReadFileBytes(const fs::path& file) {
    HANDLE opened = CreateFileW(file.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const UniqueKernelHandle handle(opened != INVALID_HANDLE_VALUE ? opened : nullptr);
    if (!handle) {
        return std::nullopt;
    }
    // Read until the end rather than the size the file reports: the files under /proc (seen
    // through Wine's drive Z:) report a size of 0.
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (true) {
        if (!ReadFile(handle.get(), buffer, sizeof buffer, &read, nullptr)) {
            return std::nullopt;
        }
        if (read == 0) {
            return bytes;
        }
        bytes.append(buffer, read);
    }
}

std::optional<FILETIME> LastWriteTime(const fs::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    return data.ftLastWriteTime;
}

}  // namespace revertly::driver
