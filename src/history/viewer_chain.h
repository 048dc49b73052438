// The main window's place in the clipboard-viewer chain, through which Windows reports
// every clipboard change. Each viewer passes the notification on to the next one.
#pragma once

#include "common/window_types.h"

namespace revertly::history {

class ViewerPort {
  public:
    virtual ~ViewerPort() = default;
    // Puts the window at the head of the chain; answers the window that follows it.
    virtual WindowHandle SetClipboardViewer(WindowHandle window) = 0;
    // Takes the window out of the chain, linking its successor in its place.
    virtual void ChangeClipboardChain(WindowHandle window, WindowHandle next) = 0;
};

class ViewerChain {
  public:
    explicit ViewerChain(ViewerPort& port) : port_(port) {}

    // Joins with the window, leaving first if the program is already in the chain.
    void JoinViewerChain(WindowHandle window);
    // Leaves the chain. NextViewer keeps its value.
    void LeaveViewerChain();

    WindowHandle ViewerWindow() const { return viewerWindow_; }

    // The window that follows ours in the chain, 0 for none. The message handling repairs
    // it when that window leaves the chain, and passes notifications on to it.
    WindowHandle NextViewer = 0;

  private:
    ViewerPort& port_;
    WindowHandle viewerWindow_ = 0;
};

}  // namespace revertly::history
