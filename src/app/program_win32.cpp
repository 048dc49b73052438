#include "app/program_win32.h"

#include <string>

namespace revertly::app {

ProgramPaths ExecutablePaths() {
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

Win32Program::Win32Program(HINSTANCE instance, ProgramPaths paths)
    : window_(instance),
      stepHint_(instance),
      clipboard_(window_.Handle()),
      trayHost_(window_.Handle()),
      settingsWindow_(instance, reinterpret_cast<HWND>(window_.Handle()),
                      [this](HWND field) {
                          if (field != nullptr) {
                              window_.RecordKeysFor(field);
                          } else {
                              window_.StopRecordingKeys();
                          }
                      }),
      form_({.window = window_,
             .stepHint = stepHint_,
             .shell = shell_,
             .clipboardOwner = clipboardOwner_,
             .clipboard = clipboard_,
             .viewer = viewer_,
             .notify = notify_,
             .trayHost = trayHost_,
             .procedures = procedures_,
             .blocks = blocks_,
             .settingsPlace = settingsPlace_,
             .seal = seal_,
             .keptFiles = keptFiles_,

             .settingsWindow = settingsWindow_},
            std::move(paths), RegisterWindowMessageW(L"TaskbarCreated")) {
    window_.Attach(form_);
    settingsWindow_.Attach(form_);
}

}  // namespace revertly::app
