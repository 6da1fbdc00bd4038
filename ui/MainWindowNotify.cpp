// WM_NOTIFY of the main window: what all three lists share (hover, selection, header clicks,
// tab changes); everything else goes to the view the list belongs to.
#include <windows.h>

#include <commctrl.h>

#include "ui/ExtensionRows.h"
#include "ui/ExtensionView.h"
#include "ui/FileRows.h"
#include "ui/FileView.h"
#include "ui/ListNotify.h"
#include "ui/ListViewLook.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowNotify.h"
#include "ui/TreeView.h"

namespace kestrin {

namespace {

bool IsList(HWND control) {
    const MainControls& c = mainWindowState.controls;
    return control != nullptr &&
           (control == c.treeList || control == c.extensionList || control == c.fileList);
}

void OnColumnClick(HWND list, int column) {
    MainWindowState& state = mainWindowState;
    const MainControls& c = state.controls;
    if (list == c.treeList) {
        treeModel.treeSort = NextSortState(treeModel.treeSort, column);
        RebuildTreeRows(treeModel);
        ::SendMessageW(list, LVM_SETITEMCOUNT, treeModel.treeRows.size(), 0);
        ::InvalidateRect(list, nullptr, TRUE);
        ApplySortArrow(list, treeModel.treeSort);
    } else if (list == c.extensionList) {
        state.extensionSort = NextSortState(state.extensionSort, column);
        SortExtensionRows(state.currentResult, state.extensionSort);
        RefreshExtensionView();
        ApplySortArrow(list, state.extensionSort);
    } else if (list == c.fileList) {
        state.fileSort = NextSortState(state.fileSort, column);
        SortFileRows(state.currentResult, state.fileSort);
        RefreshFileView();
        ApplySortArrow(list, state.fileSort);
    }
}

LRESULT ForwardToView(const NMHDR& header) {
    const MainControls& c = mainWindowState.controls;
    if (header.hwndFrom == c.treeList) {
        return OnTreeNotify(header);
    }
    if (header.hwndFrom == c.extensionList) {
        return OnExtensionNotify(header);
    }
    return OnFileListNotify(header);
}

}  // namespace

LRESULT OnMainWindowNotify(HWND window, WPARAM wParam, LPARAM lParam) {
    const NMHDR& header = *reinterpret_cast<const NMHDR*>(lParam);
    const bool fromList = IsList(header.hwndFrom);
    if (fromList && header.code == LVN_HOTTRACK) {
        // The lists neither hot-track nor hover-select; the row is only repainted.
        RedrawRow(header.hwndFrom, reinterpret_cast<const NMLISTVIEW&>(header).iItem);
        return 1;
    }
    if (fromList && header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (((change.uOldState ^ change.uNewState) & LVIS_SELECTED) != 0) {
            RedrawRow(header.hwndFrom, change.iItem);
        }
        return 0;
    }
    if (header.hwndFrom == mainWindowState.controls.tabControl && header.code == TCN_SELCHANGE) {
        SelectTab(static_cast<int>(::SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0)));
        return 0;
    }
    if (fromList && header.code == LVN_COLUMNCLICK) {
        OnColumnClick(header.hwndFrom, reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
        return 0;
    }
    if (fromList) {
        return ForwardToView(header);
    }
    return ::DefWindowProcW(window, WM_NOTIFY, wParam, lParam);
}

}  // namespace kestrin
