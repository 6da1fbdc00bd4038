#include "shell/TrayIcon.h"

#include <shellapi.h>

#include <cwchar>
#include <initializer_list>

#include "app/Application.h"
#include "app/WindowMessages.h"
#include "ui/MainWindow.h"

namespace kestrin {

TrayIconState trayIcon;

namespace {

constexpr UINT kIconId = 1;

// Shells differ in the NOTIFYICONDATAW layouts they accept: the one up to dwInfoFlags, the
// oldest one with a 64-character tip, and the full structure.
constexpr DWORD kSizeUpToInfoFlags = 952;
constexpr DWORD kOldestSize = 168;
constexpr DWORD kFullSize = sizeof(NOTIFYICONDATAW);

template <std::size_t N>
void CopyTruncated(wchar_t (&field)[N], const wchar_t* text) {
    std::wcsncpy(field, text, N - 1);
    field[N - 1] = L'\0';
}

NOTIFYICONDATAW IconData(HWND owner, DWORD size) {
    NOTIFYICONDATAW data{};
    data.cbSize = size;
    data.hWnd = owner;
    data.uID = kIconId;
    return data;
}

HICON TrayImage() {
    const HICON icon = LoadApplicationIcon(::GetModuleHandleW(nullptr), true);
    return icon != nullptr ? icon : ::LoadIconW(nullptr, IDI_APPLICATION);
}

// Sends one notify-icon request with each structure size in turn; the size that worked, or 0.
DWORD NotifyWithSizes(DWORD request, NOTIFYICONDATAW& data, std::initializer_list<DWORD> sizes) {
    for (DWORD size : sizes) {
        data.cbSize = size;
        if (::Shell_NotifyIconW(request, &data)) {
            return size;
        }
    }
    return 0;
}

void PostToMain(UINT message) {
    if (mainWindowState.mainWindow != nullptr) {
        ::PostMessageW(mainWindowState.mainWindow, message, 0, 0);
    }
}

void OnTrayEvent(UINT event) {
    switch (event) {
        case WM_MOUSEMOVE:
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case NIN_SELECT:
        case NIN_KEYSELECT:
            PostToMain(WM_SHOW_MAIN);
            break;
        default:
            PostToMain(WM_TRAY_MENU);
            break;
    }
}

void DestroyTrayWindow() {
    RemoveTrayIcon(application.trayWindow);
    if (application.trayWindow != nullptr) {
        ::DestroyWindow(application.trayWindow);
        application.trayWindow = nullptr;
    }
}

}  // namespace

void AddTrayIcon(HWND owner) {
    if (owner == nullptr || trayIcon.trayIconAdded) {
        return;
    }
    NOTIFYICONDATAW data = IconData(owner, kSizeUpToInfoFlags);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = TrayImage();
    CopyTruncated(data.szTip, kMainWindowTitle);
    const DWORD size = NotifyWithSizes(NIM_ADD, data, {kSizeUpToInfoFlags, kOldestSize, kFullSize});
    if (size == 0) {
        return;
    }
    if (size != kOldestSize) {
        data.uVersion = NOTIFYICON_VERSION;
        ::Shell_NotifyIconW(NIM_SETVERSION, &data);
    }
    trayIcon.trayIconAdded = true;
}

void RemoveTrayIcon(HWND owner) {
    if (owner == nullptr || !trayIcon.trayIconAdded) {
        return;
    }
    NOTIFYICONDATAW data = IconData(owner, kSizeUpToInfoFlags);
    NotifyWithSizes(NIM_DELETE, data, {kSizeUpToInfoFlags, kFullSize});
    trayIcon.trayIconAdded = false;
}

void ShowTrayBalloon(HWND owner) {
    if (owner == nullptr || !trayIcon.trayIconAdded) {
        return;
    }
    NOTIFYICONDATAW data = IconData(owner, kSizeUpToInfoFlags);
    data.uFlags = NIF_INFO;
    data.uTimeout = 3000;
    data.dwInfoFlags = NIIF_INFO;
    CopyTruncated(data.szInfoTitle, L"Kestrin已最小化到托盘");
    CopyTruncated(data.szInfo, L"单击托盘图标恢复窗口，右键可退出程序");
    NotifyWithSizes(NIM_MODIFY, data, {kSizeUpToInfoFlags, kFullSize});
}

void MinimizeToTray(HWND mainWindow) {
    if (!trayIcon.trayIconAdded) {
        AddTrayIcon(application.trayWindow);
        if (!trayIcon.trayIconAdded) {
            AddTrayIcon(mainWindow);
        }
    }
    ::ShowWindow(mainWindow, SW_HIDE);
    if (application.trayWindow != nullptr) {
        ShowTrayBalloon(application.trayWindow);
    }
}

void RestoreTrayIcon(HWND mainWindow) {
    const HWND owner = application.trayWindow != nullptr ? application.trayWindow : mainWindow;
    RemoveTrayIcon(owner);
    AddTrayIcon(owner);
}

void ShowTrayMenu(HWND mainWindow) {
    // The menu's own loop goes on dispatching, so a request can arrive while it is open.
    if (trayIcon.menuOpen) {
        return;
    }
    const HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    ::AppendMenuW(menu, MF_STRING, ID_TRAY_SHOW, L"显示主窗口");
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, ID_TRAY_EXIT, L"退出");
    POINT cursor{};
    ::GetCursorPos(&cursor);
    // A menu of a window that is not in the foreground never closes when the user clicks
    // elsewhere; the WM_NULL afterwards makes a second opening work.
    ForceForeground(mainWindow);
    trayIcon.menuOpen = true;
    const int command = static_cast<int>(
        ::TrackPopupMenu(menu, TPM_NOANIMATION | TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                         cursor.x, cursor.y, 0, mainWindow, nullptr));
    trayIcon.menuOpen = false;
    ::DestroyMenu(menu);
    // One right click reaches the icon as button down, button up and WM_CONTEXTMENU, and each
    // asked for the menu: the requests still queued belong to the click just answered.
    MSG pending{};
    while (::PeekMessageW(&pending, mainWindow, WM_TRAY_MENU, WM_TRAY_MENU, PM_REMOVE)) {
    }
    ::PostMessageW(mainWindow, WM_NULL, 0, 0);
    if (command == ID_TRAY_SHOW) {
        ShowAndActivate(mainWindow);
    } else if (command == ID_TRAY_EXIT) {
        DestroyTrayWindow();
        ::DestroyWindow(mainWindow);
    }
}

void ExitApplication(HWND mainWindow) {
    DestroyTrayWindow();
    ::DestroyWindow(mainWindow);
}

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == application.taskbarCreatedMessage && message != 0) {
        // A restarted Explorer has forgotten every icon.
        RemoveTrayIcon(window);
        AddTrayIcon(window);
        return 0;
    }
    if (message == WM_TRAY_NOTIFY) {
        if (wParam == kIconId && mainWindowState.mainWindow != nullptr) {
            OnTrayEvent(static_cast<UINT>(static_cast<DWORD>(lParam)));
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrin
