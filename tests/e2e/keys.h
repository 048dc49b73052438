// The keyboard as the tests use it: keys typed with SendInput, and a low-level keyboard hook of
// the test's own that records what reaches it.
#pragma once

#include <windows.h>

#include <bitset>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace revertly::driver {

// One key event for SendInput, and a series of them sent at once.
INPUT KeyInput(WORD virtualKey, bool up);
bool SendKeys(std::vector<INPUT> inputs);

// The keyboard, through SendInput: each key pressed and released in turn.
bool PressKeys(std::initializer_list<WORD> virtualKeys);
// The modifiers held down in order, the key pressed and released, the modifiers let go.
bool PressChord(std::initializer_list<WORD> modifiers, WORD virtualKey);
// The two halves of a chord: the modifiers held down until they stay down (Wine lets go of
// keys that only SendInput pressed when one of its windows gains the X focus), then the key
// pressed and released and the modifiers let go.
bool HoldModifiers(const std::vector<WORD>& modifiers);
bool FinishChord(const std::vector<WORD>& modifiers, WORD virtualKey);
// The Windows key held while the key is pressed and released (Win+Z is PressWinKey('Z')).
bool PressWinKey(WORD virtualKey);

// Whether another program could take Win+key as a global hotkey right now (it takes it and
// gives it back at once).
bool WinHotkeyFree(WORD virtualKey);

// Hooks are called newest first, so a recorder made before the program starts sees exactly
// what the program's own hook lets through.
class KeyRecorder {
  public:
    // Installs the hook on a thread of its own, which keeps answering while the test waits.
    KeyRecorder();
    ~KeyRecorder();
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;

    bool Installed() const { return installed_; }
    // The events seen since the last call, as "5B down, E8 down, E8 up, 5B up" (virtual keys
    // in hexadecimal, repeats of a key held down left out), once count events have come or
    // the patience has run out.
    std::string Take(std::size_t count);

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);

    std::thread thread_;
    DWORD threadId_ = 0;
    bool installed_ = false;
    std::mutex mutex_;
    std::vector<std::string> events_;
    // The keys down, as the hook's thread has seen them.
    std::bitset<256> down_;
};

}  // namespace revertly::driver
