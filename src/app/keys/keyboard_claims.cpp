#include "app/keys/keyboard_claims.h"

namespace revertly::app {

namespace {

std::uint32_t Pack(Hotkey hotkey) {
    return hotkey.modifiers << 8 | hotkey.virtualKey;
}

}  // namespace

void KeyClaims::Claim(int id, Hotkey hotkey) {
    if (id >= 0 && id < kHotkeyCount) {
        claims_[id].store(Pack(hotkey));
    }
}

void KeyClaims::Unclaim(int id) {
    if (id >= 0 && id < kHotkeyCount) {
        claims_[id].store(kNone);
    }
}

bool KeyClaims::Any() const {
    for (const std::atomic<std::uint32_t>& claim : claims_) {
        if (claim.load() != kNone) {
            return true;
        }
    }
    return false;
}

bool KeyClaims::Concerns(std::uint32_t virtualKey) const {
    if (virtualKey >= swallowedDown_.size()) {
        return false;
    }
    if (swallowedDown_[virtualKey]) {
        return true;
    }
    for (const std::atomic<std::uint32_t>& claim : claims_) {
        const std::uint32_t packed = claim.load();
        if (packed != kNone && (packed & 0xFF) == virtualKey) {
            return true;
        }
    }
    return false;
}

void ModifierKeys::Seen(std::uint32_t virtualKey, bool down, std::uint32_t time) {
    for (std::size_t slot = 0; slot < std::size(kKeys); ++slot) {
        if (kKeys[slot].virtualKey == virtualKey) {
            events_[slot] = {.seen = true, .down = down, .time = time};
            return;
        }
    }
}

KeyDecision KeyClaims::OnKey(std::uint32_t virtualKey, bool down, std::uint32_t heldModifiers) {
    if (virtualKey >= swallowedDown_.size()) {
        return {};
    }
    if (!down) {
        // The key-up of a swallowed key-down is swallowed too, whatever is held by now.
        const bool swallowed = swallowedDown_[virtualKey];
        swallowedDown_[virtualKey] = false;
        return {.swallow = swallowed, .hotkeyId = std::nullopt, .sendNeutralKey = false};
    }
    const std::uint32_t pressed = Pack({heldModifiers, virtualKey});
    for (int id = 0; id < kHotkeyCount; ++id) {
        if (claims_[id].load() == pressed) {
            swallowedDown_[virtualKey] = true;
            return {.swallow = true,
                    .hotkeyId = id,
                    .sendNeutralKey = (heldModifiers & (kModWin | kModAlt)) != 0};
        }
    }
    swallowedDown_[virtualKey] = false;  // a repeat that no longer matches goes to the program
    return {};
}

}  // namespace revertly::app
