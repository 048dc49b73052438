// The history's own cost of recording into a full history of 50 states: releasing the
// oldest, moving 49 states down a slot and storing the new one. The clipboard here hands
// over one ready-made block, shared by every state, so no data is copied or freed:
// states of 1 KiB and of 1 MiB should cost the same, since states move whole.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "history/state_history.h"

namespace {

using revertly::history::Chunk;
using revertly::history::ClipboardState;
using revertly::history::ReadOutcome;
using revertly::history::ReadResult;
using revertly::history::StateHistory;

class ReadyMadeClipboard final : public revertly::history::ClipboardPort {
  public:
    explicit ReadyMadeClipboard(std::size_t bytes)
        : block_(Chunk::Copy(std::vector<std::byte>(bytes, std::byte{1}))) {}

    int CountClipboardFormats() override { return 1; }
    ReadResult ReadClipboardState() override {
        ReadResult read{ReadOutcome::Read, {}};
        read.state.entries.push_back({{}, 1, u"", block_->size(), {{}, block_}});
        return read;
    }
    revertly::history::WriteResult WriteClipboardState(const ClipboardState&) override {
        return {revertly::history::WriteOutcome::Written, 0};
    }
    // Every save finds a change of another program's.
    std::uint32_t ClipboardChangeNumber() override { return ++changes_; }

  private:
    std::shared_ptr<const Chunk> block_;
    std::uint32_t changes_ = 0;
};

void SaveIntoFullHistory(benchmark::State& state) {
    ReadyMadeClipboard clipboard(static_cast<std::size_t>(state.range(0)));
    StateHistory history(clipboard, 50);
    history.ChangeCount = 1;
    for (int i = 0; i < 50; ++i) {
        history.SaveClipboardState();
    }
    for (auto _ : state) {
        history.SaveClipboardState();
    }
    state.counters["states"] = history.LastState();
}

}  // namespace

BENCHMARK(SaveIntoFullHistory)->Arg(1 << 10)->Arg(1 << 20);

BENCHMARK_MAIN();
