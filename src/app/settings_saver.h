// Saves of the settings file while the program runs. A save that another program blocks for
// a moment (a virus scanner, the indexer or a sync client reading the file) is tried again
// from the main window's timer, each time a little later; every try writes the settings of
// now, so the newest choice wins. The window's thread never waits for it, except at exit.
#pragma once

#include <cstdint>

#include "app/app_ports.h"
#include "settings/settings.h"

namespace revertly::app {

// A blocked save is tried again this soon, then at twice the wait each time up to the
// longest, for as long as the program runs. At shutdown it gets one last try that waits up to
// the patience for the other program to let go.
inline constexpr std::uint32_t kFirstSettingsRetryMilliseconds = 50;
inline constexpr std::uint32_t kLongestSettingsRetryMilliseconds = 5000;
inline constexpr std::uint32_t kShutdownSavePatienceMilliseconds = 1000;

class SettingsSaver {
  public:
    SettingsSaver(settings::SettingsFile& file, MainWindowPort& window)
        : file_(file), window_(window) {}

    void Save();
    // After a save that the file itself made (a change of a setting): starts the next try
    // when it is pending, stops the tries when it went through.
    void ScheduleRetry();
    // A tick that was queued before its timer stopped may still arrive: it finds nothing to do.
    void TimerTicked();
    // Only a save still pending is written at exit: the last choice the user made must not be
    // lost because a reader held the file at the wrong moment.
    void SaveAtExit();

  private:
    settings::SettingsFile& file_;
    MainWindowPort& window_;
    // The wait before the next try of a pending save; 0 when none is pending.
    std::uint32_t retryMilliseconds_ = 0;
};

}  // namespace revertly::app
