#pragma once

#include <windows.h>

#include <array>

#include "render/GdiObjects.h"
#include "scan/results/ScanResult.h"
#include "ui/SortState.h"

namespace kestrin {

// The main window's children.
struct MainControls {
    HWND driveLabel = nullptr;
    HWND driveCombo = nullptr;
    HWND scanButton = nullptr;
    std::array<HWND, 3> spaceLabels{};
    HWND tabControl = nullptr;
    HWND treeHeading = nullptr;
    HWND treeList = nullptr;
    HWND treemapHeading = nullptr;
    HWND extensionHeading = nullptr;
    HWND treemapWindow = nullptr;
    HWND extensionList = nullptr;
    HWND fileList = nullptr;
    HWND statusLine = nullptr;
    HWND progressBar = nullptr;
};

// The main window's state; the user-interface thread alone touches it.
struct MainWindowState {
    HWND mainWindow = nullptr;
    MainControls controls;
    ScanResult currentResult;  // what every view shows; replaced at each successful scan
    bool scanning = false;
    int currentTab = 0;  // 0 tree view, 1 file view
    // The tree's sort lives with its rows (TreeModel).
    SortState extensionSort{1, false};
    SortState fileSort{3, false};
    // The row under the mouse in each list; the hover tracker's reference data points here.
    int treeHoverRow = -1;
    int extensionHoverRow = -1;
    int fileHoverRow = -1;
    UniqueBrush whiteBrush;
    UniqueBrush bandBrush;
    UniqueBrush fieldBrush;
    bool treemapClassRegistered = false;
};

extern MainWindowState mainWindowState;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Places every child for the current client size and DPI.
void LayoutMainWindow(HWND window);
// Shows one tab's controls, hides the other's, lays out and refreshes the visible lists.
void SelectTab(int index);

void StartScan();
void OnScanProgress(WPARAM wParam, LPARAM lParam);
void OnScanDone(WPARAM wParam, LPARAM lParam);

// WM_CREATE's work: classes, fonts, brushes, controls; false when a control cannot be made.
bool CreateMainWindowContents(HWND window);
// The fonts on every child; again after a DPI change.
void ApplyFonts(HWND window);

void SetStatusText(const wchar_t* text);

}  // namespace kestrin
