#include "e2e/clipboard.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>

#include "support/wait_until.h"

namespace revertly::driver {

namespace {

using testing::WaitUntil;

// The driver's window for the clipboard, on the thread that runs the tests, which handles
// messages whenever it waits. Opened with no window, the clipboard is one that Wine lets
// another windowless open take over half-way (Windows refuses it), and that Windows, once
// emptied, leaves without an owner to take data.
HWND ClipboardWindow() {
    static const UniqueWindow window(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    return window.get();
}

// The clipboard opened with the driver's window for one read or write, and closed again.
// Another program (the one under test, or Wine's own clipboard bridge) may hold it for a
// moment.
class OpenedClipboard {
  public:
    OpenedClipboard()
        : open_(WaitUntil([] { return OpenClipboard(ClipboardWindow()) != FALSE; })) {}
    ~OpenedClipboard() {
        if (open_) {
            CloseClipboard();
        }
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    explicit operator bool() const { return open_; }

  private:
    bool open_;
};

// Puts a fresh block with the bytes on the open clipboard as the format; false when it was
// refused (the block is then freed here).
bool PutBytes(UINT format, std::string_view bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (block == nullptr) {
        return false;
    }
    if (void* data = GlobalLock(block)) {
        std::memcpy(data, bytes.data(), bytes.size());
        GlobalUnlock(block);
    }
    if (SetClipboardData(format, block) != nullptr) {
        return true;  // the clipboard owns the block now
    }
    GlobalFree(block);
    return false;
}

// The text, zero-terminated.
bool PutText(UINT format, std::wstring_view text) {
    const std::wstring terminated(text);
    return PutBytes(format, {reinterpret_cast<const char*>(terminated.c_str()),
                             (terminated.size() + 1) * sizeof(wchar_t)});
}

// The owner's answer, with this thread's messages handled meanwhile: taking the clipboard
// sends its previous owner (this thread's clipboard window, say) a message, which would
// otherwise wait seconds for Wine's time-out.
bool Await(std::future<bool>& answer) {
    WaitUntil(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return answer.get();
}

}  // namespace

bool SetClipboardText(std::wstring_view text) {
    const OpenedClipboard clipboard;
    return clipboard && EmptyClipboard() && PutText(CF_UNICODETEXT, text);
}

bool ClearClipboard() {
    const OpenedClipboard clipboard;
    return clipboard && EmptyClipboard();
}

std::optional<std::wstring> ClipboardText() {
    const OpenedClipboard clipboard;
    if (!clipboard) {
        return std::nullopt;
    }
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    const auto* data = block != nullptr ? static_cast<const wchar_t*>(GlobalLock(block)) : nullptr;
    if (data == nullptr) {
        return std::nullopt;
    }
    const std::size_t capacity = GlobalSize(block) / sizeof(wchar_t);
    std::wstring text(data, std::find(data, data + capacity, L'\0'));
    GlobalUnlock(block);
    return text;
}

namespace {

constexpr LONG kPictureWidth = 3840;
constexpr LONG kPictureHeight = 2160;

// A 32-bit picture of the size, with room for its pixels after the header.
std::string EmptyPicture() {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = kPictureWidth;
    header.biHeight = kPictureHeight;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::string bytes(sizeof header + std::size_t{kPictureWidth} * kPictureHeight * 4, '\0');
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

}  // namespace

std::string ScreenPicture(int number) {
    std::string bytes = EmptyPicture();
    auto* pixel = reinterpret_cast<std::uint32_t*>(bytes.data() + sizeof(BITMAPINFOHEADER));
    const LONG left = 200 + 100 * number;
    const LONG top = 150 + 50 * number;
    for (LONG y = 0; y < kPictureHeight; ++y) {
        for (LONG x = 0; x < kPictureWidth; ++x, ++pixel) {
            const bool inWindow = x >= left && x < left + 2400 && y >= top && y < top + 1500;
            const bool text = (y / 12) % 3 == 0 && (x * 7 + y * 3 + number) % 13 < 4;
            *pixel = !inWindow               ? 0x003A6EA5
                     : y < top + 40          ? 0x000078D7
                     : text && x > left + 30 ? 0x00202020
                                             : 0x00FFFFFF;
        }
    }
    return bytes;
}

std::string NoisePicture(int number) {
    std::string bytes = EmptyPicture();
    std::uint64_t state = 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(number + 1);
    for (std::size_t at = sizeof(BITMAPINFOHEADER); at + 8 <= bytes.size(); at += 8) {
        state ^= state << 13;  // xorshift64
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(bytes.data() + at, &state, 8);
    }
    return bytes;
}

bool SetClipboardBlock(UINT format, std::string_view bytes) {
    const OpenedClipboard clipboard;
    return clipboard && EmptyClipboard() && PutBytes(format, bytes);
}

std::optional<std::string> ClipboardBlock(UINT format) {
    const OpenedClipboard clipboard;
    const HANDLE data = clipboard ? GetClipboardData(format) : nullptr;
    const void* block = data != nullptr ? GlobalLock(data) : nullptr;
    if (block == nullptr) {
        return std::nullopt;
    }
    std::string bytes(static_cast<const char*>(block), GlobalSize(data));
    GlobalUnlock(data);
    return bytes;
}

DWORD ClipboardChanges() {
    return GetClipboardSequenceNumber();
}

bool SetClipboardPicture(HBITMAP bitmap, HENHMETAFILE metafile) {
    const OpenedClipboard clipboard;
    return clipboard && EmptyClipboard() && SetClipboardData(CF_BITMAP, bitmap) != nullptr &&
           SetClipboardData(CF_ENHMETAFILE, metafile) != nullptr;
}

std::vector<std::pair<UINT, std::string>> ClipboardContents() {
    std::vector<std::pair<UINT, std::string>> contents;
    const OpenedClipboard clipboard;
    for (UINT format = clipboard ? EnumClipboardFormats(0) : 0; format != 0;
         format = EnumClipboardFormats(format)) {
        std::string bytes;
        const HANDLE data = GetClipboardData(format);
        if (format == CF_ENHMETAFILE) {
            const auto metafile = static_cast<HENHMETAFILE>(data);
            bytes.resize(GetEnhMetaFileBits(metafile, 0, nullptr));
            GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()),
                               reinterpret_cast<BYTE*>(bytes.data()));
        } else if (format != CF_BITMAP && format != CF_PALETTE && data != nullptr) {
            if (const void* block = GlobalLock(data)) {
                bytes.assign(static_cast<const char*>(block), GlobalSize(data));
                GlobalUnlock(data);
            }
        }
        contents.emplace_back(format, std::move(bytes));
    }
    return contents;
}
StalledClipboardOwner::StalledClipboardOwner(std::wstring text)
    : text_(std::move(text)), answer_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    std::promise<bool> taken;
    std::future<bool> owns = taken.get_future();
    thread_ = std::thread([this, &taken] {
        threadId_ = GetCurrentThreadId();
        HANDLE answerEvent = answer_.get();
        HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     nullptr, nullptr);
        const bool ok = owner != nullptr && OpenClipboard(owner);
        if (ok) {
            EmptyClipboard();
            SetClipboardData(CF_UNICODETEXT, nullptr);  // rendered when asked for
            CloseClipboard();
        }
        taken.set_value(ok);
        // The reader's request arrives as a sent message; it is noticed but not handled until
        // told, so the reader waits meanwhile.
        if (MsgWaitForMultipleObjects(1, &answerEvent, FALSE, INFINITE, QS_SENDMESSAGE) ==
            WAIT_OBJECT_0 + 1) {
            asked_ = true;
            WaitForSingleObject(answerEvent, INFINITE);
        }
        SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnerProc));
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        DestroyWindow(owner);
    });
    owns_ = Await(owns);
}

StalledClipboardOwner::~StalledClipboardOwner() {
    Answer();
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

void StalledClipboardOwner::Answer() {
    SetEvent(answer_.get());
}

LRESULT CALLBACK StalledClipboardOwner::OwnerProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    if (message == WM_RENDERFORMAT && wParam == CF_UNICODETEXT) {
        const auto* self =
            reinterpret_cast<StalledClipboardOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        PutText(CF_UNICODETEXT, self->text_);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

SlowClipboardOwner::SlowClipboardOwner(std::wstring text, int ownFormats, DWORD renderMs,
                                       HWND reader)
    : text_(std::move(text)), renderMs_(renderMs), reader_(reader) {
    std::promise<bool> taken;
    std::future<bool> owns = taken.get_future();
    thread_ = std::thread([this, &taken, ownFormats] {
        threadId_ = GetCurrentThreadId();
        HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     nullptr, nullptr);
        SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnerProc));
        const bool ok = owner != nullptr && OpenClipboard(owner);
        if (ok) {
            // The text in the middle of the list, as office programs put it.
            EmptyClipboard();
            for (int i = 1; i <= ownFormats; ++i) {
                const std::wstring name = L"Revertly.Slow." + std::to_wstring(i);
                SetClipboardData(RegisterClipboardFormatW(name.c_str()), nullptr);
                if (i == ownFormats / 2) {
                    SetClipboardData(CF_UNICODETEXT, nullptr);
                }
            }
            CloseClipboard();
        }
        taken.set_value(ok);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        DestroyWindow(owner);
    });
    owns_ = Await(owns);
}

SlowClipboardOwner::~SlowClipboardOwner() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

std::vector<UINT> SlowClipboardOwner::Asked() {
    const std::lock_guard lock(mutex_);
    return asked_;
}

void SlowClipboardOwner::Render(UINT format) {
    if (GetOpenClipboardWindow() == reader_) {
        const std::lock_guard lock(mutex_);
        asked_.push_back(format);
    }
    Sleep(renderMs_);
    PutText(format, format == CF_UNICODETEXT ? text_ : L"format " + std::to_wstring(format));
}

LRESULT CALLBACK SlowClipboardOwner::OwnerProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_RENDERFORMAT) {
        reinterpret_cast<SlowClipboardOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA))
            ->Render(static_cast<UINT>(wParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace revertly::driver
