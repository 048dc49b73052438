// Figures of another running process: its CPU time, working set, private bytes, handle and
// GUI object counts and loaded modules, each read from where the platform answers it.
//
// Under Wine, GetProcessTimes of another process counts in whole clock ticks (10 ms), too
// coarse for an idle process; the CPU time is then read from Linux's per-thread scheduler
// figures (nanoseconds) of the Wine process behind it, through Wine's Z: drive. Wine answers
// GetProcessHandleCount, GetGuiResources and PrivateUsage with 0: those counts are then "not
// answered", the process's handles are counted in the system's handle table instead, and its
// private bytes are summed from VirtualQueryEx.
#pragma once

#include <windows.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace revertly::bench {

class ProcessMeter {
  public:
    // The process with this id, started from this executable (the path finds the Linux
    // process behind it under Wine).
    ProcessMeter(DWORD processId, std::filesystem::path executable);
    ~ProcessMeter();
    ProcessMeter(const ProcessMeter&) = delete;
    ProcessMeter& operator=(const ProcessMeter&) = delete;

    bool Valid() const { return process_ != nullptr; }

    // User plus kernel time of all its threads so far, and where the figure came from.
    std::optional<double> CpuMilliseconds() const;
    const char* CpuSource() const;
    // How often its threads have been woken to run so far (the timeslices of Linux's
    // schedstat, summed over the Wine process's threads); nothing on Windows itself.
    std::optional<double> Wakeups() const;
    std::size_t WorkingSetBytes() const;
    // Committed memory of its own (MEM_PRIVATE regions), summed over its address space.
    std::size_t PrivateBytes() const;
    std::optional<DWORD> HandleCount() const;
    // The same count from the system's table of all handles (NtQuerySystemInformation).
    std::optional<DWORD> HandlesInSystemTable() const;
    std::optional<DWORD> GuiObjects(DWORD kind) const;
    // The lower-case file names of its loaded modules.
    std::set<std::wstring> Modules() const;

  private:
    // Field `field` (0: nanoseconds run, 2: timeslices) of each thread's schedstat, summed.
    std::optional<double> LinuxSchedstatSum(int field) const;

    DWORD processId_;
    HANDLE process_ = nullptr;
    // The Linux process id behind a Wine process, as the folder name under Z:\proc; empty
    // when there is none (on Windows itself).
    std::wstring linuxProcess_;
};

// "12.3 MiB", "n/a" for nothing.
std::string Mebibytes(std::optional<std::size_t> bytes);
std::string Count(std::optional<DWORD> count);

}  // namespace revertly::bench
