// The notification-area icon: hiding instead of closing, the icon's clicks, its menu, and the
// icon coming back after Explorer restarts.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/WindowMessages.h"
#include "shell/TrayIcon.h"
#include "ui/MainWindow.h"
#include "windows/gui/GuiTest.h"

namespace kestrin {
namespace {

bool Visible() {
    return ::IsWindowVisible(test::MainWindow()) != FALSE;
}

void ShowAgain() {
    ShowAndActivate(test::MainWindow());
    ASSERT_TRUE(Visible());
}

// What the shell sends the tray window for a mouse or keyboard event on the icon.
void TrayEvent(UINT event) {
    ::SendMessageW(application.trayWindow, WM_TRAY_NOTIFY, 1, event);
    test::PumpPending();
}

TEST(Tray, IconIsAddedAtStartAndWindowHidesOnCloseAndMinimise) {
    EXPECT_TRUE(trayIcon.trayIconAdded);
    for (const auto& [message, wParam] : {std::pair<UINT, WPARAM>{WM_CLOSE, 0},
                                          {WM_SYSCOMMAND, SC_CLOSE},
                                          {WM_SYSCOMMAND, SC_MINIMIZE}}) {
        ShowAgain();
        ::SendMessageW(test::MainWindow(), message, wParam, 0);
        EXPECT_FALSE(Visible()) << message << " " << wParam;
        EXPECT_TRUE(::IsWindow(test::MainWindow()));  // hidden, never destroyed
        EXPECT_TRUE(trayIcon.trayIconAdded);
    }
    ShowAgain();
}

TEST(Tray, ClicksAndKeyboardSelectionBringTheWindowBack) {
    for (UINT event : {static_cast<UINT>(WM_LBUTTONUP), static_cast<UINT>(WM_LBUTTONDBLCLK),
                       static_cast<UINT>(NIN_KEYSELECT)}) {
        ::ShowWindow(test::MainWindow(), SW_HIDE);
        TrayEvent(event);
        EXPECT_TRUE(Visible()) << event;
    }
    ::ShowWindow(test::MainWindow(), SW_HIDE);
    TrayEvent(WM_MOUSEMOVE);  // passing over the icon does nothing
    ::SendMessageW(application.trayWindow, WM_TRAY_NOTIFY, 2, WM_LBUTTONUP);  // another icon
    test::PumpPending();
    EXPECT_FALSE(Visible());
    ShowAgain();
}

bool menuWasOpen = false;

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    menuWasOpen = ::FindWindowW(L"#32768", nullptr) != nullptr;
    ::EndMenu();
}

TEST(Tray, RightClickOpensTheMenuAndDismissingItDoesNothing) {
    menuWasOpen = false;
    ::SetTimer(nullptr, 0, 300, CloseMenu);
    TrayEvent(WM_RBUTTONUP);  // posts WM_TRAY_MENU; the menu runs its own loop until closed
    EXPECT_TRUE(test::PumpUntil([] { return menuWasOpen; }, std::chrono::seconds(5)));
    test::PumpPending();
    EXPECT_TRUE(::IsWindow(test::MainWindow()));
    EXPECT_TRUE(Visible());
}

TEST(Tray, ShowCommandRestoresTheHiddenWindow) {
    ::ShowWindow(test::MainWindow(), SW_HIDE);
    ::SendMessageW(test::MainWindow(), WM_COMMAND, ID_TRAY_SHOW, 0);
    EXPECT_TRUE(Visible());
}

TEST(Tray, IconComesBackWhenTheTaskbarIsCreatedAgain) {
    ASSERT_NE(application.taskbarCreatedMessage, 0u);
    RemoveTrayIcon(application.trayWindow);
    ASSERT_FALSE(trayIcon.trayIconAdded);
    // Broadcast by a restarted Explorer; only top-level windows receive it.
    ::SendMessageW(test::MainWindow(), application.taskbarCreatedMessage, 0, 0);
    EXPECT_TRUE(trayIcon.trayIconAdded);
}

}  // namespace
}  // namespace kestrin
