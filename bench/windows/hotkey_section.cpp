// revertly_bench hotkey: from SendInput of Win+key to the clipboard holding the state.
#include "revertly_bench.h"

#include <algorithm>
#include <cstdio>

#include "process_meter.h"

namespace revertly::bench {

namespace {

constexpr int kHotkeyMebibytes = 16;

// stepHint: with the step hint turned on in the settings; then the working set after the
// rounds (the hint shown at every step) is printed as well.
bool HotkeyCase(const Options& options, int mebibytes, const char* title, bool stepHint = false) {
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
    if (!program.Start(stepHint ? R"({"StepHint":true})" : "")) {
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
    const ProcessMeter meter(program.Get().ProcessId(), program.Get().Executable());
    std::printf("  working set after the rounds                                   %7.1f MiB\n",
                static_cast<double>(meter.WorkingSetBytes()) / (1 << 20));
    return true;
}

}  // namespace

bool HotkeySection(const Options& options) {
    std::printf(
        "=== hotkey to clipboard: from SendInput of Win+key to the change notification\n"
        "    (sent when the writer closes the clipboard), confirmed by the sequence number\n"
        "    and the text; undo and redo alternate, so there is always a state to go to\n");
    const std::string bigTitle =
        std::to_string(kHotkeyMebibytes) + " MiB state (a registered format of that size + text)";
    return HotkeyCase(options, 0, "text state") &&
           HotkeyCase(options, 0, "text state, the step hint on", true) &&
           HotkeyCase(options, kHotkeyMebibytes, bigTitle.c_str());
}

}  // namespace revertly::bench
