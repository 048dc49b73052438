#include "app/choices/recording_pause.h"

namespace revertly::app {

void RecordingPause::Toggle(MainWindowPort& window, tray::Tray* icon) {
    paused_ = !paused_;
    window.SetMenuCheck(MenuItem::PauseRecording, paused_);
    if (icon == nullptr) {
        return;
    }
    if (paused_) {
        icon->Tooltip(kPausedTip);
    } else {
        icon->ClearTooltip();
    }
}

}  // namespace revertly::app
