#include "app/keys/keyboard_hook_win32.h"

#include "app/api_win32.h"
#include "app/settings_window/key_field_win32.h"

namespace revertly::app {

static_assert(kModAlt == MOD_ALT && kModControl == MOD_CONTROL && kModShift == MOD_SHIFT &&
              kModWin == MOD_WIN);

namespace {

// The hook of the thread that runs the callback: a low-level hook's callback carries no
// pointer of its own, and it is always called on the thread that installed it.
thread_local KeyboardHook* currentHook = nullptr;

bool SystemHeld(std::uint32_t virtualKey) {
    return (Api().GetAsyncKeyState(static_cast<int>(virtualKey)) & 0x8000) != 0;
}

}  // namespace

bool KeyboardHook::Start() {
    if (!Running()) {
        std::promise<bool> installed;
        std::future<bool> answer = installed.get_future();
        thread_ = std::thread([this, &installed] { Run(installed); });
        if (!answer.get()) {
            thread_.join();
            return false;
        }
    }
    return true;
}

bool KeyboardHook::Claim(int id, Hotkey hotkey) {
    if (!Start()) {
        return false;
    }
    claims_.Claim(id, hotkey);
    return true;
}

void KeyboardHook::Unclaim(int id) {
    claims_.Unclaim(id);
    StopWhenIdle();
}

bool KeyboardHook::RecordFor(HWND field) {
    if (!Start()) {
        return false;
    }
    recorder_.store(field);
    return true;
}

void KeyboardHook::StopRecording() {
    recorder_.store(nullptr);
    StopWhenIdle();
}

void KeyboardHook::StopWhenIdle() {
    if (!claims_.Any() && recorder_.load() == nullptr) {
        Stop();
    }
}

void KeyboardHook::Stop() {
    if (Running()) {
        Api().PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
}

void KeyboardHook::Run(std::promise<bool>& installed) {
    currentHook = this;
    threadId_ = GetCurrentThreadId();
    // The thread's message queue must exist before anyone posts WM_QUIT to it.
    MSG message;
    Api().PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    const bool ok = Install();
    installed.set_value(ok);  // the promise is gone after this: the caller goes on
    if (!ok) {
        return;
    }
    const UINT_PTR timer = Api().SetTimer(nullptr, 0, kHookCheckMilliseconds, nullptr);
    while (Api().GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.wParam == timer) {
            OnTimer();
        }
    }
    Api().KillTimer(nullptr, timer);
    Api().UnhookWindowsHookEx(hook_);
    hook_ = nullptr;
}

bool KeyboardHook::Install() {
    hook_ =
        Api().SetWindowsHookExW(WH_KEYBOARD_LL, &LowLevelKeyboard, GetModuleHandleW(nullptr), 0);
    watch_.Seen(Api().GetTickCount());
    return hook_ != nullptr;
}

// Windows removes a hook that kept the system waiting too long, and says nothing: when the
// system saw input that the hook did not, the hook is installed again.
void KeyboardHook::OnTimer() {
    LASTINPUTINFO input{};
    input.cbSize = sizeof input;
    if (Api().GetLastInputInfo(&input) && watch_.HookRemoved(input.dwTime)) {
        Api().UnhookWindowsHookEx(hook_);
        Install();
    }
}

void KeyboardHook::SendNeutralKey() const {
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = static_cast<WORD>(kNeutralVirtualKey);
        key.ki.dwExtraInfo = kNeutralKeyMark;
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    Api().SendInput(2, keys, sizeof(INPUT));
}

// The pick key opens a list that needs the keyboard, in front of the program the user types
// into. Windows lets a process set the foreground window while it received the last input
// event (SetForegroundWindow's remarks). Windows hands the key to this hook, by a message sent
// to this thread, and the hook keeps it from every other program: so that holds here, during
// the call, and no longer once the next event goes to another program (the neutral key sent
// right after, the release of the Windows key). The window's own thread, which handles the
// key later, would be refused, and the list would open with the keyboard left to the program
// underneath. Granting that right to the process (AllowSetForegroundWindow) would gain nothing:
// only a process that holds it may grant it, and a grant too ends with the user's next input.
// So the hook takes the foreground for the window, and notes where it took it from.
void KeyboardHook::TakeForeground() {
    const HWND previous = Api().GetForegroundWindow();
    if (previous != nullptr && previous != window_ && Api().SetForegroundWindow(window_)) {
        foregroundBefore_.store(previous);
    }
}

// The field has the focus, so the key-down was meant for it; its key-up passes. A combination
// with the Windows key or Alt gets the neutral key too, as a claimed one does.
bool KeyboardHook::Recorded(const KBDLLHOOKSTRUCT& event, bool down) {
    const HWND field = recorder_.load();
    const std::uint32_t key = event.vkCode;
    const bool recordable =
        (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || (key >= VK_F1 && key <= VK_F24);
    if (field == nullptr || !down || !recordable || event.dwExtraInfo == kNeutralKeyMark) {
        return false;
    }
    const std::uint32_t held = modifiers_.HeldAt(event.time, &SystemHeld);
    if ((held & (kModControl | kModAlt | kModWin)) == 0) {
        return false;
    }
    Api().PostMessageW(field, kRecordedKey, key, static_cast<LPARAM>(held));
    if ((held & (kModWin | kModAlt)) != 0) {
        SendNeutralKey();
    }
    return true;
}

// Every keystroke of the system passes here: compare, post, and nothing else (but the
// foreground for the pick key).
LRESULT CALLBACK KeyboardHook::LowLevelKeyboard(int code, WPARAM wParam, LPARAM lParam) {
    KeyboardHook* self = currentHook;
    if (code == HC_ACTION && self != nullptr) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        self->watch_.Seen(Api().GetTickCount());
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        self->modifiers_.Seen(event->vkCode, down, event->time);
        if (self->Recorded(*event, down)) {
            return 1;
        }
        if (event->dwExtraInfo != kNeutralKeyMark && self->claims_.Concerns(event->vkCode)) {
            const std::uint32_t held = self->modifiers_.HeldAt(event->time, &SystemHeld);
            const KeyDecision decision = self->claims_.OnKey(event->vkCode, down, held);
            if (decision.hotkeyId == kPickHotkey) {
                self->TakeForeground();
            }
            if (decision.hotkeyId) {
                Api().PostMessageW(self->window_, WM_HOTKEY,
                                   static_cast<WPARAM>(*decision.hotkeyId),
                                   MAKELPARAM(held, event->vkCode));
            }
            if (decision.sendNeutralKey) {
                self->SendNeutralKey();
            }
            if (decision.swallow) {
                return 1;
            }
        }
    }
    return Api().CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace revertly::app
