// frmMain started over the in-memory desktop in a scratch folder, with the moves that most of
// its tests make: another program's copy and a choice in the tray menu.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/main_form.h"
#include "app/messages.h"
#include "fake_desktop.h"
#include "support/scratch_dir.h"

namespace revertly::testing {

inline constexpr std::uint32_t kTrayCallback = tray::kDefaultCallbackMessage;

class MainFormTest : public ::testing::Test {
  protected:
    // Starts the program with the given settings file content (none when null).
    bool Start(const char* settings = nullptr) {
        if (settings != nullptr) {
            WriteBytes(SettingsPath(), settings);
        }
        desktop_.clipboard.Copy("first");
        const bool started = form_.Form_Initialize();
        return started;
    }
    std::u16string SettingsPath() const { return dir_.File(u"revertly.txt"); }
    // Another program copies; the burst ends and the save timer fires.
    void CopyElsewhere(const std::string& text) {
        desktop_.clipboard.Copy(text);
        desktop_.Send(app::msg::kClipboardUpdate);
        desktop_.Send(app::msg::kTimer, 1);
    }
    // A right click on the icon and a choice in its menu.
    void Choose(app::MenuItem item) {
        desktop_.menuChoice = item;
        desktop_.Send(kTrayCallback, 0, app::msg::kRightButtonUp);
        desktop_.Send(kTrayCallback, 0, app::msg::kContextMenu);
    }

    ScratchDir dir_;
    FakeDesktop desktop_;
    app::frmMain form_{
        desktop_.Ports(), {dir_.Path().u16string(), u"revertly"}, FakeDesktop::kTaskbarCreated};
    void SetUp() override { desktop_.form = &form_; }
};

}  // namespace revertly::testing
