#include "revertly_bench.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace revertly::bench {

namespace {

// Keeps the compiler from dropping reads whose result is otherwise unused.
volatile int sink;

}  // namespace

fs::path RevertlyExe() {
    return BesideThisProgram(REVERTLY_EXE_RELATIVE).lexically_normal();
}

void Fail(const char* what) {
    std::printf("  FAILED: %s\n", what);
}

TimedStart::TimedStart(const fs::path& executable, const wchar_t* windowClass,
                       const fs::path& writtenFile)
    : executable_(executable) {
    startedAt_ = Now();
    if (!process_.Start(executable, {}, fs::temp_directory_path())) {
        return;
    }
    std::error_code ignored;
    const bool ready = WaitUntil(
        [&] {
            if (window_ == nullptr) {
                window_ =
                    revertly::driver::FindProcessWindow(process_.Id(), windowClass, nullptr, false);
                windowAt_ = window_ != nullptr ? Now() - startedAt_ : -1;
            }
            if (fileAt_ < 0 && (writtenFile.empty() || fs::exists(writtenFile, ignored))) {
                fileAt_ = Now() - startedAt_;
            }
            return window_ != nullptr && fileAt_ >= 0;
        },
        kPatience, 1ms);  // timed to the millisecond
    DWORD_PTR result = 0;
    if (ready && SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result)) {
        answeredAt_ = Now() - startedAt_;
    }
}

TimedStart::~TimedStart() {
    if (window_ != nullptr) {
        PostMessageW(window_, WM_CLOSE, 0, 0);
    }
    process_.WaitForExit(kPatience);  // one that does not end is terminated with process_
}

// Waits until the program has recorded the change made at that moment: its save timer has
// surely ticked, and a message round trip waits for whatever capture is still going on.
bool WaitRecorded(Revertly& program, double changedAt) {
    IdleUntil(changedAt + kDebounceMarginMs);
    return program.Send(WM_NULL, 0, 0).has_value();
}

// Another process copies; answers the moment the change reached the watcher.
std::optional<double> Copy(ChangeWatcher& watcher, int mebibytes, const std::wstring& text,
                           SourceData data) {
    const int before = watcher.Count();
    if (!CopyFromAnotherProcess(mebibytes, text, data)) {
        return std::nullopt;
    }
    return watcher.WaitForChangeAfter(before, kPatience);
}

// This process copies a text; answers the moment the change reached the watcher.
std::optional<double> CopyHere(ChangeWatcher& watcher, const std::wstring& text) {
    const int before = watcher.Count();
    if (!revertly::driver::SetClipboardText(text)) {
        return std::nullopt;
    }
    return watcher.WaitForChangeAfter(before, kPatience);
}

bool CopyAndWaitRecorded(Revertly& program, ChangeWatcher& watcher, int mebibytes,
                         const std::wstring& text) {
    const std::optional<double> changed = Copy(watcher, mebibytes, text);
    return changed && WaitRecorded(program, *changed);
}

std::optional<double> HotkeyToChange(ChangeWatcher& watcher, WORD key, Milliseconds patience) {
    IdleFor(10ms);  // the previous step's messages settle
    const int before = watcher.Count();
    const DWORD sequence = GetClipboardSequenceNumber();
    if (!revertly::driver::HoldModifiers({VK_LWIN})) {
        return std::nullopt;
    }
    const double pressed = Now();  // the key, once the Windows key is held
    if (!revertly::driver::FinishChord({VK_LWIN}, key)) {
        return std::nullopt;
    }
    const std::optional<double> arrived = watcher.WaitForChangeAfter(before, patience);
    if (!arrived || GetClipboardSequenceNumber() == sequence) {
        return std::nullopt;
    }
    return *arrived - pressed;
}

std::optional<double> HotkeyToClipboard(ChangeWatcher& watcher, WORD key,
                                        const std::wstring& expected) {
    const std::optional<double> elapsed = HotkeyToChange(watcher, key, kPatience);
    if (!elapsed || revertly::driver::ClipboardText() != expected) {
        return std::nullopt;
    }
    return elapsed;
}

// The platform's own work on the same data, as references.

HGLOBAL NewBlock(std::size_t size, const void* bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block != nullptr) {
        if (bytes != nullptr) {
            std::memcpy(GlobalLock(block), bytes, size);
        } else {
            std::memset(GlobalLock(block), 1, size);
        }
        GlobalUnlock(block);
    }
    return block;
}

// Opens the clipboard, retrying while another program (Wine's bridge to the X11 selection)
// holds it for a moment; the stopwatch starts with the attempt that succeeds.
bool OpenBriefly(HWND owner, std::optional<Stopwatch>& watch) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        watch.emplace();
        if (OpenClipboard(owner)) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

// The clipboard's own acceptance of ready-made blocks, text and `mebibytes` of the
// benchmark's format: open, empty, hand over, close.
double PlatformWrite(HWND owner, int mebibytes, const std::wstring& text) {
    HGLOBAL textBlock = NewBlock((text.size() + 1) * sizeof(wchar_t), text.c_str());
    HGLOBAL dataBlock =
        mebibytes > 0 ? NewBlock(static_cast<std::size_t>(mebibytes) << 20, nullptr) : nullptr;
    std::optional<Stopwatch> watch;
    if (!OpenBriefly(owner, watch)) {
        GlobalFree(textBlock);
        GlobalFree(dataBlock);
        return -1;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, textBlock)) {
        GlobalFree(textBlock);
    }
    if (dataBlock != nullptr && !SetClipboardData(SourceDataFormat(), dataBlock)) {
        GlobalFree(dataBlock);
    }
    CloseClipboard();
    return watch->Milliseconds();
}

// The clipboard's own delivery of the formats: each one's data handle and bytes, locked (the
// first and last byte touched), without copying them. Also the bytes seen.
double PlatformRead(std::initializer_list<UINT> formats, std::size_t& size) {
    size = 0;
    std::optional<Stopwatch> watch;
    if (!OpenBriefly(nullptr, watch)) {
        return -1;
    }
    for (const UINT format : formats) {
        if (HANDLE data = GetClipboardData(format)) {
            if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
                const std::size_t length = GlobalSize(data);
                sink = bytes[0] + bytes[length - 1];
                size += length;
                GlobalUnlock(data);
            }
        }
    }
    CloseClipboard();
    return watch->Milliseconds();
}

double FreshMemcpy(std::size_t size) {
    const std::vector<char> source(size, 1);
    const Stopwatch watch;
    const std::unique_ptr<char[]> target(new char[size]);
    std::memcpy(target.get(), source.data(), size);
    const double elapsed = watch.Milliseconds();
    sink = target[size - 1];
    return elapsed;
}

void PrintLine(const char* label, const std::vector<double>& samples) {
    std::printf("  %-62s %s\n", label, Describe(Summarize(samples), samples.size()).c_str());
}

}  // namespace revertly::bench
