// The real Windows clipboard, its format listener list and clipboard-viewer chain.
#pragma once

#include "common/window_types.h"
#include "history/clipboard_port.h"
#include "history/viewer_chain.h"

namespace revertly::history {

class Win32Clipboard final : public ClipboardPort {
  public:
    // owner: the window that becomes the clipboard's owner when a state is written back.
    explicit Win32Clipboard(WindowHandle owner) : owner_(owner) {}

    int CountClipboardFormats() override;
    ReadResult ReadClipboardState() override;
    WriteResult WriteClipboardState(const ClipboardState& state) override;
    std::uint32_t ClipboardChangeNumber() override;

  private:
    WindowHandle owner_;
};

class Win32ViewerPort final : public ViewerPort {
  public:
    bool AddClipboardFormatListener(WindowHandle window) override;
    void RemoveClipboardFormatListener(WindowHandle window) override;
    WindowHandle SetClipboardViewer(WindowHandle window) override;
    void ChangeClipboardChain(WindowHandle window, WindowHandle next) override;
};

}  // namespace revertly::history
