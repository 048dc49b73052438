#include "app/recorder.h"

#include <algorithm>
#include <utility>

#include "app/hint/step_hint.h"

namespace revertly::app {

std::uint32_t StepRetryMilliseconds(int tries) {
    return 20 + static_cast<std::uint32_t>(tries * 7 % 17);
}

void Recorder::ReadClipboardNow() {
    if (JudgeCopy()) {
        copyWaiting_ = true;
        ReadWaitingCopy();
    }
}

void Recorder::CopyNoticed(bool counted) {
    if (!JudgeCopy()) {
        return;
    }
    // A notice while a busy read waits for its next try is not part of that burst: the
    // burst ended 100 ms after its last notice.
    if (timerEnabled_ && readRetries_ == 0) {
        history_.ChangeCount += counted ? 1 : 0;  // the burst goes on: the wait starts over
    } else {
        history_.ChangeCount = counted ? 1 : 0;
    }
    copyWaiting_ = true;
    readRetries_ = 0;
    StartSaveTimer(kSaveDelayMilliseconds);
}

void Recorder::CopyLeftAlone() {
    copyWaiting_ = false;
    readRetries_ = 0;
    StopSaveTimer();
}

// A tick that was queued before its timer stopped finds no copy waiting, or the steps that
// wait reading it themselves.
void Recorder::SaveTimerTicked() {
    StopSaveTimer();
    if (copyWaiting_ && steps_.empty()) {
        ReadWaitingCopy();
    }
}

void Recorder::RetryTimerTicked() {
    if (!steps_.empty()) {
        RunSteps();
    }
}

void Recorder::StartSaveTimer(std::uint32_t milliseconds) {
    window_.StartTimer(TimerId::SaveClipboard, milliseconds);
    timerEnabled_ = true;
}

void Recorder::StopSaveTimer() {
    if (std::exchange(timerEnabled_, false)) {
        window_.StopTimer(TimerId::SaveClipboard);
    }
}

// Judged when its notice arrives, while the clipboard most likely still holds that copy.
bool Recorder::JudgeCopy() {
    judged_ = history_.ClipboardChangeNumber();
    if (!recordable_()) {
        CopyLeftAlone();
        return false;
    }
    return true;
}

void Recorder::CatchUp() {
    if (copyWaiting_ || history_.ClipboardHoldsOwnWrite() ||
        history_.ClipboardChangeNumber() == judged_) {
        return;
    }
    history_.ChangeCount = 1;
    copyWaiting_ = JudgeCopy();
}

// A copy judged and then replaced before it could be read no longer exists; the copy that
// replaced it is judged in its place. A clipboard that changes under every look is left to
// the timer's next try.
bool Recorder::TakeWaitingCopy() {
    constexpr int kMostLooks = 3;
    for (int look = 0; copyWaiting_; ++look) {
        if (look == kMostLooks) {
            return false;
        }
        switch (history_.SaveCopy(judged_)) {
            case history::SaveResult::Busy:
                return false;
            case history::SaveResult::Changed:
                copyWaiting_ = JudgeCopy();
                break;
            case history::SaveResult::Done:
                copyWaiting_ = false;
                readRetries_ = 0;
                StopSaveTimer();
                break;
        }
    }
    return true;
}

// Another program that holds the clipboard (a reader of a large copy, a slow owner) usually
// lets go within milliseconds, sometimes only after seconds. The copy is tried until it is
// read or another copy has taken its place, so that none is lost to a busy clipboard.
void Recorder::ReadWaitingCopy() {
    if (TakeWaitingCopy() || !copyWaiting_) {
        return;
    }
    const std::uint32_t wait =
        std::min(kFirstReadRetryMilliseconds << readRetries_, kLongestReadRetryMilliseconds);
    readRetries_ += wait < kLongestReadRetryMilliseconds ? 1 : 0;
    StartSaveTimer(wait);
}

void Recorder::RequestStep(Step step) {
    steps_.push_back(step);
    // Otherwise a step is under way or waits for the clipboard: this one follows it.
    if (steps_.size() == 1) {
        RunSteps();
    }
}

void Recorder::DropSteps() {
    steps_.clear();
    if (std::exchange(stepRetrying_, false)) {
        window_.StopTimer(TimerId::RetryStep);
    }
}

// A copy still waiting to be read is taken first: stepping over it would lose it and step
// back from the state before it, one further than the user sees. A step that gives up after
// its last try takes the steps asked for after it along: they counted on it.
void Recorder::RunSteps() {
    while (!steps_.empty()) {
        const Step step = steps_.front();
        history::StepResult result = history::StepResult::Busy;
        CatchUp();
        if (TakeWaitingCopy()) {
            result = Take(step);
        }
        if (closed_) {
            return;  // shut down while the step waited on another program: nothing is left
        }
        if (result == history::StepResult::Busy && ++stepTries_ < kStepTries) {
            stepRetrying_ = true;
            window_.StartTimer(TimerId::RetryStep, StepRetryMilliseconds(stepTries_));
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
        window_.StopTimer(TimerId::RetryStep);
    }
    // A copy that the steps could not read goes back to the save timer's tries.
    if (copyWaiting_ && !timerEnabled_) {
        ReadWaitingCopy();
    }
}

// A state chosen from a list whose slots have changed since is not looked for: the slot may
// hold another state by now.
history::StepResult Recorder::Take(const Step& step) {
    switch (step.kind) {
        case Step::Kind::Back:
            return history_.UndoState();
        case Step::Kind::Forward:
            return history_.RedoState();
        case Step::Kind::To:
            break;
    }
    return step.layout == history_.Layout() ? history_.GoToState(step.slot)
                                            : history::StepResult::AtEnd;
}

// After the step, so the clipboard holds the state before the hint is drawn.
void Recorder::ShowStep(const Step& step, history::StepResult result) {
    const std::int32_t position = history_.CurrentState();
    if (!showHints_ || position == 0) {
        return;
    }
    StepNote note = StepNote::None;
    if (result == history::StepResult::Busy) {
        note = StepNote::ClipboardBusy;
    } else if (result == history::StepResult::Failed) {
        note = StepNote::NotPutBack;
    } else if (result == history::StepResult::AtEnd) {
        note = step.kind == Step::Kind::To     ? StepNote::ListChanged
               : step.kind == Step::Kind::Back ? StepNote::Oldest
                                               : StepNote::Newest;
    }
    hint_.ShowStepHint(
        StepHintText(history_.State(position), position, history_.LastState(), note));
}

}  // namespace revertly::app
