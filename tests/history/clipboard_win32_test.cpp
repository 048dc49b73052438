// The clipboard adapter against the real clipboard, global memory and viewer chain.
#include "history/clipboard_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "history/clipboard_api_win32.h"
#include "history/packing.h"
#include "support/api_override.h"
#include "support/child_process.h"
#include "support/wait_until.h"

namespace revertly::history {
namespace {

using Bytes = std::string;
// A standard format whose data is a memory block and from which Windows synthesizes nothing.
constexpr UINT kPlain = CF_RIFF;

// Polls up to a deadline with the message loop running: a starting Wine process sends
// messages to our windows and would otherwise stall for seconds.
template <typename Condition>
bool WaitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (MSG message; !done(); MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT)) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

LRESULT CALLBACK CountNotifications(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWCLIPBOARD || message == WM_CLIPBOARDUPDATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA, GetWindowLongPtrW(window, GWLP_USERDATA) + 1);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window that counts the clipboard-change notifications it gets, from the
// viewer chain or the listener list.
struct TestWindow {
    TestWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = CountNotifications;
        windowClass.lpszClassName = L"RevertlyClipboardTest";
        RegisterClassW(&windowClass);
        hwnd = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                               nullptr, nullptr);
    }
    ~TestWindow() { DestroyWindow(hwnd); }
    WindowHandle handle() const { return reinterpret_cast<WindowHandle>(hwnd); }
    LONG_PTR Notifications() const { return GetWindowLongPtrW(hwnd, GWLP_USERDATA); }
    HWND hwnd;
};

Bytes BlockBytes(HANDLE block) {
    const auto* bytes = static_cast<const char*>(block ? GlobalLock(block) : nullptr);
    if (!bytes) {
        return {};
    }
    Bytes copy(bytes, GlobalSize(block));
    GlobalUnlock(block);
    return copy;
}
Bytes DataBytes(const StoredData& data) {
    Bytes bytes(data.size(), '\0');
    EXPECT_TRUE(data.CopyTo(std::as_writable_bytes(std::span(bytes.data(), bytes.size()))));
    return bytes;
}

template <typename T>
Bytes BytesOf(const T& value) {
    return Bytes(reinterpret_cast<const char*>(&value), sizeof value);
}

// A format without bytes is promised for rendering on request, which the owner (a test
// window) never does: GetClipboardData answers NULL for it.
void SetClipboard(HWND owner, const std::vector<std::pair<UINT, std::optional<Bytes>>>& formats) {
    ASSERT_TRUE(WaitFor([&] { return OpenClipboard(owner) != FALSE; }));
    EmptyClipboard();
    for (const auto& [format, bytes] : formats) {
        if (!bytes) {
            SetClipboardData(format, nullptr);
            continue;
        }
        const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes->size());
        std::memcpy(GlobalLock(block), bytes->data(), bytes->size());
        GlobalUnlock(block);
        SetClipboardData(format, block);
    }
    CloseClipboard();
}

struct Listed {
    UINT format;
    HANDLE handle;
    Bytes bytes;  // empty when the handle is not a memory block
};

std::vector<Listed> ListClipboard() {
    std::vector<Listed> listed;
    EXPECT_TRUE(WaitFor([] { return OpenClipboard(nullptr) != FALSE; }));
    for (UINT format = EnumClipboardFormats(0); format != 0;
         format = EnumClipboardFormats(format)) {
        const HANDLE handle = GetClipboardData(format);
        listed.push_back({format, handle, BlockBytes(handle)});
    }
    CloseClipboard();
    return listed;
}

template <typename Entries>
std::vector<UINT> FormatsOf(const Entries& entries, UINT without = 0) {
    std::vector<UINT> formats;
    for (const auto& entry : entries) {
        if (static_cast<UINT>(entry.format) != without) {
            formats.push_back(static_cast<UINT>(entry.format));
        }
    }
    return formats;
}
std::vector<UINT> FormatsOf(const ClipboardState& state) {
    std::vector<UINT> formats;
    for (const auto& entry : state.entries) {
        formats.push_back(static_cast<UINT>(entry.formatId));
    }
    return formats;
}

Bytes MetafileBits(HMETAFILE metafile) {
    Bytes bits(GetMetaFileBitsEx(metafile, 0, nullptr), '\0');
    GetMetaFileBitsEx(metafile, static_cast<UINT>(bits.size()), bits.data());
    return bits;
}

// clipboard_holder.exe from beside this executable, holding the clipboard open until it is
// let go or its time is up.
class ClipboardHolder {
  public:
    explicit ClipboardHolder(DWORD holdMs) {
        const std::wstring name = L"RevertlyHolder" + std::to_wstring(GetCurrentProcessId());
        held_.reset(CreateEventW(nullptr, TRUE, FALSE, (name + L".held").c_str()));
        release_.reset(CreateEventW(nullptr, TRUE, FALSE, (name + L".release").c_str()));
        wchar_t self[MAX_PATH];
        std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
        path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"" CLIPBOARD_HOLDER_EXE;
        process_.Start(path, name + L" " + std::to_wstring(holdMs));
    }
    ~ClipboardHolder() {
        SetEvent(release_.get());
        process_.WaitForExit(std::chrono::seconds(10));
    }
    bool Holds() const {
        return process_.Started() &&
               WaitFor([&] { return WaitForSingleObject(held_.get(), 0) == WAIT_OBJECT_0; });
    }

  private:
    UniqueKernelHandle held_;
    UniqueKernelHandle release_;
    testing::ChildProcess process_;
};

// Stand-ins put into the seam by the tests, and what they saw.
int textReads = 0;
bool openedDuringRead = false;
HANDLE refusedBlock = nullptr;
std::vector<HGLOBAL> freedBlocks;

HANDLE WINAPI CountingTextReads(UINT format) {
    textReads += format == CF_UNICODETEXT;
    return GetClipboardData(format);
}
LPVOID WINAPI LockExcept777(HGLOBAL block) {
    return GlobalSize(block) == 777 ? nullptr : GlobalLock(block);
}
HANDLE WINAPI RefusePlain(UINT format, HANDLE block) {
    if (format != kPlain) {
        return SetClipboardData(format, block);
    }
    refusedBlock = block;
    return nullptr;
}
HANDLE WINAPI GetDataWhileAnotherOpens(UINT format) {
    std::thread([] {
        if (OpenClipboard(nullptr)) {
            openedDuringRead = true;
            CloseClipboard();
        }
    }).join();
    return GetClipboardData(format);
}
HGLOBAL WINAPI RecordingFree(HGLOBAL block) {
    freedBlocks.push_back(block);
    return GlobalFree(block);
}
int largeAllocs = 0;
bool refuseLarge = false;
HGLOBAL WINAPI CountingLargeAllocs(UINT flags, SIZE_T size) {
    largeAllocs += size >= (64 << 10);
    return refuseLarge && size >= (64 << 10) ? nullptr : GlobalAlloc(flags, size);
}
BOOL WINAPI RefuseEmpty() {
    return FALSE;
}

class Win32ClipboardTest : public ::testing::Test {
  protected:
    void SetUp() override { SetClipboard(owner_.hwnd, {}); }
    void TearDown() override { SetClipboard(owner_.hwnd, {}); }
    void SetTextRegisteredAndPlain(const Bytes& plainBytes) {
        SetClipboard(owner_.hwnd, {{CF_UNICODETEXT, BytesOf(L"hello")},
                                   {registered_, "registered bytes"},
                                   {kPlain, plainBytes}});
    }

    const testing::ApiOverride<Win32Api> seam_{Api()};
    TestWindow owner_;
    Win32Clipboard clipboard_{owner_.handle()};
    const UINT registered_ = RegisterClipboardFormatW(L"Revertly.Test.Registered");
};

TEST_F(Win32ClipboardTest, ReadsTheWholeClipboardAndWritesFreshCopiesBack) {
    SetTextRegisteredAndPlain(Bytes(64 << 10, 'p'));
    const std::vector<Listed> listed = ListClipboard();
    ReadResult read = clipboard_.ReadClipboardState();
    ASSERT_EQ(read.outcome, ReadOutcome::Read);
    ASSERT_EQ(FormatsOf(read.state), FormatsOf(listed));
    ASSERT_GE(listed.size(), 3u);
    std::vector<Bytes> stored;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        ClipboardFormatData& entry = read.state.entries[i];
        const bool named = listed[i].format == registered_;
        EXPECT_EQ(entry.formatName, named ? u"Revertly.Test.Registered" : u"") << i;
        stored.push_back(DataBytes(entry.data));
        EXPECT_EQ(stored[i], listed[i].bytes) << i;
        // The write looks a registered format up by its name; a stale id does not matter.
        entry.formatId = named ? kPlain : entry.formatId;
    }
    for (int write = 1; write <= 2; ++write) {
        // The second write inflates the large block straight into the block it puts.
        if (write == 2) {
            ASSERT_TRUE(ApplyPacking(RunPacking(MakePackingJob(read.state)), read.state));
        }
        SetClipboard(owner_.hwnd, {});
        const WriteResult result = clipboard_.WriteClipboardState(read.state);
        ASSERT_EQ(result.outcome, WriteOutcome::Written);
        EXPECT_EQ(result.changeNumber, GetClipboardSequenceNumber());
        EXPECT_EQ(clipboard_.ClipboardChangeNumber(), GetClipboardSequenceNumber());
        const std::vector<Listed> written = ListClipboard();
        ASSERT_EQ(FormatsOf(written), FormatsOf(listed)) << write;
        for (std::size_t i = 0; i < written.size(); ++i) {
            EXPECT_EQ(written[i].bytes, stored[i]) << i;
            EXPECT_EQ(DataBytes(read.state.entries[i].data), stored[i]) << i;
        }
    }
}

// Held by another program: a read and a write answer at once, touching nothing, so that the
// window's thread never waits; the program tries again from a timer.
TEST_F(Win32ClipboardTest, BusyClipboardIsAnsweredAtOnce) {
    SetClipboard(owner_.hwnd, {{kPlain, "kept"}});
    const ReadResult kept = clipboard_.ReadClipboardState();
    const ClipboardHolder holder(10000);
    ASSERT_TRUE(holder.Holds());
    EXPECT_EQ(clipboard_.ReadClipboardState().outcome, ReadOutcome::FailedToOpen);
    const DWORD before = GetClipboardSequenceNumber();
    EXPECT_EQ(clipboard_.WriteClipboardState(kept.state).outcome, WriteOutcome::Busy);
    EXPECT_EQ(GetClipboardSequenceNumber(), before);
}

// A state that cannot be put back whole says so. Its copies are made before the clipboard is
// opened, so when one cannot be made (memory runs out) the clipboard keeps what it held, as
// it does when it cannot be emptied. They are made once: the tries of a busy clipboard hand
// over the same copies.
TEST_F(Win32ClipboardTest, AWriteThatCannotPutTheStateBackSaysSoAndLeavesTheClipboard) {
    SetTextRegisteredAndPlain(Bytes(64 << 10, 'p'));
    const ReadResult read = clipboard_.ReadClipboardState();
    SetClipboard(owner_.hwnd, {{kPlain, "before"}});
    const DWORD before = GetClipboardSequenceNumber();
    seam_->GlobalAlloc = CountingLargeAllocs;
    refuseLarge = true;
    EXPECT_EQ(clipboard_.WriteClipboardState(read.state).outcome, WriteOutcome::Failed);
    refuseLarge = false;
    seam_->EmptyClipboard = RefuseEmpty;
    EXPECT_EQ(clipboard_.WriteClipboardState(read.state).outcome, WriteOutcome::Failed);
    EXPECT_EQ(GetClipboardSequenceNumber(), before);
    EXPECT_EQ(ListClipboard().at(0).bytes, "before");

    seam_->EmptyClipboard = seam_.Saved().EmptyClipboard;
    largeAllocs = 0;
    {
        const ClipboardHolder holder(10000);
        ASSERT_TRUE(holder.Holds());
        EXPECT_EQ(clipboard_.WriteClipboardState(read.state).outcome, WriteOutcome::Busy);
        EXPECT_EQ(clipboard_.WriteClipboardState(read.state).outcome, WriteOutcome::Busy);
    }
    ASSERT_TRUE(WaitFor(
        [&] { return clipboard_.WriteClipboardState(read.state).outcome != WriteOutcome::Busy; }));
    EXPECT_EQ(largeAllocs, 1) << "the state was made ready more than once";
    EXPECT_EQ(FormatsOf(ListClipboard()), FormatsOf(read.state));
}

// Wine lets an open with no window take over another open with none (Windows refuses it),
// which cut the program's reads short half-way: a read opens with the program's window.
TEST_F(Win32ClipboardTest, NoOtherOpenCutsAReadShort) {
    SetTextRegisteredAndPlain("private bytes");
    const std::vector<UINT> listed = FormatsOf(ListClipboard());
    seam_->GetClipboardData = GetDataWhileAnotherOpens;
    EXPECT_EQ(FormatsOf(clipboard_.ReadClipboardState().state), listed);
    EXPECT_FALSE(openedDuringRead) << "another open took the clipboard over";
}

TEST_F(Win32ClipboardTest, FormatThatCannotBeCopiedIsLeftOutWithoutLeaking) {
    // No data at all, listed before the others: left out, and the others are still read.
    SetClipboard(owner_.hwnd, {{kPlain, std::nullopt}, {registered_, "registered bytes"}});
    const std::vector<Listed> promised = ListClipboard();
    ASSERT_EQ(FormatsOf(promised), (std::vector<UINT>{kPlain, registered_}));
    ASSERT_EQ(promised[0].handle, nullptr);
    EXPECT_EQ(FormatsOf(clipboard_.ReadClipboardState().state), std::vector<UINT>{registered_});

    SetTextRegisteredAndPlain(Bytes(777, 'p'));
    const std::vector<UINT> others = FormatsOf(ListClipboard(), kPlain);
    seam_->GlobalLock = LockExcept777;
    EXPECT_EQ(FormatsOf(clipboard_.ReadClipboardState().state), others);

    seam_->GlobalLock = seam_.Saved().GlobalLock;
    const ReadResult read = clipboard_.ReadClipboardState();
    seam_->SetClipboardData = RefusePlain;
    seam_->GlobalFree = RecordingFree;
    ASSERT_EQ(clipboard_.WriteClipboardState(read.state).outcome, WriteOutcome::Failed);
    EXPECT_EQ(FormatsOf(ListClipboard()), others);
    ASSERT_NE(refusedBlock, nullptr);
    EXPECT_EQ(freedBlocks, std::vector<HGLOBAL>{refusedBlock});
}

TEST_F(Win32ClipboardTest, ViewerPortJoinsAheadOfEarlierViewersAndLeaves) {
    const TestWindow earlier;
    const TestWindow ours;
    Win32ViewerPort port;
    const WindowHandle head = port.SetClipboardViewer(earlier.handle());
    EXPECT_EQ(port.SetClipboardViewer(ours.handle()), earlier.handle());

    // Our window does not pass notifications on, so the earlier viewer hears nothing.
    const LONG_PTR oursBefore = ours.Notifications();
    const LONG_PTR earlierBefore = earlier.Notifications();
    SetClipboard(owner_.hwnd, {{kPlain, "first"}});
    EXPECT_TRUE(WaitFor([&] { return ours.Notifications() > oursBefore; }));
    EXPECT_EQ(earlier.Notifications(), earlierBefore);

    port.ChangeClipboardChain(ours.handle(), earlier.handle());
    const LONG_PTR oursAfterLeaving = ours.Notifications();
    SetClipboard(owner_.hwnd, {{kPlain, "second"}});
    EXPECT_TRUE(WaitFor([&] { return earlier.Notifications() > earlierBefore; }));
    EXPECT_EQ(ours.Notifications(), oursAfterLeaving);
    port.ChangeClipboardChain(earlier.handle(), head);
}

TEST_F(Win32ClipboardTest, ListenerHearsOfEveryChangeUntilItIsRemoved) {
    const TestWindow listener;
    Win32ViewerPort port;
    ASSERT_TRUE(port.AddClipboardFormatListener(listener.handle()));
    SetClipboard(owner_.hwnd, {{kPlain, "first"}});
    SetClipboard(owner_.hwnd, {{kPlain, "second"}});
    EXPECT_TRUE(WaitFor([&] { return listener.Notifications() == 2; }));
    port.RemoveClipboardFormatListener(listener.handle());
    SetClipboard(owner_.hwnd, {{kPlain, "third"}});
    testing::PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(listener.Notifications(), 2);
}

TEST_F(Win32ClipboardTest, MetafilePictureOutlivesTheClipboardItCameFrom) {
    const HDC recorder = CreateMetaFileW(nullptr);
    Rectangle(recorder, 10, 10, 100, 60);
    const HMETAFILE original = CloseMetaFile(recorder);
    const Bytes originalBits = MetafileBits(original);
    const METAFILEPICT picture{MM_ANISOTROPIC, 1000, 500, original};
    SetClipboard(owner_.hwnd, {{CF_METAFILEPICT, BytesOf(picture)}});

    // The enhanced metafile that the clipboard offers beside it is kept too.
    const ReadResult read = clipboard_.ReadClipboardState();
    EXPECT_EQ(FormatsOf(read.state), (std::vector<UINT>{CF_METAFILEPICT, CF_ENHMETAFILE}));
    SetClipboard(owner_.hwnd, {});
    ASSERT_EQ(GetMetaFileBitsEx(original, 0, nullptr), 0u) << "emptying deletes the original";

    for (int write = 1; write <= 2; ++write) {
        ASSERT_EQ(clipboard_.WriteClipboardState(read.state).outcome, WriteOutcome::Written);
        const std::vector<Listed> listed = ListClipboard();
        ASSERT_FALSE(listed.empty());
        ASSERT_EQ(listed[0].bytes.size(), sizeof(METAFILEPICT));
        METAFILEPICT restored;
        std::memcpy(&restored, listed[0].bytes.data(), sizeof restored);
        EXPECT_EQ(restored.xExt, 1000);
        EXPECT_EQ(MetafileBits(restored.hMF), originalBits) << write;
        SetClipboard(owner_.hwnd, {});
    }
}

// The handles that capture got or made for data that is not a memory block, and whether any
// of them reached the global-memory functions.
std::vector<HANDLE> graphicsHandles;
bool graphicsHandleTreatedAsMemory = false;

bool IsGraphicsFormat(UINT format) {
    return format == CF_BITMAP || format == CF_PALETTE || format == CF_ENHMETAFILE ||
           format == CF_DSPBITMAP || format == CF_DSPENHMETAFILE ||
           (format >= CF_PRIVATEFIRST && format <= CF_GDIOBJLAST);
}
void CheckMemoryHandle(HANDLE handle) {
    if (std::find(graphicsHandles.begin(), graphicsHandles.end(), handle) !=
        graphicsHandles.end()) {
        graphicsHandleTreatedAsMemory = true;
    }
}
HANDLE WINAPI NotingGetData(UINT format) {
    const HANDLE data = GetClipboardData(format);
    if (IsGraphicsFormat(format)) {
        graphicsHandles.push_back(data);
    }
    return data;
}
HANDLE WINAPI NotingSetData(UINT format, HANDLE data) {
    if (IsGraphicsFormat(format)) {
        graphicsHandles.push_back(data);
    }
    return SetClipboardData(format, data);
}
HENHMETAFILE WINAPI NotingCopyEnhMetaFile(HENHMETAFILE source, LPCWSTR file) {
    const HENHMETAFILE copy = CopyEnhMetaFileW(source, file);
    graphicsHandles.push_back(copy);
    return copy;
}
SIZE_T WINAPI CheckedGlobalSize(HGLOBAL block) {
    CheckMemoryHandle(block);
    return GlobalSize(block);
}
LPVOID WINAPI CheckedGlobalLock(HGLOBAL block) {
    CheckMemoryHandle(block);
    return GlobalLock(block);
}
HGLOBAL WINAPI CheckedGlobalFree(HGLOBAL block) {
    CheckMemoryHandle(block);
    return GlobalFree(block);
}

// A picture as programs copy one: a bitmap handle (Windows offers the device-independent
// bitmaps beside it), a palette, an enhanced metafile and a private format's handle. The
// device-independent bitmaps and the enhanced metafile are kept; Windows renders the bitmap
// again after a write; nothing that is not a memory block reaches the global-memory functions.
TEST_F(Win32ClipboardTest, GraphicsHandlesAreKeptAsTheyAreOrLeftToWindows) {
    const DWORD pixels[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};
    const HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, pixels);
    LOGPALETTE palette{0x300, 1, {{10, 20, 30, 0}}};
    const HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    Ellipse(recorder, 5, 5, 80, 40);
    const HENHMETAFILE original = CloseEnhMetaFile(recorder);
    Bytes originalBits(GetEnhMetaFileBits(original, 0, nullptr), '\0');
    GetEnhMetaFileBits(original, static_cast<UINT>(originalBits.size()),
                       reinterpret_cast<BYTE*>(originalBits.data()));
    ASSERT_TRUE(WaitFor([&] { return OpenClipboard(owner_.hwnd) != FALSE; }));
    EmptyClipboard();
    ASSERT_NE(SetClipboardData(CF_BITMAP, bitmap), nullptr);
    ASSERT_NE(SetClipboardData(CF_PALETTE, CreatePalette(&palette)), nullptr);
    ASSERT_NE(SetClipboardData(CF_ENHMETAFILE, original), nullptr);
    SetClipboardData(CF_PRIVATEFIRST, bitmap);
    CloseClipboard();
    std::vector<Listed> listed = ListClipboard();
    for (const Listed& format : listed) {
        if (IsGraphicsFormat(format.format)) {
            graphicsHandles.push_back(format.handle);
        }
    }
    const auto dib = std::find_if(listed.begin(), listed.end(),
                                  [](const Listed& format) { return format.format == CF_DIB; });
    ASSERT_NE(dib, listed.end());
    const Bytes dibBytes = dib->bytes;

    seam_->GetClipboardData = NotingGetData;
    seam_->SetClipboardData = NotingSetData;
    seam_->CopyEnhMetaFileW = NotingCopyEnhMetaFile;
    seam_->GlobalSize = CheckedGlobalSize;
    seam_->GlobalLock = CheckedGlobalLock;
    seam_->GlobalFree = CheckedGlobalFree;
    std::optional<ReadResult> read = clipboard_.ReadClipboardState();
    std::vector<UINT> kept = FormatsOf(read->state);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<UINT>{CF_METAFILEPICT, CF_DIB, CF_ENHMETAFILE, CF_DIBV5}));

    SetClipboard(owner_.hwnd, {});
    ASSERT_EQ(clipboard_.WriteClipboardState(read->state).outcome, WriteOutcome::Written);
    read.reset();  // releases the state's copies
    EXPECT_FALSE(graphicsHandleTreatedAsMemory);

    listed = ListClipboard();
    const std::vector<UINT> formats = FormatsOf(listed);
    EXPECT_NE(std::find(formats.begin(), formats.end(), CF_BITMAP), formats.end())
        << "Windows renders no bitmap from the device-independent one";
    for (const Listed& format : listed) {
        if (format.format == CF_DIB) {
            EXPECT_EQ(format.bytes, dibBytes);
        }
        if (format.format == CF_ENHMETAFILE) {
            const auto metafile = static_cast<HENHMETAFILE>(format.handle);
            Bytes bits(GetEnhMetaFileBits(metafile, 0, nullptr), '\0');
            GetEnhMetaFileBits(metafile, static_cast<UINT>(bits.size()),
                               reinterpret_cast<BYTE*>(bits.data()));
            EXPECT_EQ(bits, originalBits);
        }
    }
}

TEST_F(Win32ClipboardTest, ClipboardMarkedAsSecretIsNotCopied) {
    const struct {
        const wchar_t* marker;
        DWORD value;
        ReadOutcome expected;
    } cases[] = {
        {L"ExcludeClipboardContentFromMonitorProcessing", 1, ReadOutcome::Excluded},
        {L"Clipboard Viewer Ignore", 1, ReadOutcome::Excluded},
        {L"CanIncludeInClipboardHistory", 0, ReadOutcome::Excluded},
        {L"CanIncludeInClipboardHistory", 1, ReadOutcome::Read},
    };
    seam_->GetClipboardData = CountingTextReads;
    for (const auto& c : cases) {
        // The marker comes last: nothing before it may be copied either.
        SetClipboard(owner_.hwnd, {{CF_UNICODETEXT, BytesOf(L"secret")},
                                   {RegisterClipboardFormatW(c.marker), BytesOf(c.value)}});
        textReads = 0;
        const ReadResult read = clipboard_.ReadClipboardState();
        const bool copied = c.expected == ReadOutcome::Read;
        EXPECT_EQ(read.outcome, c.expected) << c.marker << " " << c.value;
        EXPECT_EQ(read.state.entries.size(), copied ? ListClipboard().size() : 0u) << c.marker;
        EXPECT_EQ(textReads > 0, copied) << c.marker << " " << c.value;
    }
}

}  // namespace
}  // namespace revertly::history
