// The running revertly.exe measured from outside, as the programs around it see it: hotkey to
// clipboard, start-up, idle cost beside a minimal window program, capture and restore of a
// large clipboard beside the platform's own delivery, and a soak of copy, undo and redo.
// Prints figures; never fails for being slow. It fails (exit code 1) only when the program
// does not do what a step needs, since the figures would then mean nothing.
//
//     revertly_bench [--quick] [--soak-cycles N] [--idle-seconds N] [section...]
//
// Sections: hotkey, startup (start-up and idle), large, soak; all by default. --quick runs
// fewer repetitions, a shorter idle time and 50 soak cycles, for trying the benchmark out.
// Every copy of the program runs in a scratch folder of its own; the benchmark needs the
// global hotkeys and the single-instance block, so no other copy may run meanwhile.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "e2e/driver.h"
#include "process_meter.h"
#include "qpc_timer.h"

namespace {

namespace fs = std::filesystem;
using namespace revertly::bench;
using revertly::driver::Revertly;
using revertly::driver::ScratchFolder;
using namespace std::chrono_literals;

constexpr wchar_t kMainWindowClass[] = L"RevertlyMainWindow";
constexpr wchar_t kMinimalWindowClass[] = L"RevertlyMinimalWindow";
constexpr Milliseconds kPatience = 10s;
// From a change until the program has surely taken up its 100 ms save timer's tick.
constexpr double kDebounceMarginMs = 150;
// Longer than a message round trip takes: an answer this late means the program was busy.
constexpr double kBusyMs = 5;
constexpr int kLargeMebibytes = 64;
constexpr int kHotkeyMebibytes = 16;

// Keeps the compiler from dropping reads whose result is otherwise unused.
volatile int sink;

struct Options {
    int hotkeyRounds = 50;
    int startRuns = 5;
    int idleSeconds = 30;
    int largeRuns = 5;
    int soakCycles = 2000;
    std::set<std::string> sections;

    bool Runs(const char* section) const { return sections.empty() || sections.contains(section); }
};

fs::path RevertlyExe() {
    return BesideThisProgram(REVERTLY_EXE_RELATIVE).lexically_normal();
}

void Fail(const char* what) {
    std::printf("  FAILED: %s\n", what);
}

// ---------------------------------------------------------------------------------------
// The program under measurement and the clipboard around it.

// A copy of revertly.exe in a scratch folder, started with an empty clipboard (so that its
// history starts empty) and stopped again, leaving no Startup shortcut behind.
class Program {
  public:
    explicit Program(const wchar_t* name) : folder_(name), program_(folder_.Path()) {}
    ~Program() { Stop(); }

    bool Start() {
        return revertly::driver::ClearClipboard() && program_.Install(RevertlyExe()) &&
               program_.Start() && program_.WaitForStartUp();
    }
    // WM_CLOSE, as another program asks a window to close: the program shuts down.
    void Stop() {
        if (program_.Running()) {
            program_.Post(WM_CLOSE, 0, 0);
            program_.WaitForExit();
        }
        revertly::driver::RemoveStartupLink();
    }
    Revertly& Get() { return program_; }

  private:
    ScratchFolder folder_;
    Revertly program_;
};

// Waits until the program has recorded the change made at that moment: its save timer has
// surely ticked, and a message round trip waits for whatever capture is still going on.
bool WaitRecorded(Revertly& program, double changedAt) {
    IdleUntil(changedAt + kDebounceMarginMs);
    return program.Send(WM_NULL, 0, 0).has_value();
}

// Another process copies; answers the moment the change reached the watcher.
std::optional<double> Copy(ChangeWatcher& watcher, int mebibytes, const std::wstring& text) {
    const int before = watcher.Count();
    if (!CopyFromAnotherProcess(mebibytes, text)) {
        return std::nullopt;
    }
    return watcher.WaitForChangeAfter(before, kPatience);
}

// This process copies a text; answers the moment the change reached the watcher.
std::optional<double> CopyHere(ChangeWatcher& watcher, const std::wstring& text) {
    const int before = watcher.Count();
    if (!revertly::driver::SetClipboardText(text)) {
        return std::nullopt;
    }
    return watcher.WaitForChangeAfter(before, kPatience);
}

bool CopyAndWaitRecorded(Revertly& program, ChangeWatcher& watcher, int mebibytes,
                         const std::wstring& text) {
    const std::optional<double> changed = Copy(watcher, mebibytes, text);
    return changed && WaitRecorded(program, *changed);
}

// Win+key, then the time until the clipboard holds the expected state: from just before
// SendInput to the change notification, confirmed by the sequence number and the text.
std::optional<double> HotkeyToClipboard(ChangeWatcher& watcher, WORD key,
                                        const std::wstring& expected) {
    IdleFor(10ms);  // the previous step's messages settle
    const int before = watcher.Count();
    const DWORD sequence = GetClipboardSequenceNumber();
    const double pressed = Now();
    if (!revertly::driver::PressWinKey(key)) {
        return std::nullopt;
    }
    const std::optional<double> arrived = watcher.WaitForChangeAfter(before, kPatience);
    if (!arrived || GetClipboardSequenceNumber() == sequence ||
        revertly::driver::ClipboardText() != expected) {
        return std::nullopt;
    }
    return *arrived - pressed;
}

// ---------------------------------------------------------------------------------------
// The platform's own work on the same data, as references.

HGLOBAL NewBlock(std::size_t size, const void* bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block != nullptr) {
        if (bytes != nullptr) {
            std::memcpy(GlobalLock(block), bytes, size);
        } else {
            std::memset(GlobalLock(block), 1, size);
        }
        GlobalUnlock(block);
    }
    return block;
}

// Opens the clipboard, retrying while another program (Wine's bridge to the X11 selection)
// holds it for a moment; the stopwatch starts with the attempt that succeeds.
bool OpenBriefly(HWND owner, std::optional<Stopwatch>& watch) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        watch.emplace();
        if (OpenClipboard(owner)) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

// The clipboard's own acceptance of ready-made blocks, text and `mebibytes` of the
// benchmark's format: open, empty, hand over, close.
double PlatformWrite(HWND owner, int mebibytes, const std::wstring& text) {
    HGLOBAL textBlock = NewBlock((text.size() + 1) * sizeof(wchar_t), text.c_str());
    HGLOBAL dataBlock =
        mebibytes > 0 ? NewBlock(static_cast<std::size_t>(mebibytes) << 20, nullptr) : nullptr;
    std::optional<Stopwatch> watch;
    if (!OpenBriefly(owner, watch)) {
        GlobalFree(textBlock);
        GlobalFree(dataBlock);
        return -1;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, textBlock)) {
        GlobalFree(textBlock);
    }
    if (dataBlock != nullptr && !SetClipboardData(SourceDataFormat(), dataBlock)) {
        GlobalFree(dataBlock);
    }
    CloseClipboard();
    return watch->Milliseconds();
}

// The clipboard's own delivery of the benchmark's format: its data handle and its bytes,
// locked (the first and last byte touched), without copying them. Also the size seen.
double PlatformRead(std::size_t& size) {
    size = 0;
    std::optional<Stopwatch> watch;
    if (!OpenBriefly(nullptr, watch)) {
        return -1;
    }
    if (HANDLE data = GetClipboardData(SourceDataFormat())) {
        if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
            size = GlobalSize(data);
            sink = bytes[0] + bytes[size - 1];
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return watch->Milliseconds();
}

double FreshMemcpy(std::size_t size) {
    const std::vector<char> source(size, 1);
    const Stopwatch watch;
    const std::unique_ptr<char[]> target(new char[size]);
    std::memcpy(target.get(), source.data(), size);
    const double elapsed = watch.Milliseconds();
    sink = target[size - 1];
    return elapsed;
}

void PrintLine(const char* label, const std::vector<double>& samples) {
    std::printf("  %-62s %s\n", label, Describe(Summarize(samples), samples.size()).c_str());
}

// ---------------------------------------------------------------------------------------
// Hotkey to clipboard.

bool HotkeyCase(const Options& options, int mebibytes, const char* title) {
    const std::wstring first = mebibytes > 0 ? L"big state A" : L"state A";
    const std::wstring second = mebibytes > 0 ? L"big state B" : L"state B";
    std::vector<double> reference;
    {
        ChangeWatcher watcher;
        for (int run = 0; run < std::max(5, options.hotkeyRounds / 5); ++run) {
            reference.push_back(PlatformWrite(watcher.Handle(), mebibytes, first));
        }
    }

    Program program(L"revertly bench hotkey");
    if (!program.Start()) {
        Fail("the program did not start");
        return false;
    }
    ChangeWatcher watcher;
    if (!CopyAndWaitRecorded(program.Get(), watcher, mebibytes, first) ||
        !CopyAndWaitRecorded(program.Get(), watcher, mebibytes, second)) {
        Fail("the copies were not recorded");
        return false;
    }
    std::vector<double> undo;
    std::vector<double> redo;
    for (int round = 0; round < options.hotkeyRounds; ++round) {
        const std::optional<double> back = HotkeyToClipboard(watcher, 'Z', first);
        const std::optional<double> forward = HotkeyToClipboard(watcher, 'X', second);
        if (!back || !forward) {
            Fail("Win+Z or Win+X did not put the expected state on the clipboard");
            return false;
        }
        undo.push_back(*back);
        redo.push_back(*forward);
    }
    std::printf("%s:\n", title);
    PrintLine("Win+Z -> clipboard holds the previous state", undo);
    PrintLine("Win+X -> clipboard holds the next state", redo);
    PrintLine("platform: open, empty, set ready blocks, close (reference)", reference);
    return true;
}

bool HotkeySection(const Options& options) {
    std::printf(
        "=== hotkey to clipboard: from SendInput of Win+key to the change notification\n"
        "    (sent when the writer closes the clipboard), confirmed by the sequence number\n"
        "    and the text; undo and redo alternate, so there is always a state to go to\n");
    const std::string bigTitle =
        std::to_string(kHotkeyMebibytes) + " MiB state (a registered format of that size + text)";
    return HotkeyCase(options, 0, "text state") &&
           HotkeyCase(options, kHotkeyMebibytes, bigTitle.c_str());
}

// ---------------------------------------------------------------------------------------
// Start-up and idle cost, beside the minimal window program.

// A process started by the benchmark, timed from CreateProcess until a window of its class
// exists, the file it must write (if any) exists, and the window answers a message. Closed
// through its window when the object goes.
class TimedStart {
  public:
    TimedStart(const fs::path& executable, const wchar_t* windowClass, const fs::path& writtenFile)
        : executable_(executable) {
        std::wstring commandLine = L"\"" + executable.wstring() + L"\"";
        const fs::path elsewhere = fs::temp_directory_path();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        const double begun = Now();
        if (!CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, elsewhere.c_str(), &startup, &process)) {
            return;
        }
        CloseHandle(process.hThread);
        process_ = process.hProcess;
        processId_ = process.dwProcessId;
        std::error_code ignored;
        const bool ready = PollUntil(
            [&] {
                if (window_ == nullptr) {
                    window_ = revertly::driver::FindProcessWindow(processId_, windowClass, nullptr,
                                                                  false);
                    windowAt_ = window_ != nullptr ? Now() - begun : -1;
                }
                if (fileAt_ < 0 && (writtenFile.empty() || fs::exists(writtenFile, ignored))) {
                    fileAt_ = Now() - begun;
                }
                return window_ != nullptr && fileAt_ >= 0;
            },
            kPatience);
        DWORD_PTR result = 0;
        if (ready && SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result)) {
            answeredAt_ = Now() - begun;
        }
    }
    ~TimedStart() {
        if (process_ == nullptr) {
            return;
        }
        if (window_ != nullptr) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
        }
        if (!PollUntil([this] { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; },
                       kPatience)) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, INFINITE);
        }
        CloseHandle(process_);
    }
    TimedStart(const TimedStart&) = delete;
    TimedStart& operator=(const TimedStart&) = delete;

    bool Ready() const { return answeredAt_ >= 0; }
    double WindowAt() const { return windowAt_; }
    double FileAt() const { return fileAt_; }
    double AnsweredAt() const { return answeredAt_; }
    ProcessMeter Meter() const { return ProcessMeter(processId_, executable_); }

  private:
    fs::path executable_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
    double windowAt_ = -1;
    double fileAt_ = -1;
    double answeredAt_ = -1;
};

// The figures of one run of both programs, ours first.
struct PairRun {
    double windowAt = 0, fileAt = 0, startUp = 0, minimalStartUp = 0;
    double startCpu = 0, cpu = 0, minimalCpu = 0;
    double workingSet = 0, minimalWorkingSet = 0;
    double privateBytes = 0, minimalPrivateBytes = 0;
    std::set<std::wstring> modules, minimalModules;
    const char* cpuSource = "";
};

// Starts both programs from a new folder with an empty clipboard (so that our history starts
// empty), lets them settle for a second, reads their memory, and then their CPU time over
// the idle time given (none for 0 s).
std::optional<PairRun> RunPair(const fs::path& ours, const fs::path& minimal, int idleSeconds) {
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
            const ProcessMeter meter = program.Meter();
            const ProcessMeter minimalMeter = reference.Meter();
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
            IdleFor(std::chrono::seconds(idleSeconds));
            const std::optional<double> after = meter.CpuMilliseconds();
            const std::optional<double> minimalAfter = minimalMeter.CpuMilliseconds();
            if (before && after && minimalBefore && minimalAfter) {
                run->startCpu = *before;
                run->cpu = *after - *before;
                run->minimalCpu = *minimalAfter - *minimalBefore;
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

std::string Names(const std::set<std::wstring>& names) {
    std::string text;
    for (const std::wstring& name : names) {
        text += (text.empty() ? "" : ", ") + std::string(name.begin(), name.end());
    }
    return text.empty() ? "none" : text;
}

bool StartupIdleSection(const Options& options) {
    std::printf(
        "=== start-up and idle cost: %d runs, each starting revertly.exe and the minimal program\n"
        "    (one hidden window, the same libraries and manifest) from a new folder with an\n"
        "    empty clipboard; memory read 1 s after start-up, then the CPU time over %d s\n",
        options.startRuns, options.idleSeconds);
    std::vector<PairRun> built;
    for (int run = 0; run < options.startRuns; ++run) {
        const std::optional<PairRun> figures =
            RunPair(RevertlyExe(), BesideThisProgram(L"minimal_window.exe"), options.idleSeconds);
        if (!figures) {
            Fail("a program did not start, or its figures could not be read");
            return false;
        }
        built.push_back(*figures);
    }

    std::printf("start-up, from CreateProcess:\n");
    PrintLine("revertly.exe: its window exists", Column(built, &PairRun::windowAt));
    PrintLine("revertly.exe: its settings file exists", Column(built, &PairRun::fileAt));
    PrintLine("revertly.exe: ... and its window answers WM_NULL", Column(built, &PairRun::startUp));
    PrintLine("minimal program: its window answers WM_NULL (reference)",
              Column(built, &PairRun::minimalStartUp));
    std::printf("idle: CPU time over %d s with nothing happening (%s; goal < 10 ms):\n",
                options.idleSeconds, built.back().cpuSource);
    PrintLine("revertly.exe", Column(built, &PairRun::cpu));
    PrintLine("revertly.exe, from its start to 1 s after start-up (same reading)",
              Column(built, &PairRun::startCpu));
    PrintLine("minimal program (reference)", Column(built, &PairRun::minimalCpu));
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

// ---------------------------------------------------------------------------------------
// Capture and restore of a large clipboard.

// After a change at that moment, asks the program one message after another from just
// before its save timer ticks: the answer that comes late is the one that waited while the
// program captured. Answers when the capture ended and how long the program was busy.
std::optional<std::pair<double, double>> CaptureEnd(Revertly& program, double changedAt) {
    IdleUntil(changedAt + 90);
    while (Now() < changedAt + 3000) {
        const double asked = Now();
        if (!program.Send(WM_NULL, 0, 0)) {
            return std::nullopt;
        }
        const double answered = Now();
        if (answered - asked > kBusyMs && answered > changedAt + 100) {
            return std::pair{answered, answered - asked};
        }
    }
    return std::nullopt;
}

bool LargeSection(const Options& options) {
    const std::size_t bytes = static_cast<std::size_t>(kLargeMebibytes) << 20;
    std::printf(
        "=== capture and restore of %d MiB + text through the running program (n=%d)\n"
        "    change: another process's copy reaching this process's viewer window; recorded:\n"
        "    the answer to the message that waited while the save timer's handler captured;\n"
        "    Win+Z: SendInput to the change notification; the platform's figures: this\n"
        "    process on the same data, the program not running, each read after a fresh change\n",
        kLargeMebibytes, options.largeRuns);
    std::vector<double> platformRead;
    std::vector<double> platformWrite;
    std::vector<double> memcpyTimes;
    {
        // The references first, while the program does not run: it would capture each
        // change after 100 ms and share the Wine server with the read.
        ChangeWatcher watcher;
        for (int run = 0; run < options.largeRuns; ++run) {
            if (!CopyFromAnotherProcess(kLargeMebibytes, L"reference " + std::to_wstring(run))) {
                Fail("clipboard_source.exe failed");
                return false;
            }
            std::size_t size = 0;
            platformRead.push_back(PlatformRead(size));
            if (size != bytes) {
                Fail("the platform did not deliver the data");
                return false;
            }
            platformWrite.push_back(PlatformWrite(watcher.Handle(), kLargeMebibytes, L"ref"));
            memcpyTimes.push_back(FreshMemcpy(bytes));
        }
    }

    Program program(L"revertly bench large");
    if (!program.Start()) {
        Fail("the program did not start");
        return false;
    }
    ChangeWatcher watcher;
    std::vector<double> recorded, beyond, busy, restore;
    for (int run = 0; run < options.largeRuns; ++run) {
        const std::wstring huge = L"huge " + std::to_wstring(run);
        const std::wstring after = L"after " + std::to_wstring(run);
        IdleFor(50ms);
        // The source is still ending while the program captures: it is waited for after.
        const int before = watcher.Count();
        HANDLE source = StartCopyFromAnotherProcess(kLargeMebibytes, huge);
        const std::optional<double> changed =
            source != nullptr ? watcher.WaitForChangeAfter(before, kPatience) : std::nullopt;
        const auto end = changed ? CaptureEnd(program.Get(), *changed) : std::nullopt;
        if (!FinishCopy(source) || !end) {
            Fail("no capture seen after the change");
            return false;
        }
        recorded.push_back(end->first - *changed);
        beyond.push_back(end->first - *changed - 100);
        busy.push_back(end->second);
        if (!CopyAndWaitRecorded(program.Get(), watcher, 0, after)) {
            Fail("the text copy was not recorded");
            return false;
        }
        const std::optional<double> back = HotkeyToClipboard(watcher, 'Z', huge);
        std::size_t size = 0;
        PlatformRead(size);
        if (!back || size != bytes || !HotkeyToClipboard(watcher, 'X', after)) {
            Fail("Win+Z did not bring the large state back whole, or Win+X the text");
            return false;
        }
        restore.push_back(*back);
    }
    PrintLine("change -> recorded (includes the 100 ms debounce)", recorded);
    PrintLine("  of that, beyond the 100 ms", beyond);
    PrintLine("  of that, the program busy capturing (no message answered)", busy);
    PrintLine("platform: GetClipboardData + GlobalLock (reference)", platformRead);
    PrintLine("Win+Z -> clipboard holds the large state again", restore);
    PrintLine("platform: open, empty, set ready blocks, close (reference)", platformWrite);
    PrintLine("memcpy of the same bytes into fresh memory (reference)", memcpyTimes);
    return true;
}

// ---------------------------------------------------------------------------------------
// Soak.

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

bool ParseOptions(int argc, char** argv, Options& options) {
    bool quick = false;
    bool soakGiven = false;
    bool idleGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--quick") {
            quick = true;
        } else if (argument == "--soak-cycles" && i + 1 < argc) {
            options.soakCycles = std::max(1, std::atoi(argv[++i]));
            soakGiven = true;
        } else if (argument == "--idle-seconds" && i + 1 < argc) {
            options.idleSeconds = std::max(1, std::atoi(argv[++i]));
            idleGiven = true;
        } else if (argument == "hotkey" || argument == "startup" || argument == "large" ||
                   argument == "soak") {
            options.sections.insert(argument);
        } else {
            return false;
        }
    }
    if (quick) {
        options.hotkeyRounds = 10;
        options.largeRuns = 3;
        options.idleSeconds = idleGiven ? options.idleSeconds : 5;
        options.soakCycles = soakGiven ? options.soakCycles : 50;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::printf(
            "usage: revertly_bench [--quick] [--soak-cycles N] [--idle-seconds N] "
            "[hotkey|startup|large|soak]...\n");
        return 2;
    }
    if (revertly::driver::ReadInstanceBlock()) {
        std::printf("another copy of Revertly runs: end it first\n");
        return 1;
    }
    Now();
    bool ok = true;
    const std::pair<const char*, bool (*)(const Options&)> sections[] = {
        {"hotkey", &HotkeySection},
        {"startup", &StartupIdleSection},
        {"large", &LargeSection},
        {"soak", &SoakSection},
    };
    for (const auto& [name, section] : sections) {
        if (options.Runs(name)) {
            ok = section(options) && ok;
            std::fflush(stdout);
        }
    }
    return ok ? 0 : 1;
}
