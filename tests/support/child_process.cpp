#include "support/child_process.h"

#include <string>

namespace revertly::testing {

bool ChildProcess::Start(const std::filesystem::path& program, std::wstring_view arguments,
                         const std::filesystem::path& workingFolder) {
    if (Started()) {
        return false;
    }
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    if (!arguments.empty()) {
        commandLine += L" ";
        commandLine += arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                        &started)) {
        return false;
    }
    const UniqueKernelHandle thread(started.hThread);
    process_.reset(started.hProcess);
    id_ = started.dwProcessId;
    threadId_ = started.dwThreadId;
    return true;
}

bool ChildProcess::Running() const {
    return Started() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(Milliseconds timeout) {
    if (!Started() || !WaitUntil([this] { return !Running(); }, timeout)) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProcess::Terminate() {
    if (Running()) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 5000);
    }
}

}  // namespace revertly::testing
