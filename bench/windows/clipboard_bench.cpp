// Capture and restore of a large clipboard through the real Win32 clipboard, beside what the
// platform itself spends delivering the same data, and the memory a cleared history gives
// back. Prints figures; never fails for being slow.
//
// Under Wine the clipboard moves data through the Wine server, which costs far more than a
// copy; the figure that is ours is (our total - the platform's delivery) / one memcpy of the
// same bytes, measured in the same run. Every read follows a fresh change made by another
// process (clipboard_source.exe), so no per-process cache flatters either side.
//
//     clipboard_bench [--smoke]
//
// --smoke runs each step once with little data, to show that the benchmark runs through; its
// figures then mean little.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "history/clipboard_win32.h"
#include "history/state_history.h"
#include "qpc_timer.h"
#include "support/child_process.h"

namespace {

using revertly::WindowHandle;
using revertly::bench::Median;
using revertly::bench::Stopwatch;
using revertly::history::ClipboardState;
using revertly::history::ReadOutcome;
using revertly::history::StateHistory;
using revertly::history::Win32Clipboard;

// How much is measured; --smoke lowers everything.
struct Sizes {
    int repetitions = 9;
    int mebibytes = 64;
    int states = 50;
};

// Keeps the compiler from dropping reads whose result is otherwise unused.
volatile std::size_t sink;

std::wstring SourceProgram() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"clipboard_source.exe";
}

// Another process copies a text and `mebibytes` MiB of one registered format.
void ChangeFromAnotherProcess(int mebibytes, const std::wstring& text) {
    revertly::testing::ChildProcess source;
    if (!source.Start(SourceProgram(), std::to_wstring(mebibytes) + L" " + text) ||
        !source.WaitForExit(std::chrono::minutes(1))) {
        std::printf("clipboard_source.exe did not run\n");
        std::exit(1);
    }
}

// The platform's own delivery of everything on the clipboard: each format's data handle
// and its bytes, locked, without copying them.
double PlatformRead() {
    const Stopwatch watch;
    OpenClipboard(nullptr);
    std::size_t touched = 0;
    for (UINT format = EnumClipboardFormats(0); format != 0;
         format = EnumClipboardFormats(format)) {
        if (HANDLE data = GetClipboardData(format)) {
            if (const void* bytes = GlobalLock(data)) {
                touched += GlobalSize(data) + (static_cast<const char*>(bytes)[0] != 0);
                GlobalUnlock(data);
            }
        }
    }
    CloseClipboard();
    sink = touched;
    return watch.Milliseconds();
}

// The platform's own acceptance of ready-made blocks holding the state's bytes (read through
// the state's own data, however it is kept): open, empty, hand over, close.
double PlatformWrite(HWND owner, const ClipboardState& state) {
    std::vector<std::pair<UINT, HGLOBAL>> ready;
    for (const auto& entry : state.entries) {
        if (!entry.data) {
            continue;
        }
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, entry.data.size());
        auto* bytes = static_cast<std::byte*>(copy ? GlobalLock(copy) : nullptr);
        if (!bytes || !entry.data.CopyTo({bytes, entry.data.size()})) {
            std::printf("a state's data could not be read\n");
            std::exit(1);
        }
        GlobalUnlock(copy);
        const UINT id = entry.formatName.empty()
                            ? static_cast<UINT>(entry.formatId)
                            : RegisterClipboardFormatW(
                                  reinterpret_cast<const wchar_t*>(entry.formatName.c_str()));
        ready.emplace_back(id, copy);
    }
    const Stopwatch watch;
    OpenClipboard(owner);
    EmptyClipboard();
    for (const auto& [id, block] : ready) {
        if (!SetClipboardData(id, block)) {
            GlobalFree(block);
        }
    }
    CloseClipboard();
    return watch.Milliseconds();
}

double FreshMemcpy(std::size_t size) {
    const std::vector<char> source(size, 1);
    const Stopwatch watch;
    std::unique_ptr<char[]> target(new char[size]);
    std::memcpy(target.get(), source.data(), size);
    const double elapsed = watch.Milliseconds();
    sink = static_cast<std::size_t>(target[size - 1]);
    return elapsed;
}

// Committed private memory of this process, summed over its address space. Wine answers
// GetProcessMemoryInfo's PrivateUsage with 0, so the regions are counted directly.
SIZE_T PrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (auto address = static_cast<const char*>(nullptr);
         VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += region.RegionSize;
        }
    }
    return total;
}

void CaptureAndRestore(HWND owner, const Sizes& sizes) {
    const int mebibytes = sizes.mebibytes;
    Win32Clipboard clipboard(reinterpret_cast<WindowHandle>(owner));
    std::vector<double> platformRead, ourRead, platformWrite, ourWrite, copy;
    for (int run = 0; run < sizes.repetitions; ++run) {
        ChangeFromAnotherProcess(mebibytes, L"run" + std::to_wstring(run));
        platformRead.push_back(PlatformRead());

        ChangeFromAnotherProcess(mebibytes, L"again" + std::to_wstring(run));
        Stopwatch readWatch;
        auto read = clipboard.ReadClipboardState();
        ourRead.push_back(readWatch.Milliseconds());
        if (read.outcome != ReadOutcome::Read || read.state.entries.empty()) {
            std::printf("capture failed\n");
            std::exit(1);
        }

        ChangeFromAnotherProcess(0, L"between");
        platformWrite.push_back(PlatformWrite(owner, read.state));
        ChangeFromAnotherProcess(0, L"between");
        Stopwatch writeWatch;
        clipboard.WriteClipboardState(read.state);
        ourWrite.push_back(writeWatch.Milliseconds());

        copy.push_back(FreshMemcpy(static_cast<std::size_t>(mebibytes) << 20));
    }
    const double memcpyMs = Median(copy);
    std::printf("%d MiB + text, medians of %d runs after fresh changes by another process:\n",
                mebibytes, sizes.repetitions);
    std::printf("  memcpy into fresh memory   %8.1f ms\n", memcpyMs);
    std::printf("  capture: platform %8.1f ms  ours %8.1f ms  (ours - platform) / memcpy = %.2f\n",
                Median(platformRead), Median(ourRead),
                (Median(ourRead) - Median(platformRead)) / memcpyMs);
    std::printf("  restore: platform %8.1f ms  ours %8.1f ms  (ours - platform) / memcpy = %.2f\n",
                Median(platformWrite), Median(ourWrite),
                (Median(ourWrite) - Median(platformWrite)) / memcpyMs);
}

void MemoryAfterClear(HWND owner, int states) {
    Win32Clipboard clipboard(reinterpret_cast<WindowHandle>(owner));
    StateHistory history(clipboard, 50);
    history.ChangeCount = 1;
    // One round first, so that what Wine sets up once (process start-up, format names,
    // the heap's first growth) does not count against the history.
    ChangeFromAnotherProcess(1, L"warm-up");
    history.SaveClipboardState();
    history.ClearHistory();
    const SIZE_T start = PrivateBytes();
    for (int i = 0; i < states; ++i) {
        ChangeFromAnotherProcess(1, L"state" + std::to_wstring(i));
        history.SaveClipboardState();
    }
    const SIZE_T full = PrivateBytes();
    const int stored = history.LastState();
    history.ClearHistory();
    const SIZE_T cleared = PrivateBytes();
    std::printf(
        "private bytes: start %.1f MiB, %d states of 1 MiB %.1f MiB, after clear %.1f MiB "
        "(%+.2f MiB from start)\n",
        start / 1048576.0, stored, full / 1048576.0, cleared / 1048576.0,
        (static_cast<double>(cleared) - static_cast<double>(start)) / 1048576.0);
}

}  // namespace

int main(int argc, char** argv) {
    Sizes sizes;
    if (argc > 1 && std::strcmp(argv[1], "--smoke") == 0) {
        sizes = {.repetitions = 1, .mebibytes = 4, .states = 3};
    } else if (argc > 1) {
        std::printf("usage: clipboard_bench [--smoke]\n");
        return 2;
    }
    HWND owner = CreateWindowExW(0, L"STATIC", L"Revertly benchmark", 0, 0, 0, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
    // The memory figure first, while the heap has not yet held the large clipboard.
    MemoryAfterClear(owner, sizes.states);
    CaptureAndRestore(owner, sizes);
    OpenClipboard(owner);
    EmptyClipboard();
    CloseClipboard();
    DestroyWindow(owner);
    return 0;
}
