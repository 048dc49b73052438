// revertly_bench startup: start-up and idle cost, beside the minimal window program.
#include "revertly_bench.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "e2e/desktop.h"
#include "process_meter.h"

namespace revertly::bench {

namespace {

constexpr wchar_t kMinimalWindowClass[] = L"RevertlyMinimalWindow";

// The figures of one run of both programs, ours first.
struct PairRun {
    double windowAt = 0, fileAt = 0, startUp = 0, minimalStartUp = 0;
    double startCpu = 0, cpu = 0, minimalCpu = 0;
    double wakeups = 0, minimalWakeups = 0;  // over the idle time
    double workingSet = 0, minimalWorkingSet = 0;
    double privateBytes = 0, minimalPrivateBytes = 0;
    std::set<std::wstring> modules, minimalModules;
    const char* cpuSource = "";
};

// Starts both programs from a new folder with an empty clipboard (so that our history starts
// empty), lets them settle for a second, reads their memory, and then their CPU time and
// wake-ups over the idle time given (none for 0 s). With keysHeld, a window of this process
// holds Win+Z, Win+X and Win+C before the programs start, as Explorer does on Windows 10 and
// 11, so that revertly.exe claims them through its keyboard hook and the hook's thread runs.
std::optional<PairRun> RunPair(const fs::path& ours, const fs::path& minimal, int idleSeconds,
                               bool keysHeld) {
    std::optional<revertly::driver::DriverWindow> explorer;
    if (keysHeld) {
        explorer.emplace();
        if (!explorer->HoldWinHotkey(1, 'Z') || !explorer->HoldWinHotkey(2, 'X') ||
            !explorer->HoldWinHotkey(3, 'C')) {
            return std::nullopt;
        }
    }
    const ScratchFolder folder(L"revertly bench start");
    const fs::path ourCopy = folder.Path() / L"revertly.exe";
    const fs::path minimalCopy = folder.Path() / L"minimal_window.exe";
    std::error_code ourError;
    std::error_code minimalError;
    fs::copy_file(ours, ourCopy, ourError);
    fs::copy_file(minimal, minimalCopy, minimalError);
    if (ourError || minimalError || !revertly::driver::ClearClipboard()) {
        return std::nullopt;
    }
    std::optional<PairRun> run;
    {
        const TimedStart program(ourCopy, kMainWindowClass, folder.Path() / L"revertly.txt");
        const TimedStart reference(minimalCopy, kMinimalWindowClass, {});
        if (program.Ready() && reference.Ready()) {
            const ProcessMeter meter(program.ProcessId(), program.Executable());
            const ProcessMeter minimalMeter(reference.ProcessId(), reference.Executable());
            IdleFor(1s);  // what start-up set going (the tray icon's first painting) settles
            run = PairRun{};
            run->windowAt = program.WindowAt();
            run->fileAt = program.FileAt();
            run->startUp = program.AnsweredAt();
            run->minimalStartUp = reference.AnsweredAt();
            run->workingSet = static_cast<double>(meter.WorkingSetBytes());
            run->minimalWorkingSet = static_cast<double>(minimalMeter.WorkingSetBytes());
            run->privateBytes = static_cast<double>(meter.PrivateBytes());
            run->minimalPrivateBytes = static_cast<double>(minimalMeter.PrivateBytes());
            run->cpuSource = meter.CpuSource();
            run->modules = meter.Modules();
            run->minimalModules = minimalMeter.Modules();
            const std::optional<double> before = meter.CpuMilliseconds();
            const std::optional<double> minimalBefore = minimalMeter.CpuMilliseconds();
            const std::optional<double> wokenBefore = meter.Wakeups();
            const std::optional<double> minimalWokenBefore = minimalMeter.Wakeups();
            IdleFor(std::chrono::seconds(idleSeconds));
            const std::optional<double> after = meter.CpuMilliseconds();
            const std::optional<double> minimalAfter = minimalMeter.CpuMilliseconds();
            const std::optional<double> wokenAfter = meter.Wakeups();
            const std::optional<double> minimalWokenAfter = minimalMeter.Wakeups();
            if (before && after && minimalBefore && minimalAfter) {
                run->startCpu = *before;
                run->cpu = *after - *before;
                run->minimalCpu = *minimalAfter - *minimalBefore;
                // Not answered on Windows itself: printed as 0 there.
                run->wakeups = wokenBefore && wokenAfter ? *wokenAfter - *wokenBefore : 0;
                run->minimalWakeups = minimalWokenBefore && minimalWokenAfter
                                          ? *minimalWokenAfter - *minimalWokenBefore
                                          : 0;
            } else {
                run.reset();
            }
        }
    }
    revertly::driver::RemoveStartupLink();
    return run;
}

std::vector<double> Column(const std::vector<PairRun>& runs, double PairRun::*field,
                           double scale = 1) {
    std::vector<double> values;
    for (const PairRun& run : runs) {
        values.push_back(run.*field / scale);
    }
    return values;
}

void PrintMemory(const char* title, const std::vector<PairRun>& runs) {
    constexpr double kMiB = 1048576.0;
    const double ours = Summarize(Column(runs, &PairRun::workingSet, kMiB)).median;
    const double minimal = Summarize(Column(runs, &PairRun::minimalWorkingSet, kMiB)).median;
    const double ourPrivate = Summarize(Column(runs, &PairRun::privateBytes, kMiB)).median;
    const double minimalPrivate =
        Summarize(Column(runs, &PairRun::minimalPrivateBytes, kMiB)).median;
    std::printf("  %s:\n", title);
    std::printf(
        "    working set    revertly.exe %6.2f MiB, minimal %6.2f MiB, difference %+.2f MiB\n",
        ours, minimal, ours - minimal);
    std::printf(
        "    private bytes  revertly.exe %6.2f MiB, minimal %6.2f MiB, difference %+.2f MiB\n",
        ourPrivate, minimalPrivate, ourPrivate - minimalPrivate);
}

// The line of PrintLine for a count rather than a time.
void PrintCount(const char* label, const std::vector<double>& samples) {
    const Summary summary = Summarize(samples);
    std::printf("  %-62s median %7.0f     (min %.0f, max %.0f, n=%zu)\n", label, summary.median,
                summary.min, summary.max, samples.size());
}

std::string Names(const std::set<std::wstring>& names) {
    std::string text;
    for (const std::wstring& name : names) {
        text += (text.empty() ? "" : ", ") + std::string(name.begin(), name.end());
    }
    return text.empty() ? "none" : text;
}

}  // namespace

bool StartupIdleSection(const Options& options) {
    std::printf(
        "=== start-up and idle cost: %d runs, each starting revertly.exe and the minimal program\n"
        "    (one hidden window, the same libraries and manifest) from a new folder with an\n"
        "    empty clipboard; memory read 1 s after start-up, then the CPU time over %d s\n",
        options.startRuns, options.idleSeconds);
    std::vector<PairRun> built;
    std::vector<PairRun> held;
    for (const bool keysHeld : {false, true}) {
        for (int run = 0; run < options.startRuns; ++run) {
            const std::optional<PairRun> figures =
                RunPair(RevertlyExe(), BesideThisProgram(L"minimal_window.exe"),
                        options.idleSeconds, keysHeld);
            if (!figures) {
                Fail("a program did not start, or its figures could not be read");
                return false;
            }
            (keysHeld ? held : built).push_back(*figures);
        }
    }

    std::printf("start-up, from CreateProcess:\n");
    PrintLine("revertly.exe: its window exists", Column(built, &PairRun::windowAt));
    PrintLine("revertly.exe: its settings file exists", Column(built, &PairRun::fileAt));
    PrintLine("revertly.exe: ... and its window answers WM_NULL", Column(built, &PairRun::startUp));
    PrintLine("minimal program: its window answers WM_NULL (reference)",
              Column(built, &PairRun::minimalStartUp));
    std::printf("idle: CPU time over %d s with nothing happening (%s; goal < 10 ms):\n",
                options.idleSeconds, built.back().cpuSource);
    PrintLine("revertly.exe, keys registered (as under Wine)", Column(built, &PairRun::cpu));
    PrintLine(
        "revertly.exe, keys held by another window and claimed through the hook (as on "
        "Windows 10/11)",
        Column(held, &PairRun::cpu));
    PrintLine("revertly.exe, from its start to 1 s after start-up (same reading)",
              Column(built, &PairRun::startCpu));
    PrintLine("minimal program (reference)", Column(built, &PairRun::minimalCpu));
    std::printf(
        "idle: wake-ups over the same %d s (timeslices its threads ran, Linux schedstat;\n"
        "    0 where the platform does not answer):\n",
        options.idleSeconds);
    PrintCount("revertly.exe, keys registered", Column(built, &PairRun::wakeups));
    PrintCount("revertly.exe, keys claimed through the hook", Column(held, &PairRun::wakeups));
    PrintCount("minimal program (reference)", Column(built, &PairRun::minimalWakeups));
    std::printf(
        "memory with an empty history, medians (working set: GetProcessMemoryInfo;\n"
        "private bytes: committed MEM_PRIVATE regions, VirtualQueryEx):\n");
    PrintMemory("both programs as built (goal: working set difference <= +2 MiB)", built);
    std::set<std::wstring> onlyOurs;
    std::set<std::wstring> onlyMinimal;
    std::ranges::set_difference(built.back().modules, built.back().minimalModules,
                                std::inserter(onlyOurs, onlyOurs.end()));
    std::ranges::set_difference(built.back().minimalModules, built.back().modules,
                                std::inserter(onlyMinimal, onlyMinimal.end()));
    std::printf(
        "modules loaded: revertly.exe %zu, minimal program %zu; only in revertly.exe: %s;"
        " only in the minimal program: %s\n",
        built.back().modules.size(), built.back().minimalModules.size(), Names(onlyOurs).c_str(),
        Names(onlyMinimal).c_str());
    return true;
}

}  // namespace revertly::bench
