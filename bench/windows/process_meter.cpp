#include "process_meter.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <vector>

#include "e2e/driver.h"

namespace revertly::bench {

namespace {

constexpr wchar_t kLinuxProcesses[] = L"Z:\\proc\\";

// The system's handle table as NtQuerySystemInformation gives it (information class 64, the
// one with full-width process ids); these types are not in the SDK's headers.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};
struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};
using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

// The names of the entries of a folder, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring Lower(std::wstring text) {
    std::ranges::transform(text, text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

std::string Utf8(const std::wstring& text) {
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr));
    return utf8;
}

// Wine shows a process's Windows executable path as the first word of its Linux command line.
std::wstring FindLinuxProcess(const std::filesystem::path& executable) {
    std::string wanted = Utf8(Lower(executable.wstring()));
    std::ranges::replace(wanted, '/', '\\');
    for (const std::wstring& name : FolderEntries(kLinuxProcesses)) {
        if (!std::iswdigit(name[0])) {
            continue;
        }
        const std::string commandLine =
            driver::ReadFileBytes(kLinuxProcesses + name + L"\\cmdline").value_or("").c_str();
        std::wstring wide(commandLine.size(), L'\0');
        wide.resize(MultiByteToWideChar(CP_UTF8, 0, commandLine.data(),
                                        static_cast<int>(commandLine.size()), wide.data(),
                                        static_cast<int>(wide.size())));
        if (Utf8(Lower(wide)) == wanted) {
            return name;
        }
    }
    return {};
}

double FileTimeMilliseconds(const FILETIME& time) {
    return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime) /
           10000.0;
}

}  // namespace

ProcessMeter::ProcessMeter(DWORD processId, std::filesystem::path executable)
    : processId_(processId),
      process_(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)),
      linuxProcess_(FindLinuxProcess(executable)) {}

ProcessMeter::~ProcessMeter() {
    if (process_ != nullptr) {
        CloseHandle(process_);
    }
}

// Each thread's schedstat holds its time on a CPU in nanoseconds, its time waiting for a
// CPU, and the number of timeslices it ran (each one a wake-up).
std::optional<double> ProcessMeter::LinuxSchedstatSum(int field) const {
    if (linuxProcess_.empty()) {
        return std::nullopt;
    }
    const std::wstring tasks = kLinuxProcesses + linuxProcess_ + L"\\task\\";
    double total = 0;
    bool any = false;
    for (const std::wstring& thread : FolderEntries(tasks)) {
        const std::string figures =
            driver::ReadFileBytes(tasks + thread + L"\\schedstat").value_or("");
        if (!figures.empty()) {
            const char* at = figures.c_str();
            char* end = nullptr;
            double value = std::strtod(at, &end);
            for (int skipped = 0; skipped < field; ++skipped) {
                at = end;
                value = std::strtod(at, &end);
            }
            total += value;
            any = true;
        }
    }
    return any ? std::optional<double>(total) : std::nullopt;
}

std::optional<double> ProcessMeter::Wakeups() const {
    return LinuxSchedstatSum(2);
}

std::optional<double> ProcessMeter::CpuMilliseconds() const {
    if (const std::optional<double> nanoseconds = LinuxSchedstatSum(0)) {
        return *nanoseconds / 1e6;
    }
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process_, &created, &exited, &kernel, &user)) {
        return std::nullopt;
    }
    return FileTimeMilliseconds(kernel) + FileTimeMilliseconds(user);
}

const char* ProcessMeter::CpuSource() const {
    return linuxProcess_.empty() ? "GetProcessTimes" : "Linux schedstat of the Wine process";
}

std::size_t ProcessMeter::WorkingSetBytes() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process_, &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

std::size_t ProcessMeter::PrivateBytes() const {
    std::size_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (auto address = static_cast<const char*>(nullptr);
         VirtualQueryEx(process_, address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += region.RegionSize;
        }
    }
    return total;
}

// A running process with a window always holds some handles and objects: 0 means the
// platform does not answer.
std::optional<DWORD> ProcessMeter::HandleCount() const {
    DWORD count = 0;
    if (!GetProcessHandleCount(process_, &count) || count == 0) {
        return std::nullopt;
    }
    return count;
}

std::optional<DWORD> ProcessMeter::HandlesInSystemTable() const {
    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return std::nullopt;
    }
    // The table's size is not told in advance: grow the buffer until it fits.
    std::vector<ULONG_PTR> buffer(1 << 14);
    LONG status = kInfoLengthMismatch;
    for (int attempt = 0; status == kInfoLengthMismatch && attempt < 8; ++attempt) {
        ULONG needed = 0;
        const auto bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
        status = query(kSystemExtendedHandleInformation, buffer.data(), bytes, &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 4);
        }
    }
    if (status != 0) {
        return std::nullopt;
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    DWORD count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        count += table->entries[i].processId == processId_;
    }
    return count;
}

std::optional<DWORD> ProcessMeter::GuiObjects(DWORD kind) const {
    const DWORD count = GetGuiResources(process_, kind);
    return count != 0 ? std::optional<DWORD>(count) : std::nullopt;
}

std::set<std::wstring> ProcessMeter::Modules() const {
    std::set<std::wstring> names;
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!EnumProcessModules(process_, modules, sizeof modules, &needed)) {
        return names;
    }
    const DWORD count = std::min<DWORD>(needed / sizeof(HMODULE), std::size(modules));
    for (DWORD i = 0; i < count; ++i) {
        wchar_t name[MAX_PATH] = {};
        if (GetModuleBaseNameW(process_, modules[i], name, MAX_PATH)) {
            names.insert(Lower(name));
        }
    }
    return names;
}

std::string Mebibytes(std::optional<std::size_t> bytes) {
    if (!bytes) {
        return "n/a";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MiB", static_cast<double>(*bytes) / 1048576.0);
    return text;
}

std::string Count(std::optional<DWORD> count) {
    return count ? std::to_string(*count) : std::string("n/a");
}

}  // namespace revertly::bench
