// The window message hook: every message of a hooked window is first offered to a handler,
// which consumes it or lets it go on to the procedure the window had before.
//
// The hooks live in one Subclass object (the module's hook list, in installation order).
// The window system stands behind a small port: it replaces a window's procedure, puts it
// back, and passes a message on to a procedure. The rule by which one message goes through
// a hook is plain logic here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/window_types.h"

namespace revertly::winhook {

// Identifies one installed hook; never 0, which stands for no hook.
using HookHandle = std::uint32_t;

// A window procedure as the window system knows it; 0 for none.
using WindowProcedure = std::uintptr_t;

// Receives exactly the four arguments of the window procedure. handled is false on entry;
// setting it to true consumes the message, and the return value becomes its result.
using MessageHandler = std::function<LResult(WindowHandle window, std::uint32_t message,
                                             WParam wParam, LParam lParam, bool& handled)>;

struct HookRecord {
    HookHandle handle = 0;
    WindowHandle window = 0;
    // The procedure the window had before the hook; 0 when it had none.
    WindowProcedure previous = 0;
    // Sees every message before the previous procedure.
    MessageHandler before;
    // Optional: sees every message the hook did not consume, after the previous procedure.
    MessageHandler after;
};

class Subclass;

// What the hook needs of the window system.
class WindowProcedurePort {
  public:
    virtual ~WindowProcedurePort() = default;

    // From now on hands every message of the window to hooks.Dispatch. Answers the
    // procedure the window had, or 0 when its procedure could not be replaced (the window
    // is then left as it was).
    virtual WindowProcedure InstallHook(WindowHandle window, Subclass& hooks) = 0;
    // Gives the window its previous procedure back; its messages no longer reach the hooks.
    virtual void RemoveHook(WindowHandle window, WindowProcedure previous) = 0;
    // Passes a message on to a procedure and answers its result.
    virtual LResult CallProcedure(WindowProcedure procedure, WindowHandle window,
                                  std::uint32_t message, WParam wParam, LParam lParam) = 0;
};

// One message through one hook: the before-handler first; a consumed message returns the
// handler's result and goes no further. Otherwise the previous procedure's result counts
// (the handler's, when there is no previous procedure), and an after-handler that sets its
// own Handled replaces it.
LResult DispatchHookedMessage(const HookRecord& record, WindowProcedurePort& port,
                              WindowHandle window, std::uint32_t message, WParam wParam,
                              LParam lParam);

class Subclass {
  public:
    explicit Subclass(WindowProcedurePort& port) : port_(port) {}
    // Gives every window that is still hooked its previous procedure back.
    ~Subclass() { UnsubclassAll(); }

    // The port hands this object to the window system: it must stay where it is.
    Subclass(const Subclass&) = delete;
    Subclass& operator=(const Subclass&) = delete;

    // Hooks the window and answers the new hook's handle; 0, keeping nothing, when the
    // window's procedure could not be replaced, when before is empty, or when the window
    // already carries a hook (hooks on one window would have to be removed in the reverse
    // order of their installation, which nothing here could enforce).
    HookHandle SubclassWindow(WindowHandle window, MessageHandler before,
                              MessageHandler after = {});
    // Removes one hook, giving its window the previous procedure back. Nothing for 0 or for
    // a handle that is not installed. Safe inside the hook's own dispatch: the message in
    // progress still finishes by the hook's rules; later messages skip it.
    void UnsubclassWindow(HookHandle handle);
    // Removes every hook, in installation order.
    void UnsubclassAll();

    // The handles of all installed hooks, in installation order.
    std::vector<HookHandle> InstalledHooks() const;

    // Dispatches one message of a hooked window; nothing when the window has no hook.
    std::optional<LResult> Dispatch(WindowHandle window, std::uint32_t message, WParam wParam,
                                    LParam lParam);

  private:
    HookHandle NewHandle();

    WindowProcedurePort& port_;
    // Shared with the dispatches in progress, so that a hook removed by its own handler
    // stays valid until that message has been dispatched.
    std::vector<std::shared_ptr<const HookRecord>> hooks_;
    HookHandle lastHandle_ = 0;
};

}  // namespace revertly::winhook
