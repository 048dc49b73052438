#include "app/main_window_win32.h"

#include <string>

#include "app/api_win32.h"
#include "app/autorun.h"
#include "app/main_form.h"
#include "app/messages.h"
#include "app/resource.h"
#include "app/window_object_win32.h"
#include "common/last_error_win32.h"

namespace revertly::app {

// The core names the messages it acts on with its own constants; they are Windows' numbers.
static_assert(msg::kDestroy == WM_DESTROY && msg::kClose == WM_CLOSE &&
              msg::kQueryEndSession == WM_QUERYENDSESSION && msg::kEndSession == WM_ENDSESSION &&
              msg::kTimer == WM_TIMER && msg::kSysCommand == WM_SYSCOMMAND &&
              msg::kRightButtonDown == WM_RBUTTONDOWN && msg::kDrawClipboard == WM_DRAWCLIPBOARD &&
              msg::kChangeClipboardChain == WM_CHANGECBCHAIN && msg::kHotkey == WM_HOTKEY &&
              msg::kClipboardUpdate == WM_CLIPBOARDUPDATE && msg::kScClose == SC_CLOSE);
static_assert(msg::kContextMenu == WM_CONTEXTMENU && msg::kKeySelect == NIN_KEYSELECT);
static_assert(kQuestionStyle == (MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL) &&
              kInformationStyle == (MB_OK | MB_ICONINFORMATION) && kPlainStyle == MB_OK &&
              kAnswerYes == IDYES);

namespace {

constexpr wchar_t kWindowClass[] = L"RevertlyMainWindow";
// The longest that passing a message on to another window may hold the window's thread.
constexpr UINT kSendTimeoutMs = 250;

const wchar_t* Wide(std::u16string_view text) {
    return reinterpret_cast<const wchar_t*>(text.data());
}

// The tray menu, top to bottom. An item without a command is a separator.
struct MenuEntry {
    std::optional<MenuItem> item;
    const wchar_t* caption;
};
const MenuEntry kMenu[] = {
    {MenuItem::VisitSite, L"Visit the official website"},
    {MenuItem::VisitGroup, L"Visit the VK group"},
    {std::nullopt, nullptr},
    {MenuItem::Autorun, L"Autorun the program"},
    {std::nullopt, nullptr},
    {MenuItem::StatesCount1, L"Remember the 5 states"},
    {MenuItem::StatesCount2, L"Remember the 10 states"},
    {MenuItem::StatesCount3, L"Remember the 15 states"},
    {MenuItem::StatesCount4, L"Remember the 20 states"},
    {MenuItem::StatesCount5, L"Remember the 50 states"},
    {std::nullopt, nullptr},
    {MenuItem::RecentStates, L"Recent states"},
    {MenuItem::PauseRecording, L"Pause recording"},
    {MenuItem::KeepHistory, L"Keep history after exit"},
    {std::nullopt, nullptr},
    {MenuItem::ClearHistory, L"Clear history (Win+C)"},
    {std::nullopt, nullptr},
    {MenuItem::RedoState, L"Redo the state (Win+X)"},
    {MenuItem::UndoState, L"Undo the state (Win-Z)"},
    {std::nullopt, nullptr},
    {MenuItem::Settings, L"Settings..."},
    {std::nullopt, nullptr},
    {MenuItem::Exit, L"Exit"},
};

// The scale of the monitor that shows the notification area: the taskbar's, or the primary
// monitor's while there is no taskbar. The system DPI (GetSystemMetrics's) stays the one of
// sign-in, while each monitor's follows the display settings.
UINT NotificationAreaDpi() {
    const HWND taskbar = Api().FindWindowW(L"Shell_TrayWnd", nullptr);
    const HMONITOR monitor = taskbar != nullptr
                                 ? Api().MonitorFromWindow(taskbar, MONITOR_DEFAULTTOPRIMARY)
                                 : Api().MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    UINT dpi = 0;
    UINT dpiY = 0;
    // Fails for a monitor removed in the meantime.
    if (Api().GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi, &dpiY) != S_OK) {
        return Api().GetDpiForSystem();
    }
    return dpi;
}

// The "Recent states" item opens a submenu, which the menu owns and destroys with itself.
HMENU BuildTrayMenu() {
    HMENU menu = Api().CreatePopupMenu();
    for (const MenuEntry& entry : kMenu) {
        if (entry.item == MenuItem::RecentStates) {
            Api().AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(Api().CreatePopupMenu()),
                              entry.caption);
        } else if (entry.item) {
            Api().AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(*entry.item), entry.caption);
        } else {
            Api().AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
    }
    return menu;
}

UINT RecentStatesPosition() {
    UINT position = 0;
    while (kMenu[position].item != MenuItem::RecentStates) {
        ++position;
    }
    return position;
}

}  // namespace

void Win32MainWindow::DestroyMenuHandle(HMENU menu) {
    const LastErrorContext keepError;
    Api().DestroyMenu(menu);
}

Win32MainWindow::Win32MainWindow(HINSTANCE instance)
    : instance_(instance),
      icon_(LoadProgramIcon(instance, Api().GetSystemMetrics(SM_CXICON),
                            Api().GetSystemMetrics(SM_CYICON))),
      smallIcon_(LoadSmallProgramIcon(instance)),
      menu_(BuildTrayMenu()),
      recentStates_(Api().GetSubMenu(menu_.get(), static_cast<int>(RecentStatesPosition()))) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon_.get();
    windowClass.hIconSm = smallIcon_.get();
    windowClass.lpszClassName = kWindowClass;
    Api().RegisterClassExW(&windowClass);
    window_.reset(Api().CreateWindowExW(0, kWindowClass, Wide(kApplicationTitle),
                                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 300, 200,
                                        nullptr, nullptr, instance, this));
    // The small icon stored with the window is the tray icon.
    Api().SendMessageW(window_.get(), WM_SETICON, ICON_SMALL,
                       reinterpret_cast<LPARAM>(smallIcon_.get()));
}

Win32MainWindow::~Win32MainWindow() {
    // The form may be gone already; a window still alive here is destroyed on its own, and
    // the class goes with it, since its icons are about to be destroyed.
    form_ = nullptr;
    keyboard_.reset();
    window_.reset();
    Api().UnregisterClassW(kWindowClass, instance_);
}

HICON Win32MainWindow::LoadProgramIcon(HINSTANCE instance, int width, int height) {
    return static_cast<HICON>(
        Api().LoadImageW(instance, MAKEINTRESOURCEW(IDI_REVERTLY), IMAGE_ICON, width, height, 0));
}

HICON Win32MainWindow::LoadSmallProgramIcon(HINSTANCE instance) {
    const UINT dpi = NotificationAreaDpi();
    return LoadProgramIcon(instance, Api().GetSystemMetricsForDpi(SM_CXSMICON, dpi),
                           Api().GetSystemMetricsForDpi(SM_CYSMICON, dpi));
}

void Win32MainWindow::LoadSmallIcon() {
    UniqueIcon icon(LoadSmallProgramIcon(instance_));
    if (!icon) {
        return;  // the window keeps the icon it has
    }
    Api().SendMessageW(window_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon.get()));
    retiredIcon_ = std::move(reloadedIcon_);
    reloadedIcon_ = std::move(icon);
}

// Hands every message to the form first; what it leaves goes to the default handling.
LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = WindowObject<Win32MainWindow>(window, message, lParam);
    if (self != nullptr && self->form_ != nullptr) {
        if (const std::optional<LResult> result = self->form_->WindowProcedure(
                message, static_cast<WParam>(wParam), static_cast<LParam>(lParam))) {
            return *result;
        }
    }
    if (message == WM_HOTKEY && self != nullptr) {
        self->ReturnForegroundTaken();
    }
    if (message == WM_NCDESTROY && self != nullptr) {
        self->window_.release();  // the window is gone: the object no longer owns it
    }
    return Api().DefWindowProcW(window, message, wParam, lParam);
}

WindowHandle Win32MainWindow::Handle() {
    return reinterpret_cast<WindowHandle>(window_.get());
}

void Win32MainWindow::Hide() {
    Api().ShowWindow(window_.get(), SW_HIDE);
}

void Win32MainWindow::Destroy() {
    // Not reset(): the window's last messages still reach the form, which uses the handle
    // until WM_NCDESTROY lets it go.
    if (window_.get()) {
        Api().DestroyWindow(window_.get());
    }
}

void Win32MainWindow::Quit() {
    Api().PostQuitMessage(0);
}

void Win32MainWindow::StartTimer(TimerId id, std::uint32_t milliseconds) {
    // Setting a timer that runs already replaces it, so the wait starts afresh.
    Api().SetTimer(window_.get(), static_cast<UINT_PTR>(id), milliseconds, nullptr);
}

void Win32MainWindow::StopTimer(TimerId id) {
    Api().KillTimer(window_.get(), static_cast<UINT_PTR>(id));
}

bool Win32MainWindow::RegisterHotkey(int id, Hotkey hotkey) {
    return Api().RegisterHotKey(window_.get(), id, hotkey.modifiers, hotkey.virtualKey) != FALSE;
}

bool Win32MainWindow::ClaimHotkey(int id, Hotkey hotkey) {
    if (!keyboard_) {
        keyboard_.emplace(window_.get());
    }
    return keyboard_->Claim(id, hotkey);
}

void Win32MainWindow::UnregisterHotkey(int id) {
    Api().UnregisterHotKey(window_.get(), id);
    if (keyboard_) {
        keyboard_->Unclaim(id);
    }
}

void Win32MainWindow::RecordKeysFor(HWND field) {
    if (!keyboard_) {
        keyboard_.emplace(window_.get());
    }
    keyboard_->RecordFor(field);
}

void Win32MainWindow::StopRecordingKeys() {
    if (keyboard_) {
        keyboard_->StopRecording();
    }
}

void Win32MainWindow::SetMenuCheck(MenuItem item, bool checked) {
    Api().CheckMenuItem(menu_.get(), static_cast<UINT>(item),
                        MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

// Only the text changes: the "Recent states" item, a submenu, has no command to find it by
// and keeps its submenu.
void Win32MainWindow::SetMenuCaption(MenuItem item, std::u16string_view caption) {
    std::u16string terminated(caption);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<wchar_t*>(Wide(terminated));
    const bool submenu = item == MenuItem::RecentStates;
    Api().SetMenuItemInfoW(menu_.get(), submenu ? RecentStatesPosition() : static_cast<UINT>(item),
                           submenu, &info);
}

void Win32MainWindow::SetRecentStates(std::span<const RecentStateLine> lines) {
    while (Api().GetMenuItemCount(recentStates_) > 0) {
        Api().DeleteMenu(recentStates_, 0, MF_BYPOSITION);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::u16string caption(lines[i].caption);
        Api().AppendMenuW(recentStates_, MF_STRING | (lines[i].checked ? MF_CHECKED : 0),
                          static_cast<UINT_PTR>(RecentStateItem(i)), Wide(caption));
    }
    Api().EnableMenuItem(menu_.get(), RecentStatesPosition(),
                         MF_BYPOSITION | (lines.empty() ? MF_GRAYED : MF_ENABLED));
}

std::optional<MenuItem> Win32MainWindow::ShowTrayMenu() {
    return TrackMenu(menu_.get());
}

// From a key pressed in another program, which the user goes on with: it gets the foreground
// back, which the window may give away while it has it. For a key claimed through the hook,
// that program is the one the hook took the foreground from.
std::optional<MenuItem> Win32MainWindow::ShowRecentStates() {
    const HWND taken = keyboard_ ? keyboard_->TakeForegroundBefore() : nullptr;
    const HWND previous = taken != nullptr ? taken : Api().GetForegroundWindow();
    const std::optional<MenuItem> chosen = TrackMenu(recentStates_);
    if (previous != nullptr && previous != window_.get()) {
        Api().SetForegroundWindow(previous);
    }
    return chosen;
}

// The form has handled the key by now (its procedure runs before this window's own): when the
// hook took the foreground for a list that did not open (nothing to list yet), the program it
// took it from gets it back.
void Win32MainWindow::ReturnForegroundTaken() {
    const HWND taken = keyboard_ ? keyboard_->TakeForegroundBefore() : nullptr;
    if (taken != nullptr && Api().GetForegroundWindow() == window_.get()) {
        Api().SetForegroundWindow(taken);
    }
}

std::optional<MenuItem> Win32MainWindow::TrackMenu(HMENU menu) {
    POINT cursor{};
    Api().GetCursorPos(&cursor);
    // The window must be foreground before TrackPopupMenu, and get a message right after,
    // or the menu does not close when the user clicks elsewhere.
    Api().SetForegroundWindow(window_.get());
    const UINT chosen =
        static_cast<UINT>(Api().TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                               cursor.x, cursor.y, 0, window_.get(), nullptr));
    Api().PostMessageW(window_.get(), WM_NULL, 0, 0);
    if (chosen == 0) {
        return std::nullopt;
    }
    return static_cast<MenuItem>(chosen);
}

int Win32MainWindow::ShowMessage(std::u16string_view text, std::uint32_t style) {
    const std::u16string terminated(text);
    return Api().MessageBoxW(nullptr, Wide(terminated), Wide(kApplicationTitle), style);
}

void Win32MainWindow::SendTo(WindowHandle window, std::uint32_t message, WParam wParam,
                             LParam lParam) {
    // SMTO_ABORTIFHUNG: a window that Windows already knows to hang costs nothing at all.
    DWORD_PTR ignored = 0;
    Api().SendMessageTimeoutW(reinterpret_cast<HWND>(window), message, wParam, lParam,
                              SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
}

void Win32MainWindow::PostToSelf(std::uint32_t message) {
    Api().PostMessageW(reinterpret_cast<HWND>(Handle()), message, 0, 0);
}

}  // namespace revertly::app
