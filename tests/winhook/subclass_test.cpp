#include "winhook/subclass.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace revertly::winhook {
namespace {

// A substitute window system: each window's procedure is a number n, which answers
// n * 1000 + message; kHooked stands for the hooked procedure.
class FakeWindows final : public WindowProcedurePort {
  public:
    static constexpr WindowProcedure kHooked = 999;

    WindowProcedure InstallHook(WindowHandle window, Subclass& hooks) override {
        hooked = &hooks;
        return failInstall ? 0 : std::exchange(procedureOf[window], kHooked);
    }
    void RemoveHook(WindowHandle window, WindowProcedure previous) override {
        procedureOf[window] = previous;
        ++removals;
    }
    LResult CallProcedure(WindowProcedure procedure, WindowHandle, std::uint32_t message, WParam,
                          LParam) override {
        passedOn += std::to_string(message) + " ";
        return static_cast<LResult>(procedure * 1000 + message);
    }
    // Delivers a message the way the window system would: to the current procedure.
    LResult Send(WindowHandle window, std::uint32_t message) {
        return procedureOf[window] == kHooked
                   ? hooked->Dispatch(window, message, 0, 0).value()
                   : CallProcedure(procedureOf[window], window, message, 0, 0);
    }

    std::map<WindowHandle, WindowProcedure> procedureOf;
    Subclass* hooked = nullptr;
    bool failInstall = false;
    int removals = 0;
    std::string passedOn;  // the messages that reached a procedure of the window's own
};

// Answers -1; consumes the one message given, leaves Handled untouched for all others.
MessageHandler Consume(std::uint32_t consumed, std::string& seen) {
    return [consumed, &seen](WindowHandle, std::uint32_t message, WParam, LParam, bool& handled) {
        EXPECT_FALSE(handled) << "Handled is false on entry";
        seen += std::to_string(message) + " ";
        if (message == consumed) {
            handled = true;
        }
        return LResult{-1};
    };
}

TEST(Subclass, DispatchRule) {
    enum class After { None, Handles, DoesNotHandle };
    const struct {
        const char* what;
        WindowProcedure previous;
        std::uint32_t message;
        After after;
        LResult expected;
        const char* passedOn;
    } cases[] = {
        {"consumed: the handler's result", 5, 42, After::Handles, -1, ""},
        {"not consumed: the previous procedure's result", 5, 43, After::None, 5043, "43 "},
        {"no previous procedure: the handler's result", 0, 43, After::None, -1, ""},
        {"an after-handler that handles replaces it", 5, 43, After::Handles, 77, "43 "},
        {"an after-handler that does not handle keeps it", 5, 43, After::DoesNotHandle, 5043,
         "43 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeWindows windows;
        std::string seen;
        HookRecord record{1, 10, c.previous, Consume(42, seen), nullptr};
        if (c.after != After::None) {
            record.after = [&](WindowHandle, std::uint32_t, WParam, LParam, bool& handled) {
                EXPECT_FALSE(handled);
                seen += "after ";
                handled = c.after == After::Handles;
                return LResult{77};
            };
        }
        EXPECT_EQ(DispatchHookedMessage(record, windows, 10, c.message, 0, 0), c.expected);
        EXPECT_EQ(windows.passedOn, c.passedOn);
        EXPECT_EQ(seen.find("after") != std::string::npos, c.message != 42 && record.after);
    }
}

TEST(Subclass, HookListInstallsInOrderAndRemovesSinglyOrAll) {
    FakeWindows windows;
    windows.procedureOf = {{10, 1}, {20, 2}, {30, 3}};
    std::string seen;
    Subclass hooks(windows);
    const HookHandle first = hooks.SubclassWindow(10, Consume(50, seen));
    const HookHandle second = hooks.SubclassWindow(20, Consume(50, seen));
    const HookHandle third = hooks.SubclassWindow(30, Consume(50, seen));
    EXPECT_NE(first, 0u);
    EXPECT_EQ(hooks.InstalledHooks(), (std::vector<HookHandle>{first, second, third}));
    EXPECT_EQ(windows.Send(20, 50), -1);

    // Refused, keeping nothing: a second hook on one window, no handler, a failed install.
    EXPECT_EQ(hooks.SubclassWindow(10, Consume(50, seen)), 0u);
    EXPECT_EQ(hooks.SubclassWindow(40, nullptr), 0u);
    windows.failInstall = true;
    EXPECT_EQ(hooks.SubclassWindow(40, Consume(50, seen)), 0u);
    EXPECT_EQ(hooks.InstalledHooks().size(), 3u);

    hooks.UnsubclassWindow(second);
    EXPECT_EQ(hooks.InstalledHooks(), (std::vector<HookHandle>{first, third}));
    EXPECT_EQ(windows.Send(20, 50), 2050) << "window 20 has its own procedure back";
    // Removed already, never installed, 0: nothing happens.
    for (const HookHandle stale : {second, HookHandle{12345}, HookHandle{0}}) {
        hooks.UnsubclassWindow(stale);
    }
    EXPECT_EQ(windows.removals, 1);

    hooks.UnsubclassAll();
    hooks.UnsubclassAll();
    EXPECT_TRUE(hooks.InstalledHooks().empty());
    EXPECT_EQ(windows.removals, 3);
    EXPECT_EQ(windows.procedureOf,
              (std::map<WindowHandle, WindowProcedure>{{10, 1}, {20, 2}, {30, 3}}));
    EXPECT_EQ(seen, "50 ");
}

TEST(Subclass, HookRemovedInsideItsOwnDispatchFinishesThatMessage) {
    constexpr std::uint32_t kDestroy = 2, kNcDestroy = 0x82;
    FakeWindows windows;
    windows.procedureOf[10] = 4;
    std::string seen;
    {
        Subclass hooks(windows);
        HookHandle handle = 0;
        const auto note = [&](WindowHandle, std::uint32_t message, WParam, LParam, bool&) {
            seen += std::to_string(message) + " ";
            if (message == kDestroy) {
                hooks.UnsubclassWindow(handle);
            }
            return LResult{0};
        };
        handle = hooks.SubclassWindow(10, note, note);

        EXPECT_EQ(windows.Send(10, kDestroy), 4002);
        EXPECT_EQ(windows.Send(10, kNcDestroy), 4130);
        EXPECT_EQ(seen, "2 2 ") << "before- and after-handler saw WM_DESTROY, nothing later";
        EXPECT_EQ(windows.passedOn, "2 130 ");

        hooks.SubclassWindow(10, note);
    }
    EXPECT_EQ(windows.procedureOf[10], 4u) << "the hook list gives the window back as it ends";
}

}  // namespace
}  // namespace revertly::winhook
