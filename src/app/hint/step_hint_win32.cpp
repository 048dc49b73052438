#include "app/hint/step_hint_win32.h"

#include <shellscalingapi.h>

#include <string>

#include "app/api_win32.h"
#include "app/hint/step_hint.h"
#include "app/window_object_win32.h"
#include "common/last_error_win32.h"

namespace revertly::app {

namespace {

constexpr wchar_t kWindowClass[] = L"RevertlyStepHint";
// The hint window's own timers: how long it stays, and the steps of its fade.
constexpr UINT_PTR kStayTimer = 1;
constexpr UINT_PTR kFadeTimer = 2;
constexpr UINT kStayMs = 1500;
constexpr UINT kFadeStepMs = 30;
constexpr int kFadeSteps = 10;
constexpr UINT kDrawFlags = DT_CENTER | DT_NOPREFIX;

}  // namespace

void Win32StepHint::DeleteFont(HFONT font) {
    const LastErrorContext keepError;
    Api().DeleteObject(font);
}

Win32StepHint::Win32StepHint(HINSTANCE instance) : instance_(instance) {}

Win32StepHint::~Win32StepHint() {
    if (window_) {
        window_.reset();
        Api().UnregisterClassW(kWindowClass, instance_);
    }
}

bool Win32StepHint::Create() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = kWindowClass;
    Api().RegisterClassExW(&windowClass);
    // Topmost, never activated, a tool window (not on the taskbar or in Alt+Tab), layered for
    // the fade and transparent to the mouse.
    window_.reset(Api().CreateWindowExW(
        WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_TRANSPARENT,
        kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance_, this));
    return static_cast<bool>(window_);
}

void Win32StepHint::ShowStepHint(std::u16string_view text) {
    if (!window_ && !Create()) {
        return;
    }
    const std::wstring wide(text.begin(), text.end());
    Api().SetWindowTextW(window_.get(), wide.c_str());

    // The monitor the user works on: the one with the foreground window.
    const HMONITOR monitor =
        Api().MonitorFromWindow(Api().GetForegroundWindow(), MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    Api().GetMonitorInfoW(monitor, &info);
    UINT dpi = 96;
    UINT dpiY = 96;
    if (Api().GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi, &dpiY) != S_OK) {
        dpi = 96;
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    Api().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    font_.reset(Api().CreateFontIndirectW(&metrics.lfMessageFont));

    RECT extent{};
    const HDC dc = Api().GetDC(window_.get());
    const HGDIOBJ previous = Api().SelectObject(dc, font_.get());
    Api().DrawTextW(dc, wide.c_str(), -1, &extent, kDrawFlags | DT_CALCRECT);
    Api().SelectObject(dc, previous);
    Api().ReleaseDC(window_.get(), dc);
    const HintRect place =
        PlaceStepHint({info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom},
                      extent.right, extent.bottom, dpi);

    // A show while the hint is up starts it afresh: opaque again, the full stay.
    Api().KillTimer(window_.get(), kFadeTimer);
    alpha_ = 255;
    Api().SetLayeredWindowAttributes(window_.get(), 0, static_cast<BYTE>(alpha_), LWA_ALPHA);
    Api().SetWindowPos(window_.get(), HWND_TOPMOST, place.left, place.top, place.right - place.left,
                       place.bottom - place.top, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Api().InvalidateRect(window_.get(), nullptr, TRUE);
    Api().UpdateWindow(window_.get());
    Api().SetTimer(window_.get(), kStayTimer, kStayMs, nullptr);
}

void Win32StepHint::Paint() {
    PAINTSTRUCT paint;
    const HDC dc = Api().BeginPaint(window_.get(), &paint);
    RECT client{};
    Api().GetClientRect(window_.get(), &client);
    // The tooltip colours, so that a high-contrast theme applies.
    Api().FillRect(dc, &client, Api().GetSysColorBrush(COLOR_INFOBK));
    Api().FrameRect(dc, &client, Api().GetSysColorBrush(COLOR_INFOTEXT));
    wchar_t text[512] = {};
    Api().GetWindowTextW(window_.get(), text, static_cast<int>(std::size(text)));
    const HGDIOBJ previous = Api().SelectObject(dc, font_.get());
    RECT extent{};
    Api().DrawTextW(dc, text, -1, &extent, kDrawFlags | DT_CALCRECT);
    const LONG left = (client.right - extent.right) / 2;
    const LONG top = (client.bottom - extent.bottom) / 2;
    RECT lines{left, top, left + extent.right, top + extent.bottom};
    Api().SetBkMode(dc, TRANSPARENT);
    Api().SetTextColor(dc, Api().GetSysColor(COLOR_INFOTEXT));
    Api().DrawTextW(dc, text, -1, &lines, kDrawFlags);
    Api().SelectObject(dc, previous);
    Api().EndPaint(window_.get(), &paint);
}

void Win32StepHint::OnTimer(UINT_PTR id) {
    if (id == kStayTimer) {
        Api().KillTimer(window_.get(), kStayTimer);
        // Users who turned animations off get the hint hidden at once.
        BOOL animate = TRUE;
        Api().SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &animate, 0);
        if (animate) {
            Api().SetTimer(window_.get(), kFadeTimer, kFadeStepMs, nullptr);
        } else {
            Hide();
        }
    } else if (id == kFadeTimer) {
        alpha_ -= 255 / kFadeSteps;
        if (alpha_ <= 0) {
            Hide();
        } else {
            Api().SetLayeredWindowAttributes(window_.get(), 0, static_cast<BYTE>(alpha_),
                                             LWA_ALPHA);
        }
    }
}

void Win32StepHint::Hide() {
    Api().KillTimer(window_.get(), kStayTimer);
    Api().KillTimer(window_.get(), kFadeTimer);
    Api().ShowWindow(window_.get(), SW_HIDE);
}

LRESULT CALLBACK Win32StepHint::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* self = WindowObject<Win32StepHint>(window, message, lParam);
    switch (message) {
        case WM_NCHITTEST:
            return HTTRANSPARENT;  // the mouse goes to whatever lies below
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_PAINT:
            if (self != nullptr && self->window_.get() == window) {
                self->Paint();
                return 0;
            }
            break;
        case WM_TIMER:
            if (self != nullptr) {
                self->OnTimer(wParam);
            }
            return 0;
        case WM_NCDESTROY:
            if (self != nullptr) {
                self->window_.release();
            }
            break;
        default:
            break;
    }
    return Api().DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace revertly::app
