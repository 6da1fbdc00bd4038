#pragma once

#include <windows.h>

namespace kestrin {

// Private messages of the main window and the notification-area host.
inline constexpr UINT WM_SCAN_DONE = WM_APP + 1;      // wParam 0 + heap ScanResult, or 1 + 0
inline constexpr UINT WM_SCAN_PROGRESS = WM_APP + 2;  // wParam percent, lParam heap wide string
inline constexpr UINT WM_TRAY_NOTIFY = WM_USER + 100;
inline constexpr UINT WM_SHOW_MAIN = WM_USER + 101;  // also posted by a second instance
inline constexpr UINT WM_TRAY_MENU = WM_USER + 102;

// Control and command identifiers.
inline constexpr int ID_DRIVE_COMBO = 1001;
inline constexpr int ID_SCAN_BUTTON = 1002;
inline constexpr int ID_TREE_LIST = 1003;
inline constexpr int ID_EXTENSION_LIST = 1004;
inline constexpr int ID_STATUS_LINE = 1005;
inline constexpr int ID_TREEMAP = 1009;
inline constexpr int ID_TAB_CONTROL = 1013;
inline constexpr int ID_FILE_LIST = 1014;
inline constexpr int ID_TRAY_SHOW = 1015;
inline constexpr int ID_TRAY_EXIT = 1016;

inline constexpr int kApplicationIconId = 101;

inline constexpr const wchar_t* kMainWindowClass = L"KestrinWindow";
inline constexpr const wchar_t* kTrayWindowClass = L"KestrinTrayWindow";
inline constexpr const wchar_t* kTreemapWindowClass = L"KestrinTreemap";
inline constexpr const wchar_t* kMainWindowTitle = L"Kestrin-磁盘空间分析器";
inline constexpr const wchar_t* kSingleInstanceMutexName = L"Local\\Kestrin_SingleInstance";

}  // namespace kestrin
