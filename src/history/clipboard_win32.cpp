// The Windows clipboard, read whole into a state and written back whole, and the main
// window's place in the clipboard-viewer chain. Every Win32 call goes through Api().
#include "history/clipboard_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "common/last_error_win32.h"
#include "history/clipboard_api_win32.h"

namespace revertly::history {
namespace {

// Other programs (and Wine's bridge to the X11 selection) hold the clipboard open for a few
// milliseconds at a time. Eight tries with seven pauses of 10 ms get past them and keep the
// user-interface thread waiting well under 200 ms, also where a pause lasts a whole 15.6 ms
// tick of the system clock.
constexpr int kOpenAttempts = 8;
constexpr DWORD kRetryPauseMs = 10;

constexpr UINT kFirstRegisteredFormat = 0xC000;
constexpr int kFormatNameLimit = 255;

// Markers with which programs that copy secrets (password managers) ask clipboard
// histories to keep their data out.
constexpr wchar_t kExcludeMarker[] = L"ExcludeClipboardContentFromMonitorProcessing";
constexpr wchar_t kViewerIgnoreMarker[] = L"Clipboard Viewer Ignore";
constexpr wchar_t kHistoryPermission[] = L"CanIncludeInClipboardHistory";

HGLOBAL ToGlobal(DataBlock::Handle handle) {
    return reinterpret_cast<HGLOBAL>(handle);
}
DataBlock::Handle FromGlobal(HGLOBAL block) {
    return reinterpret_cast<DataBlock::Handle>(block);
}
HWND ToWindow(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}
WindowHandle FromWindow(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

// Opens the clipboard for one read or write, with a few quick retries, and closes it again.
class ClipboardSession {
  public:
    explicit ClipboardSession(HWND owner) {
        for (int attempt = 1; !open_ && attempt <= kOpenAttempts; ++attempt) {
            if (attempt > 1) {
                Api().Sleep(kRetryPauseMs);
            }
            open_ = Api().OpenClipboard(owner) != FALSE;
        }
    }
    ~ClipboardSession() {
        if (open_) {
            Api().CloseClipboard();
        }
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;

    bool IsOpen() const { return open_; }

  private:
    bool open_ = false;
};

// A metafile picture is a small block that holds the handle of a metafile, which the
// clipboard deletes when it is emptied. A byte copy of the block would keep a dead handle,
// so each copy gets a metafile of its own.
bool IsMetafilePicture(UINT format) {
    return format == CF_METAFILEPICT || format == CF_DSPMETAFILEPICT;
}

// A fresh copy of one format's data and, for a metafile picture, the metafile it refers to.
struct FormatCopy {
    UniqueGlobal block;
    UniqueMetaFile metafile;
};

// Copies the whole source block, GlobalSize bytes of it. Empty when the source does not
// lock as a memory block (the graphics handles of bitmaps, palettes and enhanced
// metafiles) or when memory runs out.
FormatCopy CopyFormatData(UINT format, HGLOBAL source) {
    if (!source) {
        return {};
    }
    const SIZE_T size = Api().GlobalSize(source);
    const GlobalLockGuard sourceBytes(source);
    if (!sourceBytes.bytes()) {
        return {};
    }
    FormatCopy copy;
    if (IsMetafilePicture(format)) {
        if (size < sizeof(METAFILEPICT)) {
            return {};
        }
        METAFILEPICT picture;
        std::memcpy(&picture, sourceBytes.bytes(), sizeof picture);
        copy.metafile.reset(Api().CopyMetaFileW(picture.hMF, nullptr));
        if (!copy.metafile) {
            return {};
        }
    }
    copy.block.reset(Api().GlobalAlloc(GMEM_MOVEABLE, size));
    const GlobalLockGuard copyBytes(copy.block.get());
    if (!copyBytes.bytes()) {
        return {};
    }
    std::memcpy(copyBytes.bytes(), sourceBytes.bytes(), size);
    if (copy.metafile) {
        static_cast<METAFILEPICT*>(copyBytes.bytes())->hMF = copy.metafile.get();
    }
    return copy;
}

void ReleaseBlock(DataBlock::Handle handle) {
    FreeGlobal(ToGlobal(handle));
}

void ReleaseMetafilePicture(DataBlock::Handle handle) {
    const LastErrorContext keepError;
    {
        const UniqueGlobal block(ToGlobal(handle));
        const GlobalLockGuard bytes(block.get());
        if (bytes.bytes()) {
            FreeMetaFile(static_cast<const METAFILEPICT*>(bytes.bytes())->hMF);
        }
    }
}

std::u16string FormatName(UINT format) {
    if (format < kFirstRegisteredFormat) {
        return {};
    }
    wchar_t buffer[kFormatNameLimit];
    const int length = Api().GetClipboardFormatNameW(format, buffer, kFormatNameLimit);
    return std::u16string(buffer, buffer + std::clamp(length, 0, kFormatNameLimit));
}

bool HoldsZero(UINT format) {
    const HGLOBAL data = Api().GetClipboardData(format);
    DWORD value = 1;
    if (data && Api().GlobalSize(data) >= sizeof value) {
        const GlobalLockGuard bytes(data);
        if (bytes.bytes()) {
            std::memcpy(&value, bytes.bytes(), sizeof value);
        }
    }
    return value == 0;
}

// Looks through the whole list before anything is copied, so that a secret's data never
// reaches the history. A marker that cannot be registered has id 0, which no listed
// format has.
bool IsExcludedFromHistory() {
    const UINT exclude = Api().RegisterClipboardFormatW(kExcludeMarker);
    const UINT viewerIgnore = Api().RegisterClipboardFormatW(kViewerIgnoreMarker);
    const UINT permission = Api().RegisterClipboardFormatW(kHistoryPermission);
    for (UINT format = Api().EnumClipboardFormats(0); format != 0;
         format = Api().EnumClipboardFormats(format)) {
        if (format == exclude || format == viewerIgnore ||
            (format == permission && HoldsZero(format))) {
            return true;
        }
    }
    return false;
}

void CopyAllFormats(ClipboardState& state) {
    for (UINT format = Api().EnumClipboardFormats(0); format != 0;
         format = Api().EnumClipboardFormats(format)) {
        FormatCopy copy = CopyFormatData(format, Api().GetClipboardData(format));
        if (!copy.block) {
            continue;
        }
        ClipboardFormatData entry;
        entry.formatId = static_cast<std::int32_t>(format);
        entry.formatName = FormatName(format);
        entry.block = DataBlock(FromGlobal(copy.block.release()),
                                copy.metafile ? &ReleaseMetafilePicture : &ReleaseBlock);
        copy.metafile.release();
        state.entries.push_back(std::move(entry));
    }
}

// Puts a fresh copy of the entry on the clipboard. A registered format is looked up again
// by its name, since its id may differ from the one it had when it was read.
void PutFormatData(const ClipboardFormatData& entry) {
    if (!entry.block) {
        return;
    }
    const UINT format =
        entry.formatName.empty()
            ? static_cast<UINT>(entry.formatId)
            : Api().RegisterClipboardFormatW(
                  std::wstring(entry.formatName.begin(), entry.formatName.end()).c_str());
    if (format == 0) {
        return;
    }
    FormatCopy copy = CopyFormatData(format, ToGlobal(entry.block.get()));
    if (!copy.block) {
        return;
    }
    // The clipboard owns the block (and the metafile in it) only once the call succeeded;
    // after a failure the copy is still ours and is freed here.
    if (Api().SetClipboardData(format, copy.block.get())) {
        copy.block.release();
        copy.metafile.release();
    }
}

}  // namespace

int Win32Clipboard::CountClipboardFormats() {
    return Api().CountClipboardFormats();
}

ReadResult Win32Clipboard::ReadClipboardState() {
    ReadResult result;
    const ClipboardSession session(nullptr);
    if (!session.IsOpen()) {
        result.outcome = ReadOutcome::FailedToOpen;
        return result;
    }
    if (IsExcludedFromHistory()) {
        result.outcome = ReadOutcome::Excluded;
        return result;
    }
    result.outcome = ReadOutcome::Read;
    try {
        CopyAllFormats(result.state);
    } catch (const std::exception&) {
        // Out of memory: the formats copied so far make the state.
    }
    return result;
}

bool Win32Clipboard::WriteClipboardState(const ClipboardState& state, bool& ignoreNextChange) {
    const ClipboardSession session(ToWindow(owner_));
    if (!session.IsOpen()) {
        return false;
    }
    // The change notification that this write causes arrives while the clipboard is being
    // closed, on this thread: the flag must be set before the clipboard changes at all.
    ignoreNextChange = true;
    Api().EmptyClipboard();
    try {
        for (const ClipboardFormatData& entry : state.entries) {
            PutFormatData(entry);
        }
    } catch (const std::exception&) {
        // Out of memory: the formats put so far stay on the clipboard.
    }
    return true;
}

WindowHandle Win32ViewerPort::SetClipboardViewer(WindowHandle window) {
    return FromWindow(Api().SetClipboardViewer(ToWindow(window)));
}

void Win32ViewerPort::ChangeClipboardChain(WindowHandle window, WindowHandle next) {
    Api().ChangeClipboardChain(ToWindow(window), ToWindow(next));
}

}  // namespace revertly::history
