#include "app/tray_icon_keeper.h"

#include <utility>

namespace revertly::app {

void TrayIconKeeper::Add() {
    icon_ = std::make_unique<tray::Tray>(notify_);
    icon_->Initialize(host_, 0);
    icon_->AutoRefresh(true);
    icon_->AddIcon();
    ScheduleRetry();
}

void TrayIconKeeper::AddAnew() {
    window_.LoadSmallIcon();
    icon_->AddIconAgain(host_.WindowIcon());
    ScheduleRetry();
}

// A tick that was queued before its timer stopped may still arrive: it finds nothing to do.
void TrayIconKeeper::TimerTicked() {
    if (retrying_) {
        AddAnew();
    }
}

void TrayIconKeeper::Remove() {
    if (icon_) {
        icon_->RemoveIcon();
    }
    if (std::exchange(retrying_, false)) {
        window_.StopTimer(TimerId::AddTrayIcon);
    }
}

void TrayIconKeeper::ScheduleRetry() {
    const bool retry = icon_->Visible() && !icon_->InNotificationArea();
    if (retry && !retrying_) {
        window_.StartTimer(TimerId::AddTrayIcon, kTrayRetryMilliseconds);
    } else if (!retry && retrying_) {
        window_.StopTimer(TimerId::AddTrayIcon);
    }
    retrying_ = retry;
}

}  // namespace revertly::app
