// A program that a test or a benchmark starts: its process, waited for with this thread's
// messages handled, and terminated as a last resort when the object goes while it still runs.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string_view>

#include "common/unique_win32.h"
#include "support/wait_until.h"

namespace revertly::testing {

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess() { Terminate(); }
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;

    // Starts the program with the arguments (after the program's quoted path on the command
    // line) in the working folder (empty: this process's own); false when it did not start.
    bool Start(const std::filesystem::path& program, std::wstring_view arguments = {},
               const std::filesystem::path& workingFolder = {});
    bool Started() const { return static_cast<bool>(process_); }
    HANDLE Handle() const { return process_.get(); }
    DWORD Id() const { return id_; }
    DWORD MainThreadId() const { return threadId_; }
    bool Running() const;
    // Waits for the process to end; its exit code, or nothing when it still runs.
    std::optional<DWORD> WaitForExit(Milliseconds timeout);
    // Ends a process that still runs, at once.
    void Terminate();

  private:
    UniqueKernelHandle process_;
    DWORD id_ = 0;
    DWORD threadId_ = 0;
};

}  // namespace revertly::testing
