// Holds the clipboard open from another process, as a busy program does.
// Usage: clipboard_holder <event name> <milliseconds>
// Opens the clipboard, sets the event "<event name>.held", then closes the clipboard after
// the given time or as soon as the event "<event name>.release" is set.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const std::string name = argv[1];
    const HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + ".held").c_str());
    const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (name + ".release").c_str());
    // Opened with a window of its own: Wine lets a second opener with no window in while
    // the clipboard is held open with none.
    const HWND window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!held || !release || !window || !OpenClipboard(window)) {
        return 1;
    }
    SetEvent(held);
    WaitForSingleObject(release, static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    CloseClipboard();
    DestroyWindow(window);
    CloseHandle(release);
    CloseHandle(held);
    return 0;
}
