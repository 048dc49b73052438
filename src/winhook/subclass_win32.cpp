// Window procedure replacement with the wide Win32 functions. Every call goes through Api().
//
// The hooked procedure learns only the window it runs for. A property on the window leads
// it to the Subclass object that hooked it, so no table has to live for the whole process
// and the property goes away with the hook.
#include "winhook/subclass_win32.h"

namespace revertly::winhook {
namespace {

HWND ToWindow(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

LRESULT CALLBACK HookedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* const hooks = static_cast<Subclass*>(Api().GetPropW(window, kHookProperty));
    if (hooks != nullptr) {
        try {
            const auto result =
                hooks->Dispatch(reinterpret_cast<WindowHandle>(window), message, wParam, lParam);
            if (result) {
                return *result;
            }
        } catch (...) {
            // A handler must not throw. Should one do so anyway, the exception stops here:
            // it cannot unwind through the window system's frames.
            return 0;
        }
    }
    // Our procedure without a hook behind it: a procedure installed after ours has passed
    // a message on to it after the hook was removed. The default processing is all that is
    // left to give it.
    return Api().DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

Win32Api& Api() {
    static Win32Api api;
    return api;
}

WindowProcedure Win32WindowProcedures::InstallHook(WindowHandle window, Subclass& hooks) {
    const HWND hwnd = ToWindow(window);
    // A window that another Subclass object has hooked: our previous procedure would be the
    // hooked procedure itself, and the window's messages would go round in a circle.
    if (Api().GetPropW(hwnd, kHookProperty) != nullptr ||
        !Api().SetPropW(hwnd, kHookProperty, &hooks)) {
        return 0;
    }
    const LONG_PTR previous =
        Api().SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HookedProcedure));
    if (previous == 0) {
        Api().RemovePropW(hwnd, kHookProperty);
        return 0;
    }
    return static_cast<WindowProcedure>(previous);
}

void Win32WindowProcedures::RemoveHook(WindowHandle window, WindowProcedure previous) {
    const HWND hwnd = ToWindow(window);
    // The wide form: the ANSI one would mark a Unicode window as ANSI, and its text messages
    // would arrive converted to the ANSI code page.
    Api().SetWindowLongPtrW(hwnd, GWLP_WNDPROC, static_cast<LONG_PTR>(previous));
    Api().RemovePropW(hwnd, kHookProperty);
}

LResult Win32WindowProcedures::CallProcedure(WindowProcedure procedure, WindowHandle window,
                                             std::uint32_t message, WParam wParam, LParam lParam) {
    return Api().CallWindowProcW(reinterpret_cast<WNDPROC>(procedure), ToWindow(window), message,
                                 wParam, lParam);
}

}  // namespace revertly::winhook
