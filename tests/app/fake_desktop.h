// The Windows around frmMain, in memory: every port it uses, recording what it is asked in
// one log, and delivering messages to the main window as Windows does (through the hook
// once it is installed, then to the window's own procedure).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/main_form.h"
#include "app/messages.h"
#include "keep/keep_fakes.h"
#include "support/fake_clipboard.h"

namespace revertly::testing {

class FakeDesktop final : public app::MainWindowPort,
                          public app::StepHintPort,
                          public app::ShellPort,
                          public app::ClipboardOwnerPort,
                          public app::SettingsWindowPort,
                          public history::ViewerPort,
                          public tray::ShellNotifyPort,
                          public tray::TrayHost,
                          public winhook::WindowProcedurePort,
                          public instance::NamedBlockPort,
                          public settings::SettingsPlacePort {
  public:
    static constexpr WindowHandle kWindow = 0x1234;
    static constexpr WindowHandle kNextViewer = 0x5678;
    static constexpr std::uint32_t kTaskbarCreated = 0xC0DE;

    app::FormPorts Ports() {
        return {.window = *this,
                .stepHint = *this,
                .shell = *this,
                .clipboardOwner = *this,
                .clipboard = clipboard,
                .viewer = *this,
                .notify = *this,
                .trayHost = *this,
                .procedures = *this,
                .blocks = *this,
                .settingsPlace = *this,
                .seal = keptSeal,
                .keptFiles = keptFolder,

                .settingsWindow = *this};
    }

    // Delivers a message to the main window as Windows would.
    LResult Send(std::uint32_t message, WParam wParam = 0, LParam lParam = 0) {
        if (hooks != nullptr) {
            if (auto result = hooks->Dispatch(kWindow, message, wParam, lParam)) {
                return *result;
            }
        }
        return CallProcedure(1, kWindow, message, wParam, lParam);
    }

    std::string TakeLog() { return std::exchange(log, ""); }

    // MainWindowPort
    WindowHandle Handle() override { return kWindow; }
    void Hide() override { Note("hide"); }
    void Destroy() override {
        Note("destroy");
        Send(app::msg::kDestroy);
    }
    void Quit() override { Note("quit"); }
    void StartTimer(app::TimerId id, std::uint32_t ms) override {
        Note("timer " + std::to_string(static_cast<int>(id)) + " " + std::to_string(ms));
    }
    void StopTimer(app::TimerId id) override {
        Note("timer " + std::to_string(static_cast<int>(id)) + " off");
    }
    void LoadSmallIcon() override {
        Note("load icon");
        ++icon;
    }
    bool RegisterHotkey(int id, app::Hotkey) override {
        Note("hotkey " + std::to_string(id));
        return takenHotkeys.count(id) == 0;
    }
    bool ClaimHotkey(int id, app::Hotkey) override {
        Note("claim " + std::to_string(id));
        return !hookFails;
    }
    void UnregisterHotkey(int id) override { Note("unhotkey " + std::to_string(id)); }
    void SetMenuCheck(app::MenuItem item, bool checked) override { checks[item] = checked; }
    void SetMenuCaption(app::MenuItem item, std::u16string_view caption) override {
        captions[item] = Narrow(caption);
    }
    void SetRecentStates(std::span<const app::RecentStateLine> lines) override {
        recentStates.clear();
        for (const app::RecentStateLine& line : lines) {
            recentStates.push_back((line.checked ? "* " : "") + Narrow(line.caption));
        }
    }
    std::optional<app::MenuItem> ShowTrayMenu() override {
        Note("menu");
        RunOnce(whileOpen);
        return std::exchange(menuChoice, std::nullopt);
    }
    std::optional<app::MenuItem> ShowRecentStates() override {
        Note("recent states");
        return std::exchange(menuChoice, std::nullopt);
    }
    int ShowMessage(std::u16string_view text, std::uint32_t style) override {
        Note("box " + std::string(text.begin(), text.end()) + " " + std::to_string(style));
        RunOnce(whileOpen);
        return answer;
    }
    void SendTo(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) override {
        Note("send " + std::to_string(window) + " " + std::to_string(message) + " " +
             std::to_string(wParam) + " " + std::to_string(lParam));
    }
    // From the packer's thread (the tests' copies are too small to be packed) and the kept
    // history's; the latter's are counted for WaitForKeptPost.
    void PostToSelf(std::uint32_t message) override {
        if (message == app::msg::kHistoryKept) {
            const std::lock_guard lock(postsMutex_);
            ++keptPosts_;
            postsChanged_.notify_all();
        }
    }
    // Waits for the kept history's thread to report a load or save, and delivers the report
    // as Windows would deliver the posted message.
    bool DeliverKeptPost() {
        {
            std::unique_lock lock(postsMutex_);
            if (!postsChanged_.wait_for(lock, std::chrono::seconds(5),
                                        [this] { return keptPosts_ > 0; })) {
                return false;
            }
            --keptPosts_;
        }
        Send(app::msg::kHistoryKept);
        return true;
    }

    // StepHintPort: the texts asked for, with what the clipboard held when each was asked.
    void ShowStepHint(std::u16string_view text) override {
        Note("hint " + Narrow(text) + " over " + clipboard.Text());
    }

    // ShellPort
    void OpenUrl(std::u16string_view url) override {
        Note("open " + std::string(url.begin(), url.end()));
    }
    std::u16string UserStartupFolder() override { return userStartup; }
    std::u16string CommonStartupFolder() override { return commonStartup; }
    bool FileExists(std::u16string_view path) override {
        return files.count(std::u16string(path)) > 0;
    }
    bool RemoveFile(std::u16string_view path) override {
        Note("delete link");
        return files.erase(std::u16string(path)) > 0;
    }
    bool CreateShortcut(std::u16string_view link, std::u16string_view target,
                        std::u16string_view arguments, std::u16string_view folder) override {
        Note("link " + Narrow(link) + " -> " + Narrow(target) + " " + Narrow(arguments) + " in " +
             Narrow(folder));
        if (linksFail) {
            return false;
        }
        files.insert(std::u16string(link));
        return true;
    }

    // ClipboardOwnerPort
    std::optional<std::u16string> ClipboardOwnerProgram() override { return clipboardOwner; }

    // SettingsWindowPort
    void Show() override { Note("settings window"); }

    // ViewerPort
    bool AddClipboardFormatListener(WindowHandle) override {
        Note("listen");
        return !listenerRefused;
    }
    void RemoveClipboardFormatListener(WindowHandle) override { Note("unlisten"); }
    WindowHandle SetClipboardViewer(WindowHandle) override {
        Note("join chain");
        return kNextViewer;
    }
    void ChangeClipboardChain(WindowHandle, WindowHandle) override { Note("leave chain"); }

    // ShellNotifyPort and TrayHost
    bool ShellNotifyIcon(tray::NotifyMessage message,
                         const tray::NotifyIconRecord& record) override {
        Note("icon " + std::to_string(static_cast<int>(message)));
        tip = Narrow(std::u16string_view(record.szTip));
        if (message == tray::NotifyMessage::Add && refusedAdds > 0) {
            --refusedAdds;
            return false;
        }
        if (message == tray::NotifyMessage::Add) {
            shownIcons.insert(record.uID);
            shownPicture = record.hIcon;
        }
        if (message == tray::NotifyMessage::Delete) {
            shownIcons.erase(record.uID);
        }
        return message != tray::NotifyMessage::Modify || shownIcons.count(record.uID) > 0;
    }
    std::optional<WindowHandle> Window() const override { return kWindow; }
    std::optional<tray::IconHandle> WindowIcon() const override { return icon; }

    // WindowProcedurePort: the window's own procedure is the form's.
    winhook::WindowProcedure InstallHook(WindowHandle, winhook::Subclass& subclass) override {
        Note("hook");
        if (windowHookFails) {
            return 0;
        }
        hooks = &subclass;
        return 1;
    }
    void RemoveHook(WindowHandle, winhook::WindowProcedure) override {
        Note("unhook");
        hooks = nullptr;
    }
    LResult CallProcedure(winhook::WindowProcedure, WindowHandle, std::uint32_t message,
                          WParam wParam, LParam lParam) override {
        return form == nullptr ? 0 : form->WindowProcedure(message, wParam, lParam).value_or(0);
    }

    // NamedBlockPort: one block, held by another copy when anotherCopy is set.
    instance::BlockHandle OpenForReading(std::u16string_view) override {
        return anotherCopy ? 9 : 0;
    }
    instance::CreateResult Create(std::u16string_view, std::uint32_t) override {
        Note("claim instance");
        return {instance::CreateOutcome::Created, 10};
    }
    const void* MapForReading(instance::BlockHandle, std::uint32_t) override { return &block; }
    void* MapForWriting(instance::BlockHandle, std::uint32_t) override { return &block; }
    void Unmap(const void*) override {}
    void Close(instance::BlockHandle handle) override {
        if (handle == 10) {
            Note("release instance");
        }
    }

    // SettingsPlacePort: the program's folder takes the settings (FileExists is the shell's).
    bool FolderTakesNewFiles(std::u16string_view) override { return true; }
    std::u16string UserDataFolder(std::u16string_view) override { return {}; }

    static std::string Narrow(std::u16string_view text) {
        return std::string(text.begin(), text.end());
    }

    std::mutex postsMutex_;
    std::condition_variable postsChanged_;
    int keptPosts_ = 0;

    FakeClipboard clipboard;
    // The kept history's key and folder, in memory.
    TestSeal keptSeal{0x5eed};
    MemoryFolder keptFolder;
    app::frmMain* form = nullptr;
    winhook::Subclass* hooks = nullptr;
    std::string log;
    std::map<app::MenuItem, bool> checks;
    std::map<app::MenuItem, std::string> captions;
    std::set<int> takenHotkeys;
    std::set<std::u16string> files;
    std::u16string userStartup = u"C:\\Users\\me\\StartUp";
    std::u16string commonStartup = u"C:\\Common\\StartUp";
    std::optional<app::MenuItem> menuChoice;
    // The "Recent states" lines last handed to the menu, "* " before the checked one.
    std::vector<std::string> recentStates;
    // The program whose window owns the clipboard.
    std::optional<std::u16string> clipboardOwner;
    // The icon's tip as the shell last got it.
    std::string tip;
    // The window's small icon, a new handle each time it is loaded again.
    tray::IconHandle icon = 77;
    // The notification area: the adds it refuses still, the icons it shows by id, and the
    // picture of the last add.
    int refusedAdds = 0;
    std::set<std::uint32_t> shownIcons;
    tray::IconHandle shownPicture = 0;
    int answer = app::kAnswerYes;
    bool linksFail = false;
    bool hookFails = false;        // the keyboard hook cannot be installed
    bool windowHookFails = false;  // nor the window's message hook
    bool listenerRefused = false;  // the clipboard format listener list refuses the window
    // Runs once while the next message box or menu is open: the messages that its nested
    // message loop handles meanwhile.
    std::function<void()> whileOpen;
    bool anotherCopy = false;
    std::uint32_t block = 0;

  private:
    void Note(const std::string& what) { log += what + "; "; }
    static void RunOnce(std::function<void()>& action) {
        if (action) {
            std::exchange(action, nullptr)();
        }
    }
};

}  // namespace revertly::testing
