// The object behind each of the program's own windows (the main window, the step hint).
#pragma once

#include <windows.h>

#include "app/api_win32.h"

namespace revertly::app {

// For a window procedure: the object that the window was created for (CreateWindowExW's last
// argument), bound at WM_NCCREATE and unbound at WM_NCDESTROY, which still gets it. nullptr
// before the binding and after the window is gone.
template <typename Object>
Object* WindowObject(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        Api().SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* object = reinterpret_cast<Object*>(Api().GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        Api().SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    }
    return object;
}

}  // namespace revertly::app
