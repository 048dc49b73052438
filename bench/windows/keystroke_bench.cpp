// What Revertly's keyboard hook costs every keystroke of the system: the time from SendInput
// of a key to the WM_KEYDOWN of a window of the benchmark's own, (a) with no hook, (b) with an
// empty low-level hook in a process of the benchmark's own (the hop every such hook costs), (c)
// with Revertly running and its hook installed, and (d) the same while Revertly's window thread
// captures 64 MiB copies made over and over by another process, beside (b') the empty hook while
// the same copies are made without Revertly. The benchmark holds Win+Z, Win+X and Win+C before
// Revertly starts, as Explorer does at log-on, so that Revertly claims them through its hook.
// Prints figures; never fails for being slow.
//
//     keystroke_bench [keys per case, default 1000, at least 100]
//     keystroke_bench --smoke     ten keys per case, to show that the benchmark runs through
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "e2e/driver.h"

namespace {

using namespace revertly::bench;
using revertly::driver::DriverWindow;
using revertly::driver::Revertly;
using revertly::driver::ScratchFolder;
using namespace std::chrono_literals;

constexpr WORD kMeasuredKey = 'A';
constexpr int kLargeMebibytes = 64;

// A visible window with the keyboard focus that notes when each key-down reaches it.
class KeyTarget {
  public:
    KeyTarget() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"RevertlyKeystrokeTarget";
        RegisterClassW(&windowClass);
        window_ = CreateWindowW(L"RevertlyKeystrokeTarget", L"keystrokes", WS_POPUP | WS_VISIBLE, 0,
                                0, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        Focus();
    }
    ~KeyTarget() { DestroyWindow(window_); }

    void Focus() {
        SetForegroundWindow(window_);
        SetFocus(window_);
    }

    // One key pressed and released; the time until its key-down arrived, or nothing.
    std::optional<double> Measure() {
        arrived_ = -1;
        const INPUT keys[2] = {Key(false), Key(true)};
        const double sent = Now();
        if (SendInput(2, const_cast<INPUT*>(keys), sizeof(INPUT)) != 2 ||
            !WaitUntil([] { return arrived_ >= 0; }, 2s)) {
            return std::nullopt;
        }
        return arrived_ - sent;
    }

  private:
    static INPUT Key(bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = kMeasuredKey;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        return input;
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_KEYDOWN && wParam == kMeasuredKey) {
            arrived_ = Now();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline double arrived_ = -1;
    HWND window_ = nullptr;
};

constexpr wchar_t kHookReadyEvent[] = L"RevertlyKeystrokeBenchHookReady";

LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Run as "keystroke_bench hook": an empty low-level keyboard hook in a process of its own, as
// Revertly's is, until the thread is told to quit.
int RunEmptyHook() {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, &PassOn, GetModuleHandleW(nullptr), 0);
    if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, kHookReadyEvent)) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    }
    UnhookWindowsHookEx(hook);
    return hook != nullptr ? 0 : 1;
}

// The empty hook's process, started and ended around a measurement.
class EmptyHook {
  public:
    EmptyHook() {
        const revertly::UniqueKernelHandle ready(
            CreateEventW(nullptr, TRUE, FALSE, kHookReadyEvent));
        if (process_.Start(BesideThisProgram(L"keystroke_bench.exe"), L"hook")) {
            WaitForSingleObject(ready.get(), 10000);
        }
    }
    ~EmptyHook() {
        PostThreadMessageW(process_.MainThreadId(), WM_QUIT, 0, 0);
        process_.WaitForExit(10s);
    }

  private:
    revertly::testing::ChildProcess process_;
};

struct Figures {
    double median = 0;
    double p99 = 0;
    int failed = 0;
};

// Measures `keys` keystrokes, calling between() before each.
template <typename Between>
Figures MeasureKeys(KeyTarget& target, int keys, Between between) {
    std::vector<double> samples;
    Figures figures;
    target.Focus();
    IdleFor(50ms);
    for (int key = 0; key < keys; ++key) {
        between();
        if (const std::optional<double> latency = target.Measure()) {
            samples.push_back(*latency);
        } else {
            ++figures.failed;
        }
    }
    if (!samples.empty()) {
        std::sort(samples.begin(), samples.end());
        figures.median = Summarize(samples).median;
        const std::size_t rank = static_cast<std::size_t>(std::ceil(0.99 * samples.size()));
        figures.p99 = samples[std::max<std::size_t>(rank, 1) - 1];
    }
    return figures;
}

void Print(const char* label, const Figures& figures, const Figures& reference) {
    std::printf("  %-58s median %6.3f ms  p99 %6.3f ms  (x%.2f / x%.2f of (b))%s\n", label,
                figures.median, figures.p99, figures.median / reference.median,
                figures.p99 / reference.p99, figures.failed > 0 ? "  SOME KEYS LOST" : "");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "hook") {
        return RunEmptyHook();
    }
    const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
    const int keys = smoke ? 10 : argc > 1 ? std::max(std::atoi(argv[1]), 100) : 1000;
    KeyTarget target;
    const auto nothing = [] {};

    // Another process copies 64 MiB again as soon as its last copy is done.
    revertly::testing::ChildProcess copying;
    int copies = 0;
    const auto copyingOver = [&] {
        if (!copying.Running()) {
            copying =
                StartCopyFromAnotherProcess(kLargeMebibytes, L"copy " + std::to_wstring(++copies));
        }
        IdleFor(1ms);
    };
    const auto stopCopying = [&] { FinishCopy(copying); };

    const Figures none = MeasureKeys(target, keys, nothing);
    Figures empty;
    Figures emptyCopying;
    {
        const EmptyHook hook;
        empty = MeasureKeys(target, keys, nothing);
        emptyCopying = MeasureKeys(target, keys, copyingOver);
        stopCopying();
    }

    DriverWindow explorer;
    for (const WORD key : {'Z', 'X', 'C'}) {
        if (!explorer.HoldWinHotkey(key, key)) {
            std::printf("Win+%c is taken: end every copy of Revertly first\n", key);
            return 1;
        }
    }
    const ScratchFolder folder(L"revertly keystroke bench");
    Revertly program(folder.Path());
    if (!revertly::driver::ClearClipboard() ||
        !program.Install(BesideThisProgram(REVERTLY_EXE_RELATIVE).lexically_normal()) ||
        !program.Start() || !program.WaitForStartUp()) {
        std::printf("Revertly did not start\n");
        return 1;
    }
    const Figures revertly = MeasureKeys(target, keys, nothing);

    // Revertly's window thread captures each copy 100 ms after it is made.
    copies = 0;
    const Figures capturing = MeasureKeys(target, keys, copyingOver);
    stopCopying();
    program.Post(WM_CLOSE, 0, 0);
    program.WaitForExit();
    revertly::driver::RemoveStartupLink();

    std::printf("=== keystroke: SendInput of a key to a window's WM_KEYDOWN (%d keys each)\n",
                keys);
    Print("(a) no hook", none, empty);
    Print("(b) an empty low-level hook in another process (reference)", empty, empty);
    Print("(c) Revertly running, its hook claiming Win+Z/X/C", revertly, empty);
    Print("(d) (c) while Revertly captures 64 MiB copies", capturing, empty);
    std::printf("  64 MiB copies made during (d): %d\n", copies);
    // Wine moves clipboard data through its server, which every keystroke passes too: the
    // same copies without Revertly show what the platform alone costs meanwhile.
    Print("(b') (b) while the same copies are made, without Revertly", emptyCopying, empty);
    return none.failed + empty.failed + emptyCopying.failed + revertly.failed + capturing.failed > 0
               ? 1
               : 0;
}
