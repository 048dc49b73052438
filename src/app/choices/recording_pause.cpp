#include "app/choices/recording_pause.h"

namespace revertly::app {

void RecordingPause::Toggle(MainWindowPort& window) {
    paused_ = !paused_;
    window.SetMenuCheck(MenuItem::PauseRecording, paused_);
}

}  // namespace revertly::app
