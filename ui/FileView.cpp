#include "ui/FileView.h"

#include <commctrl.h>

#include "render/CellDrawing.h"
#include "render/Dpi.h"
#include "render/Fonts.h"
#include "render/GdiObjects.h"
#include "shell/ContextMenu.h"
#include "ui/FileRows.h"
#include "ui/ListNotify.h"
#include "ui/MainWindow.h"

namespace kestrin {

FileViewState fileView;

namespace {

const FileRow* FileAt(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= fileView.fileRows.size()) {
        return nullptr;
    }
    const auto& files = mainWindowState.currentResult.largestFiles;
    const std::size_t position = fileView.fileRows[static_cast<std::size_t>(row)];
    return position < files.size() ? &files[position] : nullptr;
}

LRESULT OnGetDisplayInfo(NMLVDISPINFOW& request) {
    if (const FileRow* file = FileAt(request.item.iItem)) {
        CopyDisplayText(request, FileCellText(*file, request.item.iSubItem));
    }
    return 0;
}

LRESULT OnRightClick(const NMITEMACTIVATE& click) {
    const FileRow* file = FileAt(click.iItem);
    if (file == nullptr) {
        return 0;
    }
    SelectAndFocusRow(click.hdr.hwndFrom, click.iItem);
    POINT point = click.ptAction;
    ::ClientToScreen(click.hdr.hwndFrom, &point);
    ShowItemContextMenu(mainWindowState.mainWindow, FileRowPath(*file), point);
    return 0;
}

}  // namespace

void DrawExtensionCell(HDC dc, RECT cell, COLORREF swatch, COLORREF background,
                       const std::wstring& text) {
    const int dpi = UsableDpi(fonts.currentDpi);
    const RECT box{cell.left + ScaleForDpi(6, dpi), cell.top + ScaleForDpi(5, dpi),
                   cell.left + ScaleForDpi(20, dpi), cell.bottom - ScaleForDpi(5, dpi)};
    FillSolid(dc, box, swatch);
    cell.left = box.right + ScaleForDpi(8, dpi);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, background == kAccentColour ? RGB(255, 255, 255) : RGB(0, 0, 0));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &cell,
                DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void RefreshFileView() {
    fileView.fileRows = BuildFileRows(mainWindowState.currentResult);
    SetRowCountAndRedraw(mainWindowState.controls.fileList, fileView.fileRows.size());
}

void PaintFileRow(HDC dc, HWND list, int row, RECT rect, COLORREF background) {
    FillRowBackground(dc, list, row, rect, background);
    const FileRow* file = FileAt(row);
    if (file == nullptr) {
        return;
    }
    for (int column = 0; column < 6; ++column) {
        RECT cell{};
        if (!GetCellRect(list, row, column, rect, cell)) {
            continue;
        }
        if (column == 2) {
            DrawExtensionCell(dc, cell,
                              ExtensionColor(mainWindowState.currentResult, file->extension),
                              background, file->extension);
        } else {
            DrawCellText(dc, cell, background, FileCellText(*file, column),
                         column == 3 || column == 4);
        }
    }
}

LRESULT OnFileListNotify(const NMHDR& header) {
    NMHDR& mutableHeader = const_cast<NMHDR&>(header);
    switch (header.code) {
        case LVN_GETDISPINFOW:
            return OnGetDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(mutableHeader));
        case NM_CUSTOMDRAW:
            return CustomDrawRows(reinterpret_cast<NMLVCUSTOMDRAW&>(mutableHeader), PaintFileRow);
        case NM_RCLICK:
            return OnRightClick(reinterpret_cast<const NMITEMACTIVATE&>(header));
        default:
            return 0;
    }
}

}  // namespace kestrin
