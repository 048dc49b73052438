#include "app/settings_window/key_field_win32.h"

#include <string>

#include "app/api_win32.h"
#include "app/keys/hotkeys.h"

namespace revertly::app {

namespace {

// The window's extra bytes: its combination, packed, and the font its dialog gave it.
constexpr int kKeySlot = 0;
constexpr int kFontSlot = sizeof(LONG_PTR);

// The keys a combination may end with: letters, digits and F1 to F24, as the settings file's
// keys are written.
bool Recordable(WPARAM virtualKey) {
    return (virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9') ||
           (virtualKey >= VK_F1 && virtualKey <= VK_F24);
}

bool Held(int virtualKey) {
    return (Api().GetKeyState(virtualKey) & 0x8000) != 0;
}

std::uint32_t HeldModifiers() {
    return (Held(VK_CONTROL) ? kModControl : 0) | (Held(VK_MENU) ? kModAlt : 0) |
           (Held(VK_SHIFT) ? kModShift : 0) | (Held(VK_LWIN) || Held(VK_RWIN) ? kModWin : 0);
}

void Notify(HWND field, WORD code) {
    Api().SendMessageW(Api().GetParent(field), WM_COMMAND,
                       MAKEWPARAM(Api().GetDlgCtrlID(field), code),
                       reinterpret_cast<LPARAM>(field));
}

void Record(HWND field, std::uint32_t modifiers, WPARAM virtualKey) {
    Api().SetWindowLongPtrW(field, kKeySlot,
                            PackHotkey(Hotkey{modifiers, static_cast<std::uint32_t>(virtualKey)}));
    Api().InvalidateRect(field, nullptr, TRUE);
    Notify(field, kFieldChanged);
}

// Drawn in the system's colours only, so that high contrast shows it as it shows an edit box.
void Paint(HWND field) {
    PAINTSTRUCT paint;
    const HDC dc = Api().BeginPaint(field, &paint);
    RECT client;
    Api().GetClientRect(field, &client);
    const bool enabled = Api().IsWindowEnabled(field) != FALSE;
    Api().FillRect(dc, &client, Api().GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    std::wstring text = L"None";
    if (const std::optional<Hotkey> key = UnpackHotkey(Api().GetWindowLongPtrW(field, kKeySlot))) {
        const std::u16string name = HotkeyName(*key);
        text.assign(name.begin(), name.end());
    }
    const auto font = reinterpret_cast<HFONT>(Api().GetWindowLongPtrW(field, kFontSlot));
    const HGDIOBJ previous = font ? Api().SelectObject(dc, font) : nullptr;
    Api().SetBkMode(dc, TRANSPARENT);
    Api().SetTextColor(dc, Api().GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    RECT inner = client;
    inner.left += 3;
    Api().DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inner,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (Api().GetFocus() == field) {
        RECT focus = client;
        InflateRect(&focus, -1, -1);
        Api().DrawFocusRect(dc, &focus);
    }
    if (previous) {
        Api().SelectObject(dc, previous);
    }
    Api().EndPaint(field, &paint);
}

LRESULT CALLBACK KeyFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE:
            // Characters stay with the field: a plain letter is a combination to judge, not
            // an access key of the dialog. Tab, Enter and Esc still go to the dialog.
            return DLGC_WANTCHARS;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (Recordable(wParam)) {
                Record(field, HeldModifiers(), wParam);
                return 0;
            }
            break;
        case WM_CHAR:
        case WM_SYSCHAR:
            return 0;
        case kRecordedKey:
            Record(field, static_cast<std::uint32_t>(lParam), wParam);
            return 0;
        case kSetFieldKey:
            Api().SetWindowLongPtrW(field, kKeySlot, lParam);
            Api().InvalidateRect(field, nullptr, TRUE);
            return 0;
        case kGetFieldKey:
            return Api().GetWindowLongPtrW(field, kKeySlot);
        case WM_SETFONT:
            Api().SetWindowLongPtrW(field, kFontSlot, static_cast<LONG_PTR>(wParam));
            if (LOWORD(lParam) != 0) {
                Api().InvalidateRect(field, nullptr, TRUE);
            }
            return 0;
        case WM_GETFONT:
            return Api().GetWindowLongPtrW(field, kFontSlot);
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            Api().InvalidateRect(field, nullptr, TRUE);
            Notify(field, message == WM_SETFOCUS ? kFieldFocused : kFieldUnfocused);
            return 0;
        case WM_ENABLE:
            Api().InvalidateRect(field, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN:
            Api().SetFocus(field);
            return 0;
        case WM_PAINT:
            Paint(field);
            return 0;
        default:
            break;
    }
    return Api().DefWindowProcW(field, message, wParam, lParam);
}

}  // namespace

LPARAM PackHotkey(const std::optional<Hotkey>& hotkey) {
    return hotkey ? static_cast<LPARAM>((hotkey->modifiers << 16) | hotkey->virtualKey) : 0;
}

std::optional<Hotkey> UnpackHotkey(LRESULT packed) {
    if (packed == 0) {
        return std::nullopt;
    }
    return Hotkey{static_cast<std::uint32_t>(packed >> 16) & 0xFFFF,
                  static_cast<std::uint32_t>(packed) & 0xFFFF};
}

void RegisterKeyField(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &KeyFieldProc;
    windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    windowClass.lpszClassName = kKeyFieldClass;
    Api().RegisterClassExW(&windowClass);
}

}  // namespace revertly::app
