// The clipboard as the programs around Revertly use it: texts copied and read by another
// program, and an owner that renders its text only on request and keeps the reader waiting.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/unique_win32.h"

namespace revertly::driver {

// The clipboard, as another program uses it. Each call opens and closes the clipboard once,
// retrying while another program holds it open.
bool SetClipboardText(std::wstring_view text);
bool ClearClipboard();
// The clipboard's text (CF_UNICODETEXT), or nothing when it holds none or stays busy.
std::optional<std::wstring> ClipboardText();
// Pictures of a 4K screen as device-independent bitmaps (CF_DIB), different for each number.
// A screen as screenshot tools copy one: a desktop, a window at a place of its own, lines of
// text in it. Noise, which no compression makes smaller: a stand-in for photos.
std::string ScreenPicture(int number);
std::string NoisePicture(int number);

// One memory block as the format, and the block the clipboard holds as a format.
bool SetClipboardBlock(UINT format, std::string_view bytes);
std::optional<std::string> ClipboardBlock(UINT format);
// Changes with every change of the clipboard's content, whoever makes it.
DWORD ClipboardChanges();

// A picture as drawing and office programs copy one: a bitmap handle and an enhanced
// metafile, which the clipboard takes over.
bool SetClipboardPicture(HBITMAP bitmap, HENHMETAFILE metafile);
// Every format the clipboard lists, in its order, with the bytes of a memory block or the
// bits of an enhanced metafile ("" for any other handle).
std::vector<std::pair<UINT, std::string>> ClipboardContents();

// Another program that owns the clipboard with its text rendered only on request (delayed
// rendering) and does not answer the request until Answer: whoever reads the clipboard
// meanwhile waits.
class StalledClipboardOwner {
  public:
    explicit StalledClipboardOwner(std::wstring text);
    ~StalledClipboardOwner();
    StalledClipboardOwner(const StalledClipboardOwner&) = delete;
    StalledClipboardOwner& operator=(const StalledClipboardOwner&) = delete;

    // Whether the clipboard was taken.
    bool Owns() const { return owns_; }
    // Whether a reader has asked for the text and is waiting for it.
    bool Asked() const { return asked_; }
    // From now on the owner answers, and renders the text.
    void Answer();

  private:
    static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::wstring text_;
    UniqueKernelHandle answer_;
    std::thread thread_;
    DWORD threadId_ = 0;
    bool owns_ = false;
    std::atomic<bool> asked_{false};
};

// Another program that copies a text and further formats of its own, as office programs copy
// a range: each rendered only when asked, and slowly. It notes which formats the given
// window asked for while it had the clipboard open, in the order asked.
class SlowClipboardOwner {
  public:
    SlowClipboardOwner(std::wstring text, int ownFormats, DWORD renderMs, HWND reader);
    ~SlowClipboardOwner();
    SlowClipboardOwner(const SlowClipboardOwner&) = delete;
    SlowClipboardOwner& operator=(const SlowClipboardOwner&) = delete;

    bool Owns() const { return owns_; }
    // What the reader asked for so far, in order.
    std::vector<UINT> Asked();

  private:
    static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Render(UINT format);

    std::wstring text_;
    DWORD renderMs_;
    HWND reader_;
    std::thread thread_;
    DWORD threadId_ = 0;
    bool owns_ = false;
    std::mutex mutex_;
    std::vector<UINT> asked_;
};

}  // namespace revertly::driver
