#include "history/packing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "history/state_history.h"
#include "support/fake_clipboard.h"

namespace revertly::history {
namespace {

using testing::FakeClipboard;

constexpr std::int32_t kBitmap = 8;
constexpr std::int32_t kBitmapV5 = 17;
constexpr std::int32_t kRiff = 11;

// Like a picture of a screen: long runs of a few colours.
std::string ScreenLike(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + (i / 4096) % 7);
    }
    return bytes;
}

std::string Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

// A copy of a picture: its bitmap as the program gave it, the same pixels behind the longer
// header that Windows lists beside it, and a small text; plus a noisy block and a screen-like
// one of other formats.
TEST(Packing, KeepsEveryByteCompressesWhatIsWorthItAndStoresSharedPixelsOnce) {
    const std::string pixels = ScreenLike(1 << 20, 'a');
    FakeClipboard clipboard;
    clipboard.Put({{kBitmap, u"", std::string(40, 'h') + pixels},
                   {FakeClipboard::kText, u"", "small"},
                   {kBitmapV5, u"", std::string(124, 'v') + pixels},
                   {kRiff, u"", Noise(1 << 20, 1)},
                   {0xC000, u"Screen", ScreenLike(300 << 10, 'x')}});
    ReadResult read = clipboard.ReadClipboardState();
    ClipboardState& state = read.state;
    std::vector<std::string> before;
    for (const ClipboardFormatData& entry : state.entries) {
        before.push_back(FakeClipboard::BlockBytes(entry.data));
    }
    const std::shared_ptr<const Chunk> noise = state.entries[3].data.body;

    ASSERT_TRUE(ApplyPacking(RunPacking(MakePackingJob(state)), state));

    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        EXPECT_EQ(FakeClipboard::BlockBytes(state.entries[i].data), before[i]) << i;
    }
    EXPECT_EQ(state.entries[0].data.body, state.entries[2].data.body) << "pixels kept once";
    EXPECT_TRUE(state.entries[0].data.body->compressed());
    EXPECT_LT(state.entries[0].storedBytes, pixels.size() / 20);
    EXPECT_EQ(state.entries[2].storedBytes, 124u) << "only its header counts";
    EXPECT_EQ(state.entries[1].storedBytes, 5u) << "too small to pack";
    EXPECT_EQ(state.entries[3].data.body, noise) << "noise stays as it was read";
    EXPECT_EQ(state.entries[3].storedBytes, noise->size());
    EXPECT_TRUE(state.entries[4].data.body->compressed());
    EXPECT_TRUE(LooksIncompressible(noise->stored()));
    EXPECT_FALSE(ApplyPacking(RunPacking(MakePackingJob(state)), state)) << "nothing left to do";
}

// A history of 50 states in a 3 MiB budget, with the real packer.
struct PackedHistory {
    explicit PackedHistory(std::function<void()> ready = [] {}) : packer(std::move(ready)) {
        history.SetPacker(&packer);
        history.SetMemoryBudget(3 << 20);
    }
    // Another program copies one block.
    void Copy(std::string bytes) {
        clipboard.Put({{kRiff, u"", std::move(bytes)}});
        history.ChangeCount = 1;
        ASSERT_TRUE(history.SaveClipboardState());
    }
    // The packer's results are in.
    void Settle() {
        packer.WaitUntilIdle();
        history.ApplyPackedStates();
    }

    FakeClipboard clipboard;
    BackgroundPacker packer;
    StateHistory history{clipboard, 50};
};

// The budget counts what the states take once packed: a state larger than the budget as read
// drops nothing while it waits for the packer.
TEST(Packing, TheBudgetCountsTheBytesStored) {
    for (const bool noisy : {false, true}) {
        PackedHistory packed;
        for (unsigned copy = 0; copy < 10; ++copy) {
            packed.Copy(noisy ? Noise(1 << 20, copy)
                              : ScreenLike(4 << 20, static_cast<char>(copy)));
            packed.Settle();
        }
        EXPECT_EQ(packed.history.LastState(), noisy ? 3 : 10) << noisy;
        EXPECT_LE(packed.history.StoredBytes(), 3u << 20) << noisy;
        ASSERT_EQ(packed.history.UndoState(), StepResult::Moved);
        EXPECT_EQ(packed.clipboard.formats[0].bytes,
                  noisy ? Noise(1 << 20, 8) : ScreenLike(4 << 20, 8))
            << noisy;
    }
}

// After an undo the budget is kept by dropping the states that redo would reach, farthest
// first; the state the clipboard holds stays. Every state that leaves moves the others to
// other slots, and the history says so.
TEST(Packing, TheBudgetHoldsOverTheStatesAfterTheCurrentOne) {
    PackedHistory packed;
    for (unsigned copy = 0; copy < 4; ++copy) {
        packed.Copy(Noise(1 << 20, copy));
    }
    for (int undo = 0; undo < 3; ++undo) {
        ASSERT_EQ(packed.history.UndoState(), StepResult::Moved);
    }
    const std::uint64_t layout = packed.history.Layout();
    packed.Settle();
    EXPECT_EQ(packed.history.LastState(), 3);
    EXPECT_EQ(packed.history.CurrentState(), 1);
    EXPECT_LE(packed.history.StoredBytes(), 3u << 20);
    EXPECT_NE(packed.history.Layout(), layout);
    ASSERT_EQ(packed.history.RedoState(), StepResult::Moved);
    EXPECT_EQ(packed.clipboard.formats[0].bytes, Noise(1 << 20, 1));
}

// Copies that come faster than they can be packed are recorded at once, however far behind
// the packer is; what waits for it is bounded by the budget (the newest aside), the oldest
// waiting state going first.
TEST(Packing, CopiesFasterThanPackingNeverWaitForThePacker) {
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::once_flag opened;
    auto release = [&] { std::call_once(opened, [&] { open.set_value(); }); };
    bool forced = false;
    std::thread watchdog([&] {
        if (gate.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
            forced = true;
            release();
        }
    });
    {
        PackedHistory packed([gate] { gate.wait(); });  // the packer stalls after its first job
        for (unsigned copy = 0; copy < 6; ++copy) {
            packed.Copy(ScreenLike(1 << 20, static_cast<char>(copy)));
        }
        release();
        watchdog.join();
        EXPECT_FALSE(forced) << "a copy waited for the packer";
        EXPECT_EQ(packed.history.LastState(), 4) << "3 MiB waiting as read, and the newest";
        packed.Settle();
        ASSERT_EQ(packed.history.UndoState(), StepResult::Moved);
        EXPECT_EQ(packed.clipboard.formats[0].bytes, ScreenLike(1 << 20, 4));
    }
}

}  // namespace
}  // namespace revertly::history
