// Copy to recorded, seen from inside the program: the real main window, save timer, clipboard
// adapter and frmMain run in this process, built as revertly.exe builds them (the settings
// file goes to a scratch folder), and another process copies. The delay runs from the moment
// the other process closes the clipboard (a window of this process in the viewer chain notes
// the notice that Windows sends then) to the moment the save timer's handler has recorded the
// state. It is measured twice in one run: with the program on the clipboard format listener
// list, as it runs, and with the list refused through the seam, so that the program joins
// the viewer chain behind the noting window. Beside each, a plain 100 ms timer of this
// process, from SetTimer to its WM_TIMER, measured in the same loop.
//
// It takes the global hotkeys and the single-instance block "Revertly": run it while no
// other copy of the program runs. Usage: debounce_bench [copies] (default 30, at least 20), or
// debounce_bench --smoke: two copies each, to show that the benchmark runs through.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/program_win32.h"
#include "bench_support.h"
#include "e2e/driver.h"
#include "history/clipboard_api_win32.h"
#include "support/api_override.h"

namespace {

using namespace revertly;
using bench::Now;

constexpr int kDefaultCopies = 30;
constexpr int kLeastCopies = 20;
constexpr int kSmokeCopies = 2;
// Each copy a burst of its own: the next one comes well after the last was recorded.
constexpr bench::Milliseconds kBetweenCopies{50};
constexpr double kPatienceMs = 5000;

// Handles this thread's messages until done() holds, calling observe() after each message
// and after each round of sent messages, so that a change of state is seen at once. False
// when the patience ran out first.
bool PumpObserving(const std::function<void()>& observe, const std::function<bool()>& done) {
    const double deadline = Now() + kPatienceMs;
    while (!done() && Now() < deadline) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        for (;;) {
            const BOOL got = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
            observe();
            if (!got) {
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
            observe();
        }
    }
    return done();
}

// The text of a recorded state, read through the state's own data (however it is kept).
std::wstring StateText(const history::ClipboardState& state) {
    for (const history::ClipboardFormatData& entry : state.entries) {
        if (entry.formatId != CF_UNICODETEXT) {
            continue;
        }
        std::vector<std::byte> bytes(entry.data.size());
        if (!entry.data.CopyTo(bytes)) {
            return {};
        }
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }
    return {};
}

// One copy by another process; the delay from the change reaching this process to its
// recording, or a negative value when it did not happen as it should.
double CopyToRecorded(const app::frmMain& form, bench::ChangeWatcher& watcher,
                      const std::wstring& text) {
    const int before = watcher.Count();
    testing::ChildProcess source = bench::StartCopyFromAnotherProcess(0, text);
    if (!source.Started()) {
        return -1;
    }
    bool timerStarted = false;
    double recorded = -1;
    PumpObserving(
        [&] {
            if (!timerStarted) {
                timerStarted = form.TimerEnabled();
            } else if (recorded < 0 && !form.TimerEnabled()) {
                recorded = Now();
            }
        },
        [&] { return recorded >= 0; });
    const bool copied = bench::FinishCopy(source);
    const std::optional<double> changed = watcher.WaitForChangeAfter(before, {});
    const history::StateHistory& history = form.History();
    if (!copied || !changed || recorded < 0 || history.CurrentState() == 0 ||
        StateText(history.State(history.CurrentState())) != text) {
        return -1;
    }
    return recorded - *changed;
}

// A plain thread timer of 100 ms, from SetTimer to the moment its WM_TIMER is taken.
double PlainTimer() {
    const UINT_PTR id = SetTimer(nullptr, 0, app::kSaveDelayMilliseconds, nullptr);
    const double started = Now();
    double ticked = -1;
    const double deadline = started + kPatienceMs;
    while (ticked < 0 && Now() < deadline) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG message;
        while (ticked < 0 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == id) {
                ticked = Now();
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    KillTimer(nullptr, id);
    return ticked - started;
}

// The program's paths for a folder: the settings file goes there as revertly.txt.
app::ProgramPaths PathsIn(const std::filesystem::path& folder) {
    const std::wstring wide = folder.wstring();
    return {std::u16string(wide.begin(), wide.end()), u"revertly"};
}

BOOL WINAPI RefuseListener(HWND) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

struct Figures {
    std::vector<double> ours;
    std::vector<double> plain;
};

// Starts the program, lets another process copy `copies` times, and ends the program.
std::optional<Figures> Measure(int copies) {
    const driver::ScratchFolder folder(L"revertly debounce");
    app::Win32Program program(GetModuleHandleW(nullptr), PathsIn(folder.Path()));
    if (!program.Created()) {
        std::printf("cannot create the main window\n");
        return std::nullopt;
    }
    app::frmMain& form = program.Form();
    if (!form.Form_Initialize()) {
        std::printf("start-up found another copy running\n");
        return std::nullopt;
    }
    // Ahead of the program in the viewer chain (when it is in the chain at all): it notes
    // when each change reaches this process and hands the notification on at once.
    bench::ChangeWatcher watcher;

    Figures figures;
    int failed = 0;
    // The first round settles what Wine sets up once; it is not counted.
    for (int copy = -1; copy < copies; ++copy) {
        bench::IdleFor(kBetweenCopies);
        const double delay = CopyToRecorded(form, watcher, L"copy " + std::to_wstring(copy));
        const double timer = PlainTimer();
        if (delay < 0 || timer < 0) {
            ++failed;
        } else if (copy >= 0) {
            figures.ours.push_back(delay);
            figures.plain.push_back(timer);
        }
    }

    SendMessageW(reinterpret_cast<HWND>(program.Window().Handle()), WM_CLOSE, 0, 0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    driver::RemoveStartupLink();
    if (failed > 0) {
        std::printf("%d copies were not recorded as they should have been\n", failed);
        return std::nullopt;
    }
    return figures;
}

void Print(const char* how, const Figures& figures) {
    const bench::Summary recorded = bench::Summarize(figures.ours);
    const bench::Summary timer = bench::Summarize(figures.plain);
    std::printf("  %s:\n", how);
    std::printf("    clipboard closed -> state recorded  %s\n",
                bench::Describe(recorded, figures.ours.size()).c_str());
    std::printf("    plain 100 ms timer (reference)     %s\n",
                bench::Describe(timer, figures.plain.size()).c_str());
    std::printf("    ours - the 100 ms wait, median     %7.2f ms (ours - plain timer: %.2f ms)\n",
                recorded.median - app::kSaveDelayMilliseconds, recorded.median - timer.median);
}

int MeasureBoth(int copies) {
    using driver::WinHotkeyFree;
    if (!WinHotkeyFree('Z') || !WinHotkeyFree('X') || !WinHotkeyFree('C') ||
        driver::ReadInstanceBlock()) {
        std::printf("another copy of Revertly runs: end it first\n");
        return 1;
    }
    const std::optional<Figures> listener = Measure(copies);
    std::optional<Figures> chain;
    if (listener) {
        const testing::ApiOverride<history::Win32Api> seam(history::Api());
        seam->AddClipboardFormatListener = &RefuseListener;
        chain = Measure(copies);
    }
    if (!listener || !chain) {
        return 1;
    }
    std::printf("copy by another process to recorded, inside the program (%d copies each):\n",
                copies);
    Print("on the clipboard format listener list", *listener);
    Print("in the clipboard-viewer chain (the list refused)", *chain);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool smoke = argc > 1 && std::string(argv[1]) == "--smoke";
    const int copies = smoke      ? kSmokeCopies
                       : argc > 1 ? std::max(std::atoi(argv[1]), kLeastCopies)
                                  : kDefaultCopies;
    return MeasureBoth(copies);
}
