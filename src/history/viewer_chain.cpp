#include "history/viewer_chain.h"

namespace revertly::history {

void ViewerChain::WatchClipboard(WindowHandle window) {
    if (port_.AddClipboardFormatListener(window)) {
        listenerWindow_ = window;
    } else {
        JoinViewerChain(window);
    }
}

void ViewerChain::StopWatching() {
    if (listenerWindow_ != 0) {
        port_.RemoveClipboardFormatListener(listenerWindow_);
        listenerWindow_ = 0;
    }
    if (viewerWindow_ != 0) {
        LeaveViewerChain();
    }
}

void ViewerChain::JoinViewerChain(WindowHandle window) {
    if (viewerWindow_ != 0) {
        LeaveViewerChain();
    }
    viewerWindow_ = window;
    NextViewer = port_.SetClipboardViewer(window);
}

void ViewerChain::LeaveViewerChain() {
    port_.ChangeClipboardChain(viewerWindow_, NextViewer);
    viewerWindow_ = 0;
}

}  // namespace revertly::history
