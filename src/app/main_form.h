// frmMain: the program's hidden main window and everything it does. Start-up builds the
// running program in a fixed order; from then on every event arrives as a message to the
// window: the hook hands it to Proc first, and what Proc leaves goes on to the window's own
// procedure (WindowProcedure here), which closes, hides and ticks the save timer.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/app_ports.h"
#include "app/autorun.h"
#include "app/choices/program_filter.h"
#include "app/choices/recording_pause.h"
#include "app/keys/hotkeys.h"
#include "app/messages.h"
#include "app/recorder.h"
#include "app/settings_saver.h"
#include "app/settings_window/settings_choices.h"
#include "app/tray_icon_keeper.h"
#include "history/state_history.h"
#include "history/viewer_chain.h"
#include "instance/one_instance.h"
#include "keep/history_keeper.h"
#include "settings/settings.h"
#include "settings/settings_place.h"
#include "tray/tray.h"
#include "winhook/subclass.h"

namespace revertly::app {

// The web addresses of the tray menu's two links.
inline constexpr std::u16string_view kSiteUrl = u"https://revertly.example.com/";
inline constexpr std::u16string_view kGroupUrl = u"https://revertly.example.com/community";

// The icon's tips; none while recording and keeping go as they should.
inline constexpr std::u16string_view kPausedTip = u"Revertly: recording is paused";
inline constexpr std::u16string_view kNotKeptTip = u"Revertly: the history is not kept on disk";
inline constexpr std::u16string_view kKeptElsewhereTip =
    u"Revertly: another Revertly keeps the history on disk; this one keeps it in memory only";

// Why the main window is being closed.
enum class CloseReason {
    ControlMenu = 0,  // the window's own Close command: only hides the window
    Code = 1,         // the program's Exit command
    WindowsShutdown = 2,
    TaskManager = 3,  // a plain WM_CLOSE from another program
};

// Everything frmMain reaches outside itself. Filled by name ({.window = ..., ...}).
struct FormPorts {
    MainWindowPort& window;
    StepHintPort& stepHint;
    ShellPort& shell;
    ClipboardOwnerPort& clipboardOwner;
    history::ClipboardPort& clipboard;
    history::ViewerPort& viewer;
    tray::ShellNotifyPort& notify;
    tray::TrayHost& trayHost;
    winhook::WindowProcedurePort& procedures;
    instance::NamedBlockPort& blocks;
    settings::SettingsPlacePort& settingsPlace;
    keep::SealPort& seal;
    keep::KeptFilesPort& keptFiles;
    SettingsWindowPort& settingsWindow;
};

// Where keeping the history on disk stands.
enum class Keeping {
    Off,
    Loading,        // on; what an earlier run kept is being read, and nothing is saved yet
    Kept,           // on, and the last save kept everything
    NotKept,        // on, but the last save could not keep everything: tried again next time
    HeldElsewhere,  // on, but another Revertly of the user holds the folder: memory only
};

class frmMain final : public SettingsHost {
  public:
    // taskbarCreated: the number of the registered "TaskbarCreated" message, which the
    // shell broadcasts when it recreates the notification area.
    frmMain(FormPorts ports, ProgramPaths paths, std::uint32_t taskbarCreated);

    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Builds the running program. Answers false when another copy runs: the caller must then
    // end the process at once, running none of the shutdown handling.
    bool Form_Initialize();

    // Asked before the window closes; answers true to refuse (the window then hides).
    bool Form_QueryUnload(CloseReason reason);
    void Form_Unload();
    void StopTray();
    void FinalCleanup();
    // Closes the window for a reason: hides it for the Close command, shuts down otherwise.
    void Close(CloseReason reason);

    // Sees every message of the main window first, once start-up has hooked it. Setting
    // handled consumes the message. Always answers 0.
    LResult Proc(WindowHandle hwnd, std::uint32_t uMsg, WParam wParam, LParam lParam,
                 bool& Handled);
    // The window's own procedure, behind the hook: the messages that close the window or
    // tick a timer. Nothing for every other message (the platform's default applies).
    std::optional<LResult> WindowProcedure(std::uint32_t message, WParam wParam, LParam lParam);
    void tmrSaveClipboard_Timer();
    void tmrSaveSettings_Timer();
    void tmrAddTrayIcon_Timer();
    void tmrRetryStep_Timer();

    void mnVisitSite_Click();
    void mnVisitGroup_Click();
    void mnAutorun_Click();
    void mnStatesCount_Click(std::int16_t Index);
    void mnClearHistory_Click();
    void mnRedoState_Click();
    void mnUndoState_Click();
    void mnExit_Click();
    void mnPauseRecording_Click();
    void mnKeepHistory_Click();
    // index: the line of the "Recent states" list last shown, from 0.
    void mnRecentState_Click(std::size_t index);
    void mnSettings_Click();
    void RunMenuItem(MenuItem item);

    // The settings window's values: those in force, and applying them all at once.
    SettingsChoices InForce() override;
    SettingsVerdict Apply(const SettingsChoices& wanted) override;
    SettingsVerdict Judge(const SettingsChoices& wanted) override;
    std::optional<std::u16string> CurrentCopyProgram() override;
    // The one place where keeping the history after exit is turned on or off.
    void ApplyKeepHistory(bool on);

    const history::StateHistory& History() const { return history_; }
    const settings::SettingsFile& Settings() const { return settings_; }
    bool AutorunChecked() const { return autorunChecked_; }
    bool TimerEnabled() const { return recorder_.SaveTimerRunning(); }
    bool Paused() const { return pause_.Paused(); }
    Keeping KeepingStands() const { return keeping_; }
    const tray::Tray* TrayIcon() const { return tray_.Icon(); }
    winhook::HookHandle SubclassHandle() const { return SubclassHandle_; }

  private:
    void SetMenuCheck(MenuItem item, bool checked);
    // The count offered at index (from 1), with its menu item checked.
    void ApplyStatesCount(int index);
    // Registers the key, or claims it through the keyboard hook where Windows refuses it; notes
    // a key that is neither.
    void HoldHotkey(const SettledHotkey& key);
    void ReleaseHotkeys();
    // Gives up every key held, then holds the keys of the settings anew, with their captions.
    void ReholdHotkeys();
    // A notice of a clipboard change, from the listener list or the viewer chain: starts or
    // restarts the save timer, unless the change is the program's own write.
    void OnClipboardChange();
    // What the window holds: its place on the listener list or in the viewer chain, the hook
    // and the hotkeys.
    void ReleaseWindowServices();
    // fromKeyboard: asked for with Enter, Space, Shift+F10 or the menu key, not a right click.
    void OpenTrayMenu(bool fromKeyboard);
    // The "Recent states" list on its own, from the pick key.
    void OpenRecentStates();
    // Hands the list as the history stands to the menu, and keeps its slots for the choice.
    bool FillRecentStates();
    // The window's messages other than those Proc consumed.
    std::optional<LResult> HandleWindowMessage(std::uint32_t message, WParam wParam);
    // After each message: a history that changed is handed to the keeper.
    void KeepIfChanged();
    // What the keeper has done: the history an earlier run kept joins this one; a save's
    // outcome shows in the tip.
    void TakeKeptResults();
    // At exit: every state is kept, those still waiting for the packer as they were read.
    void KeepAtExit();
    void ShowTrayTip();

    FormPorts ports_;
    ProgramPaths paths_;
    // Set once shutdown has begun; start-up and the steps stop at their next turn.
    bool closed_ = false;
    std::uint32_t taskbarCreated_;

    settings::SettingsFile settings_;
    history::StateHistory history_;
    // Makes new states compact on a thread of its own, from start-up to shutdown.
    std::unique_ptr<history::BackgroundPacker> packer_;
    history::ViewerChain chain_;
    instance::OneInstance instance_;
    winhook::Subclass subclass_;
    TrayIconKeeper tray_{ports_.notify, ports_.trayHost, ports_.window};
    winhook::HookHandle SubclassHandle_ = 0;

    SettingsSaver saver_{settings_, ports_.window};
    RecordingPause pause_;
    ProgramFilter filter_;
    Recorder recorder_{history_, ports_.window, ports_.stepHint, closed_, [this] {
                           return !pause_.Paused() &&
                                  !filter_.IgnoresClipboardOwner(ports_.clipboardOwner);
                       }};
    keep::HistoryKeeper keeper_{ports_.seal, ports_.keptFiles,
                                [this] { ports_.window.PostToSelf(msg::kHistoryKept); }};
    Keeping keeping_ = Keeping::Off;
    // The history's revision last handed to the keeper.
    std::optional<std::uint64_t> keptRevision_;
    std::u16string shownTip_;
    // The slots of the "Recent states" list last shown, and the history's layout then.
    std::vector<std::int32_t> recentSlots_;
    std::uint64_t recentLayout_ = 0;
    bool menuOpen_ = false;
    // Whether the last callback from the icon was the right button's release: a menu then
    // asked for is the mouse's, not the keyboard's.
    bool rightButtonReleased_ = false;
    bool autorunChecked_ = false;
    // The hotkeys that start-up registered or claimed, by id, and those that could be
    // neither.
    std::array<bool, kHotkeyCount> heldHotkeys_{};
    std::array<bool, kHotkeyCount> refusedHotkeys_{};
};

}  // namespace revertly::app
