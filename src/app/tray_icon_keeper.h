// The program's icon in the notification area, kept there: added at start-up, offered again
// from the main window's timer while the shell refuses it (Explorer still busy at log-on, and
// no "TaskbarCreated" follows), and added anew whenever the shell recreates the area.
#pragma once

#include <cstdint>
#include <memory>

#include "app/app_ports.h"
#include "tray/tray.h"

namespace revertly::app {

// While the shell refuses the icon, it is offered again this often.
inline constexpr std::uint32_t kTrayRetryMilliseconds = 3000;

class TrayIconKeeper {
  public:
    TrayIconKeeper(tray::ShellNotifyPort& notify, tray::TrayHost& host, MainWindowPort& window)
        : notify_(notify), host_(host), window_(window) {}

    void Add();
    // Adds the icon anew, with its picture loaded again at the DPI of now: the notification
    // area is recreated also when the display's scale changes.
    void AddAnew();
    void TimerTicked();
    // Takes the icon away for good.
    void Remove();
    // Nothing before Add.
    tray::Tray* Icon() const { return icon_.get(); }

  private:
    // While the shell has not taken the icon, the timer offers it again.
    void ScheduleRetry();

    tray::ShellNotifyPort& notify_;
    tray::TrayHost& host_;
    MainWindowPort& window_;
    std::unique_ptr<tray::Tray> icon_;
    bool retrying_ = false;
};

}  // namespace revertly::app
