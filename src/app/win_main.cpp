// Revertly's entry point: builds the Windows side of every port around the hidden main
// window, runs start-up, and then only dispatches messages.
#include <windows.h>

#include <string>

#include "app/autorun.h"
#include "app/main_form.h"
#include "app/main_window_win32.h"
#include "app/shell_win32.h"
#include "history/clipboard_win32.h"
#include "instance/named_block_win32.h"
#include "tray/shell_notify_win32.h"
#include "winhook/subclass_win32.h"

namespace {

// The running executable's folder (no trailing separator) and its name without extension.
revertly::app::ProgramPaths ExecutablePaths() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // a long path: try again with more room
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    const std::wstring file = path.substr(separator + 1);
    const std::wstring name = file.substr(0, file.find_last_of(L'.'));
    const std::wstring folder = path.substr(0, separator);
    return {std::u16string(folder.begin(), folder.end()), std::u16string(name.begin(), name.end())};
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace revertly;

    app::Win32MainWindow window(instance);
    if (!window.Created()) {
        return 1;
    }
    app::Win32ShellPort shell;
    history::Win32Clipboard clipboard(window.Handle());
    history::Win32ViewerPort viewer;
    tray::Win32ShellNotify notify;
    tray::Win32TrayHost trayHost(window.Handle());
    winhook::Win32WindowProcedures procedures;
    instance::Win32NamedBlocks blocks;

    app::frmMain form({window, shell, clipboard, viewer, notify, trayHost, procedures, blocks},
                      ExecutablePaths(), RegisterWindowMessageW(L"TaskbarCreated"));
    window.Attach(form);
    if (!form.Form_Initialize()) {
        // Another copy runs: end at once, silently, undoing nothing.
        ExitProcess(0);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
