// "Pause recording" in the tray menu: while paused no copy is recorded and nothing is put back
// over the clipboard (the burst and empty-clipboard rules rest), while undo, redo and the
// "Recent states" list go on working on what was kept. The tray tip says so. A pause lasts
// until the item is chosen again, or the program ends: every start records.
#pragma once

#include <string_view>

#include "app/app_ports.h"

namespace revertly::app {

class RecordingPause {
  public:
    bool Paused() const { return paused_; }
    // Pauses or resumes, and shows which in the menu's check mark.
    void Toggle(MainWindowPort& window);

  private:
    bool paused_ = false;
};

}  // namespace revertly::app
