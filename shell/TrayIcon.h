#pragma once

#include <windows.h>

namespace kestrin {

// The notification-area icon, owned by the message-only tray window (or, when that could not be
// made, by the main window).
struct TrayIconState {
    bool trayIconAdded = false;
    bool menuOpen = false;
};

extern TrayIconState trayIcon;

void AddTrayIcon(HWND owner);
void RemoveTrayIcon(HWND owner);
void ShowTrayBalloon(HWND owner);

// Closing or minimising hides the main window; the program keeps running in the tray.
void MinimizeToTray(HWND mainWindow);
// A restarted Explorer announces itself with "TaskbarCreated" and has forgotten every icon.
// The announcement is broadcast to top-level windows only, so the message-only tray window never
// hears it: the main window passes it on.
void RestoreTrayIcon(HWND mainWindow);
void ShowTrayMenu(HWND mainWindow);
void ExitApplication(HWND mainWindow);

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kestrin
