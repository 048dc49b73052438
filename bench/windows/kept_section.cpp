// revertly_bench kept: the history kept on disk, with 4K screenshots. Start-up with a full
// kept history beside start-up with nothing kept and with the choice off, and the time until
// the kept history has joined; the time from a copy until its state's file is on disk in the
// running program, and the packing, sealing and writing of the same states in this process
// with the real seal and folder; and the disk the files take beside the memory the history
// counts for the same states and their size as read.
//
// The program's folder is this user's %LOCALAPPDATA%\Revertly, which the tests use too: the
// section runs only when it holds nothing, and removes it again, also when a step fails.
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "history/clipboard_win32.h"
#include "history/packing.h"
#include "keep/history_store.h"
#include "keep/kept_files_win32.h"
#include "keep/kept_state.h"
#include "keep/seal_win32.h"
#include "revertly_bench.h"

namespace revertly::bench {

namespace {

constexpr double kMiB = 1048576.0;
// Reading a full kept history back takes longer than a step that should follow at once.
constexpr Milliseconds kJoinPatience = 30s;
constexpr std::string_view kKeptSettings = R"({"StatesCount":50,"KeepHistory":true})";
constexpr std::string_view kPlainSettings = R"({"StatesCount":50,"KeepHistory":false})";

// The kept folder of this user, removed when the object goes, and a place beside it where
// the kept history waits while the program starts without it.
class KeptFolder {
  public:
    KeptFolder()
        : path_(std::u16string(keep::DefaultKeptFolder())),
          aside_(path_.parent_path() / L"Revertly bench aside") {}
    ~KeptFolder() {
        if (taken_) {
            std::error_code ignored;
            fs::remove_all(path_, ignored);
            fs::remove_all(aside_, ignored);
        }
    }
    KeptFolder(const KeptFolder&) = delete;
    KeptFolder& operator=(const KeptFolder&) = delete;

    // Takes the folder for the section when there is one and nothing is in it that the
    // section would replace; from then on it is removed when the object goes.
    bool Take() {
        std::error_code error;
        const bool empty = !fs::exists(path_, error) || fs::is_empty(path_, error);
        taken_ = !path_.empty() && empty && !error && !fs::exists(aside_, error) && !error;
        return taken_;
    }
    const fs::path& Path() const { return path_; }
    // The kept history goes aside; the program finds no folder.
    bool PutAside() {
        std::error_code error;
        fs::rename(path_, aside_, error);
        return !error;
    }
    // What the program made meanwhile goes, and the kept history comes back.
    bool TakeBack() {
        std::error_code error;
        fs::remove_all(path_, error);
        if (!error) {
            fs::rename(aside_, path_, error);
        }
        return !error;
    }

  private:
    fs::path path_;
    fs::path aside_;
    bool taken_ = false;
};

// The kept files in a folder whose names begin so: their number and their bytes together.
struct Files {
    int count = 0;
    std::uintmax_t bytes = 0;
};
Files KeptFiles(const fs::path& folder, std::wstring_view prefix) {
    Files files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::wstring name = entry.path().filename().wstring();
        std::error_code ignored;
        if (name.starts_with(prefix) && name.ends_with(L".rvk") && entry.is_regular_file(ignored)) {
            ++files.count;
            files.bytes += entry.file_size(ignored);
        }
    }
    return files;
}

// When the file was last written, read without opening it (a read would hold it open while
// the program replaces it); 0 when it is not there.
std::uint64_t WrittenAt(const fs::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
           data.ftLastWriteTime.dwLowDateTime;
}

// The same screenshots kept in this process: the copy read as the program reads it, packed,
// then kept by the store over the real seal and folder (a scratch folder, with a key of its
// own), one more state per save, as the program saves after each packed copy.
struct InProcess {
    std::vector<double> packing;  // RunPacking of one state
    // HistoryStore::Save: the new state's file and the index; the first also makes the key.
    std::vector<double> saving;
    std::uint64_t countedBytes = 0;
    Files stateFiles;
};

std::optional<InProcess> KeepInProcess(int copies) {
    const ScratchFolder scratch(L"revertly bench kept store");
    keep::Win32KeptFiles files(scratch.Path().u16string());
    keep::Win32Seal seal(files);
    keep::HistoryStore store(seal, files);
    const ChangeWatcher owner;
    history::Win32Clipboard clipboard(reinterpret_cast<WindowHandle>(owner.Handle()));
    InProcess result;
    std::vector<keep::KeptState> kept;
    for (int number = 0; number < copies; ++number) {
        if (!driver::SetClipboardBlock(CF_DIB, driver::ScreenPicture(number))) {
            return std::nullopt;
        }
        history::ReadResult read = clipboard.ReadClipboardState();
        if (read.outcome != history::ReadOutcome::Read || read.state.entries.empty()) {
            return std::nullopt;
        }
        const Stopwatch packing;
        history::ApplyPacking(history::RunPacking(history::MakePackingJob(read.state)), read.state);
        result.packing.push_back(packing.Milliseconds());
        for (const history::ClipboardFormatData& entry : read.state.entries) {
            result.countedBytes += entry.storedBytes;
        }
        kept.push_back(keep::KeepOf(static_cast<std::uint64_t>(number) + 1, read.state));
        const Stopwatch saving;
        if (!store.Save(kept, static_cast<std::int32_t>(kept.size()))) {
            return std::nullopt;
        }
        result.saving.push_back(saving.Milliseconds());
    }
    result.stateFiles = KeptFiles(scratch.Path(), L"state-");
    driver::ClearClipboard();
    return result;
}

// What the running program did with the screenshots copied into it.
struct Copied {
    std::vector<double> toFile;  // the copy until its state's file exists
    double workingSetMiB = 0;
    Files stateFiles;  // after Exit
    Files allFiles;    // the index and the key among them
};

// This process copies the screenshots into the program one after another, each once the one
// before is on disk; then the program is ended with Exit from its menu.
std::optional<Copied> CopyIntoProgram(Program& program, ChangeWatcher& watcher,
                                      const fs::path& kept, int copies) {
    Copied copied;
    for (int number = 0; number < copies; ++number) {
        const std::string picture = driver::ScreenPicture(number);
        const int before = watcher.Count();
        if (!driver::SetClipboardBlock(CF_DIB, picture)) {
            return std::nullopt;
        }
        const std::optional<double> changed = watcher.WaitForChangeAfter(before, kPatience);
        if (!changed ||
            !WaitUntil([&] { return KeptFiles(kept, L"state-").count > number; }, kPatience, 1ms)) {
            return std::nullopt;
        }
        copied.toFile.push_back(Now() - *changed);
    }
    copied.workingSetMiB =
        static_cast<double>(driver::WorkingSetBytes(program.Get().ProcessId()).value_or(0)) / kMiB;
    if (!program.Get().Exit()) {
        return std::nullopt;
    }
    copied.stateFiles = KeptFiles(kept, L"state-");
    copied.allFiles = KeptFiles(kept, L"");
    return copied;
}

struct Starts {
    std::vector<double> kept, joined, empty, off;
};

// One start of the program from an empty clipboard, timed until its window answers; with an
// index, also until the kept history has joined: the index rewritten, which the program does
// once the states read from disk are in the history. With `back`, Win+Z must then bring that
// picture back (none when negative).
struct StartTimes {
    double answered = 0;
    double joined = 0;
};
std::optional<StartTimes> TimeStart(const fs::path& executable, const fs::path& index,
                                    ChangeWatcher& watcher, int back) {
    if (!driver::ClearClipboard()) {
        return std::nullopt;
    }
    const std::uint64_t indexBefore = index.empty() ? 0 : WrittenAt(index);
    std::optional<StartTimes> times;
    {
        const TimedStart program(executable, kMainWindowClass, {});
        const bool joined =
            program.Ready() &&
            (index.empty() ||
             WaitUntil([&] { return WrittenAt(index) != indexBefore; }, kJoinPatience, 1ms));
        if (joined) {
            times = StartTimes{program.AnsweredAt(), Now() - program.StartedAt()};
        }
        if (times && back >= 0 &&
            (!HotkeyToChange(watcher, 'Z', kPatience) ||
             driver::ClipboardBlock(CF_DIB) != driver::ScreenPicture(back))) {
            times.reset();
        }
    }
    driver::RemoveStartupLink();
    return times;
}

void WriteSettings(const fs::path& file, std::string_view settings) {
    std::ofstream(file, std::ios::binary) << settings;
}

// Start-ups with the kept history, with the choice on and nothing kept, and with it off, one
// of each in turn, so that what else the machine does falls on all three alike.
std::optional<Starts> TimeStarts(Program& program, KeptFolder& folder, ChangeWatcher& watcher,
                                 int runs, int copies) {
    const fs::path executable = program.Get().Executable();
    const fs::path settings = program.Get().SettingsFile();
    Starts starts;
    for (int run = 0; run < runs; ++run) {
        // The last run checks that the kept history is really back: Win+Z gives the picture
        // copied before the last.
        const int back = run == runs - 1 ? copies - 2 : -1;
        WriteSettings(settings, kKeptSettings);
        const std::optional<StartTimes> kept =
            TimeStart(executable, folder.Path() / L"index.rvk", watcher, back);
        if (!kept || !folder.PutAside()) {
            return std::nullopt;
        }
        const std::optional<StartTimes> empty = TimeStart(executable, {}, watcher, -1);
        WriteSettings(settings, kPlainSettings);
        const std::optional<StartTimes> off = TimeStart(executable, {}, watcher, -1);
        if (!folder.TakeBack() || !empty || !off) {
            return std::nullopt;
        }
        starts.kept.push_back(kept->answered);
        starts.joined.push_back(kept->joined);
        starts.empty.push_back(empty->answered);
        starts.off.push_back(off->answered);
    }
    return starts;
}

}  // namespace

bool KeptSection(const Options& options) {
    const int copies = options.pictureCopies;
    std::printf(
        "=== the history kept on disk: %d 4K screenshots (31.6 MiB each as CF_DIB) copied by\n"
        "    this process into revertly.exe with KeepHistory on and 50 states, Exit, then %d\n"
        "    start-ups each with them kept, with nothing kept and with the choice off, in turn,\n"
        "    from an empty clipboard\n",
        copies, options.startRuns);
    KeptFolder folder;
    if (!folder.Take()) {
        Fail(
            "%LOCALAPPDATA%\\Revertly holds a kept history, which this section would replace:"
            " remove it first");
        return false;
    }
    const std::optional<InProcess> inProcess = KeepInProcess(copies);
    if (!inProcess) {
        Fail("a screenshot could not be copied, read or kept in this process");
        return false;
    }
    Program program(L"revertly bench kept");
    if (!program.Start(std::string(kKeptSettings))) {
        Fail("the program did not start");
        return false;
    }
    ChangeWatcher watcher;
    const std::optional<Copied> copied = CopyIntoProgram(program, watcher, folder.Path(), copies);
    if (!copied || copied->stateFiles.count != copies) {
        Fail("a screenshot's state did not reach the disk, or Exit did not end the program");
        return false;
    }
    const std::optional<Starts> starts =
        TimeStarts(program, folder, watcher, options.startRuns, copies);
    if (!starts) {
        Fail(
            "a start did not answer, the kept history did not join, or Win+Z did not bring"
            " the screenshot back");
        return false;
    }

    std::printf("start-up, from CreateProcess until the window answers WM_NULL:\n");
    PrintLine("KeepHistory on, the screenshots kept", starts->kept);
    PrintLine("KeepHistory on, nothing kept", starts->empty);
    PrintLine("KeepHistory off (reference)", starts->off);
    std::printf("  %-62s %+6.1f %%  (goal: within +20 %%)\n",
                "the screenshots kept / nothing kept, medians",
                100 * (Summarize(starts->kept).median / Summarize(starts->empty).median - 1));
    PrintLine("... until the kept history joined (the index rewritten then)", starts->joined);
    std::printf("writing one screenshot's state:\n");
    PrintLine("copy -> its state file exists (100 ms wait, capture, packing)", copied->toFile);
    PrintLine("in this process: packing the state as read", inProcess->packing);
    PrintLine("in this process: sealing and writing its file and the index", inProcess->saving);
    const double raw = static_cast<double>(driver::ScreenPicture(0).size()) * copies / kMiB;
    std::printf(
        "disk after Exit, %d screenshots: state files %.2f MiB (%d files), with the index and\n"
        "    the key %.2f MiB; the history counts %.2f MiB for them in memory (the same states\n"
        "    packed in this process, whose files take %+.1f KiB more: names, lengths, nonces,\n"
        "    tags); as read %.1f MiB (%d x 31.6 MiB); the program's working set before Exit\n"
        "    %.1f MiB\n",
        copies, static_cast<double>(copied->stateFiles.bytes) / kMiB, copied->stateFiles.count,
        static_cast<double>(copied->allFiles.bytes) / kMiB,
        static_cast<double>(inProcess->countedBytes) / kMiB,
        (static_cast<double>(inProcess->stateFiles.bytes) -
         static_cast<double>(inProcess->countedBytes)) /
            1024,
        raw, copies, copied->workingSetMiB);
    return true;
}

}  // namespace revertly::bench
