// revertly_bench pictures: 4K screenshots as people copy them, and an owner that renders
// slowly. What the history keeps of 50 screen pictures and of 50 pictures of noise within the
// default budget and what the program's memory comes to; per capture the time the program
// holds the clipboard and its window's longest unanswered stretch, beside the platform's own
// read of the same data; Win+Z back to a compact picture beside a memcpy of its size; and the
// time until an owner that takes 400 ms per format has its clipboard back.
#include <atomic>
#include <cstdio>
#include <thread>

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

struct Capture {
    double held = 0;     // the program's window had the clipboard open
    double busiest = 0;  // the longest a message to its window waited
};

// Watches the capture of the change made at that moment, until 1.5 s after it: a second
// thread polls which window has the clipboard open, this one sends the window one message
// after another.
std::optional<Capture> WatchCapture(Revertly& program, double changedAt) {
    Capture capture;
    std::atomic<bool> stop{false};
    std::thread poll([&] {
        std::optional<double> openedAt;
        while (!stop) {
            const bool open = GetOpenClipboardWindow() == program.Window();
            const double now = Now();
            if (open && !openedAt) {
                openedAt = now;
            } else if (!open && openedAt) {
                capture.held = std::max(capture.held, now - *std::exchange(openedAt, {}));
            }
            Sleep(1);
        }
    });
    bool answered = true;
    IdleUntil(changedAt + 50);
    while (answered && Now() < changedAt + 1500) {
        const double asked = Now();
        answered = program.Send(WM_NULL, 0, 0).has_value();
        capture.busiest = std::max(capture.busiest, Now() - asked);
        IdleFor(1ms);
    }
    stop = true;
    poll.join();
    return answered ? std::optional(capture) : std::nullopt;
}

struct Series {
    double workingSetMiB = 0;
    int kept = 0;                   // states that came back whole, the newest among them
    std::vector<double> restores;   // Win+Z to the change, per step back
    std::vector<Capture> captures;  // the first few copies'
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
        const std::optional<double> back = HotkeyToChange(watcher, 'Z', 2s);
        if (!back) {
            break;
        }
        if (driver::ClipboardBlock(CF_DIB) != Picture(kind, number)) {
            Fail("a picture came back different");
            return std::nullopt;
        }
        series.restores.push_back(*back);
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
    PrintLine("memcpy of one picture into fresh memory (reference)", memcpyTimes);
    std::printf(
        "  slow owner (text + %d formats, %lu ms each): clipboard back after %.0f ms;\n"
        "    asking for every format would hold it %lu ms\n",
        kSlowFormats, kSlowRenderMs, *slow, (kSlowFormats + 1) * kSlowRenderMs);
    return true;
}

}  // namespace revertly::bench
