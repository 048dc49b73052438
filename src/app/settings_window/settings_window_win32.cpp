#include "app/settings_window/settings_window_win32.h"

#include <iterator>
#include <string>

#include "app/api_win32.h"
#include "app/resource.h"
#include "app/settings_window/key_field_win32.h"
#include "history/state_history.h"

namespace revertly::app {

namespace {

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string Text(HWND control) {
    std::wstring text(static_cast<std::size_t>(Api().GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        Api().GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return {text.begin(), text.end()};
}

int KeyField(int id) {
    return IDC_FIRST_KEY + id;
}

}  // namespace

Win32SettingsWindow::Win32SettingsWindow(HINSTANCE instance, HWND owner,
                                         std::function<void(HWND)> recordKeys)
    : instance_(instance), owner_(owner), recordKeys_(std::move(recordKeys)) {
    RegisterKeyField(instance);
}

Win32SettingsWindow::~Win32SettingsWindow() {
    Close();
}

void Win32SettingsWindow::Show() {
    if (dialog_ == nullptr && host_ != nullptr) {
        dialog_ = Api().CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_SETTINGS), owner_,
                                           &DialogProc, reinterpret_cast<LPARAM>(this));
        if (dialog_ == nullptr) {
            return;
        }
        Fill(host_->InForce());
    }
    if (dialog_ != nullptr) {
        Api().ShowWindow(dialog_, Api().IsIconic(dialog_) ? SW_RESTORE : SW_SHOW);
        Api().SetForegroundWindow(dialog_);
    }
}

bool Win32SettingsWindow::HandleDialogMessage(MSG& message) {
    return dialog_ != nullptr && Api().IsDialogMessageW(dialog_, &message) != FALSE;
}

void Win32SettingsWindow::Close() {
    if (dialog_ != nullptr) {
        Api().DestroyWindow(dialog_);
    }
}

INT_PTR CALLBACK Win32SettingsWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        Api().SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<Win32SettingsWindow*>(Api().GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_COMMAND:
            self->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_DESTROY:
            self->recordKeys_(nullptr);
            self->dialog_ = nullptr;
            return TRUE;
        default:
            return FALSE;
    }
}

void Win32SettingsWindow::Fill(const SettingsChoices& choices) {
    const HWND states = Api().GetDlgItem(dialog_, IDC_STATES);
    for (std::size_t i = 0; i < std::size(history::kStateCounts); ++i) {
        const std::wstring count = std::to_wstring(history::kStateCounts[i]);
        Api().SendMessageW(states, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(count.c_str()));
        if (history::kStateCounts[i] == choices.statesCount) {
            Api().SendMessageW(states, CB_SETCURSEL, i, 0);
        }
    }
    Api().SetDlgItemTextW(dialog_, IDC_MEMORY, Wide(choices.memoryMegabytes));
    Api().CheckDlgButton(dialog_, IDC_KEEP_HISTORY, choices.keepHistory ? BST_CHECKED : 0);
    Api().CheckDlgButton(dialog_, IDC_STEP_HINT, choices.stepHint ? BST_CHECKED : 0);
    for (int id = 0; id < kHotkeyCount; ++id) {
        Api().SendDlgItemMessageW(dialog_, KeyField(id), kSetFieldKey, 0,
                                  PackHotkey(choices.keys[id]));
    }
    const bool noPickKey = !choices.keys[kPickHotkey];
    Api().CheckDlgButton(dialog_, IDC_PICK_NONE, noPickKey ? BST_CHECKED : 0);
    Api().EnableWindow(Api().GetDlgItem(dialog_, KeyField(kPickHotkey)), !noPickKey);
    programs_.clear();
    for (const std::u16string& program : choices.ignoredPrograms) {
        AddProgram(program);
    }
    Api().CheckDlgButton(dialog_, IDC_AUTORUN, choices.autorun ? BST_CHECKED : 0);
    Rejudge();
}

SettingsChoices Win32SettingsWindow::Read() const {
    SettingsChoices choices;
    const auto selected = Api().SendDlgItemMessageW(dialog_, IDC_STATES, CB_GETCURSEL, 0, 0);
    choices.statesCount =
        selected >= 0 && static_cast<std::size_t>(selected) < std::size(history::kStateCounts)
            ? history::kStateCounts[selected]
            : 0;
    choices.memoryMegabytes = Text(Api().GetDlgItem(dialog_, IDC_MEMORY));
    choices.keepHistory = Api().IsDlgButtonChecked(dialog_, IDC_KEEP_HISTORY) == BST_CHECKED;
    choices.stepHint = Api().IsDlgButtonChecked(dialog_, IDC_STEP_HINT) == BST_CHECKED;
    for (int id = 0; id < kHotkeyCount; ++id) {
        choices.keys[id] =
            UnpackHotkey(Api().SendDlgItemMessageW(dialog_, KeyField(id), kGetFieldKey, 0, 0));
    }
    if (Api().IsDlgButtonChecked(dialog_, IDC_PICK_NONE) == BST_CHECKED) {
        choices.keys[kPickHotkey].reset();
    }
    choices.ignoredPrograms = programs_;
    choices.autorun = Api().IsDlgButtonChecked(dialog_, IDC_AUTORUN) == BST_CHECKED;
    return choices;
}

void Win32SettingsWindow::ShowVerdict(const SettingsVerdict& verdict) {
    for (int id = 0; id < kHotkeyCount; ++id) {
        Api().SetDlgItemTextW(dialog_, IDC_FIRST_KEY_NOTE + id, Wide(verdict.keyNotes[id]));
    }
    Api().SetDlgItemTextW(dialog_, IDC_MEMORY_NOTE, Wide(verdict.memoryNote));
}

void Win32SettingsWindow::Rejudge() {
    if (dialog_ != nullptr && host_ != nullptr) {
        ShowVerdict(host_->Judge(Read()));
    }
}

bool Win32SettingsWindow::Apply() {
    const SettingsVerdict verdict = host_->Apply(Read());
    ShowVerdict(verdict);
    return verdict.AllUsable();
}

void Win32SettingsWindow::OnCommand(WORD id, WORD code, HWND control) {
    switch (id) {
        case IDOK:
            // A value that cannot be used keeps the window open, with the reason beside it.
            if (Apply()) {
                Close();
            }
            return;
        case IDCANCEL:
            Close();
            return;
        case IDC_APPLY:
            Apply();
            return;
        case IDC_ADD_PROGRAM:
            ChooseProgramFile();
            return;
        case IDC_ADD_OWNER:
            if (const std::optional<std::u16string> owner = host_->CurrentCopyProgram()) {
                AddProgram(*owner);
            } else {
                Api().SetDlgItemTextW(dialog_, IDC_PROGRAMS_NOTE,
                                      L"No program owns the clipboard's copy now");
            }
            return;
        case IDC_REMOVE_PROGRAM: {
            const auto selected =
                Api().SendDlgItemMessageW(dialog_, IDC_PROGRAMS, LB_GETCURSEL, 0, 0);
            if (selected >= 0 && static_cast<std::size_t>(selected) < programs_.size()) {
                programs_.erase(programs_.begin() + selected);
                Api().SendDlgItemMessageW(dialog_, IDC_PROGRAMS, LB_DELETESTRING, selected, 0);
            }
            return;
        }
        case IDC_PICK_NONE:
            Api().EnableWindow(Api().GetDlgItem(dialog_, KeyField(kPickHotkey)),
                               Api().IsDlgButtonChecked(dialog_, IDC_PICK_NONE) != BST_CHECKED);
            Rejudge();
            return;
        case IDC_MEMORY:
            if (code == EN_CHANGE) {
                Rejudge();
            }
            return;
        default:
            break;
    }
    if (id >= IDC_FIRST_KEY && id < IDC_FIRST_KEY + kHotkeyCount) {
        if (code == kFieldChanged) {
            Rejudge();
        } else if (code == kFieldFocused || code == kFieldUnfocused) {
            recordKeys_(code == kFieldFocused ? control : nullptr);
        }
    }
}

void Win32SettingsWindow::AddProgram(std::u16string_view program) {
    if (AddIgnoredProgram(programs_, program)) {
        Api().SendDlgItemMessageW(dialog_, IDC_PROGRAMS, LB_ADDSTRING, 0,
                                  reinterpret_cast<LPARAM>(Wide(programs_.back())));
    }
    Api().SetDlgItemTextW(dialog_, IDC_PROGRAMS_NOTE, L"");
}

// The open-file dialog is modal to the settings window alone: the program goes on recording
// and answering its keys meanwhile, since the dialog's own message loop dispatches them.
void Win32SettingsWindow::ChooseProgramFile() {
    std::wstring file(32768, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = dialog_;
    open.lpstrFilter = L"Programs (*.exe)\0*.exe\0";
    open.lpstrFile = file.data();
    open.nMaxFile = static_cast<DWORD>(file.size());
    open.lpstrTitle = L"A program to leave out";
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                 OFN_DONTADDTORECENT;
    if (Api().GetOpenFileNameW(&open)) {
        file.resize(file.find(L'\0'));
        AddProgram(std::u16string(file.begin(), file.end()));
    }
}

}  // namespace revertly::app
