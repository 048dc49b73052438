// Starts Wine's desktop process for a session of Wine tests and keeps it alive until the
// Wine server ends.
//
// Wine starts its desktop process (explorer.exe /desktop) when a program first needs the
// desktop, and ends it about a second after the last such program has gone. Each time it
// starts, its X11 clipboard bridge takes the clipboard over: it empties the clipboard and
// becomes its owner, some hundreds of milliseconds after the program that needed the desktop
// has gone on, and later still on a busy machine. A test that has put text on the clipboard
// meanwhile finds it gone. Started once before any test and kept alive, the desktop takes the
// clipboard over once, before the first test.
//
// Prints "ready" once the bridge owns the clipboard, then waits until it is ended.
#include <windows.h>

#include <cstdio>

namespace {

bool BridgeOwnsTheClipboard() {
    const HWND bridge = FindWindowExW(HWND_MESSAGE, nullptr, L"__wine_clipboard_manager", nullptr);
    return bridge != nullptr && GetClipboardOwner() == bridge;
}

}  // namespace

int main() {
    // The first call that needs the desktop makes Wine start it and waits until it exists;
    // the clipboard bridge starts inside it afterwards, on a thread of its own.
    GetDesktopWindow();
    while (!BridgeOwnsTheClipboard()) {
        Sleep(10);
    }
    std::puts("ready");
    std::fflush(stdout);
    Sleep(INFINITE);
}
