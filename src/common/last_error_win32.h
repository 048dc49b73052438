// Keeps the thread's last-error code as it was when the object was made, and puts it back
// when the object goes: release functions and destructors call Windows, and a caller that
// reads GetLastError after them must still see the error of its own call.
#pragma once

#include <windows.h>

namespace revertly {

class LastErrorContext {
  public:
    LastErrorContext() : error_(GetLastError()) {}
    ~LastErrorContext() { SetLastError(error_); }
    LastErrorContext(const LastErrorContext&) = delete;
    LastErrorContext& operator=(const LastErrorContext&) = delete;

  private:
    DWORD error_;
};

}  // namespace revertly
