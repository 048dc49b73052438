#include "e2e/driver.h"

// The shell headers need the types of windows.h first.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <iterator>
#include <memory>

#include "tray/tray.h"

namespace revertly::driver {

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kApplicationTitle[] = L"Revertly";
constexpr wchar_t kMainWindowClass[] = L"RevertlyMainWindow";
constexpr wchar_t kMenuClass[] = L"#32768";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr DWORD kSendTimeoutMs = 5000;

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ComReleaser>;

// The clipboard opened with no owner window for one read or write, and closed again. Another
// program (the one under test, or Wine's own clipboard bridge) may hold it for a moment.
class OpenedClipboard {
  public:
    OpenedClipboard() : open_(WaitUntil([] { return OpenClipboard(nullptr) != FALSE; })) {}
    ~OpenedClipboard() {
        if (open_) {
            CloseClipboard();
        }
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    explicit operator bool() const { return open_; }

  private:
    bool open_;
};

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    const bool extended = virtualKey == VK_LWIN || virtualKey == VK_UP || virtualKey == VK_DOWN ||
                          virtualKey == VK_LEFT || virtualKey == VK_RIGHT;
    input.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    return input;
}

bool SendKeys(std::vector<INPUT> inputs) {
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
           inputs.size();
}

}  // namespace

bool SetClipboardText(std::wstring_view text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) {
        return false;
    }
    if (void* data = GlobalLock(block)) {
        std::memcpy(data, text.data(), text.size() * sizeof(wchar_t));
        static_cast<wchar_t*>(data)[text.size()] = L'\0';
        GlobalUnlock(block);
    }
    const OpenedClipboard clipboard;
    if (clipboard && EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block) != nullptr) {
        return true;  // the clipboard owns the block now
    }
    GlobalFree(block);
    return false;
}

bool ClearClipboard() {
    const OpenedClipboard clipboard;
    return clipboard && EmptyClipboard();
}

std::optional<std::wstring> ClipboardText() {
    const OpenedClipboard clipboard;
    if (!clipboard) {
        return std::nullopt;
    }
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    const auto* data = block != nullptr ? static_cast<const wchar_t*>(GlobalLock(block)) : nullptr;
    if (data == nullptr) {
        return std::nullopt;
    }
    const std::size_t capacity = GlobalSize(block) / sizeof(wchar_t);
    std::wstring text(data, std::find(data, data + capacity, L'\0'));
    GlobalUnlock(block);
    return text;
}

DWORD ClipboardChanges() {
    return GetClipboardSequenceNumber();
}

bool PressKeys(std::initializer_list<WORD> virtualKeys) {
    std::vector<INPUT> inputs;
    for (const WORD key : virtualKeys) {
        inputs.push_back(KeyInput(key, false));
        inputs.push_back(KeyInput(key, true));
    }
    return SendKeys(std::move(inputs));
}

bool PressChord(std::initializer_list<WORD> modifiers, WORD virtualKey) {
    std::vector<WORD> down(modifiers);
    down.push_back(virtualKey);
    std::vector<INPUT> inputs;
    for (const WORD key : down) {
        inputs.push_back(KeyInput(key, false));
    }
    for (auto key = down.rbegin(); key != down.rend(); ++key) {
        inputs.push_back(KeyInput(*key, true));
    }
    return SendKeys(std::move(inputs));
}

bool PressWinKey(WORD virtualKey) {
    return PressChord({VK_LWIN}, virtualKey);
}

bool WinHotkeyFree(WORD virtualKey) {
    constexpr int kProbeId = 0xBFFF;
    if (!RegisterHotKey(nullptr, kProbeId, MOD_WIN, virtualKey)) {
        return false;
    }
    UnregisterHotKey(nullptr, kProbeId);
    return true;
}

fs::path KnownFolder(const GUID& id) {
    PWSTR path = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) {
        folder = path;
    }
    CoTaskMemFree(path);
    return folder;
}

fs::path StartupFolder() {
    return KnownFolder(FOLDERID_Startup);
}

fs::path StartupLinkPath() {
    return StartupFolder() / (std::wstring(kApplicationTitle) + L".lnk");
}

bool RemoveStartupLink() {
    const fs::path link = StartupLinkPath();
    SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(link.c_str());
    return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The target is read from the link's item list: Wine keeps the path text of a link in the
// ANSI code page only, where a Cyrillic folder name turns into "?".
std::optional<Shortcut> ReadShortcut(const fs::path& link) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::optional<Shortcut> read;
    {
        IShellLinkW* rawLink = nullptr;
        IPersistFile* rawFile = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_PPV_ARGS(&rawLink)))) {
            rawLink->QueryInterface(IID_PPV_ARGS(&rawFile));
        }
        const ComPtr<IShellLinkW> shellLink(rawLink);
        const ComPtr<IPersistFile> file(rawFile);
        PIDLIST_ABSOLUTE items = nullptr;
        wchar_t target[MAX_PATH] = {};
        wchar_t arguments[INFOTIPSIZE] = {};
        wchar_t workingFolder[MAX_PATH] = {};
        if (file && SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetIDList(&items)) && SHGetPathFromIDListW(items, target) &&
            SUCCEEDED(shellLink->GetArguments(arguments, INFOTIPSIZE)) &&
            SUCCEEDED(shellLink->GetWorkingDirectory(workingFolder, MAX_PATH))) {
            read = Shortcut{target, arguments, workingFolder};
            std::ranges::replace(read->target, L'/', L'\\');
        }
        CoTaskMemFree(items);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return read;
}

std::optional<std::uint32_t> ReadInstanceBlock() {
    const UniqueKernelHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, kApplicationTitle));
    if (!mapping) {
        return std::nullopt;
    }
    const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(std::uint32_t));
    if (view == nullptr) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, view, sizeof value);
    UnmapViewOfFile(view);
    return value;
}

// Shared for deletion too: the program replaces its settings file by renaming a new one over
// it, which a reader without FILE_SHARE_DELETE would make fail.
std::optional<std::string> ReadFileBytes(const fs::path& file) {
    HANDLE opened = CreateFileW(file.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const UniqueKernelHandle handle(opened != INVALID_HANDLE_VALUE ? opened : nullptr);
    if (!handle) {
        return std::nullopt;
    }
    // Read until the end rather than the size the file reports: the files under /proc (seen
    // through Wine's drive Z:) report a size of 0.
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (true) {
        if (!ReadFile(handle.get(), buffer, sizeof buffer, &read, nullptr)) {
            return std::nullopt;
        }
        if (read == 0) {
            return bytes;
        }
        bytes.append(buffer, read);
    }
}

std::optional<FILETIME> LastWriteTime(const fs::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    return data.ftLastWriteTime;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* caption,
                       bool visibleOnly) {
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, className, caption)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && (!visibleOnly || IsWindowVisible(window))) {
            return window;
        }
    }
    return nullptr;
}

int CountWindows(const wchar_t* className, const wchar_t* caption) {
    int count = 0;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, className, caption)) != nullptr;) {
        ++count;
    }
    return count;
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[1024] = {};
    // The static control that shows a message box's text has the id 0xFFFF.
    GetDlgItemTextW(box, 0xFFFF, text, static_cast<int>(std::size(text)));
    return text;
}

bool AnswerMessageBox(HWND box, int button) {
    HWND control = GetDlgItem(box, button);
    DWORD_PTR ignored = 0;
    return control != nullptr &&
           SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored) &&
           WaitUntil([box] { return !IsWindow(box); });
}

std::vector<HWND> TrayIconWindows() {
    std::vector<HWND> icons;
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    for (HWND icon = nullptr;
         tray != nullptr && (icon = FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr));) {
        icons.push_back(icon);
    }
    return icons;
}

bool RightClickTrayIcon(HWND icon) {
    const LPARAM inside = MAKELPARAM(4, 4);
    return PostMessageW(icon, WM_RBUTTONDOWN, MK_RBUTTON, inside) &&
           PostMessageW(icon, WM_RBUTTONUP, 0, inside);
}

void BroadcastTaskbarCreated() {
    SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

// ---------------------------------------------------------------------------------------

DriverWindow::DriverWindow() {
    static constexpr wchar_t kClass[] = L"RevertlyDriverWindow";
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when the class exists already
    window_ = CreateWindowExW(0, kClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
}

DriverWindow::~DriverWindow() {
    LeaveViewerChain();
    for (const int id : hotkeys_) {
        UnregisterHotKey(window_, id);
    }
    DestroyWindow(window_);
}

bool DriverWindow::HoldWinHotkey(int id, WORD virtualKey) {
    if (!RegisterHotKey(window_, id, MOD_WIN, virtualKey)) {
        return false;
    }
    hotkeys_.push_back(id);
    return true;
}

void DriverWindow::JoinViewerChain() {
    if (!inChain_) {
        inChain_ = true;
        nextViewer_ = SetClipboardViewer(window_);
    }
}

void DriverWindow::LeaveViewerChain() {
    if (inChain_) {
        inChain_ = false;
        ChangeClipboardChain(window_, nextViewer_);
    }
}

LRESULT CALLBACK DriverWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<DriverWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_HOTKEY) {
        ++self->hotkeys_received_;
        return 0;
    }
    if (self != nullptr && message == WM_DRAWCLIPBOARD) {
        ++self->notifications_;
        if (self->onChange_) {
            self->onChange_();  // the moment first: passing the notification on waits
        }
        if (self->nextViewer_ != nullptr) {
            SendMessageW(self->nextViewer_, message, wParam, lParam);
        }
        return 0;
    }
    if (self != nullptr && message == WM_CHANGECBCHAIN) {
        if (reinterpret_cast<HWND>(wParam) == self->nextViewer_) {
            self->nextViewer_ = reinterpret_cast<HWND>(lParam);
        } else if (self->nextViewer_ != nullptr) {
            SendMessageW(self->nextViewer_, message, wParam, lParam);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------

StalledClipboardOwner::StalledClipboardOwner(std::wstring text)
    : text_(std::move(text)), answer_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    std::promise<bool> taken;
    std::future<bool> owns = taken.get_future();
    thread_ = std::thread([this, &taken] {
        threadId_ = GetCurrentThreadId();
        HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     nullptr, nullptr);
        const bool ok = owner != nullptr && OpenClipboard(owner);
        if (ok) {
            EmptyClipboard();
            SetClipboardData(CF_UNICODETEXT, nullptr);  // rendered when asked for
            CloseClipboard();
        }
        taken.set_value(ok);
        // The reader's request arrives as a sent message; it is noticed but not handled until
        // told, so the reader waits meanwhile.
        if (MsgWaitForMultipleObjects(1, &answer_, FALSE, INFINITE, QS_SENDMESSAGE) ==
            WAIT_OBJECT_0 + 1) {
            asked_ = true;
            WaitForSingleObject(answer_, INFINITE);
        }
        SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OwnerProc));
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        DestroyWindow(owner);
    });
    owns_ = owns.get();
}

StalledClipboardOwner::~StalledClipboardOwner() {
    Answer();
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    CloseHandle(answer_);
}

void StalledClipboardOwner::Answer() {
    SetEvent(answer_);
}

LRESULT CALLBACK StalledClipboardOwner::OwnerProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    if (message == WM_RENDERFORMAT && wParam == CF_UNICODETEXT) {
        const auto* self =
            reinterpret_cast<StalledClipboardOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        const std::size_t bytes = (self->text_.size() + 1) * sizeof(wchar_t);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
        std::memcpy(GlobalLock(block), self->text_.c_str(), bytes);
        GlobalUnlock(block);
        if (SetClipboardData(CF_UNICODETEXT, block) == nullptr) {
            GlobalFree(block);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------

ScratchFolder::ScratchFolder(std::wstring_view name) {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            (std::wstring(name) + L" " + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(++counter));
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    fs::create_directories(path_, ignored);
    // The long form of every part, as the shell reports paths: the temporary folder may be
    // given in short 8.3 names.
    wchar_t longPath[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(path_.c_str(), longPath, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        path_ = longPath;
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

// ---------------------------------------------------------------------------------------

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

// The shell would pass the icon's id in wParam; the program does not look at it, and under
// Wine another process cannot learn it (Wine does not pass WM_GETICON between processes).
bool Revertly::OpenTrayMenu() {
    return !TrayMenuShown() && Post(tray::kDefaultCallbackMessage, 0, WM_RBUTTONDOWN) &&
           WaitUntil([this] { return TrayMenuShown(); });
}

bool Revertly::CloseTrayMenu() {
    return PressKeys({VK_ESCAPE}) && WaitUntil([this] { return !TrayMenuShown(); });
}

bool Revertly::ChooseTrayItem(TrayItem item) {
    if (!OpenTrayMenu()) {
        return false;
    }
    std::vector<INPUT> keys;
    for (int down = 0; down <= static_cast<int>(item); ++down) {
        keys.push_back(KeyInput(VK_DOWN, false));
        keys.push_back(KeyInput(VK_DOWN, true));
    }
    keys.push_back(KeyInput(VK_RETURN, false));
    keys.push_back(KeyInput(VK_RETURN, true));
    return SendKeys(std::move(keys)) && WaitUntil([this] { return !TrayMenuShown(); });
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
