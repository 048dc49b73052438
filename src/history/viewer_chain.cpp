#include "history/viewer_chain.h"

namespace revertly::history {

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
