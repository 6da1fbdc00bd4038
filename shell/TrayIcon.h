#pragma once

#include <windows.h>

namespace kestrin {

// The notification-area icon, owned by the message-only tray window (or, when that could not be
// made, by the main window).
struct TrayIconState {
    bool trayIconAdded = false;
};

extern TrayIconState trayIcon;

void AddTrayIcon(HWND owner);
void RemoveTrayIcon(HWND owner);
void ShowTrayBalloon(HWND owner);

// Closing or minimising hides the main window; the program keeps running in the tray.
void MinimizeToTray(HWND mainWindow);
void ShowTrayMenu(HWND mainWindow);
void ExitApplication(HWND mainWindow);

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kestrin
