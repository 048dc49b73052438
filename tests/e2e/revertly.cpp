#include "e2e/revertly.h"

#include <vector>

#include "e2e/desktop.h"
#include "e2e/footprint.h"
#include "e2e/keys.h"
#include "tray/tray.h"

namespace revertly::driver {

namespace fs = std::filesystem;
using testing::WaitUntil;

namespace {

constexpr wchar_t kMainWindowClass[] = L"RevertlyMainWindow";
constexpr wchar_t kMenuClass[] = L"#32768";
constexpr wchar_t kDialogClass[] = L"#32770";

}  // namespace

Revertly::Revertly(fs::path folder) : folder_(std::move(folder)) {}

Revertly::~Revertly() = default;

fs::path Revertly::Executable() const {
    return folder_ / L"revertly.exe";
}

fs::path Revertly::SettingsFile() const {
    return folder_ / L"revertly.txt";
}

bool Revertly::Install(const fs::path& program) {
    std::error_code error;
    fs::copy_file(program, Executable(), fs::copy_options::overwrite_existing, error);
    return !error;
}

bool Revertly::Start() {
    return process_.Start(Executable(), {}, fs::temp_directory_path());
}

HWND Revertly::WaitForWindow(Milliseconds timeout) {
    WaitUntil(
        [this] {
            window_ = FindProcessWindow(process_.Id(), kMainWindowClass, kApplicationTitle, false);
            return window_ != nullptr || !Running();
        },
        timeout);
    return window_;
}

bool Revertly::WaitForStartUp(Milliseconds timeout) {
    return WaitForWindow(timeout) != nullptr && OpenTrayMenu() && CloseTrayMenu();
}

bool Revertly::Running() const {
    return process_.Running();
}

std::optional<DWORD> Revertly::WaitForExit(Milliseconds timeout) {
    return process_.WaitForExit(timeout);
}

void Revertly::Terminate() {
    process_.Terminate();
}

std::optional<LRESULT> Revertly::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window_, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs,
                             &result)) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

bool Revertly::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window_, message, wParam, lParam) != FALSE;
}

bool Revertly::TrayMenuShown() const {
    return FindProcessWindow(process_.Id(), kMenuClass, nullptr, true) != nullptr;
}

// What the shell sends for a right click on the icon: the button's messages, then the request
// for the menu. It would pass the icon's id in wParam; the program does not look at it, and
// under Wine another process cannot learn it (Wine does not pass WM_GETICON between
// processes).
bool Revertly::OpenTrayMenu() {
    return !TrayMenuShown() && Post(tray::kDefaultCallbackMessage, 0, WM_RBUTTONDOWN) &&
           Post(tray::kDefaultCallbackMessage, 0, WM_RBUTTONUP) &&
           Post(tray::kDefaultCallbackMessage, 0, WM_CONTEXTMENU) &&
           WaitUntil([this] { return TrayMenuShown(); });
}

bool Revertly::CloseTrayMenu() {
    return Post(WM_CANCELMODE, 0, 0) && WaitUntil([this] { return !TrayMenuShown(); });
}

namespace {

// The keys that select the item: the first Down selects the first command.
std::vector<INPUT> KeysTo(TrayItem item) {
    std::vector<INPUT> keys;
    for (int down = 0; down <= static_cast<int>(item); ++down) {
        keys.push_back(KeyInput(VK_DOWN, false));
        keys.push_back(KeyInput(VK_DOWN, true));
    }
    return keys;
}

void Press(std::vector<INPUT>& keys, WORD key) {
    keys.push_back(KeyInput(key, false));
    keys.push_back(KeyInput(key, true));
}

}  // namespace

bool Revertly::ChooseTrayItem(TrayItem item) {
    if (!OpenTrayMenu()) {
        return false;
    }
    std::vector<INPUT> keys = KeysTo(item);
    Press(keys, VK_RETURN);
    return SendKeys(std::move(keys)) && WaitUntil([this] { return !TrayMenuShown(); });
}

// Right opens the submenu; the access key both selects and chooses.
bool Revertly::ChooseRecentState(int number) {
    if (!OpenTrayMenu()) {
        return false;
    }
    std::vector<INPUT> keys = KeysTo(TrayItem::RecentStates);
    Press(keys, VK_RIGHT);
    Press(keys, static_cast<WORD>('0' + number % 10));
    return SendKeys(std::move(keys)) && WaitUntil([this] { return !TrayMenuShown(); });
}

HWND Revertly::OpenSettingsWindow() {
    HWND window = nullptr;
    if (ChooseTrayItem(TrayItem::Settings)) {
        WaitUntil([&] { return (window = SettingsWindow()) != nullptr; });
    }
    return window;
}

HWND Revertly::SettingsWindow() const {
    return FindProcessWindow(process_.Id(), kDialogClass, L"Revertly settings", true);
}

HWND Revertly::WaitForMessageBox(Milliseconds timeout) {
    HWND box = nullptr;
    WaitUntil(
        [this, &box] {
            box = FindProcessWindow(process_.Id(), kDialogClass, kApplicationTitle, true);
            return box != nullptr;
        },
        timeout);
    return box;
}

bool Revertly::Exit() {
    if (!ChooseTrayItem(TrayItem::Exit)) {
        return false;
    }
    HWND box = WaitForMessageBox();
    return box != nullptr && MessageBoxText(box) == L"Are you sure want to exit?" &&
           AnswerMessageBox(box, IDYES) && WaitForExit() == 0u;
}

bool Revertly::EndSession() {
    const bool agreed = Send(WM_QUERYENDSESSION, 0, 0).value_or(0) != 0;
    if (agreed) {
        Send(WM_ENDSESSION, TRUE, 0);
    }
    return agreed;
}

}  // namespace revertly::driver
