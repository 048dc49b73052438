// A substitute clipboard in memory that follows the real one's rules: formats listed in a
// stable order, names for registered ids (from 0xC000), fresh blocks handed out by every
// read, fresh copies taken by every write. The data it hands out is counted while it lives,
// so that a test can check that the history let go of it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "history/clipboard_port.h"

namespace revertly::testing {

class FakeClipboard final : public history::ClipboardPort {
  public:
    struct Format {
        std::int32_t id = 0;
        std::u16string name;
        std::string bytes;
        // False for data that cannot be copied as a memory block (a bitmap handle, say).
        bool readable = true;
        // How long its owner takes to render it when asked.
        std::uint64_t renderMilliseconds = 0;
    };

    // Another program puts one text format on the clipboard.
    void Copy(const std::string& text) { Put({Format{kText, u"", text}}); }
    // Another program puts these formats on the clipboard.
    void Put(std::vector<Format> put);
    // Another program empties the clipboard.
    void Empty() { Put({}); }
    // The text on the clipboard, or "" when it holds no text format.
    std::string Text() const;

    int CountClipboardFormats() override { return static_cast<int>(formats.size()); }
    history::ReadResult ReadClipboardState() override;
    history::WriteResult WriteClipboardState(const history::ClipboardState& state) override;
    std::uint32_t ClipboardChangeNumber() override { return changeNumber; }

    // The id registered for a name; the same name always gives the same id.
    std::int32_t RegisterClipboardFormat(const std::u16string& name);

    static constexpr std::int32_t kText = 1;

    std::vector<Format> formats;
    // Counts every change of the clipboard, by the program or by another one.
    std::uint32_t changeNumber = 1;
    // Opening the clipboard fails while this is positive, counting down once per attempt.
    int busyOpens = 0;
    // The clipboard carries a "do not keep this" marker.
    bool excluded = false;
    // Writes get the clipboard but cannot put the state back, and leave it as it was.
    bool failWrites = false;
    // The number of writes that got the clipboard.
    int writes = 0;
    // The clock of reads, in milliseconds: each format asked for moves it on by its render
    // time; and the formats asked for, in the order asked.
    std::uint64_t now = 0;
    std::vector<std::int32_t> asked;
    // Runs once in the next read, as a message that arrives while the reader waits on the
    // clipboard's owner.
    std::function<void()> duringRead;
    // Runs once in the next write, once the clipboard has changed: as the viewer chain's
    // notice, which arrives while the writer closes the clipboard.
    std::function<void()> duringWrite;

    // Data made by any substitute clipboard and still held by someone.
    static history::StoredData MakeBlock(const std::string& bytes);
    static std::string BlockBytes(const history::StoredData& data);
    static std::size_t LiveBlocks();

  private:
    bool Open();

    std::map<std::u16string, std::int32_t> registered_;
};

}  // namespace revertly::testing
