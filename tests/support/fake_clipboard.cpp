#include "support/fake_clipboard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <span>
#include <utility>

#include "history/capture.h"

namespace revertly::testing {

using history::ClipboardState;
using history::ReadOutcome;
using history::ReadResult;

namespace {

constexpr std::int32_t kFirstRegistered = 0xC000;

std::vector<std::weak_ptr<const history::Chunk>>& Ledger() {
    static std::vector<std::weak_ptr<const history::Chunk>> made;
    return made;
}

}  // namespace

history::StoredData FakeClipboard::MakeBlock(const std::string& bytes) {
    history::StoredData data{
        .head = {},
        .body = history::Chunk::Copy(std::as_bytes(std::span(bytes.data(), bytes.size())))};
    Ledger().push_back(data.body);
    return data;
}

std::string FakeClipboard::BlockBytes(const history::StoredData& data) {
    std::string bytes(data.size(), '\0');
    EXPECT_TRUE(data.CopyTo(std::as_writable_bytes(std::span(bytes.data(), bytes.size()))));
    return bytes;
}

std::size_t FakeClipboard::LiveBlocks() {
    return static_cast<std::size_t>(std::count_if(
        Ledger().begin(), Ledger().end(), [](const auto& data) { return !data.expired(); }));
}

void FakeClipboard::Put(std::vector<Format> put) {
    formats = std::move(put);
    ++changeNumber;
}

std::string FakeClipboard::Text() const {
    for (const Format& format : formats) {
        if (format.id == kText) {
            return format.bytes;
        }
    }
    return "";
}

bool FakeClipboard::Open() {
    if (busyOpens > 0) {
        --busyOpens;
        return false;
    }
    return true;
}

ReadResult FakeClipboard::ReadClipboardState() {
    if (duringRead) {
        std::exchange(duringRead, nullptr)();
    }
    ReadResult result;
    if (!Open()) {
        result.outcome = ReadOutcome::FailedToOpen;
        return result;
    }
    if (excluded) {
        result.outcome = ReadOutcome::Excluded;
        return result;
    }
    struct Source final : history::FormatSource {
        FakeClipboard& clipboard;
        explicit Source(FakeClipboard& c) : clipboard(c) {}
        void CopyFormat(std::int32_t id, ClipboardState& into) override {
            clipboard.asked.push_back(id);
            for (const Format& format : clipboard.formats) {
                if (format.id != id) {
                    continue;
                }
                clipboard.now += format.renderMilliseconds;
                into.entries.push_back({{},
                                        format.id,
                                        format.id >= kFirstRegistered ? format.name : u"",
                                        format.bytes.size(),
                                        MakeBlock(format.bytes)});
                history::NoteFormat(into.summary, format.id);
                if (format.id == kText || format.id == history::kUnicodeTextFormat) {
                    into.summary.text = std::u16string(format.bytes.begin(), format.bytes.end());
                }
                return;
            }
        }
        std::uint64_t Milliseconds() override { return clipboard.now; }
    };
    std::vector<std::int32_t> kept;
    for (const Format& format : formats) {
        if (format.readable) {
            kept.push_back(format.id);
        }
    }
    Source source(*this);
    result.state = history::CaptureFormats(kept, source);
    result.outcome = ReadOutcome::Read;
    result.changeNumber = changeNumber;
    return result;
}

history::WriteResult FakeClipboard::WriteClipboardState(const ClipboardState& state) {
    if (!Open()) {
        return {};
    }
    if (failWrites) {
        return {history::WriteOutcome::Failed, std::nullopt};
    }
    ++changeNumber;
    formats.clear();
    excluded = false;
    for (const auto& entry : state.entries) {
        const std::int32_t id =
            entry.formatName.empty() ? entry.formatId : RegisterClipboardFormat(entry.formatName);
        formats.push_back(Format{id, entry.formatName, BlockBytes(entry.data)});
    }
    ++writes;
    if (duringWrite) {
        std::exchange(duringWrite, nullptr)();
    }
    return {history::WriteOutcome::Written, changeNumber};
}

std::int32_t FakeClipboard::RegisterClipboardFormat(const std::u16string& name) {
    const auto next = kFirstRegistered + static_cast<std::int32_t>(registered_.size());
    return registered_.try_emplace(name, next).first->second;
}

}  // namespace revertly::testing
