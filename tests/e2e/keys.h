// A low-level keyboard hook of the test's own that records what reaches it. Hooks are called
// newest first, so a recorder made before the program starts sees exactly what the program's
// own hook lets through.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace revertly::driver {

class KeyRecorder {
  public:
    // Installs the hook on a thread of its own, which keeps answering while the test waits.
    KeyRecorder();
    ~KeyRecorder();
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;

    bool Installed() const { return installed_; }
    // The events seen since the last call, as "5B down, E8 down, E8 up, 5B up" (virtual keys
    // in hexadecimal), once count events have come or the patience has run out.
    std::string Take(std::size_t count);

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);

    std::thread thread_;
    DWORD threadId_ = 0;
    bool installed_ = false;
    std::mutex mutex_;
    std::vector<std::string> events_;
};

}  // namespace revertly::driver
