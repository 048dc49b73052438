#include "history/viewer_chain.h"

#include <gtest/gtest.h>

#include <string>

namespace revertly::history {
namespace {

// Records the calls as text and answers a fixed next viewer.
class RecordingViewerPort final : public ViewerPort {
  public:
    bool AddClipboardFormatListener(WindowHandle window) override {
        calls += "listen " + std::to_string(window) + "; ";
        return listens;
    }
    void RemoveClipboardFormatListener(WindowHandle window) override {
        calls += "unlisten " + std::to_string(window) + "; ";
    }
    WindowHandle SetClipboardViewer(WindowHandle window) override {
        calls += "join " + std::to_string(window) + "; ";
        return next;
    }
    void ChangeClipboardChain(WindowHandle window, WindowHandle successor) override {
        calls += "leave " + std::to_string(window) + "->" + std::to_string(successor) + "; ";
    }

    bool listens = true;
    WindowHandle next = 0;
    std::string calls;
};

TEST(ViewerChain, JoinsLeavesAndRejoinsWithTheNewWindow) {
    RecordingViewerPort port;
    ViewerChain chain(port);

    port.next = 7;
    chain.JoinViewerChain(100);
    EXPECT_EQ(chain.ViewerWindow(), 100u);
    EXPECT_EQ(chain.NextViewer, 7u);

    // Joining again leaves first, then joins with the new window.
    port.next = 9;
    chain.JoinViewerChain(200);
    EXPECT_EQ(port.calls, "join 100; leave 100->7; join 200; ");
    EXPECT_EQ(chain.NextViewer, 9u);

    chain.LeaveViewerChain();
    EXPECT_EQ(chain.ViewerWindow(), 0u);
    EXPECT_EQ(chain.NextViewer, 9u) << "leaving keeps the next viewer";
}

// The listener list first; the chain only where the list refuses the window.
TEST(ViewerChain, WatchesAsAListenerElseThroughTheChain) {
    RecordingViewerPort port;
    ViewerChain chain(port);
    chain.WatchClipboard(100);
    chain.StopWatching();
    chain.StopWatching();
    EXPECT_EQ(port.calls, "listen 100; unlisten 100; ");

    port.calls.clear();
    port.listens = false;
    port.next = 7;
    chain.WatchClipboard(100);
    EXPECT_EQ(chain.ViewerWindow(), 100u);
    chain.StopWatching();
    chain.StopWatching();
    EXPECT_EQ(port.calls, "listen 100; join 100; leave 100->7; ");
}

}  // namespace
}  // namespace revertly::history
