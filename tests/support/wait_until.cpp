#include "support/wait_until.h"

#include <windows.h>

#include <algorithm>

namespace revertly::testing {

void HandleMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool WaitUntil(const std::function<bool()>& condition, Milliseconds timeout,
               Milliseconds interval) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        HandleMessages();
        if (condition()) {
            return true;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        // Wakes for a message at once, else after the interval at most.
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - now).count();
        MsgWaitForMultipleObjectsEx(0, nullptr,
                                    static_cast<DWORD>(std::min<long long>(left, interval.count())),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void PumpFor(Milliseconds duration) {
    WaitUntil([] { return false; }, duration);
}

}  // namespace revertly::testing
