// revertly_bench pictures: 4K screenshots as people copy them, and an owner that renders
// slowly. What the history keeps of 50 screen pictures and of 50 pictures of noise within the
// default budget and what the program's memory comes to; per capture the time the program
// holds the clipboard and its window's longest unanswered stretch, beside the platform's own
// read of the same data; Win+Z back to a compact picture beside a memcpy of its size, and the
// time it holds the clipboard open then beside the platform's own write of the same blocks;
// and the time until an owner that takes 400 ms per format has its clipboard back.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <utility>

#include "revertly_bench.h"

namespace revertly::bench {

namespace {

constexpr int kSlowFormats = 6;  // besides the text
constexpr DWORD kSlowRenderMs = 400;

std::string Picture(const wchar_t* kind, int number) {
    return std::wstring(kind) == L"noise" ? driver::NoisePicture(number)
                                          : driver::ScreenPicture(number);
}

// Another process copies a picture; answers the moment the change reached the watcher.
std::optional<double> CopyPicture(ChangeWatcher& watcher, const wchar_t* kind, int number) {
    const int before = watcher.Count();
    testing::ChildProcess source;
    if (!source.Start(BesideThisProgram(L"picture_source.exe"),
                      std::wstring(kind) + L" " + std::to_wstring(number))) {
        return std::nullopt;
    }
    const std::optional<double> changed = watcher.WaitForChangeAfter(before, kPatience);
    return FinishCopy(source) ? changed : std::nullopt;
}

// Notes, from a thread of its own that asks every millisecond, the longest stretch for which
// a window held the clipboard open, until it is stopped.
class HeldOpenWatch {
  public:
    explicit HeldOpenWatch(HWND window) : window_(window), thread_([this] { Run(); }) {}
    ~HeldOpenWatch() { Stop(); }
    HeldOpenWatch(const HeldOpenWatch&) = delete;
    HeldOpenWatch& operator=(const HeldOpenWatch&) = delete;

    // Waits for an open under way to end (within the patience), so that it counts too.
    double Stop() {
        if (thread_.joinable()) {
            WaitUntil([&] { return GetOpenClipboardWindow() != window_; }, kPatience, 1ms);
            stop_ = true;
            thread_.join();
        }
        return longest_;
    }

  private:
    void Run() {
        std::optional<double> openedAt;
        // One more look after the stop, which came once the clipboard was closed.
        for (bool last = false; !last;) {
            last = stop_;
            const bool open = GetOpenClipboardWindow() == window_;
            const double now = Now();
            if (open && !openedAt) {
                openedAt = now;
            } else if (!open && openedAt) {
                longest_ = std::max(longest_, now - *std::exchange(openedAt, {}));
            }
            Sleep(1);
        }
    }

    HWND window_;
    std::atomic<bool> stop_{false};
    double longest_ = 0;
    std::thread thread_;  // last: it starts once the rest is ready
};

// The platform's own write of what the clipboard holds in the formats: their blocks copied
// out first (not timed), then open, empty, hand over the ready blocks, close.
std::optional<double> PlatformRewrite(HWND owner, std::initializer_list<UINT> formats) {
    std::vector<std::pair<UINT, HGLOBAL>> ready;
    std::optional<Stopwatch> watch;
    if (OpenBriefly(owner, watch)) {
        for (const UINT format : formats) {
            const HANDLE data = GetClipboardData(format);
            if (const void* bytes = data ? GlobalLock(data) : nullptr) {
                ready.emplace_back(format, NewBlock(GlobalSize(data), bytes));
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
    }
    const bool whole = ready.size() == formats.size() &&
                       std::ranges::all_of(ready, [](const auto& block) { return block.second; });
    if (!whole || !OpenBriefly(owner, watch)) {
        for (const auto& block : ready) {
            GlobalFree(block.second);
        }
        return std::nullopt;
    }
    EmptyClipboard();
    for (const auto& [format, block] : ready) {
        if (!SetClipboardData(format, block)) {
            GlobalFree(block);
        }
    }
    CloseClipboard();
    return watch->Milliseconds();
}

struct Capture {
    double held = 0;     // the program's window had the clipboard open
    double busiest = 0;  // the longest a message to its window waited
};

// Watches the capture of the change made at that moment, until 1.5 s after it: a second
// thread polls which window has the clipboard open, this one sends the window one message
// after another.
std::optional<Capture> WatchCapture(Revertly& program, double changedAt) {
    Capture capture;
    HeldOpenWatch held(program.Window());
    bool answered = true;
    IdleUntil(changedAt + 50);
    while (answered && Now() < changedAt + 1500) {
        const double asked = Now();
        answered = program.Send(WM_NULL, 0, 0).has_value();
        capture.busiest = std::max(capture.busiest, Now() - asked);
        IdleFor(1ms);
    }
    capture.held = held.Stop();
    return answered ? std::optional(capture) : std::nullopt;
}

struct Series {
    double workingSetMiB = 0;
    int kept = 0;                     // states that came back whole, the newest among them
    std::vector<double> restores;     // Win+Z to the change, per step back
    std::vector<double> restoreHeld;  // the clipboard held open by each of those restores
    std::vector<Capture> captures;    // the first few copies'
};

// Copies pictures into a fresh program that keeps 50 states within the default budget, then
// steps back until Win+Z changes nothing or a picture comes back different.
std::optional<Series> CopyAndStepBack(const wchar_t* kind, int copies, int watched) {
    Program program(L"revertly bench pictures");
    if (!program.Start(R"({"StatesCount":50})")) {
        Fail("the program did not start");
        return std::nullopt;
    }
    ChangeWatcher watcher;
    Series series;
    for (int number = 0; number < copies; ++number) {
        const std::optional<double> changed = CopyPicture(watcher, kind, number);
        const std::optional<Capture> capture =
            changed && number < watched ? WatchCapture(program.Get(), *changed) : std::nullopt;
        if (!changed || (number < watched ? !capture : !WaitRecorded(program.Get(), *changed))) {
            Fail("a picture was not copied, or the program stopped answering");
            return std::nullopt;
        }
        if (capture) {
            series.captures.push_back(*capture);
        }
    }
    IdleFor(2s);  // the packer finishes the last pictures
    series.workingSetMiB =
        static_cast<double>(driver::WorkingSetBytes(program.Get().ProcessId()).value_or(0)) /
        (1 << 20);
    series.kept = 1;
    for (int number = copies - 2; number >= 0; --number) {
        HeldOpenWatch held(program.Get().Window());
        const std::optional<double> back = HotkeyToChange(watcher, 'Z', 2s);
        const double heldMs = held.Stop();
        if (!back) {
            break;
        }
        if (driver::ClipboardBlock(CF_DIB) != Picture(kind, number)) {
            Fail("a picture came back different");
            return std::nullopt;
        }
        series.restores.push_back(*back);
        series.restoreHeld.push_back(heldMs);
        ++series.kept;
    }
    return series;
}

std::vector<double> Column(const std::vector<Capture>& captures, double Capture::*field) {
    std::vector<double> values;
    for (const Capture& capture : captures) {
        values.push_back(capture.*field);
    }
    return values;
}

// From a slow owner's copy until it has the clipboard back, the program having asked.
std::optional<double> SlowOwnerWait() {
    Program program(L"revertly bench slow owner");
    if (!program.Start()) {
        return std::nullopt;
    }
    const double copied = Now();
    driver::SlowClipboardOwner owner(L"slow text", kSlowFormats, kSlowRenderMs,
                                     program.Get().Window());
    if (!owner.Owns() ||
        !WaitUntil([&] { return !owner.Asked().empty() && !GetOpenClipboardWindow(); }, kPatience,
                   1ms)) {
        return std::nullopt;
    }
    return Now() - copied;
}

}  // namespace

bool PictureSection(const Options& options) {
    const int copies = options.pictureCopies;
    std::printf(
        "=== 4K pictures (3840x2160, 32 bits, 31.6 MiB as CF_DIB) copied by another process\n"
        "    into a program that keeps 50 states within the default budget (256 MiB)\n");
    std::vector<double> platformRead;
    std::vector<double> platformWrite;
    std::vector<double> memcpyTimes;
    {
        ChangeWatcher watcher;
        for (int run = 0; run < options.largeRuns; ++run) {
            if (!CopyPicture(watcher, L"screen", run)) {
                Fail("picture_source.exe failed");
                return false;
            }
            std::size_t size = 0;
            platformRead.push_back(PlatformRead({CF_DIB, CF_DIBV5}, size));
            const std::optional<double> write =
                PlatformRewrite(watcher.Handle(), {CF_DIB, CF_DIBV5});
            if (!write) {
                Fail("the platform's write of both bitmap formats failed");
                return false;
            }
            platformWrite.push_back(*write);
            memcpyTimes.push_back(FreshMemcpy(driver::ScreenPicture(0).size()));
        }
    }
    const std::optional<Series> screens = CopyAndStepBack(L"screen", copies, options.largeRuns);
    const std::optional<Series> noise = CopyAndStepBack(L"noise", copies, 0);
    const std::optional<double> slow = SlowOwnerWait();
    if (!screens || !noise || !slow) {
        Fail("the pictures or the slow owner did not go through");
        return false;
    }
    std::printf("  %d screen pictures: working set %.1f MiB, %d come back whole\n", copies,
                screens->workingSetMiB, screens->kept);
    std::printf("  %d pictures of noise: working set %.1f MiB, %d come back whole\n", copies,
                noise->workingSetMiB, noise->kept);
    PrintLine("capture: the program holds the clipboard open",
              Column(screens->captures, &Capture::held));
    PrintLine("platform: both bitmap formats delivered and locked (reference)", platformRead);
    PrintLine("capture: the window thread's longest unanswered message",
              Column(screens->captures, &Capture::busiest));
    PrintLine("Win+Z -> clipboard holds a compact screen picture again", screens->restores);
    PrintLine("Win+Z -> clipboard holds a picture of noise again", noise->restores);
    PrintLine("Win+Z back to a compact screen picture: the clipboard held open",
              screens->restoreHeld);
    PrintLine("Win+Z back to a picture of noise: the clipboard held open", noise->restoreHeld);
    PrintLine("platform: open, empty, set both formats' ready blocks, close (reference)",
              platformWrite);
    std::printf("  %-62s %7.2f\n", "held open back to a compact screen picture / platform, medians",
                Summarize(screens->restoreHeld).median / Summarize(platformWrite).median);
    PrintLine("memcpy of one picture into fresh memory (reference)", memcpyTimes);
    std::printf(
        "  slow owner (text + %d formats, %lu ms each): clipboard back after %.0f ms;\n"
        "    asking for every format would hold it %lu ms\n",
        kSlowFormats, kSlowRenderMs, *slow, (kSlowFormats + 1) * kSlowRenderMs);
    return true;
}

}  // namespace revertly::bench
