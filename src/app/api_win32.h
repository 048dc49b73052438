// Every Win32 and COM call that the application's adapters make (the main window, the keyboard
// hook, the shell, the clipboard's owner) goes through this one table, so that a test can make a
// call fail on purpose: replace an entry, and put the saved table back after.
#pragma once

#include <windows.h>
// The shell headers need the types of windows.h first.
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shellscalingapi.h>
#include <shlobj.h>

namespace revertly::app {

struct Win32Api {
    // The main window.
    decltype(&::RegisterClassExW) RegisterClassExW = ::RegisterClassExW;
    decltype(&::UnregisterClassW) UnregisterClassW = ::UnregisterClassW;
    decltype(&::CreateWindowExW) CreateWindowExW = ::CreateWindowExW;
    decltype(&::DestroyWindow) DestroyWindow = ::DestroyWindow;
    decltype(&::DefWindowProcW) DefWindowProcW = ::DefWindowProcW;
    decltype(&::SetWindowLongPtrW) SetWindowLongPtrW = ::SetWindowLongPtrW;
    decltype(&::GetWindowLongPtrW) GetWindowLongPtrW = ::GetWindowLongPtrW;
    decltype(&::ShowWindow) ShowWindow = ::ShowWindow;
    decltype(&::SetForegroundWindow) SetForegroundWindow = ::SetForegroundWindow;
    decltype(&::SendMessageW) SendMessageW = ::SendMessageW;
    decltype(&::SendMessageTimeoutW) SendMessageTimeoutW = ::SendMessageTimeoutW;
    decltype(&::PostMessageW) PostMessageW = ::PostMessageW;
    decltype(&::PostQuitMessage) PostQuitMessage = ::PostQuitMessage;
    decltype(&::SetTimer) SetTimer = ::SetTimer;
    decltype(&::KillTimer) KillTimer = ::KillTimer;
    decltype(&::RegisterHotKey) RegisterHotKey = ::RegisterHotKey;
    decltype(&::UnregisterHotKey) UnregisterHotKey = ::UnregisterHotKey;
    decltype(&::LoadImageW) LoadImageW = ::LoadImageW;
    decltype(&::DestroyIcon) DestroyIcon = ::DestroyIcon;
    decltype(&::GetSystemMetrics) GetSystemMetrics = ::GetSystemMetrics;
    decltype(&::GetSystemMetricsForDpi) GetSystemMetricsForDpi = ::GetSystemMetricsForDpi;
    decltype(&::GetDpiForSystem) GetDpiForSystem = ::GetDpiForSystem;
    decltype(&::FindWindowW) FindWindowW = ::FindWindowW;
    decltype(&::MonitorFromPoint) MonitorFromPoint = ::MonitorFromPoint;
    decltype(&::CreatePopupMenu) CreatePopupMenu = ::CreatePopupMenu;
    decltype(&::AppendMenuW) AppendMenuW = ::AppendMenuW;
    decltype(&::SetMenuItemInfoW) SetMenuItemInfoW = ::SetMenuItemInfoW;
    decltype(&::CheckMenuItem) CheckMenuItem = ::CheckMenuItem;
    decltype(&::EnableMenuItem) EnableMenuItem = ::EnableMenuItem;
    decltype(&::DeleteMenu) DeleteMenu = ::DeleteMenu;
    decltype(&::GetMenuItemCount) GetMenuItemCount = ::GetMenuItemCount;
    decltype(&::GetSubMenu) GetSubMenu = ::GetSubMenu;
    decltype(&::DestroyMenu) DestroyMenu = ::DestroyMenu;
    decltype(&::TrackPopupMenu) TrackPopupMenu = ::TrackPopupMenu;
    decltype(&::GetCursorPos) GetCursorPos = ::GetCursorPos;
    decltype(&::MessageBoxW) MessageBoxW = ::MessageBoxW;

    // The program that owns the clipboard.
    decltype(&::GetClipboardOwner) GetClipboardOwner = ::GetClipboardOwner;
    decltype(&::GetWindowThreadProcessId) GetWindowThreadProcessId = ::GetWindowThreadProcessId;
    decltype(&::OpenProcess) OpenProcess = ::OpenProcess;
    decltype(&::QueryFullProcessImageNameW) QueryFullProcessImageNameW =
        ::QueryFullProcessImageNameW;

    // The step hint.
    decltype(&::SetWindowTextW) SetWindowTextW = ::SetWindowTextW;
    decltype(&::GetWindowTextW) GetWindowTextW = ::GetWindowTextW;
    decltype(&::GetForegroundWindow) GetForegroundWindow = ::GetForegroundWindow;
    decltype(&::MonitorFromWindow) MonitorFromWindow = ::MonitorFromWindow;
    decltype(&::GetMonitorInfoW) GetMonitorInfoW = ::GetMonitorInfoW;
    decltype(&::GetDpiForMonitor) GetDpiForMonitor = ::GetDpiForMonitor;
    decltype(&::SystemParametersInfoW) SystemParametersInfoW = ::SystemParametersInfoW;
    decltype(&::SystemParametersInfoForDpi) SystemParametersInfoForDpi =
        ::SystemParametersInfoForDpi;
    decltype(&::CreateFontIndirectW) CreateFontIndirectW = ::CreateFontIndirectW;
    decltype(&::DeleteObject) DeleteObject = ::DeleteObject;
    decltype(&::GetDC) GetDC = ::GetDC;
    decltype(&::ReleaseDC) ReleaseDC = ::ReleaseDC;
    decltype(&::SelectObject) SelectObject = ::SelectObject;
    decltype(&::DrawTextW) DrawTextW = ::DrawTextW;
    decltype(&::SetLayeredWindowAttributes) SetLayeredWindowAttributes =
        ::SetLayeredWindowAttributes;
    decltype(&::SetWindowPos) SetWindowPos = ::SetWindowPos;
    decltype(&::InvalidateRect) InvalidateRect = ::InvalidateRect;
    decltype(&::UpdateWindow) UpdateWindow = ::UpdateWindow;
    decltype(&::BeginPaint) BeginPaint = ::BeginPaint;
    decltype(&::EndPaint) EndPaint = ::EndPaint;
    decltype(&::GetClientRect) GetClientRect = ::GetClientRect;
    decltype(&::FillRect) FillRect = ::FillRect;
    decltype(&::FrameRect) FrameRect = ::FrameRect;
    decltype(&::GetSysColorBrush) GetSysColorBrush = ::GetSysColorBrush;
    decltype(&::GetSysColor) GetSysColor = ::GetSysColor;
    decltype(&::SetTextColor) SetTextColor = ::SetTextColor;
    decltype(&::SetBkMode) SetBkMode = ::SetBkMode;

    // The settings window and its key fields.
    decltype(&::CreateDialogParamW) CreateDialogParamW = ::CreateDialogParamW;
    decltype(&::IsDialogMessageW) IsDialogMessageW = ::IsDialogMessageW;
    decltype(&::GetDlgItem) GetDlgItem = ::GetDlgItem;
    decltype(&::SendDlgItemMessageW) SendDlgItemMessageW = ::SendDlgItemMessageW;
    decltype(&::SetDlgItemTextW) SetDlgItemTextW = ::SetDlgItemTextW;
    decltype(&::GetWindowTextLengthW) GetWindowTextLengthW = ::GetWindowTextLengthW;
    decltype(&::CheckDlgButton) CheckDlgButton = ::CheckDlgButton;
    decltype(&::IsDlgButtonChecked) IsDlgButtonChecked = ::IsDlgButtonChecked;
    decltype(&::EnableWindow) EnableWindow = ::EnableWindow;
    decltype(&::IsIconic) IsIconic = ::IsIconic;
    decltype(&::GetOpenFileNameW) GetOpenFileNameW = ::GetOpenFileNameW;
    decltype(&::GetKeyState) GetKeyState = ::GetKeyState;
    decltype(&::GetFocus) GetFocus = ::GetFocus;
    decltype(&::SetFocus) SetFocus = ::SetFocus;
    decltype(&::GetParent) GetParent = ::GetParent;
    decltype(&::GetDlgCtrlID) GetDlgCtrlID = ::GetDlgCtrlID;
    decltype(&::IsWindowEnabled) IsWindowEnabled = ::IsWindowEnabled;
    decltype(&::DrawFocusRect) DrawFocusRect = ::DrawFocusRect;

    // The keyboard hook and its thread.
    decltype(&::SetWindowsHookExW) SetWindowsHookExW = ::SetWindowsHookExW;
    decltype(&::UnhookWindowsHookEx) UnhookWindowsHookEx = ::UnhookWindowsHookEx;
    decltype(&::CallNextHookEx) CallNextHookEx = ::CallNextHookEx;
    decltype(&::GetAsyncKeyState) GetAsyncKeyState = ::GetAsyncKeyState;
    decltype(&::SendInput) SendInput = ::SendInput;
    decltype(&::GetLastInputInfo) GetLastInputInfo = ::GetLastInputInfo;
    decltype(&::GetTickCount) GetTickCount = ::GetTickCount;
    decltype(&::GetMessageW) GetMessageW = ::GetMessageW;
    decltype(&::PeekMessageW) PeekMessageW = ::PeekMessageW;
    decltype(&::PostThreadMessageW) PostThreadMessageW = ::PostThreadMessageW;

    // The shell: web links, the Startup folders and the shortcut.
    decltype(&::ShellExecuteW) ShellExecuteW = ::ShellExecuteW;
    decltype(&::SHGetKnownFolderPath) SHGetKnownFolderPath = ::SHGetKnownFolderPath;
    decltype(&::CoTaskMemFree) CoTaskMemFree = ::CoTaskMemFree;
    decltype(&::GetFileAttributesW) GetFileAttributesW = ::GetFileAttributesW;
    decltype(&::SetFileAttributesW) SetFileAttributesW = ::SetFileAttributesW;
    decltype(&::DeleteFileW) DeleteFileW = ::DeleteFileW;
    decltype(&::CoInitializeEx) CoInitializeEx = ::CoInitializeEx;
    decltype(&::CoUninitialize) CoUninitialize = ::CoUninitialize;
    decltype(&::CoCreateInstance) CoCreateInstance = ::CoCreateInstance;
};

// The table in use; starts out with the real functions.
Win32Api& Api();

}  // namespace revertly::app
