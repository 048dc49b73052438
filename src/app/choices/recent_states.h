// The "Recent states" list: every kept state, newest first, each shown by the preview that the
// step hint shows, with a number as its access key; the state the clipboard holds is checked.
// Choosing one puts it on the clipboard and makes it the current state, as that many undos or
// redos would, and the states after it stay for redo.
#pragma once

#include <cstdint>
#include <vector>

#include "app/app_ports.h"
#include "history/state_history.h"

namespace revertly::app {

struct RecentStates {
    std::vector<RecentStateLine> lines;
    // The slot of each line's state.
    std::vector<std::int32_t> slots;
};

// The list as the history stands. The numbers run from 1; the first ten are access keys
// (1 to 9, and the 0 of 10), later ones are shown only.
RecentStates ListRecentStates(const history::StateHistory& history);

}  // namespace revertly::app
