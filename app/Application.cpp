#include "app/Application.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/WindowMessages.h"
#include "render/GdiObjects.h"
#include "shell/TrayIcon.h"
#include "ui/MainLayout.h"
#include "ui/MainWindow.h"

namespace kestrin {

ApplicationState application;

namespace {

// The screen's DPI before any window exists; 96 when it cannot be read.
int ScreenDpi() {
    WindowDc screen(nullptr);
    if (screen.Get() == nullptr) {
        return 96;
    }
    const int dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
    return dpi < 1 ? 96 : dpi;
}

// A second start: bring the running instance forward and end.
int ActivateFirstInstance() {
    HWND first = ::FindWindowW(kMainWindowClass, kMainWindowTitle);
    if (first == nullptr) {
        first = ::FindWindowW(kMainWindowClass, nullptr);
    }
    if (first != nullptr) {
        ShowAndActivate(first);
        ::PostMessageW(first, WM_SHOW_MAIN, 0, 0);
    }
    return 0;
}

bool TakeSingleInstanceMutex() {
    application.instanceMutex =
        MutexHandle(::CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName));
    const bool exists = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (!application.instanceMutex.Valid() || exists) {
        application.instanceMutex = MutexHandle();
        return false;
    }
    return true;
}

void SetWindowIcons(HWND window, HINSTANCE instance) {
    ::SendMessageW(window, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(LoadApplicationIcon(instance, false)));
    ::SendMessageW(window, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(LoadApplicationIcon(instance, true)));
}

void BringToFront(HWND window) {
    ::AllowSetForegroundWindow(ASFW_ANY);
    // The show command handed to the entry point is ignored: the window always starts restored.
    ::ShowWindow(window, SW_SHOW);
    ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
    ::BringWindowToTop(window);
    ::SetActiveWindow(window);
}

int RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

bool IsProcessElevated() {
    TokenHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = sizeof elevation;
    if (!::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        return false;
    }
    return elevation.TokenIsElevated != 0;
}

// Shared: the system keeps one copy per size, however often the tray icon is re-added.
HICON LoadApplicationIcon(HINSTANCE instance, bool small) {
    const int width = ::GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    const int height = ::GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON);
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kApplicationIconId),
                                           IMAGE_ICON, width, height, LR_DEFAULTCOLOR | LR_SHARED));
}

bool RegisterWindowClasses(HINSTANCE instance) {
    WNDCLASSEXW mainClass{};
    mainClass.cbSize = sizeof mainClass;
    mainClass.style = CS_HREDRAW | CS_VREDRAW;
    mainClass.lpfnWndProc = MainWindowProc;
    mainClass.hInstance = instance;
    mainClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
    if (mainClass.hIcon == nullptr) {
        mainClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    }
    mainClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    mainClass.lpszClassName = kMainWindowClass;
    mainClass.hIconSm = LoadApplicationIcon(instance, true);
    const bool mainRegistered = ::RegisterClassExW(&mainClass) != 0;

    WNDCLASSEXW trayClass{};
    trayClass.cbSize = sizeof trayClass;
    trayClass.lpfnWndProc = TrayWindowProc;
    trayClass.hInstance = instance;
    trayClass.lpszClassName = kTrayWindowClass;
    const bool trayRegistered = ::RegisterClassExW(&trayClass) != 0;
    return mainRegistered && trayRegistered;
}

HWND CreateMainWindow(HINSTANCE instance) {
    const WindowSize size = MainWindowInitialSize(ScreenDpi());
    return ::CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, size.width, size.height, nullptr,
                             nullptr, instance, nullptr);
}

void InitializeApplication(HINSTANCE instance) {
    application.taskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_TAB_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    RegisterWindowClasses(instance);
    application.trayWindow = ::CreateWindowExW(0, kTrayWindowClass, L"", 0, 0, 0, 0, 0,
                                               HWND_MESSAGE, nullptr, instance, nullptr);
}

int RunApplication(HINSTANCE instance) {
    if (!TakeSingleInstanceMutex()) {
        return ActivateFirstInstance();
    }
    InitializeApplication(instance);
    const HWND window = CreateMainWindow(instance);
    if (window == nullptr) {
        ::OleUninitialize();
        return 1;
    }
    SetWindowIcons(window, instance);
    AddTrayIcon(application.trayWindow);
    BringToFront(window);
    const int exitCode = RunMessageLoop();
    ::OleUninitialize();
    return exitCode;
}

void ForceForeground(HWND window) {
    const HWND foreground = ::GetForegroundWindow();
    const DWORD foregroundThread =
        foreground != nullptr ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    const DWORD thisThread = ::GetCurrentThreadId();
    // Windows lets only the thread that owns the foreground hand it on; sharing its input state
    // for the two calls makes this thread count as that owner.
    const bool attach = foregroundThread != 0 && foregroundThread != thisThread;
    if (attach) {
        ::AttachThreadInput(thisThread, foregroundThread, TRUE);
    }
    ::SetForegroundWindow(window);
    ::BringWindowToTop(window);
    if (attach) {
        ::AttachThreadInput(thisThread, foregroundThread, FALSE);
    }
}

void ShowAndActivate(HWND window) {
    ::ShowWindow(window, SW_SHOW);
    if (::IsIconic(window)) {
        ::ShowWindow(window, SW_RESTORE);
    }
    ::SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ForceForeground(window);
    ::SetForegroundWindow(window);
    ::SetActiveWindow(window);
    ::SetFocus(window);
    ::InvalidateRect(window, nullptr, TRUE);
    ::UpdateWindow(window);
}

}  // namespace kestrin
