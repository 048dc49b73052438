#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "common/unique_win32.h"
#include "instance/named_block_win32.h"
#include "instance/one_instance.h"
#include "support/api_override.h"
#include "support/child_process.h"

namespace revertly::instance {
namespace {

constexpr DWORD kEndedAsLaterCopy = 75;  // as instance_probe ends when another copy runs
constexpr DWORD kTimeoutMs = 20000;

// The value in the block as any process sees it; nothing when there is no block.
std::optional<std::uint32_t> ReadBlock() {
    const UniqueKernelHandle block(OpenFileMappingW(FILE_MAP_READ, FALSE, L"Revertly"));
    const void* view = block ? MapViewOfFile(block.get(), FILE_MAP_READ, 0, 0, 4) : nullptr;
    if (view == nullptr) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, view, sizeof value);
    UnmapViewOfFile(view);
    return value;
}

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return !(owner == static_cast<DWORD>(processId) && IsWindowVisible(window));
}

// One run of instance_probe, which lies beside this test program.
class Probe {
  public:
    Probe() {
        static int count = 0;
        const std::string name = "Revertly.InstanceProbe." + std::to_string(GetCurrentProcessId()) +
                                 "." + std::to_string(++count);
        running_.reset(CreateEventA(nullptr, TRUE, FALSE, (name + ".running").c_str()));
        quit_.reset(CreateEventA(nullptr, TRUE, FALSE, (name + ".quit").c_str()));
        wchar_t path[MAX_PATH];
        std::wstring command(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
        const std::string probe = INSTANCE_PROBE_EXE;
        command.replace(command.find_last_of(L'\\') + 1, std::wstring::npos,
                        std::wstring(probe.begin(), probe.end()));
        process_.Start(command, std::wstring(name.begin(), name.end()));
    }

    // True once the probe holds the block and runs; false when it ended instead.
    bool WaitUntilRunning() {
        const HANDLE either[] = {running_.get(), process_.Handle()};
        return process_.Started() &&
               WaitForMultipleObjects(2, either, FALSE, kTimeoutMs) == WAIT_OBJECT_0;
    }
    // The exit code; notes whether the probe showed a window while it ran.
    DWORD WaitForExit(bool* showedWindow = nullptr) {
        const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
        while (WaitForSingleObject(process_.Handle(), 5) == WAIT_TIMEOUT &&
               GetTickCount64() < deadline) {
            if (showedWindow && !EnumWindows(&FindVisibleWindow, process_.Id())) {
                *showedWindow = true;
            }
        }
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.Handle(), &code);
        return code;
    }
    void Quit() { SetEvent(quit_.get()); }
    void Kill() { process_.Terminate(); }

  private:
    UniqueKernelHandle running_, quit_;
    testing::ChildProcess process_;
};

class OneInstanceWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ReadBlock(), std::nullopt) << "another copy holds the block";
        window_ = CreateWindowExW(0, L"STATIC", L"Revertly", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { DestroyWindow(window_); }
    WindowHandle Window() const { return reinterpret_cast<WindowHandle>(window_); }

    HWND window_ = nullptr;
    Win32NamedBlocks blocks_;
};

TEST_F(OneInstanceWin32, LaterCopiesEndWhileTheBlockIsHeld) {
    const auto ourWindow = static_cast<std::uint32_t>(Window());
    OneInstance guard(blocks_);
    ASSERT_EQ(guard.CheckOneInstance(Window()).verdict, InstanceVerdict::Run);
    EXPECT_EQ(ReadBlock(), ourWindow);

    Probe later;
    bool showedWindow = false;
    EXPECT_EQ(later.WaitForExit(&showedWindow), kEndedAsLaterCopy);
    EXPECT_FALSE(showedWindow);
    EXPECT_EQ(ReadBlock(), ourWindow) << "the later copy left the block as it was";

    guard.ReleaseOneInstance();
    EXPECT_EQ(ReadBlock(), std::nullopt);

    // The next copy runs, and this process is now the later copy: it reads that copy's window.
    Probe next;
    ASSERT_TRUE(next.WaitUntilRunning());
    const std::optional<std::uint32_t> nextWindow = ReadBlock();
    EXPECT_NE(nextWindow.value_or(0), 0u);
    EXPECT_NE(nextWindow, ourWindow);
    OneInstance again(blocks_);
    const InstanceCheck check = again.CheckOneInstance(Window());
    EXPECT_EQ(check.verdict, InstanceVerdict::EndThisCopy);
    EXPECT_EQ(static_cast<std::uint32_t>(check.runningWindow), nextWindow);
    EXPECT_EQ(again.InstanceMapping(), 0u);

    // Killed, it leaves no block behind; one that quits releases its block.
    next.Kill();
    const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
    while (ReadBlock() && GetTickCount64() < deadline) {
        WaitForSingleObject(GetCurrentProcess(), 5);
    }
    Probe last;
    ASSERT_TRUE(last.WaitUntilRunning());
    last.Quit();
    EXPECT_EQ(last.WaitForExit(), 0u);
    EXPECT_EQ(ReadBlock(), std::nullopt);
}

HANDLE WINAPI NoBlockYet(DWORD, BOOL, LPCWSTR) {
    return nullptr;
}

TEST_F(OneInstanceWin32, CopyThatLosesTheStartUpRaceEnds) {
    // The other copy creates the block just after this one found none.
    const UniqueKernelHandle other(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, L"Revertly"));
    ASSERT_TRUE(other);
    {
        const testing::ApiOverride api(Api());
        api->OpenFileMappingW = &NoBlockYet;
        OneInstance guard(blocks_);
        EXPECT_EQ(guard.CheckOneInstance(Window()).verdict, InstanceVerdict::EndThisCopy);
        EXPECT_EQ(guard.InstanceMapping(), 0u);
    }
    EXPECT_EQ(ReadBlock(), 0u) << "this copy wrote nothing into the other copy's block";
}

}  // namespace
}  // namespace revertly::instance
