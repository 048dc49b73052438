// revertly_bench soak: copy, undo and redo over and over, with the process's handles and memory.
#include "revertly_bench.h"

#include <algorithm>
#include <cstdio>

#include "process_meter.h"

namespace revertly::bench {

namespace {

struct SoakSample {
    int cycle;
    std::size_t privateBytes;
    std::size_t workingSet;
    std::optional<DWORD> handles, tableHandles, gdiObjects, userObjects;
};

// The reference for the soak's memory: the growth of this process's private bytes per read
// of the clipboard as the program's capture reads it (every format), each after another
// window copied a text, measured the same way over as many reads. The program is not running.
double PlatformReadGrowth(int reads) {
    HWND owner =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HWND reader =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const ProcessMeter self(GetCurrentProcessId(), BesideThisProgram(L"revertly_bench.exe"));
    auto copyAndRead = [&](int i) {
        PlatformWrite(owner, 0, L"reference " + std::to_wstring(i));
        if (OpenClipboard(reader)) {
            for (UINT format = EnumClipboardFormats(0); format != 0;
                 format = EnumClipboardFormats(format)) {
                GetClipboardData(format);
            }
            CloseClipboard();
        }
    };
    constexpr int kWarmUp = 100;
    for (int i = 0; i < kWarmUp; ++i) {
        copyAndRead(i);
    }
    const std::size_t before = self.PrivateBytes();
    for (int i = 0; i < reads; ++i) {
        copyAndRead(kWarmUp + i);
    }
    const std::size_t after = self.PrivateBytes();
    DestroyWindow(reader);
    DestroyWindow(owner);
    return (static_cast<double>(after) - static_cast<double>(before)) / reads;
}

}  // namespace

bool SoakSection(const Options& options) {
    const int cycles = options.soakCycles;
    std::printf(
        "=== soak: %d cycles of copy (by this process), debounce, Win+Z, Win+X, each\n"
        "    checked on the clipboard\n",
        cycles);
    const double platformGrowth = PlatformReadGrowth(cycles);
    Program program(L"revertly bench soak");
    if (!program.Start()) {
        Fail("the program did not start");
        return false;
    }
    ChangeWatcher watcher;
    const ProcessMeter meter(program.Get().ProcessId(), program.Get().Executable());
    auto copy = [&](const std::wstring& text) {
        const std::optional<double> changed = CopyHere(watcher, text);
        return changed && WaitRecorded(program.Get(), *changed);
    };
    if (!copy(L"soak 0")) {
        Fail("the first copy was not recorded");
        return false;
    }
    const std::set<int> sampled = {1, std::max(1, cycles / 2), cycles};
    std::vector<SoakSample> samples;
    std::vector<double> undo;
    const double begun = Now();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const std::wstring previous = L"soak " + std::to_wstring(cycle - 1);
        const std::wstring current = L"soak " + std::to_wstring(cycle);
        const std::optional<double> back =
            copy(current) ? HotkeyToClipboard(watcher, 'Z', previous) : std::nullopt;
        if (!back || !HotkeyToClipboard(watcher, 'X', current)) {
            std::printf("  FAILED at cycle %d\n", cycle);
            return false;
        }
        undo.push_back(*back);
        if (sampled.contains(cycle)) {
            samples.push_back({cycle, meter.PrivateBytes(), meter.WorkingSetBytes(),
                               meter.HandleCount(), meter.HandlesInSystemTable(),
                               meter.GuiObjects(GR_GDIOBJECTS), meter.GuiObjects(GR_USEROBJECTS)});
        }
    }
    std::printf("  %d cycles in %.0f s; Win+Z over the soak: %s\n", cycles, (Now() - begun) / 1000,
                Describe(Summarize(undo), undo.size()).c_str());
    std::printf("  %-7s %-14s %-14s %-9s %-9s %-6s %-6s\n", "cycle", "private bytes", "working set",
                "handles", "in table", "GDI", "USER");
    for (const SoakSample& sample : samples) {
        std::printf("  %-7d %-14s %-14s %-9s %-9s %-6s %-6s\n", sample.cycle,
                    Mebibytes(sample.privateBytes).c_str(), Mebibytes(sample.workingSet).c_str(),
                    Count(sample.handles).c_str(), Count(sample.tableHandles).c_str(),
                    Count(sample.gdiObjects).c_str(), Count(sample.userObjects).c_str());
    }
    std::printf(
        "  (handles: GetProcessHandleCount; in table: the process's entries in the system's\n"
        "  handle table; GDI, USER: GetGuiResources; n/a: not answered, as under Wine)\n");
    const SoakSample& first = samples.front();
    const SoakSample& last = samples.back();
    if (last.cycle > first.cycle) {
        std::printf(
            "  private bytes from cycle %d to %d: %+.0f bytes per cycle\n", first.cycle, last.cycle,
            (static_cast<double>(last.privateBytes) - static_cast<double>(first.privateBytes)) /
                (last.cycle - first.cycle));
    }
    std::printf(
        "  reference, this process: a text copied by one window and every format read by\n"
        "  another, %d times, as the program's capture reads: %+.0f private bytes per read\n",
        cycles, platformGrowth);
    return true;
}

}  // namespace revertly::bench
