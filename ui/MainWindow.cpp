#include "ui/MainWindow.h"

#include <commctrl.h>

#include "app/Application.h"
#include "app/WindowMessages.h"
#include "render/Dpi.h"
#include "render/Fonts.h"
#include "shell/TrayIcon.h"
#include "ui/DrivePanel.h"
#include "ui/ListViewLook.h"
#include "ui/MainLayout.h"
#include "ui/MainWindowNotify.h"
#include "ui/MainWindowPaint.h"

namespace kestrin {

MainWindowState mainWindowState;

namespace {

LRESULT OnDestroy() {
    MainWindowState& state = mainWindowState;
    RemoveTrayIcon(application.trayWindow);
    if (application.trayWindow != nullptr) {
        ::DestroyWindow(application.trayWindow);
        application.trayWindow = nullptr;
    }
    DeleteFonts();
    state.whiteBrush.Reset();
    state.bandBrush.Reset();
    state.fieldBrush.Reset();
    ::PostQuitMessage(0);
    return 0;
}

LRESULT OnGetMinMaxInfo(LPARAM lParam) {
    const WindowSize minimum = MainWindowMinimumSize(fonts.currentDpi);
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    info->ptMinTrackSize = {minimum.width, minimum.height};
    return 0;
}

LRESULT OnCommand(HWND window, WPARAM wParam) {
    const int id = LOWORD(wParam);
    switch (id) {
        case ID_DRIVE_COMBO:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                UpdateSpacePanel();
            }
            break;
        case ID_SCAN_BUTTON:
            StartScan();
            break;
        case ID_TRAY_SHOW:
            ShowAndActivate(window);
            break;
        case ID_TRAY_EXIT:
            ExitApplication(window);
            break;
        default:
            break;
    }
    return 0;
}

LRESULT OnSysCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    const WORD command = LOWORD(wParam);
    if (command == SC_MINIMIZE || command == SC_CLOSE) {
        MinimizeToTray(window);
        return 0;
    }
    return ::DefWindowProcW(window, WM_SYSCOMMAND, wParam, lParam);
}

LRESULT OnControlColour(UINT message, HDC dc, HWND control) {
    MainWindowState& state = mainWindowState;
    if (message != WM_CTLCOLORSTATIC) {
        ::SetBkColor(dc, RGB(235, 235, 235));
        ::SetTextColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(state.fieldBrush.Get());
    }
    const MainControls& c = state.controls;
    const bool isStatus = control == c.statusLine;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, isStatus ? RGB(96, 96, 96) : RGB(0, 0, 0));
    const bool onBand = isStatus || control == c.spaceLabels[0] || control == c.spaceLabels[1] ||
                        control == c.spaceLabels[2];
    return reinterpret_cast<LRESULT>(onBand ? state.bandBrush.Get() : state.whiteBrush.Get());
}

LRESULT OnDpiChanged(HWND window, WPARAM wParam, LPARAM lParam) {
    fonts.currentDpi = UsableDpi(HIWORD(wParam));
    CreateFonts();
    ApplyFonts(window);
    const MainControls& c = mainWindowState.controls;
    for (HWND list : {c.treeList, c.extensionList, c.fileList}) {
        SetupListControl(list);
    }
    const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
    ::SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutMainWindow(window);
    ::InvalidateRect(window, nullptr, TRUE);
    return 0;
}

LRESULT OnContextMenu(HWND window, WPARAM wParam, LPARAM lParam) {
    if (::IsWindowVisible(window)) {
        return ::DefWindowProcW(window, WM_CONTEXTMENU, wParam, lParam);
    }
    ShowTrayMenu(window);
    return 0;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == application.taskbarCreatedMessage && message != 0) {
        RestoreTrayIcon(window);
        return 0;
    }
    switch (message) {
        case WM_CREATE:
            return CreateMainWindowContents(window) ? 0 : -1;
        case WM_DESTROY:
            return OnDestroy();
        case WM_SIZE:
            LayoutMainWindow(window);
            ::InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_ERASEBKGND:
            return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
        case WM_GETMINMAXINFO:
            return OnGetMinMaxInfo(lParam);
        case WM_DRAWITEM:
            if (OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
                return 1;
            }
            break;
        case WM_NOTIFY:
            return OnMainWindowNotify(window, wParam, lParam);
        case WM_COMMAND:
            return OnCommand(window, wParam);
        case WM_SYSCOMMAND:
            return OnSysCommand(window, wParam, lParam);
        case WM_CLOSE:
            MinimizeToTray(window);
            return 0;
        case WM_CONTEXTMENU:
            return OnContextMenu(window, wParam, lParam);
        case WM_SHOW_MAIN:
            ShowAndActivate(window);
            return 0;
        case WM_TRAY_MENU:
            ShowTrayMenu(window);
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
            return OnControlColour(message, reinterpret_cast<HDC>(wParam),
                                   reinterpret_cast<HWND>(lParam));
        case WM_DPICHANGED:
            return OnDpiChanged(window, wParam, lParam);
        case WM_SCAN_DONE:
            OnScanDone(wParam, lParam);
            return 0;
        case WM_SCAN_PROGRESS:
            OnScanProgress(wParam, lParam);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrin
