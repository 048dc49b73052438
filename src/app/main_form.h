// frmMain: the program's hidden main window and everything it does. Start-up builds the
// running program in a fixed order; from then on every event arrives as a message to the
// window: the hook hands it to Proc first, and what Proc leaves goes on to the window's own
// procedure (WindowProcedure here), which closes, hides and ticks the save timer.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "app/app_ports.h"
#include "app/autorun.h"
#include "app/hotkeys.h"
#include "app/step_hint.h"
#include "history/state_history.h"
#include "history/viewer_chain.h"
#include "instance/one_instance.h"
#include "settings/settings.h"
#include "settings/settings_place.h"
#include "tray/tray.h"
#include "winhook/subclass.h"

namespace revertly::app {

// The web addresses of the tray menu's two links.
inline constexpr std::u16string_view kSiteUrl = u"https://revertly.example.com/";
inline constexpr std::u16string_view kGroupUrl = u"https://revertly.example.com/community";

// The save timer's interval: a burst of clipboard changes ends this long after its last one.
inline constexpr std::uint32_t kSaveDelayMilliseconds = 100;

// A settings save that another program blocks is tried again this soon, then at twice the
// wait each time up to the longest, for as long as the program runs. At shutdown it gets one
// last try that waits up to the patience for the other program to let go.
inline constexpr std::uint32_t kFirstSettingsRetryMilliseconds = 50;
inline constexpr std::uint32_t kLongestSettingsRetryMilliseconds = 5000;
inline constexpr std::uint32_t kShutdownSavePatienceMilliseconds = 1000;

// A copy that another program keeps from being read (it holds the clipboard open) is read
// again this soon, then at twice the wait each time, this many times in all.
inline constexpr std::uint32_t kFirstReadRetryMilliseconds = 25;
inline constexpr int kReadRetries = 5;

// An undo or redo that finds the clipboard busy is tried again this often, this many times
// (about a second) before it is given up.
inline constexpr std::uint32_t kStepRetryMilliseconds = 25;
inline constexpr int kStepTries = 40;

// While the shell refuses the tray icon (Explorer still busy at log-on), it is offered again
// this often.
inline constexpr std::uint32_t kTrayRetryMilliseconds = 3000;

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
    history::ClipboardPort& clipboard;
    history::ViewerPort& viewer;
    tray::ShellNotifyPort& notify;
    tray::TrayHost& trayHost;
    winhook::WindowProcedurePort& procedures;
    instance::NamedBlockPort& blocks;
    settings::SettingsPlacePort& settingsPlace;
};

class frmMain {
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
    void RunMenuItem(MenuItem item);

    const history::StateHistory& History() const { return history_; }
    const settings::SettingsFile& Settings() const { return settings_; }
    bool AutorunChecked() const { return autorunChecked_; }
    bool TimerEnabled() const { return timerEnabled_; }
    const tray::Tray* TrayIcon() const { return TrayIcon_.get(); }
    winhook::HookHandle SubclassHandle() const { return SubclassHandle_; }

  private:
    void SetMenuCheck(MenuItem item, bool checked);
    // A notice of a clipboard change, from the listener list or the viewer chain: starts or
    // restarts the save timer, unless the change is the program's own write.
    void OnClipboardChange();
    // What the window holds: its place on the listener list or in the viewer chain, the hook
    // and the hotkeys.
    void ReleaseWindowServices();
    void StartSaveTimer();
    // Reads the copy that waits to be read; false when another program held the clipboard
    // and the copy still waits.
    bool TakeWaitingCopy();
    // Reads the waiting copy, or has the save timer try again a little later.
    void ReadWaitingCopy();
    // Undo and redo, from a hotkey or the menu, run in the order they were asked for: each
    // first takes a copy still waiting to be read, then steps; one that finds the clipboard
    // busy is tried again from a timer, and the ones after it wait their turn.
    enum class Step { Back, Forward };
    void RequestStep(Step step);
    void RunSteps();
    // The step hint, when the user wants it, once the clipboard holds the state.
    void ShowStep(Step step, history::StepResult result);
    // Saves the settings; a save that another program blocks is tried again from the timer,
    // each time a little later.
    void SaveSettings();
    void ScheduleSettingsRetry();
    // Adds the icon anew, with its picture loaded again at the DPI of now.
    void AddTrayIconAnew();
    // While the shell has not taken the icon, the timer offers it again.
    void ScheduleTrayRetry();
    // fromKeyboard: asked for with Enter, Space, Shift+F10 or the menu key, not a right click.
    void OpenTrayMenu(bool fromKeyboard);

    FormPorts ports_;
    ProgramPaths paths_;
    std::uint32_t taskbarCreated_;

    settings::SettingsFile settings_;
    history::StateHistory history_;
    // Makes new states compact on a thread of its own, from start-up to shutdown.
    std::unique_ptr<history::BackgroundPacker> packer_;
    history::ViewerChain chain_;
    instance::OneInstance instance_;
    winhook::Subclass subclass_;
    std::unique_ptr<tray::Tray> TrayIcon_;
    winhook::HookHandle SubclassHandle_ = 0;

    bool timerEnabled_ = false;
    // A change notice came whose copy is not read yet, and how often its read found the
    // clipboard busy.
    bool copyWaiting_ = false;
    int readRetries_ = 0;
    // Undos and redos not yet done, oldest first; tries of the first one.
    std::deque<Step> steps_;
    int stepTries_ = 0;
    bool stepRetrying_ = false;
    // The wait before the next try of a pending settings save; 0 when none is pending.
    std::uint32_t settingsRetryMilliseconds_ = 0;
    bool trayRetrying_ = false;
    bool menuOpen_ = false;
    // Whether the last callback from the icon was the right button's release: a menu then
    // asked for is the mouse's, not the keyboard's.
    bool rightButtonReleased_ = false;
    bool autorunChecked_ = false;
    bool stepHint_ = false;
    bool closed_ = false;
    // The hotkeys that start-up registered or claimed, by id.
    std::array<bool, kHotkeyCount> heldHotkeys_{};
};

}  // namespace revertly::app
