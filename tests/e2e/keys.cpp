#include "e2e/keys.h"

#include <atomic>
#include <cstdio>
#include <future>

#include "support/wait_until.h"

namespace revertly::driver {

namespace {

std::atomic<KeyRecorder*> recorder{nullptr};

}  // namespace

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    const bool extended = virtualKey == VK_LWIN || virtualKey == VK_UP || virtualKey == VK_DOWN ||
                          virtualKey == VK_LEFT || virtualKey == VK_RIGHT;
    input.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    return input;
}

bool SendKeys(std::vector<INPUT> inputs) {
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
           inputs.size();
}

bool PressKeys(std::initializer_list<WORD> virtualKeys) {
    std::vector<INPUT> inputs;
    for (const WORD key : virtualKeys) {
        inputs.push_back(KeyInput(key, false));
        inputs.push_back(KeyInput(key, true));
    }
    return SendKeys(std::move(inputs));
}

namespace {

bool Held(WORD virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

}  // namespace

// Holds the modifiers down as a person's fingers do. Wine reads the keyboard's state from X
// again whenever one of its windows gains the X focus or the pointer (a message box or the
// tray menu appearing), and lets go of every key that X does not hold: a key pressed only
// through SendInput is one. The program's thread does that re-reading when it next waits,
// which on a busy machine can come in the middle of a chord, so that Windows saw a plain C
// where Win+C was pressed (Wine's keyboard trace: "X11DRV_KeymapNotify Adjusting state for
// vkey 0x15b" in the program's thread between the driver's Win and its letter). A key that a
// person holds is held in X too and survives that; here a modifier let go is pressed again,
// until the modifiers have stayed down for a moment, and only then comes the letter.
bool HoldModifiers(const std::vector<WORD>& modifiers) {
    constexpr testing::Milliseconds kSteady{50};
    constexpr int kMostPresses = 20;
    for (int press = 0; press < kMostPresses; ++press) {
        std::vector<INPUT> down;
        for (const WORD key : modifiers) {
            if (!Held(key)) {
                down.push_back(KeyInput(key, false));
            }
        }
        if (press > 0 && down.empty()) {
            return true;
        }
        if (!down.empty() && !SendKeys(std::move(down))) {
            return false;
        }
        testing::PumpFor(kSteady);
    }
    return false;
}

bool FinishChord(const std::vector<WORD>& modifiers, WORD virtualKey) {
    std::vector<INPUT> inputs = {KeyInput(virtualKey, false), KeyInput(virtualKey, true)};
    for (auto key = modifiers.rbegin(); key != modifiers.rend(); ++key) {
        inputs.push_back(KeyInput(*key, true));
    }
    return SendKeys(std::move(inputs));
}

bool PressChord(std::initializer_list<WORD> modifiers, WORD virtualKey) {
    const std::vector<WORD> held(modifiers);
    return HoldModifiers(held) && FinishChord(held, virtualKey);
}

bool PressWinKey(WORD virtualKey) {
    return PressChord({VK_LWIN}, virtualKey);
}

bool WinHotkeyFree(WORD virtualKey) {
    constexpr int kProbeId = 0xBFFF;
    if (!RegisterHotKey(nullptr, kProbeId, MOD_WIN, virtualKey)) {
        return false;
    }
    UnregisterHotKey(nullptr, kProbeId);
    return true;
}

KeyRecorder::KeyRecorder() {
    std::promise<bool> ready;
    std::future<bool> answer = ready.get_future();
    recorder = this;
    thread_ = std::thread([this, &ready] {
        threadId_ = GetCurrentThreadId();
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, &Hook, GetModuleHandleW(nullptr), 0);
        ready.set_value(hook != nullptr);
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        }
        if (hook != nullptr) {
            UnhookWindowsHookEx(hook);
        }
    });
    installed_ = answer.get();
}

KeyRecorder::~KeyRecorder() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    recorder = nullptr;
}

std::string KeyRecorder::Take(std::size_t count) {
    testing::WaitUntil([&] {
        const std::lock_guard lock(mutex_);
        return events_.size() >= count;
    });
    const std::lock_guard lock(mutex_);
    std::string seen;
    for (const std::string& event : events_) {
        seen += (seen.empty() ? "" : ", ") + event;
    }
    events_.clear();
    return seen;
}

LRESULT CALLBACK KeyRecorder::Hook(int code, WPARAM wParam, LPARAM lParam) {
    KeyRecorder* self = recorder;
    if (code == HC_ACTION && self != nullptr) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        const std::size_t key = event->vkCode & 0xFF;
        // A key that goes down again while down is a repeat (the keyboard's, or a modifier
        // that PressChord holds again): the same key held, not another key.
        const bool repeat = down && self->down_[key];
        self->down_[key] = down;
        if (!repeat) {
            char text[16];
            std::snprintf(text, sizeof text, "%02lX %s", event->vkCode, down ? "down" : "up");
            const std::lock_guard lock(self->mutex_);
            self->events_.push_back(text);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace revertly::driver
