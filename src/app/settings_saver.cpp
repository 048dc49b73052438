#include "app/settings_saver.h"

#include <algorithm>
#include <utility>

namespace revertly::app {

void SettingsSaver::Save() {
    file_.SaveSettings();
    ScheduleRetry();
}

void SettingsSaver::ScheduleRetry() {
    if (!file_.SavePending()) {
        if (std::exchange(retryMilliseconds_, 0) != 0) {
            window_.StopTimer(TimerId::SaveSettings);
        }
        return;
    }
    retryMilliseconds_ = retryMilliseconds_ == 0
                             ? kFirstSettingsRetryMilliseconds
                             : std::min(2 * retryMilliseconds_, kLongestSettingsRetryMilliseconds);
    window_.StartTimer(TimerId::SaveSettings, retryMilliseconds_);
}

void SettingsSaver::TimerTicked() {
    if (file_.SavePending()) {
        Save();
    }
}

void SettingsSaver::SaveAtExit() {
    if (file_.SavePending()) {
        window_.StopTimer(TimerId::SaveSettings);
        retryMilliseconds_ = 0;
        file_.SaveSettings(kShutdownSavePatienceMilliseconds);
    }
}

}  // namespace revertly::app
