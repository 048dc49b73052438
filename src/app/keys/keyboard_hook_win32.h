// The keyboard hook that claims hotkeys Windows would not register for the program: a
// low-level keyboard hook (WH_KEYBOARD_LL) on a thread of its own. Windows calls such a hook
// for every keystroke of the system, before it looks for registered hotkeys, and waits for
// it; the window's thread can be busy for hundreds of milliseconds with a large clipboard or
// blocked by a clipboard owner, so the hook never runs there. A claimed combination's
// key-down reaches the main window as WM_HOTKEY, exactly as a registered hotkey does.
#pragma once

#include <windows.h>

#include <atomic>
#include <future>
#include <thread>

#include "app/keys/keyboard_claims.h"

namespace revertly::app {

// dwExtraInfo of the neutral key events the hook sends itself, so that it lets them pass.
inline constexpr ULONG_PTR kNeutralKeyMark = 0x52565254;  // "RVRT"

class KeyboardHook {
  public:
    // Claimed keys are posted to this window.
    explicit KeyboardHook(HWND window) : window_(window) {}
    ~KeyboardHook() { Stop(); }
    KeyboardHook(const KeyboardHook&) = delete;
    KeyboardHook& operator=(const KeyboardHook&) = delete;

    // Claims the combination for the id, starting the hook's thread with the first claim;
    // false when the hook cannot be installed.
    bool Claim(int id, Hotkey hotkey);
    // Gives the id's claim up; the thread ends with the last claim (and no field recording).
    void Unclaim(int id);
    // While a key field has the focus: each key-down of a letter, a digit or F1 to F24 with
    // Ctrl, Alt or Win held goes to the field (kRecordedKey) and to nobody else, claimed keys
    // included. False when the hook cannot be installed.
    bool RecordFor(HWND field);
    void StopRecording();
    bool Running() const { return thread_.joinable(); }
    // The window that had the foreground before the hook gave it to the main window for the
    // pick key, once; nothing when the hook took none since the last call.
    HWND TakeForegroundBefore() { return foregroundBefore_.exchange(nullptr); }

  private:
    static LRESULT CALLBACK LowLevelKeyboard(int code, WPARAM wParam, LPARAM lParam);
    // Starts the hook's thread unless it runs; false when the hook cannot be installed.
    bool Start();
    void StopWhenIdle();
    // On the hook's thread: hands a combination to the field that records; true when it did.
    bool Recorded(const KBDLLHOOKSTRUCT& event, bool down);
    void Run(std::promise<bool>& installed);
    bool Install();
    void OnTimer();
    void SendNeutralKey() const;
    void TakeForeground();
    void Stop();

    HWND window_;
    KeyClaims claims_;
    std::atomic<HWND> recorder_{nullptr};
    std::atomic<HWND> foregroundBefore_{nullptr};
    std::thread thread_;
    DWORD threadId_ = 0;
    // The hook's thread only.
    HHOOK hook_ = nullptr;
    HookRemovalWatch watch_;
    ModifierKeys modifiers_;
};

}  // namespace revertly::app
