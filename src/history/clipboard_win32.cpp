// The Windows clipboard, read whole into a state and written back whole, and how the main
// window hears of its changes (the format listener list, else the clipboard-viewer chain).
// Every Win32 call goes through Api().
#include "history/clipboard_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "common/last_error_win32.h"
#include "history/capture.h"
#include "history/clipboard_api_win32.h"

namespace revertly::history {
namespace {

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

// Opens the clipboard for one read or write, and closes it again (at the latest when it
// goes). One try only: other programs hold the clipboard for a few milliseconds at a time,
// and the window's thread must not sleep through that; the caller tries again from a timer.
// Always with the program's window: Wine lets a second open with no window take over an
// open with none, cutting a read short half-way, and Windows requires an owner window for
// the data that a write puts after EmptyClipboard.
class ClipboardSession {
  public:
    explicit ClipboardSession(HWND owner) : open_(Api().OpenClipboard(owner) != FALSE) {}
    ~ClipboardSession() { Close(); }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;

    bool IsOpen() const { return open_; }
    void Close() {
        if (std::exchange(open_, false)) {
            Api().CloseClipboard();
        }
    }

  private:
    bool open_ = false;
};

// How a format's data is held. Decided by the format's id before its handle is touched:
// for some formats GetClipboardData answers a GDI object, not a memory block, and handing
// that to the global-memory functions is reported to end the process on Windows 10 and 11.
enum class DataKind {
    MemoryBlock,
    // A small block holding the handle of a metafile, which the clipboard deletes when it
    // is emptied: each copy gets a metafile of its own.
    MetafilePicture,
    EnhancedMetafile,
    // Not kept. Windows lists a bitmap and a palette beside every device-independent
    // bitmap (kept: a memory block) and renders them from it again after a write. Owner
    // display has no data of its own; the private range holds whatever its owner chose and
    // is never freed by the system; the GDI range holds GDI objects.
    NotKept,
};

DataKind KindOf(UINT format) {
    switch (format) {
        case CF_METAFILEPICT:
        case CF_DSPMETAFILEPICT:
            return DataKind::MetafilePicture;
        case CF_ENHMETAFILE:
        case CF_DSPENHMETAFILE:
            return DataKind::EnhancedMetafile;
        case CF_BITMAP:
        case CF_PALETTE:
        case CF_DSPBITMAP:
        case CF_OWNERDISPLAY:
            return DataKind::NotKept;
        default:
            break;
    }
    static_assert(CF_PRIVATELAST + 1 == CF_GDIOBJFIRST);
    if (format >= CF_PRIVATEFIRST && format <= CF_GDIOBJLAST) {
        return DataKind::NotKept;
    }
    return DataKind::MemoryBlock;
}

// A fresh copy of one format's data, owned until it is given to a state or the clipboard.
struct FormatCopy {
    UniqueGlobal block;
    // The metafile that a metafile picture's block refers to.
    UniqueMetaFile metafile;
    UniqueEnhMetaFile enhanced;
    // A memory block's bytes, as a state keeps them.
    StoredData data;

    HANDLE handle() const { return enhanced ? static_cast<HANDLE>(enhanced.get()) : block.get(); }
    explicit operator bool() const { return handle() != nullptr || data; }
};

// A metafile picture's block with a private copy of its metafile. Empty when the source
// does not lock as a memory block or when memory runs out.
FormatCopy CopyMetafilePicture(HGLOBAL source) {
    const SIZE_T size = Api().GlobalSize(source);
    const GlobalLockGuard sourceBytes(source);
    if (!sourceBytes.bytes() || size < sizeof(METAFILEPICT)) {
        return {};
    }
    FormatCopy copy;
    METAFILEPICT picture;
    std::memcpy(&picture, sourceBytes.bytes(), sizeof picture);
    copy.metafile.reset(Api().CopyMetaFileW(picture.hMF, nullptr));
    if (!copy.metafile) {
        return {};
    }
    copy.block.reset(Api().GlobalAlloc(GMEM_MOVEABLE, size));
    const GlobalLockGuard copyBytes(copy.block.get());
    if (!copyBytes.bytes()) {
        return {};
    }
    std::memcpy(copyBytes.bytes(), sourceBytes.bytes(), size);
    static_cast<METAFILEPICT*>(copyBytes.bytes())->hMF = copy.metafile.get();
    return copy;
}

// The whole source block, GlobalSize bytes of it. Empty when the source does not lock as a
// memory block or when memory runs out.
StoredData ReadBytes(HGLOBAL source) {
    const SIZE_T size = Api().GlobalSize(source);
    const GlobalLockGuard sourceBytes(source);
    std::unique_ptr<Chunk> bytes = sourceBytes.bytes() ? Chunk::Allocate(size) : nullptr;
    if (!bytes) {
        return {};
    }
    std::memcpy(bytes->writable().data(), sourceBytes.bytes(), size);
    return {.head = {}, .body = std::move(bytes)};
}

// Empty for a format that is not kept, or whose data cannot be copied.
FormatCopy CopyFormatData(UINT format, HANDLE source) {
    const DataKind kind = KindOf(format);
    if (!source || kind == DataKind::NotKept) {
        return {};
    }
    FormatCopy copy;
    if (kind == DataKind::EnhancedMetafile) {
        copy.enhanced.reset(Api().CopyEnhMetaFileW(static_cast<HENHMETAFILE>(source), nullptr));
    } else if (kind == DataKind::MetafilePicture) {
        copy = CopyMetafilePicture(static_cast<HGLOBAL>(source));
    } else {
        copy.data = ReadBytes(static_cast<HGLOBAL>(source));
    }
    return copy;
}

// A fresh memory block that holds the bytes, inflated straight into it. Empty when memory
// runs out.
UniqueGlobal BlockOf(const StoredData& data) {
    UniqueGlobal block(Api().GlobalAlloc(GMEM_MOVEABLE, data.size()));
    const GlobalLockGuard bytes(block.get());
    if (!bytes.bytes() || !data.CopyTo({static_cast<std::byte*>(bytes.bytes()), data.size()})) {
        return {};
    }
    return block;
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

void ReleaseEnhancedMetafile(DataBlock::Handle handle) {
    FreeEnhMetaFile(reinterpret_cast<HENHMETAFILE>(handle));
}

// A metafile's copy, as a block of a state that releases all of it.
DataBlock KeepInState(FormatCopy copy) {
    if (copy.enhanced) {
        return DataBlock(reinterpret_cast<DataBlock::Handle>(copy.enhanced.release()),
                         &ReleaseEnhancedMetafile);
    }
    copy.metafile.release();  // the block's release deletes it
    return DataBlock(FromGlobal(copy.block.release()), &ReleaseMetafilePicture);
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

// The start of a text block as read, up to its first zero or the summary's length.
std::u16string TextStart(const StoredData& data) {
    const std::span<const std::byte> bytes = data.body->stored();
    std::u16string text(std::min(bytes.size() / sizeof(char16_t), kSummaryTextLength), u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
    return text.substr(0, text.find(u'\0'));
}

// The memory a copy takes: its bytes, or its block and the metafile it holds or is.
std::size_t StoredBytes(const FormatCopy& copy) {
    if (copy.data) {
        return copy.data.size();
    }
    if (copy.enhanced) {
        return Api().GetEnhMetaFileBits(copy.enhanced.get(), 0, nullptr);
    }
    std::size_t bytes = Api().GlobalSize(copy.block.get());
    if (copy.metafile) {
        bytes += Api().GetMetaFileBitsEx(copy.metafile.get(), 0, nullptr);
    }
    return bytes;
}

// The open clipboard, as the capture asks it for one format after another.
class OpenClipboardSource final : public FormatSource {
  public:
    void CopyFormat(std::int32_t formatId, ClipboardState& into) override {
        const auto format = static_cast<UINT>(formatId);
        FormatCopy copy = CopyFormatData(format, Api().GetClipboardData(format));
        if (!copy) {
            return;
        }
        if (format == CF_UNICODETEXT && copy.data) {
            into.summary.text = TextStart(copy.data);
        }
        NoteFormat(into.summary, formatId);
        ClipboardFormatData entry;
        entry.formatId = formatId;
        entry.formatName = FormatName(format);
        entry.storedBytes = StoredBytes(copy);
        entry.data = std::move(copy.data);
        if (!entry.data) {
            entry.block = KeepInState(std::move(copy));
        }
        into.entries.push_back(std::move(entry));
    }
    std::uint64_t Milliseconds() override { return Api().GetTickCount64(); }
};

// The formats the clipboard lists that a state keeps, in its order. Formats that are not kept
// are not even asked for: a synthesized bitmap would be rendered for nothing. Nothing when
// the list could not be read to its end: the clipboard was lost half-way.
std::optional<std::vector<std::int32_t>> KeptFormats() {
    std::vector<std::int32_t> kept;
    UINT format = 0;
    for (;;) {
        Api().SetLastError(ERROR_SUCCESS);
        format = Api().EnumClipboardFormats(format);
        if (format == 0) {
            break;
        }
        if (KindOf(format) != DataKind::NotKept) {
            kept.push_back(static_cast<std::int32_t>(format));
        }
    }
    if (Api().GetLastError() != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return kept;
}

// The format to put an entry's data as. A registered format is looked up again by its name,
// since its id may differ from the one it had when it was read. 0 when it cannot be had.
UINT FormatToPut(const ClipboardFormatData& entry) {
    if (entry.formatName.empty()) {
        return static_cast<UINT>(entry.formatId);
    }
    return Api().RegisterClipboardFormatW(
        std::wstring(entry.formatName.begin(), entry.formatName.end()).c_str());
}

// A fresh memory block that holds the head and then the body that an earlier block of the same
// write holds already (from its offset on): a picture's shared pixels are unpacked once.
UniqueGlobal BlockAfter(const StoredData& data, HGLOBAL earlier, std::size_t offset) {
    UniqueGlobal block(Api().GlobalAlloc(GMEM_MOVEABLE, data.size()));
    const GlobalLockGuard bytes(block.get());
    const GlobalLockGuard source(earlier);
    if (!bytes.bytes() || !source.bytes()) {
        return {};
    }
    auto* out = static_cast<std::byte*>(bytes.bytes());
    std::memcpy(out, data.head.data(), data.head.size());
    std::memcpy(out + data.head.size(), static_cast<const std::byte*>(source.bytes()) + offset,
                data.body->size());
    return block;
}

}  // namespace

// Fresh copies of every format of one state, made before the clipboard is opened: other
// programs are kept out of the clipboard only while the copies are handed over, not while
// they are unpacked. Kept while the clipboard is busy, so that each try hands over the
// same copies instead of unpacking the state again.
struct Win32Clipboard::PreparedWrite {
    // What the copies were made from, entry by entry: a later write of the same data finds
    // them ready.
    struct Source {
        std::int32_t format;
        const void* body;
        std::size_t head;
        DataBlock::Handle block;
        friend bool operator==(const Source&, const Source&) = default;
    };
    std::vector<Source> sources;
    std::vector<std::pair<UINT, FormatCopy>> copies;

    static std::vector<Source> SourcesOf(const ClipboardState& state) {
        std::vector<Source> sources;
        for (const ClipboardFormatData& entry : state.entries) {
            sources.push_back(
                {entry.formatId, entry.data.body.get(), entry.data.head.size(), entry.block.get()});
        }
        return sources;
    }

    // Nothing when a copy cannot be made: memory ran out, the data does not unpack, a
    // registered format cannot be had.
    static std::unique_ptr<PreparedWrite> Make(const ClipboardState& state) {
        auto prepared = std::make_unique<PreparedWrite>();
        prepared->sources = SourcesOf(state);
        const std::vector<ClipboardFormatData>& entries = state.entries;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const UINT format = FormatToPut(entries[i]);
            if (format == 0) {
                return nullptr;
            }
            const std::size_t earlier = EarlierWithBody(entries, i);
            FormatCopy copy;
            if (earlier < i) {
                copy.block =
                    BlockAfter(entries[i].data, prepared->copies[earlier].second.block.get(),
                               entries[earlier].data.head.size());
            } else if (entries[i].data) {
                copy.block = BlockOf(entries[i].data);
            } else {
                copy = CopyFormatData(format, reinterpret_cast<HANDLE>(entries[i].block.get()));
            }
            if (!copy.handle()) {
                return nullptr;
            }
            prepared->copies.emplace_back(format, std::move(copy));
        }
        return prepared;
    }

    // The first entry with the same body as entry i (i itself when none before it has).
    static std::size_t EarlierWithBody(const std::vector<ClipboardFormatData>& entries,
                                       std::size_t i) {
        for (std::size_t k = 0; k < i; ++k) {
            if (entries[i].data.body && entries[k].data.body == entries[i].data.body) {
                return k;
            }
        }
        return i;
    }
};

Win32Clipboard::Win32Clipboard(WindowHandle owner) : owner_(owner) {}
Win32Clipboard::~Win32Clipboard() = default;

int Win32Clipboard::CountClipboardFormats() {
    return Api().CountClipboardFormats();
}

ReadResult Win32Clipboard::ReadClipboardState() {
    ReadResult result;
    const ClipboardSession session(ToWindow(owner_));
    if (!session.IsOpen()) {
        result.outcome = ReadOutcome::FailedToOpen;
        return result;
    }
    // Nobody else can change the clipboard while it is open: this is the copy read.
    result.changeNumber = Api().GetClipboardSequenceNumber();
    if (IsExcludedFromHistory()) {
        result.outcome = ReadOutcome::Excluded;
        return result;
    }
    try {
        const std::optional<std::vector<std::int32_t>> kept = KeptFormats();
        if (!kept) {
            result.outcome = ReadOutcome::CutShort;
            return result;
        }
        OpenClipboardSource source;
        result.state = CaptureFormats(*kept, source);
        result.outcome = ReadOutcome::Read;
    } catch (const std::exception&) {
        // Out of memory while copying: nothing is kept of a copy read in part.
        result = {.outcome = ReadOutcome::CutShort, .state = {}};
    }
    return result;
}

// A state that cannot be made ready is not put back, and the clipboard keeps what it holds.
// A clipboard that cannot be emptied keeps it too. A format that the clipboard refuses after
// it was emptied fails the write, with the formats put so far left there.
WriteResult Win32Clipboard::WriteClipboardState(const ClipboardState& state) {
    WriteResult result{.outcome = WriteOutcome::Failed, .changeNumber = std::nullopt};
    try {
        if (!prepared_ || prepared_->sources != PreparedWrite::SourcesOf(state)) {
            prepared_.reset();  // another state's copies go before this one's are made
            prepared_ = PreparedWrite::Make(state);
        }
    } catch (const std::exception&) {
        prepared_.reset();  // out of memory
    }
    if (!prepared_) {
        return result;
    }
    ClipboardSession session(ToWindow(owner_));
    if (!session.IsOpen()) {
        return {};
    }
    // Handed over or not, the copies are not used again.
    const std::unique_ptr<PreparedWrite> prepared = std::move(prepared_);
    if (!Api().EmptyClipboard()) {
        return result;
    }
    bool all = true;
    for (auto& [format, copy] : prepared->copies) {
        // The clipboard owns the copy (and the metafile in it) only once the call succeeded;
        // after a failure the copy is still ours and is freed with the rest.
        if (Api().SetClipboardData(format, copy.handle())) {
            copy.block.release();
            copy.metafile.release();
            copy.enhanced.release();
        } else {
            all = false;
        }
    }
    // Closing changes the number under Wine, so it is read after the close. Another program
    // that wrote in the moment between would own the clipboard now: the number is then not
    // this write's.
    session.Close();
    result.outcome = all ? WriteOutcome::Written : WriteOutcome::Failed;
    const DWORD number = Api().GetClipboardSequenceNumber();
    if (Api().GetClipboardOwner() == ToWindow(owner_)) {
        result.changeNumber = number;
    }
    return result;
}

std::uint32_t Win32Clipboard::ClipboardChangeNumber() {
    return Api().GetClipboardSequenceNumber();
}

bool Win32ViewerPort::AddClipboardFormatListener(WindowHandle window) {
    return Api().AddClipboardFormatListener(ToWindow(window)) != FALSE;
}

void Win32ViewerPort::RemoveClipboardFormatListener(WindowHandle window) {
    Api().RemoveClipboardFormatListener(ToWindow(window));
}

WindowHandle Win32ViewerPort::SetClipboardViewer(WindowHandle window) {
    return FromWindow(Api().SetClipboardViewer(ToWindow(window)));
}

void Win32ViewerPort::ChangeClipboardChain(WindowHandle window, WindowHandle next) {
    Api().ChangeClipboardChain(ToWindow(window), ToWindow(next));
}

}  // namespace revertly::history
