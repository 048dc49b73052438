#include "e2e/keys.h"

#include <atomic>
#include <cstdio>
#include <future>

#include "e2e/driver.h"

namespace revertly::driver {

namespace {

std::atomic<KeyRecorder*> recorder{nullptr};

}  // namespace

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
    WaitUntil([&] {
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
        char text[16];
        std::snprintf(text, sizeof text, "%02lX %s", event->vkCode, down ? "down" : "up");
        const std::lock_guard lock(self->mutex_);
        self->events_.push_back(text);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace revertly::driver
