// The step hint on Windows: one small topmost window that is never activated, not on the
// taskbar or in Alt+Tab, and lets the mouse through; drawn in the tooltip colours near the
// bottom of the monitor the user works on, for about 1.5 s, then faded out and hidden.
#pragma once

#include <windows.h>

#include "app/app_ports.h"
#include "common/unique_win32.h"

namespace revertly::app {

class Win32StepHint final : public StepHintPort {
  public:
    explicit Win32StepHint(HINSTANCE instance);
    ~Win32StepHint() override;
    Win32StepHint(const Win32StepHint&) = delete;
    Win32StepHint& operator=(const Win32StepHint&) = delete;

    // Made at the first show; kept, hidden, between shows.
    void ShowStepHint(std::u16string_view text) override;
    HWND Window() const { return window_.get(); }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static void DeleteFont(HFONT font);
    bool Create();
    void Paint();
    void OnTimer(UINT_PTR id);
    void Hide();

    HINSTANCE instance_;
    UniqueWindow window_;
    UniqueHandle<HFONT, &DeleteFont> font_;
    int alpha_ = 255;
};

}  // namespace revertly::app
