#include "ui/ExtensionView.h"

#include <commctrl.h>

#include "render/CellDrawing.h"
#include "ui/ExtensionRows.h"
#include "ui/FileView.h"
#include "ui/ListNotify.h"
#include "ui/MainWindow.h"

namespace kestrin {

ExtensionViewState extensionView;

namespace {

// The position in extStats of a row, or -1 outside the rows.
std::ptrdiff_t PositionOf(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= extensionView.extensionRows.size()) {
        return -1;
    }
    const std::size_t position = extensionView.extensionRows[static_cast<std::size_t>(row)];
    if (position >= mainWindowState.currentResult.extStats.size()) {
        return -1;
    }
    return static_cast<std::ptrdiff_t>(position);
}

LRESULT OnGetDisplayInfo(NMLVDISPINFOW& request) {
    const std::ptrdiff_t position = PositionOf(request.item.iItem);
    if (position >= 0) {
        const ScanResult& result = mainWindowState.currentResult;
        CopyDisplayText(request,
                        ExtensionCellText(result.extStats[static_cast<std::size_t>(position)],
                                          request.item.iSubItem, result.rootTotalSize));
    }
    return 0;
}

}  // namespace

void RefreshExtensionView() {
    extensionView.extensionRows = BuildExtensionRows(mainWindowState.currentResult);
    SetRowCountAndRedraw(mainWindowState.controls.extensionList,
                         extensionView.extensionRows.size());
}

void PaintExtensionRow(HDC dc, HWND list, int row, RECT rect, COLORREF background) {
    FillRowBackground(dc, list, row, rect, background);
    const std::ptrdiff_t position = PositionOf(row);
    if (position < 0) {
        return;
    }
    const ScanResult& result = mainWindowState.currentResult;
    const ExtStat& stat = result.extStats[static_cast<std::size_t>(position)];
    for (int column = 0; column < 4; ++column) {
        RECT cell{};
        if (!GetCellRect(list, row, column, rect, cell)) {
            continue;
        }
        if (column == 0) {
            DrawExtensionCell(dc, cell, ExtensionSwatchColor(static_cast<std::size_t>(position)),
                              background, stat.extension);
        } else {
            DrawCellText(dc, cell, background,
                         ExtensionCellText(stat, column, result.rootTotalSize), true);
        }
    }
}

LRESULT OnExtensionNotify(const NMHDR& header) {
    NMHDR& mutableHeader = const_cast<NMHDR&>(header);
    switch (header.code) {
        case LVN_GETDISPINFOW:
            return OnGetDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(mutableHeader));
        case NM_CUSTOMDRAW:
            return CustomDrawRows(reinterpret_cast<NMLVCUSTOMDRAW&>(mutableHeader),
                                  PaintExtensionRow);
        default:
            return 0;
    }
}

}  // namespace kestrin
