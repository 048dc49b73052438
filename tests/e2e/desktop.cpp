#include "e2e/desktop.h"

#include <future>
#include <iterator>

#include "support/printable_text.h"
#include "support/wait_until.h"

namespace revertly::driver {

using testing::WaitUntil;

namespace {

// A well-behaved viewer's answer to a window leaving the chain: the window after it takes the
// leaver's place, or the message goes on down the chain.
void FollowChainChange(HWND& nextViewer, WPARAM leaving, LPARAM successor) {
    if (reinterpret_cast<HWND>(leaving) == nextViewer) {
        nextViewer = reinterpret_cast<HWND>(successor);
    } else if (nextViewer != nullptr) {
        SendMessageW(nextViewer, WM_CHANGECBCHAIN, leaving, successor);
    }
}

// A hidden window of the class (registered on first use; registering it again fails
// harmlessly) whose procedure finds the object in GWLP_USERDATA from the first message it
// handles on.
HWND CreateObjectWindow(const wchar_t* className, WNDPROC procedure, void* object) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, className, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    return window;
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption,
                       bool visibleOnly) {
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, className, caption)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && (!visibleOnly || IsWindowVisible(window))) {
            return window;
        }
    }
    return nullptr;
}

int CountWindows(const wchar_t* className, const wchar_t* caption) {
    int count = 0;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, className, caption)) != nullptr;) {
        ++count;
    }
    return count;
}

std::string DescribeProcessWindows(DWORD processId) {
    std::wstring text;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t className[64] = {};
        wchar_t caption[64] = {};
        if (owner == processId && IsWindowVisible(window) &&
            GetClassNameW(window, className, 64) > 0) {
            GetWindowTextW(window, caption, 64);
            text += (text.empty() ? L"" : L", ") + std::wstring(className) + L" '" + caption + L"'";
        }
    }
    return text.empty() ? "none" : testing::Printable(std::u16string(text.begin(), text.end()));
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[1024] = {};
    // The static control that shows a message box's text has the id 0xFFFF.
    GetDlgItemTextW(box, 0xFFFF, text, static_cast<int>(std::size(text)));
    return text;
}

bool AnswerMessageBox(HWND box, int button) {
    HWND control = GetDlgItem(box, button);
    DWORD_PTR ignored = 0;
    return control != nullptr &&
           SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored) &&
           WaitUntil([box] { return !IsWindow(box); });
}

std::vector<HWND> TrayIconWindows() {
    std::vector<HWND> icons;
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    for (HWND icon = nullptr;
         tray != nullptr && (icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr));) {
        icons.push_back(icon);
    }
    return icons;
}

bool RightClickTrayIcon(HWND icon) {
    const LPARAM inside = MAKELPARAM(4, 4);
    return PostMessageW(icon, WM_RBUTTONDOWN, MK_RBUTTON, inside) &&
           PostMessageW(icon, WM_RBUTTONUP, 0, inside);
}

void BroadcastTaskbarCreated() {
    SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

DriverWindow::DriverWindow() {
    window_ = CreateObjectWindow(L"RevertlyDriverWindow", &WindowProc, this);
}

DriverWindow::~DriverWindow() {
    LeaveViewerChain();
    for (const int id : hotkeys_) {
        UnregisterHotKey(window_, id);
    }
    DestroyWindow(window_);
}

bool DriverWindow::HoldWinHotkey(int id, WORD virtualKey) {
    if (!RegisterHotKey(window_, id, MOD_WIN, virtualKey)) {
        return false;
    }
    hotkeys_.push_back(id);
    return true;
}

void DriverWindow::JoinViewerChain() {
    if (!inChain_) {
        inChain_ = true;
        nextViewer_ = SetClipboardViewer(window_);
    }
}

void DriverWindow::LeaveViewerChain() {
    if (inChain_) {
        inChain_ = false;
        ChangeClipboardChain(window_, nextViewer_);
    }
}

LRESULT CALLBACK DriverWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<DriverWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_HOTKEY) {
        ++self->hotkeys_received_;
        return 0;
    }
    if (self != nullptr && message == WM_DRAWCLIPBOARD) {
        ++self->notifications_;
        if (self->onChange_) {
            self->onChange_();  // the moment first: passing the notification on waits
        }
        if (self->passesOn_ && self->nextViewer_ != nullptr) {
            SendMessageW(self->nextViewer_, message, wParam, lParam);
        }
        return 0;
    }
    if (self != nullptr && message == WM_CHANGECBCHAIN) {
        FollowChainChange(self->nextViewer_, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HangingViewer::HangingViewer() : release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    std::promise<void> joined;
    thread_ = std::thread([this, &joined] {
        threadId_ = GetCurrentThreadId();
        HWND window = CreateObjectWindow(L"RevertlyHangingViewer", &WindowProc, this);
        nextViewer_ = SetClipboardViewer(window);
        joined.set_value();
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        ChangeClipboardChain(window, nextViewer_);
        DestroyWindow(window);
    });
    joined.get_future().wait();
}

HangingViewer::~HangingViewer() {
    SetEvent(release_.get());
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
}

LRESULT CALLBACK HangingViewer::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* self = reinterpret_cast<HangingViewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_DRAWCLIPBOARD) {
        if (self->armed_) {
            self->hanging_ = true;
            WaitForSingleObject(self->release_.get(), 10000);
            self->hanging_ = false;
        }
        if (self->nextViewer_ != nullptr) {
            SendMessageW(self->nextViewer_, message, wParam, lParam);
        }
        return 0;
    }
    if (self != nullptr && message == WM_CHANGECBCHAIN) {
        FollowChainChange(self->nextViewer_, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace revertly::driver
