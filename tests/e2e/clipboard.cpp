#include "e2e/clipboard.h"

#include <algorithm>
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

// Puts a fresh block with the text, zero-terminated, on the open clipboard as the format;
// false when it was refused (the block is then freed here).
bool PutText(UINT format, std::wstring_view text) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (block == nullptr) {
        return false;
    }
    if (auto* data = static_cast<wchar_t*>(GlobalLock(block))) {
        std::memcpy(data, text.data(), text.size() * sizeof(wchar_t));
        data[text.size()] = L'\0';
        GlobalUnlock(block);
    }
    if (SetClipboardData(format, block) != nullptr) {
        return true;  // the clipboard owns the block now
    }
    GlobalFree(block);
    return false;
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
    owns_ = owns.get();
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
    owns_ = owns.get();
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
