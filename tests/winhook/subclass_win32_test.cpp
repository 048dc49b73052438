#include "winhook/subclass_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/api_override.h"

namespace revertly::winhook {
namespace {

constexpr UINT kConsumed = WM_APP + 1;
constexpr UINT kPassedOn = WM_APP + 2;
constexpr wchar_t kClassName[] = L"Revertly.SubclassTest";

// What the window's own procedure saw.
struct OriginalLog {
    std::vector<UINT> messages;
    std::wstring text;
    bool Saw(UINT message) const {
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
};

// The window's own procedure: logs into the OriginalLog given at creation, answers
// 1000 + n for WM_APP + n.
LRESULT CALLBACK OriginalProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* log = reinterpret_cast<OriginalLog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (log != nullptr) {
        log->messages.push_back(message);
        if (message == WM_SETTEXT) {
            log->text = reinterpret_cast<const wchar_t*>(lParam);
        }
        if (message >= WM_APP) {
            return 1000 + (message - WM_APP);
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LONG_PTR WINAPI FailToSetWindowLong(HWND, int, LONG_PTR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

// A real, never shown window with a Unicode procedure of its own.
class HookedWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = OriginalProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        RegisterClassW(&windowClass);  // fails harmlessly from the second test on
        window_ = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), &log_);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        hooks_.UnsubclassAll();
        DestroyWindow(window_);
    }

    WindowHandle Window() const { return reinterpret_cast<WindowHandle>(window_); }
    LONG_PTR Procedure() const { return GetWindowLongPtrW(window_, GWLP_WNDPROC); }

    // Declared first: the table is put back after everything else has gone.
    const testing::ApiOverride<Win32Api> api_{Api()};
    HWND window_ = nullptr;
    OriginalLog log_;
    Win32WindowProcedures port_;
    Subclass hooks_{port_};
};

TEST_F(HookedWindow, ConsumedMessagesStopAndOthersReturnTheOldProceduresResult) {
    std::vector<UINT> seen;
    const HookHandle handle = hooks_.SubclassWindow(
        Window(), [&](WindowHandle window, std::uint32_t message, WParam, LParam, bool& handled) {
            EXPECT_EQ(window, Window());
            seen.push_back(message);
            handled = message == kConsumed;
            return LResult{handled ? 7 : -5};
        });
    ASSERT_NE(handle, 0u);
    EXPECT_NE(Procedure(), reinterpret_cast<LONG_PTR>(&OriginalProcedure));

    EXPECT_EQ(SendMessageW(window_, kConsumed, 0, 0), 7);
    EXPECT_FALSE(log_.Saw(kConsumed));
    EXPECT_EQ(SendMessageW(window_, kPassedOn, 0, 0), 1002);
    EXPECT_TRUE(log_.Saw(kPassedOn));
    EXPECT_EQ(seen, (std::vector<UINT>{kConsumed, kPassedOn}));

    // Taken off again, the window is as it was: its own procedure, still Unicode, so text
    // outside the ANSI code page arrives intact.
    hooks_.UnsubclassAll();
    EXPECT_EQ(Procedure(), reinterpret_cast<LONG_PTR>(&OriginalProcedure));
    EXPECT_TRUE(IsWindowUnicode(window_));
    EXPECT_EQ(GetPropW(window_, kHookProperty), nullptr);
    const std::wstring text = L"Grüße, Привет, 你好 ✓";
    SendMessageW(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    EXPECT_EQ(log_.text, text);
    EXPECT_EQ(SendMessageW(window_, kConsumed, 0, 0), 1001);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(HookedWindow, HookRemovedDuringDestroyStillPassesDestroyOn) {
    std::vector<UINT> seen;
    HookHandle handle = 0;
    handle = hooks_.SubclassWindow(Window(),
                                   [&](WindowHandle, std::uint32_t message, WParam, LParam, bool&) {
                                       seen.push_back(message);
                                       if (message == WM_DESTROY) {
                                           hooks_.UnsubclassWindow(handle);
                                       }
                                       return LResult{0};
                                   });
    ASSERT_NE(handle, 0u);

    DestroyWindow(window_);
    EXPECT_TRUE(log_.Saw(WM_DESTROY));
    EXPECT_TRUE(log_.Saw(WM_NCDESTROY));
    EXPECT_EQ(seen, (std::vector<UINT>{WM_DESTROY}));
    EXPECT_TRUE(hooks_.InstalledHooks().empty());
}

TEST_F(HookedWindow, FailureToReplaceTheProcedureKeepsNothing) {
    api_->SetWindowLongPtrW = &FailToSetWindowLong;
    bool called = false;
    const HookHandle handle =
        hooks_.SubclassWindow(Window(), [&](WindowHandle, std::uint32_t, WParam, LParam, bool&) {
            called = true;
            return LResult{0};
        });
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(hooks_.InstalledHooks().empty());
    EXPECT_EQ(GetPropW(window_, kHookProperty), nullptr);
    EXPECT_EQ(SendMessageW(window_, kPassedOn, 0, 0), 1002);
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace revertly::winhook
