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
// Checks the condition when a message for this thread arrives and at least every interval,
// handling the messages, until it holds or the timeout passes; answers whether it held. The
// interval is kept coarse by default: a condition that reads a file the program is replacing
// would otherwise hold that file open most of the time.
bool WaitUntil(const std::function<bool()>& condition, Milliseconds timeout = kPatience,
               Milliseconds interval = Milliseconds{5});
// Lets the time pass with this thread's messages handled as they come.
void PumpFor(Milliseconds duration);

}  // namespace revertly::testing
