// revertly_bench burst: large copies of text-like data that come faster than the packer can
// make them compact (each one as soon as the program has recorded the one before), and the
// window thread's longest unanswered message over them, beside one such copy made alone into
// a fresh program. Beside those, what the packer spends on one copy (timed in this process)
// and how often the copies came: copies that come more often than that outrun the packer.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <span>
#include <thread>

#include "history/packing.h"
#include "revertly_bench.h"
#include "word_text.h"

namespace revertly::bench {

namespace {

// A message left unanswered this long means the program hangs.
constexpr DWORD kHangMs = 60000;

// Sends a window one message after another from a thread of its own and notes the longest
// wait for an answer, until it is stopped.
class AnswerWatch {
  public:
    explicit AnswerWatch(HWND window) : thread_([this, window] { Run(window); }) {}
    ~AnswerWatch() { Stop(); }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;

    // The longest wait; nothing when the window stopped answering.
    std::optional<double> Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return answered_ ? std::optional(longest_) : std::nullopt;
    }

  private:
    void Run(HWND window) {
        while (!stop_ && answered_) {
            const double asked = Now();
            DWORD_PTR ignored = 0;
            answered_ =
                SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kHangMs, &ignored) != 0;
            longest_ = std::max(longest_, Now() - asked);
            Sleep(1);
        }
    }

    std::atomic<bool> stop_{false};
    bool answered_ = true;
    double longest_ = 0;
    std::thread thread_;  // last: it starts once the rest is ready
};

// Waits until the program has recorded the change made at that moment, as WaitRecorded does,
// but with the patience of a hang: a capture may wait for the packer for seconds.
bool Recorded(Revertly& program, double changedAt) {
    IdleUntil(changedAt + kDebounceMarginMs);
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(program.Window(), WM_NULL, 0, 0, SMTO_NORMAL, kHangMs, &ignored) !=
           0;
}

struct Watched {
    double longest = 0;             // the window thread's longest unanswered message
    std::vector<double> intervals;  // from one copy's change to the next one's
};

// Starts a fresh program and lets another process copy `copies` times, each copy once the
// program has recorded the one before; the window's answers are watched throughout, and for
// `watchAfter` after the last copy was recorded, so that what the packer hands back to the
// window's thread is watched too.
std::optional<Watched> WatchCopies(int copies, int mebibytes, Milliseconds watchAfter) {
    Program program(L"revertly bench burst");
    if (!program.Start()) {
        Fail("the program did not start");
        return std::nullopt;
    }
    ChangeWatcher watcher;
    Watched watched;
    std::optional<double> previous;
    AnswerWatch watch(program.Get().Window());
    for (int number = 0; number < copies; ++number) {
        const std::optional<double> changed =
            Copy(watcher, mebibytes, L"words " + std::to_wstring(number), SourceData::Words);
        if (!changed || !Recorded(program.Get(), *changed)) {
            Fail("a copy was not recorded, or the program stopped answering");
            return std::nullopt;
        }
        if (previous) {
            watched.intervals.push_back(*changed - *previous);
        }
        previous = changed;
    }
    IdleFor(watchAfter);
    const std::optional<double> longest = watch.Stop();
    // Each copy became a state of its own: Win+Z goes back to the one before the last.
    if (!longest ||
        (copies > 1 && !HotkeyToClipboard(watcher, 'Z', L"words " + std::to_wstring(copies - 2)))) {
        Fail("the program stopped answering, or the copies did not become states");
        return std::nullopt;
    }
    watched.longest = *longest;
    return watched;
}

// What the program's packer spends on one copy: the same function on the same bytes, timed
// in this process.
double PackingOneCopy(int mebibytes) {
    const std::string text = WordText(static_cast<std::size_t>(mebibytes) << 20);
    history::ClipboardState state;
    state.entries.emplace_back();
    state.entries.back().data.body = history::Chunk::Copy(std::as_bytes(std::span(text)));
    const Stopwatch watch;
    const history::PackingResult packed = history::RunPacking(history::MakePackingJob(state));
    return packed.replacements.empty() ? -1 : watch.Milliseconds();
}

}  // namespace

bool BurstSection(const Options& options) {
    const int mebibytes = options.burstMebibytes;
    const double packing = PackingOneCopy(mebibytes);
    // Twice the packer's work on one copy, at least a second.
    const Milliseconds watchAfter(std::max(1000, static_cast<int>(2 * packing)));
    std::printf(
        "=== %d copies of %d MiB of words (text that compresses as prose does), each made by\n"
        "    another process as soon as the program has recorded the one before; the window\n"
        "    thread's longest unanswered message, from the first change until %lld ms after\n"
        "    the last was recorded, beside one such copy into a fresh program (n=%d)\n",
        options.burstCopies, mebibytes, static_cast<long long>(watchAfter.count()),
        options.largeRuns);
    std::vector<double> alone;
    for (int run = 0; run < options.largeRuns; ++run) {
        const std::optional<Watched> one = WatchCopies(1, mebibytes, watchAfter);
        if (!one) {
            return false;
        }
        alone.push_back(one->longest);
    }
    const std::optional<Watched> burst = WatchCopies(options.burstCopies, mebibytes, watchAfter);
    if (!burst || packing < 0) {
        Fail("the copies did not go through, or the data did not pack");
        return false;
    }
    PrintLine("copies: from one change to the next", burst->intervals);
    std::printf("  %-62s %7.2f ms\n", "the packer's work on one copy (this process, reference)",
                packing);
    std::printf("  %-62s %7.2f ms\n", "the copies: the window thread's longest unanswered message",
                burst->longest);
    PrintLine("one copy alone: the same (reference)", alone);
    std::printf("  %-62s %+7.2f ms\n", "the copies' longest beyond one copy alone's (median)",
                burst->longest - Summarize(alone).median);
    return true;
}

}  // namespace revertly::bench
