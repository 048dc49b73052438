// A stand-in for a copy of the program: it creates a hidden main window and checks the
// single-instance guard with it, as the program does at start-up.
// Usage: instance_probe <event name>
// When another copy runs, it ends at once with exit code 75, running no clean-up at all.
// Otherwise it holds the block, sets the event "<event name>.running" and waits, answering
// its window's messages, until the event "<event name>.quit" is set; then it releases the
// block and ends with 0. Exit code 1: bad arguments or missing events.
#include <windows.h>

#include <string>

#include "common/unique_win32.h"
#include "instance/named_block_win32.h"
#include "instance/one_instance.h"

namespace {

constexpr UINT kEndedAsLaterCopy = 75;
// Never outlives a test that forgot it.
constexpr DWORD kLongestRunMs = 60000;

void WaitForQuit(HANDLE quit) {
    const ULONGLONG deadline = GetTickCount64() + kLongestRunMs;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        const DWORD woken = MsgWaitForMultipleObjects(
            1, &quit, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1) {
            return;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace revertly::instance;
    if (argc != 2) {
        return 1;
    }
    const std::string name = argv[1];
    const revertly::UniqueKernelHandle running(
        OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + ".running").c_str()));
    const revertly::UniqueKernelHandle quit(
        OpenEventA(SYNCHRONIZE, FALSE, (name + ".quit").c_str()));
    if (!running || !quit) {
        return 1;
    }
    const HWND window = CreateWindowExW(0, L"STATIC", L"Revertly", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                        100, nullptr, nullptr, nullptr, nullptr);

    Win32NamedBlocks blocks;
    OneInstance guard(blocks);
    if (guard.CheckOneInstance(reinterpret_cast<revertly::WindowHandle>(window)).verdict ==
        InstanceVerdict::EndThisCopy) {
        ExitProcess(kEndedAsLaterCopy);
    }
    SetEvent(running.get());
    WaitForQuit(quit.get());
    guard.ReleaseOneInstance();
    DestroyWindow(window);
    return 0;
}
