#include "app/main_form.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "app/messages.h"

namespace revertly::app {

namespace {

// The "Remember the N states" items, one for each capacity offered.
constexpr int kStatesCountItems = static_cast<int>(std::size(history::kStateCounts));

MenuItem StatesCountItem(int index) {
    return static_cast<MenuItem>(static_cast<std::uint32_t>(MenuItem::StatesCount1) + index - 1);
}

}  // namespace

frmMain::frmMain(FormPorts ports, ProgramPaths paths, std::uint32_t taskbarCreated)
    : ports_(ports),
      paths_(std::move(paths)),
      taskbarCreated_(taskbarCreated),
      settings_(settings::SettingsFilePath(paths_.folder, paths_.executableName)),
      history_(ports.clipboard),
      chain_(ports.viewer),
      instance_(ports.blocks),
      subclass_(ports.procedures) {}

bool frmMain::Form_Initialize() {
    const WindowHandle window = ports_.window.Handle();
    if (instance_.CheckOneInstance(window).verdict == instance::InstanceVerdict::EndThisCopy) {
        return false;
    }

    // Decided before the settings are read, and kept for the whole run: beside the program,
    // or in the user's data folder when the program's folder refuses new files.
    const settings::SettingsPlace place =
        settings::ChooseSettingsPlace(ports_.settingsPlace, paths_.folder, paths_.executableName);
    settings_ = settings::SettingsFile(place.file, place.readFrom);

    // The window takes messages from here on: a step that waits on another program (the
    // shell, a clipboard owner, a message box) may let a close request in, which shuts down
    // what exists by then. Start-up then stops at its next step.
    settings_.LoadWithDefaults();
    // The keys are read at start-up only.
    const std::array<SettledHotkey, kHotkeyCount> hotkeys = SettleHotkeys(settings_.Settings());
    stepHint_ = StepHintWanted(settings_.Settings());
    if (const std::optional<std::uint32_t> megabytes =
            settings::HistoryMemoryMegabytes(settings_.Settings())) {
        history_.SetMemoryBudget(std::uint64_t{*megabytes} << 20);
    }
    packer_ = std::make_unique<history::BackgroundPacker>(
        [this] { ports_.window.PostToSelf(msg::kStatesPacked); });
    history_.SetPacker(packer_.get());
    for (const SettledHotkey& key : hotkeys) {
        if (key.menuCaption) {
            ports_.window.SetMenuCaption(key.menuItem, *key.menuCaption);
        }
    }

    const json::JsonValue* autorun = settings_.Get(settings::kAutorunKey);
    autorunChecked_ = SetAutorun(ports_.shell, paths_, autorun->AsBoolean());
    SetMenuCheck(MenuItem::Autorun, autorunChecked_);
    if (closed_) {
        return true;
    }

    // The first of the offered capacities that equals the setting; 10 for any other value,
    // which stays in the settings until the user picks a count.
    const std::optional<double> wanted = settings_.Get(settings::kStatesCountKey)->AsNumber();
    int index = 2;
    for (int i = 1; i <= kStatesCountItems; ++i) {
        if (wanted == history::kStateCounts[i - 1]) {
            index = i;
            break;
        }
    }
    history_.SetStatesCount(history::kStateCounts[index - 1]);
    SetMenuCheck(StatesCountItem(index), true);

    SaveSettings();
    copyWaiting_ = true;
    ReadWaitingCopy();
    if (closed_) {
        return true;
    }

    // From here on Windows tells the window of every change. Joining the viewer chain (where
    // the listener list refuses the window) sends a notice at once; the hook does not exist
    // yet, so that notice is not taken for a change and the clipboard just recorded is not
    // recorded twice.
    chain_.WatchClipboard(window);
    history_.NoticeEveryWrite(chain_.ListenerWindow() != 0);
    if (closed_) {
        return true;
    }

    TrayIcon_ = std::make_unique<tray::Tray>(ports_.notify);
    TrayIcon_->Initialize(ports_.trayHost, 0);
    TrayIcon_->AutoRefresh(true);
    TrayIcon_->AddIcon();
    ScheduleTrayRetry();
    if (closed_) {
        return true;
    }

    SubclassHandle_ = subclass_.SubclassWindow(
        window, [this](WindowHandle hwnd, std::uint32_t uMsg, WParam wParam, LParam lParam,
                       bool& handled) { return Proc(hwnd, uMsg, wParam, lParam, handled); });
    if (SubclassHandle_ == 0 && chain_.ViewerWindow() != 0) {
        // Without the hook no clipboard notice would be passed on: every viewer after this
        // window would go deaf. A program that cannot serve the chain leaves it.
        chain_.LeaveViewerChain();
    }

    // A key that Windows will not register (Explorer holds the Win+letter keys it uses) is
    // claimed through the keyboard hook; only a key that is neither is reported.
    for (const SettledHotkey& key : hotkeys) {
        if (closed_) {
            return true;
        }
        heldHotkeys_[key.id] = key.hotkey && (ports_.window.RegisterHotkey(key.id, *key.hotkey) ||
                                              ports_.window.ClaimHotkey(key.id, *key.hotkey));
        if (!heldHotkeys_[key.id]) {
            ports_.window.ShowMessage(key.takenMessage, kPlainStyle);
        }
    }
    return true;
}

bool frmMain::Form_QueryUnload(CloseReason reason) {
    if (reason == CloseReason::ControlMenu) {
        ports_.window.Hide();
        return true;
    }
    return false;
}

void frmMain::Form_Unload() {
    FinalCleanup();
}

void frmMain::StopTray() {
    if (TrayIcon_) {
        TrayIcon_->RemoveIcon();
    }
}

void frmMain::FinalCleanup() {
    // The packer's last job is finished first: it tells the window when it is done.
    history_.SetPacker(nullptr);
    packer_.reset();
    history_.ClearHistory();
    StopTray();
    if (std::exchange(trayRetrying_, false)) {
        ports_.window.StopTimer(TimerId::AddTrayIcon);
    }
    steps_.clear();
    if (std::exchange(stepRetrying_, false)) {
        ports_.window.StopTimer(TimerId::RetryStep);
    }
    // Only a save still pending is written at exit: the last choice the user made must not
    // be lost because a reader held the file at the wrong moment.
    if (settings_.SavePending()) {
        ports_.window.StopTimer(TimerId::SaveSettings);
        settingsRetryMilliseconds_ = 0;
        settings_.SaveSettings(kShutdownSavePatienceMilliseconds);
    }
    // The order matters: the window is destroyed while the hook still hands its messages
    // to Proc, which leaves the viewer chain, takes the hook off and releases the hotkeys
    // on WM_DESTROY; only then are any hooks left removed and the instance block given up.
    // Without the hook (not installed, or start-up not yet there) Proc sees nothing, and the
    // same is released here while the window still exists.
    if (SubclassHandle_ == 0) {
        ReleaseWindowServices();
    }
    ports_.window.Destroy();
    subclass_.UnsubclassAll();
    instance_.ReleaseOneInstance();
    ports_.window.Quit();
}

void frmMain::Close(CloseReason reason) {
    if (closed_ || Form_QueryUnload(reason)) {
        return;
    }
    closed_ = true;
    Form_Unload();
}

LResult frmMain::Proc(WindowHandle, std::uint32_t uMsg, WParam wParam, LParam lParam,
                      bool& Handled) {
    switch (uMsg) {
        case msg::kClipboardUpdate:
            OnClipboardChange();
            Handled = true;
            return 0;
        case msg::kDrawClipboard:
            OnClipboardChange();
            if (chain_.NextViewer != 0) {
                ports_.window.SendTo(chain_.NextViewer, msg::kDrawClipboard, 0, 0);
            }
            Handled = true;
            return 0;
        case msg::kChangeClipboardChain:
            if (wParam == chain_.NextViewer) {
                chain_.NextViewer = static_cast<WindowHandle>(lParam);
            } else if (chain_.NextViewer != 0) {
                ports_.window.SendTo(chain_.NextViewer, uMsg, wParam, lParam);
            }
            Handled = true;
            return 0;
        case msg::kStatesPacked:
            history_.ApplyPackedStates();
            Handled = true;
            return 0;
        case msg::kHotkey:
            if (wParam == kUndoHotkey) {
                RequestStep(Step::Back);
            } else if (wParam == kRedoHotkey) {
                RequestStep(Step::Forward);
            } else if (wParam == kClearHotkey) {
                mnClearHistory_Click();
            }
            return 0;
        default:
            break;
    }
    if (uMsg == TrayIcon_->MessageID()) {
        // With interface version 3 the shell asks for the menu with WM_CONTEXTMENU, after a
        // right click as well as from the keyboard, and sends NIN_KEYSELECT for Enter and
        // Space; the right button's own messages come before the first and open nothing.
        if (lParam == msg::kContextMenu || lParam == msg::kKeySelect) {
            OpenTrayMenu(lParam == msg::kKeySelect || !rightButtonReleased_);
        }
        rightButtonReleased_ = lParam == msg::kRightButtonUp;
    } else if (uMsg == taskbarCreated_ && taskbarCreated_ != 0) {
        AddTrayIconAnew();
    } else if (uMsg == msg::kDestroy) {
        ReleaseWindowServices();
    }
    return 0;
}

void frmMain::OnClipboardChange() {
    if (history_.IsOwnNotice()) {
        return;  // the program's own write of a state
    }
    // A notice while a busy read waits for its next try is not part of that burst: the
    // burst ended 100 ms after its last notice.
    if (timerEnabled_ && readRetries_ == 0) {
        ++history_.ChangeCount;  // the burst goes on: the wait starts over
    } else {
        history_.ChangeCount = 1;
    }
    copyWaiting_ = true;
    readRetries_ = 0;
    StartSaveTimer();
}

void frmMain::ReleaseWindowServices() {
    chain_.StopWatching();
    subclass_.UnsubclassWindow(std::exchange(SubclassHandle_, 0));
    for (int id = 0; id < kHotkeyCount; ++id) {
        if (std::exchange(heldHotkeys_[id], false)) {
            ports_.window.UnregisterHotkey(id);
        }
    }
}

std::optional<LResult> frmMain::WindowProcedure(std::uint32_t message, WParam wParam, LParam) {
    switch (message) {
        case msg::kSysCommand:
            if ((wParam & 0xFFF0) == msg::kScClose) {
                Close(CloseReason::ControlMenu);
                return 0;
            }
            return std::nullopt;
        case msg::kClose:
            Close(CloseReason::TaskManager);
            return 0;
        case msg::kQueryEndSession:
            return 1;  // the session may end
        case msg::kEndSession:
            if (wParam != 0) {
                Close(CloseReason::WindowsShutdown);
            }
            return 0;
        case msg::kTimer:
            switch (static_cast<TimerId>(wParam)) {
                case TimerId::SaveClipboard:
                    tmrSaveClipboard_Timer();
                    return 0;
                case TimerId::SaveSettings:
                    tmrSaveSettings_Timer();
                    return 0;
                case TimerId::AddTrayIcon:
                    tmrAddTrayIcon_Timer();
                    return 0;
                case TimerId::RetryStep:
                    tmrRetryStep_Timer();
                    return 0;
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

// A tick that was queued before its timer stopped finds no copy waiting, or the steps that
// wait reading it themselves.
void frmMain::tmrSaveClipboard_Timer() {
    ports_.window.StopTimer(TimerId::SaveClipboard);
    timerEnabled_ = false;
    if (copyWaiting_ && steps_.empty()) {
        ReadWaitingCopy();
    }
}

// A tick that was queued before its timer stopped may still arrive: it finds nothing to do.
void frmMain::tmrSaveSettings_Timer() {
    if (settings_.SavePending()) {
        SaveSettings();
    }
}

void frmMain::tmrAddTrayIcon_Timer() {
    if (trayRetrying_) {
        AddTrayIconAnew();
    }
}

void frmMain::tmrRetryStep_Timer() {
    if (!steps_.empty()) {
        RunSteps();
    }
}

void frmMain::StartSaveTimer() {
    ports_.window.StartTimer(TimerId::SaveClipboard, kSaveDelayMilliseconds);
    timerEnabled_ = true;
}

bool frmMain::TakeWaitingCopy() {
    if (!copyWaiting_) {
        return true;
    }
    if (!history_.SaveClipboardState()) {
        return false;
    }
    copyWaiting_ = false;
    readRetries_ = 0;
    if (std::exchange(timerEnabled_, false)) {
        ports_.window.StopTimer(TimerId::SaveClipboard);
    }
    return true;
}

// Another program that holds the clipboard (a reader of a large copy, a slow owner) usually
// lets go within milliseconds, sometimes only after hundreds. After the last try the copy
// still waits: the next step reads it first, so that no step puts an older state over it.
void frmMain::ReadWaitingCopy() {
    if (TakeWaitingCopy() || readRetries_ == kReadRetries) {
        return;
    }
    ports_.window.StartTimer(TimerId::SaveClipboard, kFirstReadRetryMilliseconds << readRetries_++);
    timerEnabled_ = true;
}

void frmMain::SaveSettings() {
    settings_.SaveSettings();
    ScheduleSettingsRetry();
}

void frmMain::ScheduleSettingsRetry() {
    if (!settings_.SavePending()) {
        if (std::exchange(settingsRetryMilliseconds_, 0) != 0) {
            ports_.window.StopTimer(TimerId::SaveSettings);
        }
        return;
    }
    settingsRetryMilliseconds_ =
        settingsRetryMilliseconds_ == 0
            ? kFirstSettingsRetryMilliseconds
            : std::min(2 * settingsRetryMilliseconds_, kLongestSettingsRetryMilliseconds);
    ports_.window.StartTimer(TimerId::SaveSettings, settingsRetryMilliseconds_);
}

void frmMain::AddTrayIconAnew() {
    // The notification area is recreated also when the display's scale changes: the
    // picture is loaded again at the size wanted now.
    ports_.window.LoadSmallIcon();
    TrayIcon_->AddIconAgain(ports_.trayHost.WindowIcon());
    ScheduleTrayRetry();
}

void frmMain::ScheduleTrayRetry() {
    const bool retry = TrayIcon_->Visible() && !TrayIcon_->InNotificationArea();
    if (retry && !trayRetrying_) {
        ports_.window.StartTimer(TimerId::AddTrayIcon, kTrayRetryMilliseconds);
    } else if (!retry && trayRetrying_) {
        ports_.window.StopTimer(TimerId::AddTrayIcon);
    }
    trayRetrying_ = retry;
}

void frmMain::OpenTrayMenu(bool fromKeyboard) {
    // Enter may bring NIN_KEYSELECT twice; a menu is open already for the second.
    if (menuOpen_) {
        return;
    }
    menuOpen_ = true;
    const std::optional<MenuItem> chosen = ports_.window.ShowTrayMenu();
    menuOpen_ = false;
    // A keyboard user goes on from the icon, where the menu was asked for; before the
    // command runs, so that a window it opens keeps the focus.
    if (fromKeyboard && !closed_) {
        TrayIcon_->ReturnFocus();
    }
    if (chosen) {
        RunMenuItem(*chosen);
    }
}

void frmMain::SetMenuCheck(MenuItem item, bool checked) {
    if (item == MenuItem::Autorun) {
        autorunChecked_ = checked;
    }
    ports_.window.SetMenuCheck(item, checked);
}

void frmMain::mnVisitSite_Click() {
    ports_.shell.OpenUrl(kSiteUrl);
}

void frmMain::mnVisitGroup_Click() {
    ports_.shell.OpenUrl(kGroupUrl);
}

void frmMain::mnAutorun_Click() {
    const bool result = SetAutorun(ports_.shell, paths_, !autorunChecked_);
    SetMenuCheck(MenuItem::Autorun, result);
    settings_.Set(settings::kAutorunKey, json::JsonValue::Boolean(result));
    ScheduleSettingsRetry();
}

void frmMain::mnStatesCount_Click(std::int16_t Index) {
    for (int i = 1; i <= kStatesCountItems; ++i) {
        SetMenuCheck(StatesCountItem(i), i == Index);
    }
    if (Index >= 1 && Index <= kStatesCountItems) {
        history_.SetStatesCount(history::kStateCounts[Index - 1]);
    }
    settings_.Set(settings::kStatesCountKey, json::JsonValue::Int32(history_.StatesCount()));
    ScheduleSettingsRetry();
}

void frmMain::mnClearHistory_Click() {
    if (history_.CurrentState() != 0) {
        if (ports_.window.ShowMessage(u"Clear the clipboard history?", kQuestionStyle) ==
            kAnswerYes) {
            history_.ClearHistory();
        }
    } else {
        ports_.window.ShowMessage(u"There are no elements for cleaning.", kInformationStyle);
    }
}

void frmMain::mnRedoState_Click() {
    RequestStep(Step::Forward);
}

void frmMain::mnUndoState_Click() {
    RequestStep(Step::Back);
}

void frmMain::RequestStep(Step step) {
    steps_.push_back(step);
    // Otherwise a step is under way or waits for the clipboard: this one follows it.
    if (steps_.size() == 1) {
        RunSteps();
    }
}

// A copy still waiting to be read is taken first: stepping over it would lose it and step
// back from the state before it, one further than the user sees. A step that gives up after
// its last try takes the steps asked for after it along: they counted on it.
void frmMain::RunSteps() {
    while (!steps_.empty()) {
        const Step step = steps_.front();
        history::StepResult result = history::StepResult::Busy;
        if (TakeWaitingCopy()) {
            result = step == Step::Back ? history_.UndoState() : history_.RedoState();
        }
        if (closed_) {
            return;  // shut down while the step waited on another program: nothing is left
        }
        if (result == history::StepResult::Busy && ++stepTries_ < kStepTries) {
            if (!std::exchange(stepRetrying_, true)) {
                ports_.window.StartTimer(TimerId::RetryStep, kStepRetryMilliseconds);
            }
            return;
        }
        stepTries_ = 0;
        if (result == history::StepResult::Busy) {
            steps_.clear();
        } else {
            steps_.pop_front();
        }
        ShowStep(step, result);
    }
    if (std::exchange(stepRetrying_, false)) {
        ports_.window.StopTimer(TimerId::RetryStep);
    }
    // A copy that the steps could not read goes back to the save timer's tries.
    if (copyWaiting_ && !timerEnabled_) {
        ReadWaitingCopy();
    }
}

// After the step, so the clipboard holds the state before the hint is drawn.
void frmMain::ShowStep(Step step, history::StepResult result) {
    const std::int32_t position = history_.CurrentState();
    if (!stepHint_ || position == 0) {
        return;
    }
    StepNote note = StepNote::None;
    if (result == history::StepResult::AtEnd) {
        note = step == Step::Back ? StepNote::Oldest : StepNote::Newest;
    } else if (result == history::StepResult::Busy) {
        note = StepNote::ClipboardBusy;
    }
    ports_.stepHint.ShowStepHint(
        StepHintText(history_.State(position), position, history_.LastState(), note));
}

void frmMain::mnExit_Click() {
    if (ports_.window.ShowMessage(u"Are you sure want to exit?", kQuestionStyle) == kAnswerYes) {
        Close(CloseReason::Code);
    }
}

void frmMain::RunMenuItem(MenuItem item) {
    switch (item) {
        case MenuItem::VisitSite:
            return mnVisitSite_Click();
        case MenuItem::VisitGroup:
            return mnVisitGroup_Click();
        case MenuItem::Autorun:
            return mnAutorun_Click();
        case MenuItem::StatesCount1:
        case MenuItem::StatesCount2:
        case MenuItem::StatesCount3:
        case MenuItem::StatesCount4:
        case MenuItem::StatesCount5:
            return mnStatesCount_Click(
                static_cast<std::int16_t>(static_cast<std::uint32_t>(item) -
                                          static_cast<std::uint32_t>(MenuItem::StatesCount1) + 1));
        case MenuItem::ClearHistory:
            return mnClearHistory_Click();
        case MenuItem::RedoState:
            return mnRedoState_Click();
        case MenuItem::UndoState:
            return mnUndoState_Click();
        case MenuItem::Exit:
            return mnExit_Click();
    }
}

}  // namespace revertly::app
