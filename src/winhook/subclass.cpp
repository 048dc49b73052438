#include "winhook/subclass.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace revertly::winhook {

LResult DispatchHookedMessage(const HookRecord& record, WindowProcedurePort& port,
                              WindowHandle window, std::uint32_t message, WParam wParam,
                              LParam lParam) {
    bool handled = false;
    const LResult own = record.before(window, message, wParam, lParam, handled);
    if (handled) {
        return own;
    }
    LResult result = own;
    if (record.previous != 0) {
        result = port.CallProcedure(record.previous, window, message, wParam, lParam);
    }
    if (record.after) {
        bool afterHandled = false;
        const LResult afterResult = record.after(window, message, wParam, lParam, afterHandled);
        if (afterHandled) {
            result = afterResult;
        }
    }
    return result;
}

HookHandle Subclass::SubclassWindow(WindowHandle window, MessageHandler before,
                                    MessageHandler after) {
    const bool alreadyHooked =
        std::any_of(hooks_.begin(), hooks_.end(),
                    [window](const auto& hook) { return hook->window == window; });
    if (!before || alreadyHooked) {
        return 0;
    }
    std::shared_ptr<HookRecord> record;
    try {
        record = std::make_shared<HookRecord>();
        record->handle = NewHandle();
        record->window = window;
        record->before = std::move(before);
        record->after = std::move(after);
        // Once the window is hooked, keeping the record must not fail.
        hooks_.reserve(hooks_.size() + 1);
    } catch (const std::exception&) {
        // Out of memory: nothing has touched the window yet.
        return 0;
    }
    record->previous = port_.InstallHook(window, *this);
    if (record->previous == 0) {
        return 0;
    }
    hooks_.push_back(std::move(record));
    return hooks_.back()->handle;
}

void Subclass::UnsubclassWindow(HookHandle handle) {
    if (handle == 0) {
        return;
    }
    const auto found = std::find_if(hooks_.begin(), hooks_.end(),
                                    [handle](const auto& hook) { return hook->handle == handle; });
    if (found == hooks_.end()) {
        return;
    }
    // A dispatch in progress for this hook keeps its own reference to the record.
    const std::shared_ptr<const HookRecord> record = *found;
    hooks_.erase(found);
    port_.RemoveHook(record->window, record->previous);
}

void Subclass::UnsubclassAll() {
    // The list is emptied first, so that a message sent while a procedure is being put
    // back cannot reach a hook that is half removed.
    const auto removed = std::exchange(hooks_, {});
    for (const auto& record : removed) {
        port_.RemoveHook(record->window, record->previous);
    }
}

std::vector<HookHandle> Subclass::InstalledHooks() const {
    std::vector<HookHandle> handles;
    handles.reserve(hooks_.size());
    for (const auto& hook : hooks_) {
        handles.push_back(hook->handle);
    }
    return handles;
}

std::optional<LResult> Subclass::Dispatch(WindowHandle window, std::uint32_t message, WParam wParam,
                                          LParam lParam) {
    const auto found = std::find_if(hooks_.begin(), hooks_.end(),
                                    [window](const auto& hook) { return hook->window == window; });
    if (found == hooks_.end()) {
        return std::nullopt;
    }
    // Held for the whole dispatch: the handler may remove this very hook.
    const std::shared_ptr<const HookRecord> record = *found;
    return DispatchHookedMessage(*record, port_, window, message, wParam, lParam);
}

HookHandle Subclass::NewHandle() {
    // Handles count up from 1; after a wrap-around 0 and handles still in use are skipped.
    const auto inUse = [this](HookHandle handle) {
        return std::any_of(hooks_.begin(), hooks_.end(),
                           [handle](const auto& hook) { return hook->handle == handle; });
    };
    do {
        ++lastHandle_;
    } while (lastHandle_ == 0 || inUse(lastHandle_));
    return lastHandle_;
}

}  // namespace revertly::winhook
