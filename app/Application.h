#pragma once

#include <windows.h>

#include "scan/platform/Win32Handle.h"

namespace kestrin {

// What start-up sets once and the rest of the program reads on the user-interface thread.
struct ApplicationState {
    MutexHandle instanceMutex;  // held until the process ends
    UINT taskbarCreatedMessage = 0;
    HWND trayWindow = nullptr;  // message-only host of the notification-area icon
};

extern ApplicationState application;

bool IsProcessElevated();

// Start-up after the elevation check: single instance, window classes, windows, message loop.
int RunApplication(HINSTANCE instance);

// What start-up does between the single-instance check and the main window: OLE, the common
// controls, both window classes and the message-only tray host. Balanced by OleUninitialize.
void InitializeApplication(HINSTANCE instance);

// Registers "KestrinWindow" and "KestrinTrayWindow"; false when either fails.
bool RegisterWindowClasses(HINSTANCE instance);

// The main window at its initial size for the screen's DPI; null when it cannot be created.
HWND CreateMainWindow(HINSTANCE instance);

// The application icon at the system's large or small icon size; null when it is missing.
HICON LoadApplicationIcon(HINSTANCE instance, bool small);

// Brings the first instance (or the hidden main window) back.
void ShowAndActivate(HWND window);
// SetForegroundWindow that also works when another thread owns the foreground.
void ForceForeground(HWND window);

}  // namespace kestrin
