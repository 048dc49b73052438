// The picture that the notification area gets, from the program's own icon resource and with
// its manifest (which makes the process DPI aware): the small-icon size of the DPI of the
// notification area's monitor, at start-up and when the icon is added anew. Under Wine every
// monitor has the prefix's DPI: ctest runs this at 96 DPI in the shared prefix and at 144
// (150 %) in one of its own, saying so in REVERTLY_EXPECTED_DPI.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_window_win32.h"
#include "support/api_override.h"
#include "tray/shell_notify_win32.h"

namespace revertly::app {
namespace {

// The side of each icon handed to the shell with NIM_ADD, measured while it is handed.
std::vector<int> addedSides;
std::vector<HICON> addedIcons;

int IconSide(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return 0;
    }
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

BOOL WINAPI RecordAdd(DWORD message, PNOTIFYICONDATAW data) {
    if (message == NIM_ADD) {
        addedSides.push_back(IconSide(data->hIcon));
        addedIcons.push_back(data->hIcon);
    }
    return Shell_NotifyIconW(message, data);
}

TEST(SmallIconWin32, TheShellGetsTheIconAtTheSmallSizeOfTheSystemDpi) {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (const char* expected = std::getenv("REVERTLY_EXPECTED_DPI")) {
        DWORD saved = 0;
        DWORD size = sizeof saved;
        const LSTATUS read = RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop",
                                          L"LogPixels", RRF_RT_REG_DWORD, nullptr, &saved, &size);
        ASSERT_EQ(dpi, std::atoi(expected))
            << "the prefix's DPI, as this process sees it; LogPixels in the registry: "
            << (read == ERROR_SUCCESS ? std::to_string(saved)
                                      : "none (" + std::to_string(read) + ")");
    }
    const int side = MulDiv(16, dpi, 96);  // 16 at 100 %, 20 at 125 %, 24 at 150 %

    const testing::ApiOverride api(tray::Api());
    api->Shell_NotifyIconW = &RecordAdd;
    Win32MainWindow window(GetModuleHandleW(nullptr));
    ASSERT_TRUE(window.Created());
    const tray::Win32TrayHost host(window.Handle());
    tray::Win32ShellNotify shell;
    tray::Tray icon(shell);
    ASSERT_TRUE(icon.Initialize(host));
    icon.AddIcon();
    window.LoadSmallIcon();
    icon.AddIconAgain(host.WindowIcon());
    icon.RemoveIcon();

    ASSERT_EQ(addedSides.size(), 2u);
    EXPECT_EQ(addedSides[0], side) << "at start-up, " << dpi << " DPI";
    EXPECT_EQ(addedSides[1], side) << "added anew";
    EXPECT_NE(addedIcons[0], addedIcons[1]) << "the picture was not loaded anew";
}

}  // namespace
}  // namespace revertly::app
