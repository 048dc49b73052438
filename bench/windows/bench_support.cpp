#include "bench_support.h"

#include <algorithm>
#include <cstdio>

#include "qpc_timer.h"

namespace revertly::bench {

namespace {

constexpr wchar_t kSourceFormatName[] = L"Revertly Benchmark Data";

// Sleeps until a message arrives or the time passes, then handles what came.
void WaitForMessages(DWORD milliseconds) {
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    HandleMessages();
}

}  // namespace

double Now() {
    static const Stopwatch start;
    return start.Milliseconds();
}

void IdleUntil(double moment) {
    for (double left = moment - Now(); left > 0; left = moment - Now()) {
        WaitForMessages(static_cast<DWORD>(left) + 1);
    }
}

void IdleFor(Milliseconds duration) {
    IdleUntil(Now() + static_cast<double>(duration.count()));
}

Summary Summarize(const std::vector<double>& samples) {
    if (samples.empty()) {
        return {};
    }
    const auto [min, max] = std::minmax_element(samples.begin(), samples.end());
    return {Median(samples), *min, *max};
}

std::string Describe(const Summary& summary, std::size_t count) {
    char text[128];
    std::snprintf(text, sizeof text, "median %7.2f ms  (min %.2f, max %.2f, n=%zu)", summary.median,
                  summary.min, summary.max, count);
    return text;
}

std::filesystem::path BesideThisProgram(const std::filesystem::path& name) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path() / name;
}

testing::ChildProcess StartCopyFromAnotherProcess(int mebibytes, const std::wstring& text,
                                                  SourceData data) {
    testing::ChildProcess source;
    source.Start(BesideThisProgram(L"clipboard_source.exe"),
                 std::to_wstring(mebibytes) + L" \"" + text + L"\"" +
                     (data == SourceData::Words ? L" words" : L""));
    return source;
}

bool FinishCopy(testing::ChildProcess& source) {
    // Other processes send this thread's windows messages while the copy goes on (the
    // change notification): the wait handles them.
    return source.WaitForExit(std::chrono::minutes(1)) == 0u;
}

bool CopyFromAnotherProcess(int mebibytes, const std::wstring& text, SourceData data) {
    testing::ChildProcess source = StartCopyFromAnotherProcess(mebibytes, text, data);
    return FinishCopy(source);
}

UINT SourceDataFormat() {
    return RegisterClipboardFormatW(kSourceFormatName);
}

ChangeWatcher::ChangeWatcher() {
    viewer_.OnClipboardChange([this] { moments_.push_back(Now()); });
    viewer_.JoinViewerChain();
    // Joining notifies the new viewer once at once; that notification is no change.
    HandleMessages();
    moments_.clear();
}

std::optional<double> ChangeWatcher::WaitForChangeAfter(int count, Milliseconds timeout) {
    if (!WaitUntil([this, count] { return Count() > count; }, timeout)) {
        return std::nullopt;
    }
    return moments_[static_cast<std::size_t>(count)];
}

}  // namespace revertly::bench
