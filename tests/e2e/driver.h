// Drives the real revertly.exe from another process, the way a person and the programs around
// them do: it copies the program into a folder and starts it, sets and reads the clipboard,
// presses the global hotkeys, opens the tray menu and picks items with the keyboard, answers
// the message boxes, and looks at what the program leaves behind (the settings file, the
// Startup shortcut, the single-instance block, the process's exit).
//
// Everything that waits polls a condition up to a deadline and keeps this thread's messages
// flowing meanwhile: the program sends messages to the driver's windows (the clipboard-viewer
// chain) and would stall while the driver did not answer them.
#pragma once

#include "e2e/clipboard.h"
#include "e2e/desktop.h"
#include "e2e/footprint.h"
#include "e2e/keys.h"
#include "e2e/revertly.h"
#include "e2e/scratch_folder.h"
#include "support/wait_until.h"

namespace revertly::driver {

using testing::Milliseconds;

using testing::kPatience;

// Waits with this thread's messages handled (the program sends messages to the driver's
// windows), never with fixed sleeps alone: PumpFor only spaces the steps of a scenario.
using testing::PumpFor;
using testing::WaitUntil;

}  // namespace revertly::driver
