// Waiting on Windows for what another thread or process does: the condition is checked with
// this thread's messages handled in between, since the programs under test send messages to
// this process's windows (the clipboard-viewer chain, a keyboard hook) and would stall while
// they went unanswered.
#pragma once

#include <chrono>
#include <functional>

namespace revertly::testing {

using Milliseconds = std::chrono::milliseconds;

// How long a step that should follow at once may take before it counts as not happening.
inline constexpr Milliseconds kPatience{5000};

// Handles the messages waiting for this thread.
void HandleMessages();
// Checks the condition about every millisecond, handling this thread's messages in between,
// until it holds or the timeout passes; answers whether it held.
bool WaitUntil(const std::function<bool()>& condition, Milliseconds timeout = kPatience);
// Lets the time pass with this thread's messages handled as they come.
void PumpFor(Milliseconds duration);

}  // namespace revertly::testing
