#include "instance/one_instance.h"

namespace revertly::instance {
namespace {

std::uint32_t ReadLittleEndian32(const void* view) {
    const auto* bytes = static_cast<const unsigned char*>(view);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

void WriteLittleEndian32(void* view, std::uint32_t value) {
    auto* bytes = static_cast<unsigned char*>(view);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// A window handle has 32 significant bits; a 64-bit process sign-extends one that it gets as
// a 32-bit value.
std::uint32_t WindowToBlockValue(WindowHandle window) {
    return static_cast<std::uint32_t>(window);
}
WindowHandle BlockValueToWindow(std::uint32_t value) {
    return static_cast<WindowHandle>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}

}  // namespace

void CloseHeldBlock(HeldBlock held) {
    if (held.block != 0) {
        held.port->Close(held.block);
    }
}

void UnmapHeldView(HeldView held) {
    if (held.address != nullptr) {
        held.port->Unmap(held.address);
    }
}

InstanceCheck OneInstance::CheckOneInstance(WindowHandle window) {
    if (const BlockHandle existing = port_.OpenForReading(kInstanceBlockName)) {
        // Another copy runs. Its window is read, and the block given up again before this
        // copy ends (view first, then the block).
        const UniqueBlock other(HeldBlock{&port_, existing});
        const UniqueView view(HeldView{&port_, port_.MapForReading(existing, kInstanceBlockSize)});
        if (view.get().address == nullptr) {
            // Another copy's block that cannot be read: this copy runs all the same,
            // holding no block.
            return {};
        }
        return {InstanceVerdict::EndThisCopy,
                BlockValueToWindow(ReadLittleEndian32(view.get().address))};
    }

    const CreateResult created = port_.Create(kInstanceBlockName, kInstanceBlockSize);
    switch (created.outcome) {
        case CreateOutcome::AlreadyExisted:
            // Two copies started together and the other one created the block first.
            return {InstanceVerdict::EndThisCopy, 0};
        case CreateOutcome::Failed:
            // No block: this copy runs unguarded, and a later copy will not see it.
            return {};
        case CreateOutcome::Created:
            break;
    }
    mapping_.reset(HeldBlock{&port_, created.block});
    // A block that cannot be written still keeps later copies out; it just holds no window.
    if (void* const bytes = port_.MapForWriting(created.block, kInstanceBlockSize)) {
        view_.reset(HeldView{&port_, bytes});
        WriteLittleEndian32(bytes, WindowToBlockValue(window));
    }
    return {};
}

void OneInstance::ReleaseOneInstance() {
    view_.reset();
    mapping_.reset();
}

}  // namespace revertly::instance
