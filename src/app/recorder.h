// Between the clipboard and the history, on the main window's thread: a notice of another
// program's copy becomes a recorded state 100 ms after the last notice of its burst, and the
// steps the user asks for (undo, redo, a state chosen from the list) put states back on the
// clipboard in the order they were asked for. Another program that holds the clipboard is
// waited out from the window's timers, never by sleeping.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>

#include "app/app_ports.h"
#include "history/state_history.h"

namespace revertly::app {

// The save timer's interval: a burst of clipboard changes ends this long after its last one.
inline constexpr std::uint32_t kSaveDelayMilliseconds = 100;

// A copy that another program keeps from being read (it holds the clipboard open) is read
// again this soon, then at twice the wait each time up to the longest wait, and from then on
// at the longest wait until it is read or another copy has taken its place.
inline constexpr std::uint32_t kFirstReadRetryMilliseconds = 25;
inline constexpr std::uint32_t kLongestReadRetryMilliseconds = 400;

// A step that finds the clipboard busy is tried again after 20 to 36 ms, the wait differing
// from try to try, this many times (about a second) before it is given up. A program that
// opens the clipboard briefly at a steady pace (a viewer polling it) would otherwise meet a
// steady retry at the same moment of its own cycle every time, and make the step give up
// although the clipboard was free most of the time.
inline constexpr int kStepTries = 40;
std::uint32_t StepRetryMilliseconds(int tries);

// One step through the history.
struct Step {
    enum class Kind { Back, Forward, To };
    Kind kind = Kind::Back;
    // For To: the slot chosen, and the history's layout when the list showing it was built.
    std::int32_t slot = 0;
    std::uint64_t layout = 0;
};

class Recorder {
  public:
    // Whether the copy the clipboard holds now is to be recorded (recording is not paused,
    // the program that made it is not left out).
    using Judge = std::function<bool()>;

    // closed: set once the program shuts down, which a step waiting on another program may
    // let in; nothing is done after it.
    Recorder(history::StateHistory& history, MainWindowPort& window, StepHintPort& hint,
             const bool& closed, Judge recordable)
        : history_(history),
          window_(window),
          hint_(hint),
          closed_(closed),
          recordable_(std::move(recordable)) {}

    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Whether each step shows the step hint.
    void ShowHints(bool on) { showHints_ = on; }

    // Reads the clipboard as it is, at start-up.
    void ReadClipboardNow();
    // Another program's copy: judged, then, if it is to be recorded, starts the burst's wait
    // or starts it over; counted towards a burst unless it may be a late notice of the
    // program's own write.
    void CopyNoticed(bool counted);
    // The clipboard holds a copy that is not to be recorded and must not be covered: the copy
    // before it that still waits to be read is no longer on the clipboard, and goes too.
    void CopyLeftAlone();
    void SaveTimerTicked();
    void RetryTimerTicked();
    bool SaveTimerRunning() const { return timerEnabled_; }

    void RequestStep(Step step);
    // Shutdown: the steps not yet done are dropped.
    void DropSteps();

    // Changes whenever states have moved to other slots: a choice from a list built before
    // then is not carried out.
    std::uint64_t Layout() const { return history_.Layout(); }

  private:
    void StartSaveTimer(std::uint32_t milliseconds);
    void StopSaveTimer();
    // Decides on the copy the clipboard holds now, and notes it as seen; false when it is
    // left alone.
    bool JudgeCopy();
    // A copy that the program has not heard of yet (its notice waits behind a step's key) is
    // judged, to be read before a step writes over it.
    void CatchUp();
    // Reads the copy that waits to be read, if it is still the one judged (else the one that
    // took its place is judged); false when another program held the clipboard and a copy
    // still waits.
    bool TakeWaitingCopy();
    // Reads the waiting copy, or has the save timer try again a little later.
    void ReadWaitingCopy();
    void RunSteps();
    history::StepResult Take(const Step& step);
    // The step hint, when the user wants it, once the clipboard holds the state.
    void ShowStep(const Step& step, history::StepResult result);

    history::StateHistory& history_;
    MainWindowPort& window_;
    StepHintPort& hint_;
    const bool& closed_;
    Judge recordable_;
    bool showHints_ = false;

    bool timerEnabled_ = false;
    // A copy judged worth recording is not read yet, and how often its read found the
    // clipboard busy.
    bool copyWaiting_ = false;
    int readRetries_ = 0;
    // The clipboard's change number when its copy was last judged: the copy waiting, or the
    // last one seen.
    std::uint32_t judged_ = 0;
    // Steps not yet done, oldest first; tries of the first one.
    std::deque<Step> steps_;
    int stepTries_ = 0;
    bool stepRetrying_ = false;
};

}  // namespace revertly::app
