#include <windows.h>

#include <commctrl.h>

#include "render/Fonts.h"
#include "ui/ExtensionView.h"
#include "ui/FileView.h"
#include "ui/MainLayout.h"
#include "ui/MainWindow.h"
#include "ui/TreeView.h"

namespace kestrin {

namespace {

void Place(HWND control, const ControlRect& rect) {
    ::MoveWindow(control, rect.x, rect.y, rect.width, rect.height, TRUE);
}

void Show(HWND control, bool visible) {
    ::ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

// Sets a virtual list's row count without making it repaint every row, then repaints it now.
void RefreshList(HWND list, std::size_t rows) {
    ::SendMessageW(list, LVM_SETITEMCOUNT, rows, LVSICF_NOINVALIDATEALL);
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace

void LayoutMainWindow(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    const MainLayout layout = ComputeMainLayout(client.right, client.bottom, fonts.currentDpi);
    const MainControls& c = mainWindowState.controls;
    Place(c.driveLabel, layout.driveLabel);
    Place(c.driveCombo, layout.driveCombo);
    Place(c.scanButton, layout.scanButton);
    for (int i = 0; i < 3; ++i) {
        Place(c.spaceLabels[i], layout.spaceLabels[i]);
    }
    Place(c.tabControl, layout.tabControl);
    // The hidden tab's controls keep their last place until their tab is shown.
    if (mainWindowState.currentTab == 1) {
        Place(c.fileList, layout.fileList);
    } else {
        Place(c.treeHeading, layout.treeHeading);
        Place(c.treeList, layout.treeList);
        Place(c.treemapHeading, layout.treemapHeading);
        Place(c.treemapWindow, layout.treemapWindow);
        Place(c.extensionHeading, layout.extensionHeading);
        Place(c.extensionList, layout.extensionList);
    }
    Place(c.statusLine, layout.statusLine);
    Place(c.progressBar, layout.progressBar);
}

void SelectTab(int index) {
    MainWindowState& state = mainWindowState;
    const MainControls& c = state.controls;
    state.currentTab = index;
    const bool treeTab = index == 0;
    for (HWND control : {c.treeHeading, c.treeList, c.treemapHeading, c.treemapWindow,
                         c.extensionHeading, c.extensionList}) {
        Show(control, treeTab);
    }
    Show(c.fileList, !treeTab);
    LayoutMainWindow(state.mainWindow);
    if (treeTab) {
        RefreshList(c.treeList, treeModel.treeRows.size());
        RefreshList(c.extensionList, extensionView.extensionRows.size());
        ::RedrawWindow(c.treemapWindow, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    } else {
        RefreshList(c.fileList, fileView.fileRows.size());
    }
}

}  // namespace kestrin
