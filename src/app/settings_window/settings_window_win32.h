// The settings window on Windows: a dialog made from the program's resources (IDD_SETTINGS),
// not modal, one at a time. It only moves values between its controls and the program
// (SettingsHost), which judges and applies them.
#pragma once

#include <windows.h>

#include <functional>

#include "app/app_ports.h"
#include "app/settings_window/settings_choices.h"

namespace revertly::app {

class Win32SettingsWindow final : public SettingsWindowPort {
  public:
    // recordKeys: called with a key field when it takes the focus and with nullptr when it
    // loses it, so that the keyboard hook hands the field the combinations Windows would give
    // to others.
    Win32SettingsWindow(HINSTANCE instance, HWND owner, std::function<void(HWND)> recordKeys);
    ~Win32SettingsWindow() override;
    Win32SettingsWindow(const Win32SettingsWindow&) = delete;
    Win32SettingsWindow& operator=(const Win32SettingsWindow&) = delete;

    void Attach(SettingsHost& host) { host_ = &host; }
    void Show() override;
    // For the message loop: the dialog's keyboard handling (Tab, Enter, Esc, access keys);
    // true when the message was the dialog's and is done.
    bool HandleDialogMessage(MSG& message);
    HWND Dialog() const { return dialog_; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void Fill(const SettingsChoices& choices);
    SettingsChoices Read() const;
    void ShowVerdict(const SettingsVerdict& verdict);
    void Rejudge();
    // Applies the window's values; true when every one could be used.
    bool Apply();
    void OnCommand(WORD id, WORD code, HWND control);
    void AddProgram(std::u16string_view program);
    void ChooseProgramFile();
    void Close();

    HINSTANCE instance_;
    HWND owner_;
    std::function<void(HWND)> recordKeys_;
    SettingsHost* host_ = nullptr;
    HWND dialog_ = nullptr;
    // The programs as the list shows them.
    std::vector<std::u16string> programs_;
};

}  // namespace revertly::app
