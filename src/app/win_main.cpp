// Revertly's entry point: builds the program around its hidden main window, runs start-up,
// and then only dispatches messages.
#include <windows.h>

#include "app/program_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    revertly::app::Win32Program program(instance, revertly::app::ExecutablePaths());
    if (!program.Created()) {
        return 1;
    }
    if (!program.Form().Form_Initialize()) {
        // Another copy runs: end at once, silently, undoing nothing.
        ExitProcess(0);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (program.HandleDialogMessage(message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
