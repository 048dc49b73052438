#include "tray/tray.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace revertly::tray {
namespace {

// Keeps every request with a copy of the record as it was then.
class RecordingShell final : public ShellNotifyPort {
  public:
    bool ShellNotifyIcon(NotifyMessage message, const NotifyIconRecord& record) override {
        calls.push_back({message, record});
        return answer;
    }

    // The requests as "Name:flags/shared field", separated by spaces.
    std::string Log() const {
        static const char* const names[] = {"Add", "Modify", "Delete", "SetFocus", "SetVersion"};
        std::string log;
        for (const auto& [message, record] : calls) {
            log += (log.empty() ? "" : " ") + std::string(names[static_cast<int>(message)]) + ":" +
                   std::to_string(record.uFlags) + "/" + std::to_string(record.uTimeoutOrVersion);
        }
        return log;
    }
    const NotifyIconRecord& Last() const { return calls.back().second; }

    std::vector<std::pair<NotifyMessage, NotifyIconRecord>> calls;
    bool answer = true;
};

class FakeHost final : public TrayHost {
  public:
    std::optional<WindowHandle> Window() const override { return window; }
    std::optional<IconHandle> WindowIcon() const override { return icon; }

    std::optional<WindowHandle> window = 0x20'0044;
    std::optional<IconHandle> icon = 0x1'0C2F;
};

// A whole text field, and the text that it should hold followed by zero units.
template <std::size_t Units>
std::u16string Field(const char16_t (&field)[Units]) {
    return std::u16string(field, Units);
}
std::u16string Padded(std::u16string text, std::size_t units) {
    text.resize(units, u'\0');
    return text;
}

class TrayTest : public ::testing::Test {
  protected:
    RecordingShell shell;
    FakeHost host;
    Tray tray{shell};
};

TEST_F(TrayTest, InitializeBindsTheRecordWithoutAskingTheShell) {
    const std::pair<std::uint32_t, std::uint32_t> messages[] = {{0x8001, 0x8001}, {0, 0x8000}};
    for (const auto& [given, expected] : messages) {
        Tray other(shell);
        EXPECT_TRUE(other.Initialize(host, given));
        EXPECT_EQ(other.MessageID(), expected) << "given " << given;
    }
    ASSERT_TRUE(tray.Initialize(host));
    EXPECT_EQ(tray.MessageID(), 0x8000u);
    EXPECT_TRUE(shell.calls.empty());

    tray.AddIcon();
    const NotifyIconRecord& record = shell.calls.at(0).second;
    EXPECT_EQ(record.cbSize, sizeof(void*) == 8 ? 952u : 936u);
    EXPECT_EQ(record.hWnd, 0x20'0044u);
    EXPECT_EQ(record.uID, 0x1'0C2Fu);
    EXPECT_EQ(record.uCallbackMessage, 0x8000u);
    EXPECT_EQ(record.hIcon, 0x1'0C2Fu);
    EXPECT_TRUE(tray.Initialize(host));
    EXPECT_EQ(shell.calls.size(), 2u) << "Initialize of a shown icon asked the shell";
}

TEST_F(TrayTest, InitializeStopsAtAHandleThatCannotBeRead) {
    host.icon.reset();
    EXPECT_FALSE(tray.Initialize(host, 0x8005));
    EXPECT_EQ(tray.MessageID(), 0x8005u);
    host.window.reset();
    Tray noWindow(shell);
    EXPECT_FALSE(noWindow.Initialize(host));
    tray.AddIcon();
    noWindow.AddIcon();
    EXPECT_EQ(shell.calls.at(0).second.hWnd, 0x20'0044u);
    EXPECT_EQ(shell.calls.at(2).second.hWnd, 0u);
    for (const std::size_t call : {0, 2}) {
        const NotifyIconRecord& record = shell.calls[call].second;
        EXPECT_EQ(record.uID + record.uCallbackMessage + record.hIcon + record.cbSize, 0u)
            << "a step after the failure set a field of request " << call;
    }
}

TEST_F(TrayTest, RequestsFollowTheShownState) {
    tray.Initialize(host);
    const auto expectRefused = [&](const char* when) {
        EXPECT_FALSE(tray.RemoveIcon() || tray.Refresh() || tray.AddIconAgain() ||
                     tray.ShowBalloonTip(u"lost", u"lost", 1, 500) || tray.Visible())
            << when;
    };
    expectRefused("never shown");
    shell.answer = false;
    EXPECT_TRUE(tray.AddIcon());
    EXPECT_TRUE(tray.Visible()) << "a refused icon does not count as shown";
    EXPECT_FALSE(tray.InNotificationArea()) << "nor could the shell modify it: it is not there";
    EXPECT_FALSE(tray.AddIcon());
    shell.answer = true;
    EXPECT_TRUE(tray.ShowBalloonTip(u"Saved", u"", 0, 4000));
    EXPECT_TRUE(tray.Refresh());
    tray.ReturnFocus();
    EXPECT_TRUE(tray.RemoveIcon());
    expectRefused("removed");
    tray.ReturnFocus();
    EXPECT_TRUE(tray.AddIcon());
    EXPECT_TRUE(tray.InNotificationArea());
    EXPECT_EQ(shell.Log(),
              "Add:7/3 Modify:7/3 SetVersion:7/3 Modify:16/4000 Modify:7/4000 SetFocus:7/4000 "
              "Delete:7/4000 SetFocus:7/4000 Add:7/4000 SetVersion:7/3");
    EXPECT_EQ(Field(shell.Last().szInfo), Padded(u"Saved", 256)) << "a refused balloon stayed";
}

TEST_F(TrayTest, AddIconAgainRestoresAShownIconAfterTheShellForgotIt) {
    tray.Initialize(host);
    tray.AddIcon();
    tray.Tooltip(u"Revertly");
    tray.ShowBalloonTip(u"Saved", u"", 0, 4000);
    shell.calls.clear();
    EXPECT_TRUE(tray.AddIconAgain());
    EXPECT_TRUE(tray.Visible());
    EXPECT_EQ(shell.Log(), "Add:7/4000 SetVersion:7/3");
    EXPECT_EQ(shell.calls[0].second.uID, 0x1'0C2Fu);
    EXPECT_EQ(Field(shell.calls[0].second.szTip), Padded(u"Revertly", 128));
}

TEST_F(TrayTest, TextIsCutToTheFieldAndTheRestZeroed) {
    const std::pair<std::u16string, std::u16string> tips[] = {
        {std::u16string(200, u'a'), std::u16string(127, u'a')},
        {u"abc", u"abc"},
        {std::u16string(128, u'b'), std::u16string(127, u'b')},
        {u"", std::u16string(127, u'b')},  // an empty text keeps the previous tip
        {std::u16string(127, u'c'), std::u16string(127, u'c')},
    };
    for (const auto& [written, stored] : tips) {
        tray.Tooltip(written);
        EXPECT_EQ(tray.Tooltip(), Padded(stored, 128)) << "after " << written.size() << " units";
    }

    tray.Initialize(host);
    tray.AddIcon();
    tray.ShowBalloonTip(u"First");
    EXPECT_EQ(Field(shell.Last().szInfoTitle), Padded(u"", 64));
    tray.ShowBalloonTip(u"Cleared", std::u16string(100, u't'), 0x21, 3000);
    EXPECT_EQ(shell.Last().dwInfoFlags, 0x21u);
    tray.ShowBalloonTip(std::u16string(300, u'm'));
    EXPECT_EQ(shell.Log(), "Add:7/3 SetVersion:7/3 Modify:16/10000 Modify:16/3000 Modify:16/10000");
    EXPECT_EQ(Field(shell.Last().szInfo), Padded(std::u16string(255, u'm'), 256));
    EXPECT_EQ(Field(shell.Last().szInfoTitle), Padded(std::u16string(63, u't'), 64));
    EXPECT_EQ(shell.Last().dwInfoFlags, 0u);
}

TEST_F(TrayTest, AutoRefreshSendsTipAndPictureAtOnceWhileShown) {
    tray.Initialize(host);
    tray.AddIcon();
    tray.Tooltip(u"quiet");
    EXPECT_FALSE(tray.AutoRefresh());
    tray.AutoRefresh(true);
    tray.Icon(0x3'0002);
    EXPECT_EQ(tray.Icon(), 0x3'0002u);
    EXPECT_EQ(shell.Last().hIcon, 0x3'0002u);
    EXPECT_EQ(shell.Last().uID, 0x1'0C2Fu) << "the new picture changed the icon's identifier";
    tray.Tooltip(u"Revertly");
    EXPECT_EQ(Field(shell.Last().szTip), Padded(u"Revertly", 128));
    tray.RemoveIcon();
    tray.Tooltip(u"later");
    tray.AddIcon();
    EXPECT_EQ(shell.Log(),
              "Add:7/3 SetVersion:7/3 Modify:7/3 Modify:7/3 Delete:7/3 Add:7/3 SetVersion:7/3");
    EXPECT_EQ(Field(shell.calls[5].second.szTip), Padded(u"later", 128));
}

TEST_F(TrayTest, DestructionRemovesOnlyAShownIcon) {
    {
        Tray shown(shell), neverShown(shell), removed(shell);
        shown.Initialize(host);
        shown.AddIcon();
        removed.AddIcon();
        removed.RemoveIcon();
    }
    EXPECT_EQ(shell.Log(), "Add:7/3 SetVersion:7/3 Add:7/0 SetVersion:7/3 Delete:7/3 Delete:7/3");
    EXPECT_EQ(shell.Last().uID, 0x1'0C2Fu);
}

}  // namespace
}  // namespace revertly::tray
