// The real Windows clipboard, its format listener list and clipboard-viewer chain.
#pragma once

#include <memory>

#include "common/window_types.h"
#include "history/clipboard_port.h"
#include "history/viewer_chain.h"

namespace revertly::history {

class Win32Clipboard final : public ClipboardPort {
  public:
    // owner: the window that becomes the clipboard's owner when a state is written back.
    explicit Win32Clipboard(WindowHandle owner);
    ~Win32Clipboard() override;
    Win32Clipboard(const Win32Clipboard&) = delete;
    Win32Clipboard& operator=(const Win32Clipboard&) = delete;

    int CountClipboardFormats() override;
    ReadResult ReadClipboardState() override;
    WriteResult WriteClipboardState(const ClipboardState& state) override;
    std::uint32_t ClipboardChangeNumber() override;

  private:
    struct PreparedWrite;

    WindowHandle owner_;
    // The copies made for a write that found the clipboard busy.
    std::unique_ptr<PreparedWrite> prepared_;
};

class Win32ViewerPort final : public ViewerPort {
  public:
    bool AddClipboardFormatListener(WindowHandle window) override;
    void RemoveClipboardFormatListener(WindowHandle window) override;
    WindowHandle SetClipboardViewer(WindowHandle window) override;
    void ChangeClipboardChain(WindowHandle window, WindowHandle next) override;
};

}  // namespace revertly::history
