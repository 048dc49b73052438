// The rule of the keyboard hook that claims hotkeys Windows would not register for the program
// (Explorer holds Win+letter combinations before any program of the Startup folder runs). The
// hook's callback runs on a thread of its own for every keystroke of the whole system, so this
// allocates nothing and takes no lock: the claimed combinations are atomics that the window's
// thread sets, and everything else belongs to the hook's thread alone.
#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <iterator>
#include <optional>

#include "app/keys/hotkeys.h"

namespace revertly::app {

// The unassigned virtual key sent after a swallowed letter while the Windows key or Alt is
// held, so that releasing it opens no Start menu and activates no menu bar.
inline constexpr std::uint32_t kNeutralVirtualKey = 0xE8;

// How often the hook's thread checks that Windows still calls the hook.
inline constexpr std::uint32_t kHookCheckMilliseconds = 5000;

// What the hook does with one key event.
struct KeyDecision {
    bool swallow = false;         // keep it from every other program
    std::optional<int> hotkeyId;  // post WM_HOTKEY with this id to the main window
    bool sendNeutralKey = false;  // right after this event
};

class KeyClaims {
  public:
    // From any thread.
    void Claim(int id, Hotkey hotkey);
    void Unclaim(int id);
    bool Any() const;

    // On the hook's thread: whether an event of the key can concern a claim at all. Reading
    // the modifiers costs more than the rest of the hook, so other keys pass at once.
    bool Concerns(std::uint32_t virtualKey) const;
    // On the hook's thread: a key went down or up while the given modifiers are held. A
    // claimed combination's key-down posts its hotkey, each auto-repeat again, and is
    // swallowed with its key-up, also when the modifiers are released first. Any other
    // event passes untouched.
    KeyDecision OnKey(std::uint32_t virtualKey, bool down, std::uint32_t heldModifiers);

  private:
    static constexpr std::uint32_t kNone = 0;
    std::array<std::atomic<std::uint32_t>, kHotkeyCount> claims_{};
    std::bitset<256> swallowedDown_;
};

// Which modifiers are held when a key event comes, judged from the modifier events the hook
// has itself seen. The system's key state (GetAsyncKeyState) can lag behind the events a
// hook is called for while the system is busy, which took another program's Ctrl+Win+Z for
// Win+Z. A hook sees the left and right keys (VK_LCONTROL, VK_RCONTROL, ...), never the
// generic codes, so a modifier is judged from the events of all its keys together. The hook
// sees no event while a window of an administrator has the focus, so a modifier released
// there would stay down for ever: a modifier none of whose keys had an event within the trust
// span is asked of the system, which has long caught up by then. A modifier held down repeats
// its key-down, which keeps its event fresh.
class ModifierKeys {
  public:
    static constexpr std::uint32_t kTrustMilliseconds = 1000;

    // On the hook's thread, for every key event it sees; time is the event's (milliseconds,
    // wrapping).
    void Seen(std::uint32_t virtualKey, bool down, std::uint32_t time);
    // The modifier bits held at the event of this time. systemHeld(virtualKey) answers the
    // system's state of a modifier key, asked only for a modifier whose keys the hook has
    // not seen lately.
    template <typename SystemHeld>
    std::uint32_t HeldAt(std::uint32_t time, SystemHeld systemHeld) const {
        std::uint32_t seenLately = 0;
        std::uint32_t held = 0;
        for (std::size_t slot = 0; slot < std::size(kKeys); ++slot) {
            const Event& event = events_[slot];
            if (event.seen && static_cast<std::int32_t>(time - event.time) <=
                                  static_cast<std::int32_t>(kTrustMilliseconds)) {
                seenLately |= kKeys[slot].modifier;
                held |= event.down ? kKeys[slot].modifier : 0;
            }
        }
        for (const Key& key : kSystemKeys) {
            if (((seenLately | held) & key.modifier) == 0 && systemHeld(key.virtualKey)) {
                held |= key.modifier;
            }
        }
        return held;
    }

  private:
    struct Key {
        std::uint32_t virtualKey;
        std::uint32_t modifier;
    };
    // The keys as a hook sees them: left and right, and the generic code, which counts only
    // if one is ever seen. Each has its last event at the same place in events_.
    static constexpr Key kKeys[] = {
        {0x10, kModShift},   {0xA0, kModShift},   {0xA1, kModShift}, {0x11, kModControl},
        {0xA2, kModControl}, {0xA3, kModControl}, {0x12, kModAlt},   {0xA4, kModAlt},
        {0xA5, kModAlt},     {0x5B, kModWin},     {0x5C, kModWin},
    };
    // What the system is asked: the generic code stands for either side; the Windows key has
    // none.
    static constexpr Key kSystemKeys[] = {
        {0x10, kModShift}, {0x11, kModControl}, {0x12, kModAlt}, {0x5B, kModWin}, {0x5C, kModWin},
    };
    struct Event {
        bool seen = false;
        bool down = false;
        std::uint32_t time = 0;
    };
    std::array<Event, std::size(kKeys)> events_{};
};

// Windows removes a low-level hook that answered too slowly, without telling anyone. The hook
// notes the time of each event it sees; input that the system saw more than a second later
// than that means the hook no longer runs. Mouse input, which the keyboard hook never sees,
// makes this answer yes now and then; installing the hook again is harmless.
class HookRemovalWatch {
  public:
    static constexpr std::uint32_t kToleranceMilliseconds = 1000;

    // The hook was installed or saw an event at this tick (milliseconds, wrapping).
    void Seen(std::uint32_t tick) { lastSeen_ = tick; }
    // The system's last input was at this tick.
    bool HookRemoved(std::uint32_t lastInputTick) const {
        return static_cast<std::int32_t>(lastInputTick - lastSeen_) >
               static_cast<std::int32_t>(kToleranceMilliseconds);
    }

  private:
    std::uint32_t lastSeen_ = 0;
};

}  // namespace revertly::app
