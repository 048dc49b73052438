#include "app/main_form.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "app/choices/recent_states.h"
#include "app/hint/step_hint.h"
#include "app/messages.h"

namespace revertly::app {

namespace {

// The "Remember the N states" items, one for each capacity offered.
constexpr int kStatesCountItems = static_cast<int>(std::size(history::kStateCounts));

MenuItem StatesCountItem(int index) {
    return static_cast<MenuItem>(static_cast<std::uint32_t>(MenuItem::StatesCount1) + index - 1);
}

// The index (from 1) of the offered capacity that equals count.
std::optional<int> StatesCountIndex(double count) {
    for (int i = 1; i <= kStatesCountItems; ++i) {
        if (count == history::kStateCounts[i - 1]) {
            return i;
        }
    }
    return std::nullopt;
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
    // The keys are read at start-up, and again when the settings window changes them.
    const std::array<SettledHotkey, kHotkeyCount> hotkeys = SettleHotkeys(settings_.Settings());
    recorder_.ShowHints(StepHintWanted(settings_.Settings()));
    filter_ = ProgramFilter(settings_.Settings());
    if (const std::optional<std::uint32_t> megabytes =
            settings::HistoryMemoryMegabytes(settings_.Settings())) {
        history_.SetMemoryBudget(std::uint64_t{*megabytes} << 20);
    }
    packer_ = std::make_unique<history::BackgroundPacker>(
        [this] { ports_.window.PostToSelf(msg::kStatesPacked); });
    history_.SetPacker(packer_.get());
    // What an earlier run kept is read on the keeper's thread while start-up goes on, and
    // joins the history when it is there.
    if (settings::KeepHistoryChosen(settings_.Settings())) {
        keeping_ = keeper_.TurnOn(/*load=*/true) ? Keeping::Loading : Keeping::HeldElsewhere;
    } else {
        keeper_.RemoveLeftovers();
    }
    SetMenuCheck(MenuItem::KeepHistory, keeping_ != Keeping::Off);
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
    const int index = wanted ? StatesCountIndex(*wanted).value_or(2) : 2;
    history_.SetStatesCount(history::kStateCounts[index - 1]);
    SetMenuCheck(StatesCountItem(index), true);

    saver_.Save();
    recorder_.ReadClipboardNow();
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

    tray_.Add();
    ShowTrayTip();
    if (closed_) {
        return true;
    }

    SubclassHandle_ = subclass_.SubclassWindow(
        window,
        [this](WindowHandle hwnd, std::uint32_t uMsg, WParam wParam, LParam lParam, bool& handled) {
            const LResult result = Proc(hwnd, uMsg, wParam, lParam, handled);
            KeepIfChanged();
            return result;
        });
    if (SubclassHandle_ == 0 && chain_.ViewerWindow() != 0) {
        // Without the hook no clipboard notice would be passed on: every viewer after this
        // window would go deaf. A program that cannot serve the chain leaves it.
        chain_.LeaveViewerChain();
    }

    // At start-up a key that is neither registered nor claimed is reported with a message.
    for (const SettledHotkey& key : hotkeys) {
        if (closed_) {
            return true;
        }
        HoldHotkey(key);
        if (refusedHotkeys_[key.id] && !key.takenMessage.empty()) {
            ports_.window.ShowMessage(key.takenMessage, kPlainStyle);
        }
    }
    return true;
}

// A key that Windows will not register (Explorer holds the Win+letter keys it uses) is claimed
// through the keyboard hook; only a key that is neither is refused.
void frmMain::HoldHotkey(const SettledHotkey& key) {
    heldHotkeys_[key.id] = key.hotkey && (ports_.window.RegisterHotkey(key.id, *key.hotkey) ||
                                          ports_.window.ClaimHotkey(key.id, *key.hotkey));
    refusedHotkeys_[key.id] = key.hotkey && !heldHotkeys_[key.id];
}

void frmMain::ReleaseHotkeys() {
    for (int id = 0; id < kHotkeyCount; ++id) {
        if (std::exchange(heldHotkeys_[id], false)) {
            ports_.window.UnregisterHotkey(id);
        }
    }
}

void frmMain::ReholdHotkeys() {
    ReleaseHotkeys();
    const std::array<SettledHotkey, kHotkeyCount> hotkeys = SettleHotkeys(settings_.Settings());
    for (const SettledHotkey& key : hotkeys) {
        ports_.window.SetMenuCaption(
            key.menuItem, key.menuCaption.value_or(std::u16string(DefaultMenuCaption(key.id))));
        HoldHotkey(key);
    }
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
    tray_.Remove();
}

void frmMain::FinalCleanup() {
    // The packer's last job is finished first: it tells the window when it is done.
    history_.SetPacker(nullptr);
    packer_.reset();
    KeepAtExit();
    history_.ClearHistory();
    StopTray();
    recorder_.DropSteps();
    saver_.SaveAtExit();
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
        case msg::kHistoryKept:
            TakeKeptResults();
            Handled = true;
            return 0;
        case msg::kHotkey:
            if (wParam == kUndoHotkey) {
                mnUndoState_Click();
            } else if (wParam == kRedoHotkey) {
                mnRedoState_Click();
            } else if (wParam == kClearHotkey) {
                mnClearHistory_Click();
            } else if (wParam == kPickHotkey) {
                OpenRecentStates();
            }
            return 0;
        default:
            break;
    }
    if (uMsg == tray_.Icon()->MessageID()) {
        // With interface version 3 the shell asks for the menu with WM_CONTEXTMENU, after a
        // right click as well as from the keyboard, and sends NIN_KEYSELECT for Enter and
        // Space; the right button's own messages come before the first and open nothing.
        if (lParam == msg::kContextMenu || lParam == msg::kKeySelect) {
            OpenTrayMenu(lParam == msg::kKeySelect || !rightButtonReleased_);
        }
        rightButtonReleased_ = lParam == msg::kRightButtonUp;
    } else if (uMsg == taskbarCreated_ && taskbarCreated_ != 0) {
        tray_.AddAnew();
    } else if (uMsg == msg::kDestroy) {
        ReleaseWindowServices();
    }
    return 0;
}

// A late notice of the program's own write still has the clipboard read: should its write's
// notice have gone astray, it is another program's copy. The recorder judges the copy (the
// pause, the programs left out).
void frmMain::OnClipboardChange() {
    const history::StateHistory::Notice notice = history_.ClassifyNotice();
    if (notice != history::StateHistory::Notice::OwnWrite) {
        recorder_.CopyNoticed(notice == history::StateHistory::Notice::Change);
    }
}

void frmMain::ReleaseWindowServices() {
    chain_.StopWatching();
    subclass_.UnsubclassWindow(std::exchange(SubclassHandle_, 0));
    ReleaseHotkeys();
}

std::optional<LResult> frmMain::WindowProcedure(std::uint32_t message, WParam wParam, LParam) {
    const std::optional<LResult> result = HandleWindowMessage(message, wParam);
    KeepIfChanged();
    return result;
}

std::optional<LResult> frmMain::HandleWindowMessage(std::uint32_t message, WParam wParam) {
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

// Once shutdown has begun, what is kept is the history as it stood: the memory's being
// cleared at exit is no change to keep.
void frmMain::KeepIfChanged() {
    if (closed_ || (keeping_ != Keeping::Kept && keeping_ != Keeping::NotKept) ||
        keptRevision_ == history_.Revision()) {
        return;
    }
    keptRevision_ = history_.Revision();
    keeper_.Save(keep::SnapshotOf(history_, /*asRead=*/false));
}

void frmMain::TakeKeptResults() {
    keep::HistoryKeeper::Done done = keeper_.TakeDone();
    if (done.loaded && keeping_ == Keeping::Loading) {
        std::vector<history::ClipboardState> states;
        for (const keep::KeptState& kept : done.loaded->states) {
            states.push_back(keep::ToClipboardState(kept));
        }
        history_.AdoptKept(std::move(states), done.loaded->current, done.loaded->nextId);
        keeping_ = Keeping::Kept;
    }
    if (done.saved && (keeping_ == Keeping::Kept || keeping_ == Keeping::NotKept)) {
        keeping_ = *done.saved ? Keeping::Kept : Keeping::NotKept;
    }
    ShowTrayTip();
}

// Within the time Windows gives a session's end: nothing is packed any more, and the files
// are written at once.
void frmMain::KeepAtExit() {
    if (keeping_ == Keeping::Off || keeping_ == Keeping::HeldElsewhere) {
        return;
    }
    keeper_.Flush();
    TakeKeptResults();
    keeper_.Save(keep::SnapshotOf(history_, /*asRead=*/true));
    keeper_.Flush();
}

void frmMain::ShowTrayTip() {
    const std::u16string_view tip = pause_.Paused()                      ? kPausedTip
                                    : keeping_ == Keeping::HeldElsewhere ? kKeptElsewhereTip
                                    : keeping_ == Keeping::NotKept       ? kNotKeptTip
                                                                         : u"";
    tray::Tray* icon = tray_.Icon();
    if (icon == nullptr || tip == shownTip_) {
        return;
    }
    shownTip_ = tip;
    if (tip.empty()) {
        icon->ClearTooltip();
    } else {
        icon->Tooltip(tip);
    }
}

void frmMain::tmrSaveClipboard_Timer() {
    recorder_.SaveTimerTicked();
}

void frmMain::tmrSaveSettings_Timer() {
    saver_.TimerTicked();
}

void frmMain::tmrAddTrayIcon_Timer() {
    tray_.TimerTicked();
}

void frmMain::tmrRetryStep_Timer() {
    recorder_.RetryTimerTicked();
}

void frmMain::OpenTrayMenu(bool fromKeyboard) {
    // Enter may bring NIN_KEYSELECT twice; a menu is open already for the second.
    if (menuOpen_) {
        return;
    }
    menuOpen_ = true;
    FillRecentStates();
    const std::optional<MenuItem> chosen = ports_.window.ShowTrayMenu();
    menuOpen_ = false;
    // A keyboard user goes on from the icon, where the menu was asked for; before the
    // command runs, so that a window it opens keeps the focus.
    if (fromKeyboard && !closed_) {
        tray_.Icon()->ReturnFocus();
    }
    if (chosen) {
        RunMenuItem(*chosen);
    }
}

void frmMain::OpenRecentStates() {
    if (menuOpen_ || closed_ || !FillRecentStates()) {
        return;
    }
    menuOpen_ = true;
    const std::optional<MenuItem> chosen = ports_.window.ShowRecentStates();
    menuOpen_ = false;
    if (chosen) {
        RunMenuItem(*chosen);
    }
}

bool frmMain::FillRecentStates() {
    RecentStates list = ListRecentStates(history_);
    ports_.window.SetRecentStates(list.lines);
    recentSlots_ = std::move(list.slots);
    recentLayout_ = recorder_.Layout();
    return !recentSlots_.empty();
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
    saver_.ScheduleRetry();
}

void frmMain::ApplyStatesCount(int index) {
    for (int i = 1; i <= kStatesCountItems; ++i) {
        SetMenuCheck(StatesCountItem(i), i == index);
    }
    if (index >= 1 && index <= kStatesCountItems) {
        history_.SetStatesCount(history::kStateCounts[index - 1]);
    }
}

void frmMain::mnStatesCount_Click(std::int16_t Index) {
    ApplyStatesCount(Index);
    settings_.Set(settings::kStatesCountKey, json::JsonValue::Int32(history_.StatesCount()));
    saver_.ScheduleRetry();
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
    recorder_.RequestStep({.kind = Step::Kind::Forward});
}

void frmMain::mnUndoState_Click() {
    recorder_.RequestStep({.kind = Step::Kind::Back});
}

void frmMain::mnExit_Click() {
    if (ports_.window.ShowMessage(u"Are you sure want to exit?", kQuestionStyle) == kAnswerYes) {
        Close(CloseReason::Code);
    }
}

// While paused a copy waiting to be read is left as well: it is recorded only if it was read
// before the pause began.
void frmMain::mnPauseRecording_Click() {
    pause_.Toggle(ports_.window);
    ShowTrayTip();
    if (pause_.Paused()) {
        recorder_.CopyLeftAlone();
    }
}

void frmMain::mnKeepHistory_Click() {
    const bool on = keeping_ == Keeping::Off;
    ApplyKeepHistory(on);
    settings_.Set(settings::kKeepHistoryKey, json::JsonValue::Boolean(on));
    saver_.ScheduleRetry();
}

void frmMain::mnRecentState_Click(std::size_t index) {
    if (index < recentSlots_.size()) {
        recorder_.RequestStep(
            {.kind = Step::Kind::To, .slot = recentSlots_[index], .layout = recentLayout_});
    }
}

void frmMain::mnSettings_Click() {
    ports_.settingsWindow.Show();
}

SettingsChoices frmMain::InForce() {
    return ChoicesInForce(settings_.Settings(), history_.StatesCount(), history_.MemoryBudget(),
                          autorunChecked_);
}

SettingsVerdict frmMain::Judge(const SettingsChoices& wanted) {
    return JudgeChoices(wanted, InForce(), refusedHotkeys_);
}

// Everything the window changed takes effect at once: the settings are written first, since
// the keys and the programs left out are settled from them, then the file is saved (and tried
// again while another program holds it; the values stay in force meanwhile).
SettingsVerdict frmMain::Apply(const SettingsChoices& wanted) {
    const SettingsChoices before = InForce();
    if (closed_) {
        return JudgeChoices(wanted, before, refusedHotkeys_);
    }
    SettingsChoices after =
        ApplicableChoices(before, wanted, JudgeChoices(wanted, before, refusedHotkeys_));
    const SettingsChanges changes = CompareChoices(before, after);
    if (changes.autorun) {
        after.autorun = SetAutorun(ports_.shell, paths_, after.autorun);
        SetMenuCheck(MenuItem::Autorun, after.autorun);
    }
    WriteChoices(settings_.Edit(), before, after);
    if (changes.statesCount) {
        ApplyStatesCount(StatesCountIndex(after.statesCount).value_or(0));
    }
    if (changes.memory) {
        history_.SetMemoryBudget(std::uint64_t{ParseMegabytes(after.memoryMegabytes).value_or(0)}
                                 << 20);
    }
    if (changes.stepHint) {
        recorder_.ShowHints(after.stepHint);
    }
    if (changes.programs) {
        filter_ = ProgramFilter(settings_.Settings());
    }
    if (changes.keepHistory) {
        ApplyKeepHistory(after.keepHistory);
    }
    if (changes.keys) {
        ReholdHotkeys();
    }
    if (before != after) {
        saver_.Save();
    }
    return Judge(wanted);
}

std::optional<std::u16string> frmMain::CurrentCopyProgram() {
    return ports_.clipboardOwner.ClipboardOwnerProgram();
}

// Turns keeping the history after exit on or off: the one place that does, for every way the
// user has to choose it. The choice is in the settings by now.
// On, the history as it stands is kept at once (after this message); off, everything kept
// goes, the key with it.
void frmMain::ApplyKeepHistory(bool on) {
    if (on == (keeping_ != Keeping::Off)) {
        return;
    }
    if (on) {
        keeping_ = keeper_.TurnOn(/*load=*/false) ? Keeping::Kept : Keeping::HeldElsewhere;
        keptRevision_.reset();
    } else {
        keeper_.TurnOff();
        keeping_ = Keeping::Off;
    }
    SetMenuCheck(MenuItem::KeepHistory, on);
    ShowTrayTip();
}

void frmMain::RunMenuItem(MenuItem item) {
    if (const std::optional<std::size_t> index = RecentStateIndex(item)) {
        return mnRecentState_Click(*index);
    }
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
        case MenuItem::PauseRecording:
            return mnPauseRecording_Click();
        case MenuItem::KeepHistory:
            return mnKeepHistory_Click();
        case MenuItem::RecentStates:
            return;  // opens its submenu; no command of its own
        case MenuItem::Settings:
            return mnSettings_Click();
    }
}

}  // namespace revertly::app
