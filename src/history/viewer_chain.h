// How the main window hears of clipboard changes. Windows posts WM_CLIPBOARDUPDATE to every
// window on its clipboard format listener list itself, so no other program can stop those
// notices or make the program wait. Only where the list refuses the window does it join the
// older clipboard-viewer chain, in which each viewer passes every notice on to the next.
#pragma once

#include "common/window_types.h"

namespace revertly::history {

class ViewerPort {
  public:
    virtual ~ViewerPort() = default;
    // Puts the window on the clipboard format listener list; false when that is refused.
    virtual bool AddClipboardFormatListener(WindowHandle window) = 0;
    virtual void RemoveClipboardFormatListener(WindowHandle window) = 0;
    // Puts the window at the head of the chain; answers the window that follows it.
    virtual WindowHandle SetClipboardViewer(WindowHandle window) = 0;
    // Takes the window out of the chain, linking its successor in its place.
    virtual void ChangeClipboardChain(WindowHandle window, WindowHandle next) = 0;
};

class ViewerChain {
  public:
    explicit ViewerChain(ViewerPort& port) : port_(port) {}

    // Has Windows tell the window of every clipboard change: as a listener, else through
    // the chain.
    void WatchClipboard(WindowHandle window);
    // Stops what WatchClipboard started.
    void StopWatching();

    // Joins with the window, leaving first if the program is already in the chain.
    void JoinViewerChain(WindowHandle window);
    // Leaves the chain. NextViewer keeps its value.
    void LeaveViewerChain();

    WindowHandle ViewerWindow() const { return viewerWindow_; }
    WindowHandle ListenerWindow() const { return listenerWindow_; }

    // The window that follows ours in the chain, 0 for none. The message handling repairs
    // it when that window leaves the chain, and passes notifications on to it.
    WindowHandle NextViewer = 0;

  private:
    ViewerPort& port_;
    WindowHandle viewerWindow_ = 0;
    WindowHandle listenerWindow_ = 0;
};

}  // namespace revertly::history
