// The real Windows clipboard and clipboard-viewer chain.
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
    bool WriteClipboardState(const ClipboardState& state, bool& ignoreNextChange) override;

  private:
    WindowHandle owner_;
};

class Win32ViewerPort final : public ViewerPort {
  public:
    WindowHandle SetClipboardViewer(WindowHandle window) override;
    void ChangeClipboardChain(WindowHandle window, WindowHandle next) override;
};

}  // namespace revertly::history
