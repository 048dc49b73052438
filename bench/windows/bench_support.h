// What the benchmarks of the running program share: one clock for the whole run, waits that
// keep this thread's messages flowing, a summary of repeated figures, another process that
// copies, and a window in the clipboard-viewer chain that notes when each change arrives.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "e2e/driver.h"
#include "support/child_process.h"

namespace revertly::bench {

using testing::Milliseconds;

// Milliseconds since the benchmark began, from QueryPerformanceCounter: a common time line for
// moments noted in different places (a key press here, a notification in a window procedure).
double Now();

using testing::HandleMessages;
using testing::WaitUntil;
// Lets the time pass, handling this thread's messages as they come and otherwise asleep, so
// that the benchmark itself stays quiet while another process is measured.
void IdleFor(Milliseconds duration);
// Handles this thread's messages until the moment given (a value of Now()).
void IdleUntil(double moment);

// Median and extremes of repeated figures.
struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
};
Summary Summarize(const std::vector<double>& samples);
// "median 1.23 ms (min 1.00, max 2.00, n=50)".
std::string Describe(const Summary& summary, std::size_t count);

// A file beside the benchmark's own executable.
std::filesystem::path BesideThisProgram(const std::filesystem::path& name);

// What clipboard_source.exe fills its data with: one byte repeated (it compresses to almost
// nothing at once), or words (it compresses as prose does, at a text's pace: WordText).
enum class SourceData { Alike, Words };

// Another process copies: clipboard_source.exe puts the text and, when mebibytes > 0, one
// registered format of that size on the clipboard. Starting it answers its process (not
// started when it could not start); finishing waits for it to end with this thread's messages
// flowing (the viewer chain runs through this process's windows) and answers whether it
// succeeded.
testing::ChildProcess StartCopyFromAnotherProcess(int mebibytes, const std::wstring& text,
                                                  SourceData data = SourceData::Alike);
bool FinishCopy(testing::ChildProcess& source);
bool CopyFromAnotherProcess(int mebibytes, const std::wstring& text,
                            SourceData data = SourceData::Alike);
// The registered format that clipboard_source.exe uses for its data.
UINT SourceDataFormat();

// A hidden window of the benchmark's in the clipboard-viewer chain. It notes the moment each
// change notification reaches it, which Windows sends when the writer closes the clipboard,
// that is when the clipboard holds the complete new content, and passes the notification on.
class ChangeWatcher {
  public:
    ChangeWatcher();

    // The window, also as the owner of what the benchmark itself puts on the clipboard.
    HWND Handle() const { return viewer_.Handle(); }
    int Count() const { return static_cast<int>(moments_.size()); }
    // Waits until more than `count` notifications have arrived; the moment of the first one
    // after `count`, or nothing when none came in time.
    std::optional<double> WaitForChangeAfter(int count, Milliseconds timeout);

  private:
    std::vector<double> moments_;
    // Declared after the moments it notes, so that it leaves the chain before they go.
    driver::DriverWindow viewer_;
};

}  // namespace revertly::bench
