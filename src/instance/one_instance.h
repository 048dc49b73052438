// Only one copy of the program runs per log-on. The first copy claims a small named block
// shared by all copies and holds it until the end; a copy that finds the block already
// there must end at once, before it has set anything up.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/unique_handle.h"
#include "common/window_types.h"

namespace revertly::instance {

// The block's name: the application title, with no namespace prefix, so that it is looked
// up among the objects of the user's log-on.
inline constexpr std::u16string_view kInstanceBlockName = u"Revertly";
// The block holds the first copy's main window as a 32-bit little-endian value at offset 0.
// Window handles fit in 32 bits also on 64-bit Windows.
inline constexpr std::uint32_t kInstanceBlockSize = 4;

// A named block as the service knows it; 0 for none.
using BlockHandle = std::uintptr_t;

enum class CreateOutcome {
    Created,
    // Another copy made the block first (the name was taken between looking and creating);
    // nothing is held.
    AlreadyExisted,
    Failed,
};

struct CreateResult {
    CreateOutcome outcome = CreateOutcome::Failed;
    BlockHandle block = 0;  // set when Created
};

// A named block of memory that all copies of the program in one log-on can see.
class NamedBlockPort {
  public:
    virtual ~NamedBlockPort() = default;

    // Opens the block of that name for reading; 0 when there is none.
    virtual BlockHandle OpenForReading(std::u16string_view name) = 0;
    // Creates a block of that name and size, readable and writable.
    virtual CreateResult Create(std::u16string_view name, std::uint32_t size) = 0;
    // The block's first size bytes at an address of this process; null on failure.
    virtual const void* MapForReading(BlockHandle block, std::uint32_t size) = 0;
    virtual void* MapForWriting(BlockHandle block, std::uint32_t size) = 0;
    virtual void Unmap(const void* view) = 0;
    virtual void Close(BlockHandle block) = 0;
};

// What the guard holds, each together with the service that releases it.
struct HeldBlock {
    NamedBlockPort* port = nullptr;
    BlockHandle block = 0;
    bool operator==(const HeldBlock&) const = default;
};
struct HeldView {
    NamedBlockPort* port = nullptr;
    const void* address = nullptr;
    bool operator==(const HeldView&) const = default;
};
void CloseHeldBlock(HeldBlock held);
void UnmapHeldView(HeldView held);
using UniqueBlock = UniqueHandle<HeldBlock, &CloseHeldBlock>;
using UniqueView = UniqueHandle<HeldView, &UnmapHeldView>;

enum class InstanceVerdict {
    // This copy is the only one (or could not tell): start-up goes on.
    Run,
    // Another copy runs: end this one at once, running none of the shutdown handling.
    EndThisCopy,
};

struct InstanceCheck {
    InstanceVerdict verdict = InstanceVerdict::Run;
    // With EndThisCopy: the running copy's main window as its block holds it; 0 when this
    // copy did not get to read it.
    WindowHandle runningWindow = 0;
};

class OneInstance {
  public:
    explicit OneInstance(NamedBlockPort& port) : port_(port) {}

    // Claims the block for this copy and writes the window into it, or finds another
    // copy's block. Failures are quiet: a block that cannot be created or written leaves
    // this copy running.
    InstanceCheck CheckOneInstance(WindowHandle window);
    // Gives the block up; nothing when this copy holds none. Also done when the guard ends.
    void ReleaseOneInstance();

    // The block this copy holds, and the address of its bytes here; 0 for none.
    BlockHandle InstanceMapping() const { return mapping_.get().block; }
    const void* InstanceView() const { return view_.get().address; }

  private:
    NamedBlockPort& port_;
    // Declared in this order so that the view is unmapped before the block is closed.
    UniqueBlock mapping_;
    UniqueView view_;
};

}  // namespace revertly::instance
