// What the sections of revertly_bench share: its options, the copy of revertly.exe under
// measurement, the clipboard around it, and the platform's own work on the same data as
// references. Each section (hotkey, startup, large, pictures, kept, burst, soak) is a file of
// its own.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "e2e/driver.h"
#include "qpc_timer.h"

namespace revertly::bench {

namespace fs = std::filesystem;
using driver::Revertly;
using driver::ScratchFolder;
using namespace std::chrono_literals;

inline constexpr wchar_t kMainWindowClass[] = L"RevertlyMainWindow";
inline constexpr Milliseconds kPatience = 10s;
// From a change until the program has surely taken up its 100 ms save timer's tick.
inline constexpr double kDebounceMarginMs = 150;
// Longer than a message round trip takes: an answer this late means the program was busy.
inline constexpr double kBusyMs = 5;

// What to run, and how often; --quick lowers the counts.
struct Options {
    int hotkeyRounds = 50;
    int startRuns = 5;
    int idleSeconds = 30;
    int largeRuns = 5;
    int pictureCopies = 50;
    int burstCopies = 10;
    int burstMebibytes = 64;
    int soakCycles = 2000;
    std::set<std::string> sections;

    bool Runs(const char* section) const { return sections.empty() || sections.contains(section); }
};

// The sections; each prints its figures and answers false when the program did not do what a
// step needs.
bool HotkeySection(const Options& options);
bool StartupIdleSection(const Options& options);
bool LargeSection(const Options& options);
bool PictureSection(const Options& options);
bool KeptSection(const Options& options);
bool BurstSection(const Options& options);
bool SoakSection(const Options& options);

fs::path RevertlyExe();
void Fail(const char* what);

// A copy of revertly.exe in a scratch folder, started with an empty clipboard (so that its
// history starts empty) and stopped again, leaving no Startup shortcut behind.
class Program {
  public:
    explicit Program(const wchar_t* name) : folder_(name), program_(folder_.Path()) {}
    ~Program() { Stop(); }

    // settings: the settings file's text to start with; none when empty.
    bool Start(const std::string& settings = {}) {
        if (!revertly::driver::ClearClipboard() || !program_.Install(RevertlyExe())) {
            return false;
        }
        if (!settings.empty()) {
            std::ofstream(program_.SettingsFile(), std::ios::binary) << settings;
        }
        return program_.Start() && program_.WaitForStartUp();
    }
    // WM_CLOSE, as another program asks a window to close: the program shuts down.
    void Stop() {
        if (program_.Running()) {
            program_.Post(WM_CLOSE, 0, 0);
            program_.WaitForExit();
        }
        revertly::driver::RemoveStartupLink();
    }
    Revertly& Get() { return program_; }

  private:
    ScratchFolder folder_;
    Revertly program_;
};

// A process started by the benchmark, timed from CreateProcess until a window of its class
// exists, the file it must write (if any) exists, and the window answers a message. Closed
// through its window when the object goes.
class TimedStart {
  public:
    TimedStart(const fs::path& executable, const wchar_t* windowClass, const fs::path& writtenFile);
    ~TimedStart();
    TimedStart(const TimedStart&) = delete;
    TimedStart& operator=(const TimedStart&) = delete;

    bool Ready() const { return answeredAt_ >= 0; }
    // The moment of CreateProcess (a value of Now()); the others count from it.
    double StartedAt() const { return startedAt_; }
    double WindowAt() const { return windowAt_; }
    double FileAt() const { return fileAt_; }
    double AnsweredAt() const { return answeredAt_; }
    DWORD ProcessId() const { return process_.Id(); }
    const fs::path& Executable() const { return executable_; }
    HWND Window() const { return window_; }

  private:
    fs::path executable_;
    testing::ChildProcess process_;
    HWND window_ = nullptr;
    double startedAt_ = 0;
    double windowAt_ = -1;
    double fileAt_ = -1;
    double answeredAt_ = -1;
};

// Waits until the program has recorded the change made at that moment: its save timer has
// surely ticked, and a message round trip waits for whatever capture is still going on.
bool WaitRecorded(Revertly& program, double changedAt);

// Another process copies; answers the moment the change reached the watcher.
std::optional<double> Copy(ChangeWatcher& watcher, int mebibytes, const std::wstring& text,
                           SourceData data = SourceData::Alike);

// This process copies a text; answers the moment the change reached the watcher.
std::optional<double> CopyHere(ChangeWatcher& watcher, const std::wstring& text);

// Another process copies, and the program has recorded it.
bool CopyAndWaitRecorded(Revertly& program, ChangeWatcher& watcher, int mebibytes,
                         const std::wstring& text);

// Win+key, then the time until the clipboard changes: from the key's SendInput, the Windows
// key held, to the change notification, confirmed by the sequence number. Nothing when no
// change came within the patience.
std::optional<double> HotkeyToChange(ChangeWatcher& watcher, WORD key, Milliseconds patience);
// The same, and the clipboard then holds the expected text.
std::optional<double> HotkeyToClipboard(ChangeWatcher& watcher, WORD key,
                                        const std::wstring& expected);

// A movable memory block of the size, holding the bytes (ones when bytes is null).
HGLOBAL NewBlock(std::size_t size, const void* bytes);

// Opens the clipboard, retrying while another program (Wine's bridge to the X11 selection)
// holds it for a moment; the stopwatch starts with the attempt that succeeds.
bool OpenBriefly(HWND owner, std::optional<Stopwatch>& watch);

// The clipboard's own acceptance of ready-made blocks, text and `mebibytes` of the
// benchmark's format: open, empty, hand over, close.
double PlatformWrite(HWND owner, int mebibytes, const std::wstring& text);

// The clipboard's own delivery of the formats: each one's data handle and bytes, locked (the
// first and last byte touched), without copying them. Also the bytes seen.
double PlatformRead(std::initializer_list<UINT> formats, std::size_t& size);

// A memcpy of the size into freshly allocated memory: the cost of one copy.
double FreshMemcpy(std::size_t size);

// One line of figures: the label, then the samples' median and extremes.
void PrintLine(const char* label, const std::vector<double>& samples);

}  // namespace revertly::bench
