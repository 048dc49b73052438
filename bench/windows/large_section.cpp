// revertly_bench large: capture and restore of a large clipboard, beside the platform's own
// delivery.
#include "revertly_bench.h"

#include <algorithm>
#include <cstdio>

namespace revertly::bench {

namespace {

constexpr int kLargeMebibytes = 64;

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

}  // namespace

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
            platformRead.push_back(PlatformRead({SourceDataFormat()}, size));
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
        testing::ChildProcess source = StartCopyFromAnotherProcess(kLargeMebibytes, huge);
        const std::optional<double> changed =
            source.Started() ? watcher.WaitForChangeAfter(before, kPatience) : std::nullopt;
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
        PlatformRead({SourceDataFormat()}, size);
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

}  // namespace revertly::bench
