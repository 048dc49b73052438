// Hooks real windows: the window procedure is replaced with one of ours, which finds the
// hooks through a property of the window and dispatches there.
#pragma once

#include <windows.h>

#include "winhook/subclass.h"

namespace revertly::winhook {

// Every Win32 call that the hook adapter makes goes through this one table, so that a test
// can make a call fail on purpose (replace an entry, put the saved table back after).
struct Win32Api {
    decltype(&::SetWindowLongPtrW) SetWindowLongPtrW = ::SetWindowLongPtrW;
    decltype(&::CallWindowProcW) CallWindowProcW = ::CallWindowProcW;
    decltype(&::DefWindowProcW) DefWindowProcW = ::DefWindowProcW;
    decltype(&::SetPropW) SetPropW = ::SetPropW;
    decltype(&::GetPropW) GetPropW = ::GetPropW;
    decltype(&::RemovePropW) RemovePropW = ::RemovePropW;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

// The name of the window property that points a hooked window at its Subclass object.
inline constexpr wchar_t kHookProperty[] = L"Revertly.Subclass";

// The window procedure functions of the calling thread's windows: the wide forms only, so a
// Unicode window stays Unicode when it gets its procedure back.
class Win32WindowProcedures final : public WindowProcedurePort {
  public:
    WindowProcedure InstallHook(WindowHandle window, Subclass& hooks) override;
    void RemoveHook(WindowHandle window, WindowProcedure previous) override;
    LResult CallProcedure(WindowProcedure procedure, WindowHandle window, std::uint32_t message,
                          WParam wParam, LParam lParam) override;
};

}  // namespace revertly::winhook
