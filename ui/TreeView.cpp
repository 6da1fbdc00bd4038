#include "ui/TreeView.h"

#include <commctrl.h>

#include "render/CellDrawing.h"
#include "render/Dpi.h"
#include "render/Fonts.h"
#include "render/Format.h"
#include "render/GdiObjects.h"
#include "render/TreemapWindow.h"
#include "shell/ContextMenu.h"
#include "shell/FileIcons.h"
#include "ui/ListNotify.h"
#include "ui/MainWindow.h"

namespace kestrin {

TreeModel treeModel;

namespace {

constexpr COLORREF kTriangleColour = RGB(96, 96, 96);
constexpr COLORREF kFolderColour = RGB(228, 196, 110);
constexpr COLORREF kShareBarColour = RGB(96, 150, 200);

int S(int value) {
    return ScaleForDpi(value, UsableDpi(fonts.currentDpi));
}

bool IsRow(int index) {
    return index >= 0 && static_cast<std::size_t>(index) < treeModel.treeRows.size();
}

void FillPolygon(HDC dc, const POINT (&points)[3], COLORREF colour) {
    UniqueBrush brush(::CreateSolidBrush(colour));
    UniquePen pen(::CreatePen(PS_SOLID, 1, colour));
    SelectionGuard brushSelected(dc, brush.Get());
    SelectionGuard penSelected(dc, pen.Get());
    ::Polygon(dc, points, 3);
}

void DrawTriangle(HDC dc, int x0, int cy, bool open) {
    const int tx = x0 + S(5);
    const int e = S(4);
    const int h = e / 2;
    if (open) {
        const POINT down[3] = {{tx - e, cy - h}, {tx + e, cy - h}, {tx, cy + e}};
        FillPolygon(dc, down, kTriangleColour);
    } else {
        const POINT right[3] = {{tx - h, cy - e}, {tx - h, cy + e}, {tx + e, cy}};
        FillPolygon(dc, right, kTriangleColour);
    }
}

void DrawFolderGlyph(HDC dc, const RECT& box) {
    const int height = box.bottom - box.top;
    FillSolid(dc,
              {box.left, box.top + height / 8, box.left + (box.right - box.left) / 2,
               box.top + height / 2},
              kFolderColour);
    FillSolid(dc, {box.left, box.top + height / 4, box.right, box.top + height - height / 8},
              kFolderColour);
}

void DrawRowIcon(HDC dc, const TreeRow& row, std::size_t index, const RECT& box) {
    if (!row.isFile && !row.isFilesGroup) {
        DrawFolderGlyph(dc, box);
        return;
    }
    HICON icon = nullptr;
    if (row.isFilesGroup) {
        icon = GetExtensionIcon(L".txt");
    } else if (const FileRow* file = RowFile(treeModel, index)) {
        icon = GetExtensionIcon(ExtensionOf(file->name.wide()));
    }
    if (icon != nullptr) {
        ::DrawIconEx(dc, box.left, box.top, icon, box.right - box.left, box.bottom - box.top, 0,
                     nullptr, DI_NORMAL);
    }
}

void PaintNameCell(HDC dc, HWND list, int index, RECT cell, COLORREF background) {
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, cell.left, cell.top, cell.right, cell.bottom);
    FillSolid(dc, cell, background);
    const TreeRow& row = treeModel.treeRows[static_cast<std::size_t>(index)];
    const int x0 = cell.left + S(6) + S(16) * row.depth;
    const int cy = (cell.top + cell.bottom) / 2;
    if (row.expandable) {
        DrawTriangle(dc, x0, cy, RowIsOpen(treeModel, row));
    }
    const int iconSize = ::GetSystemMetrics(SM_CXSMICON);
    const int left = x0 + S(16);
    const int top = cy - iconSize / 2;
    const RECT box{left, top, left + iconSize, top + 2 * (iconSize / 2)};
    DrawRowIcon(dc, row, static_cast<std::size_t>(index), box);
    RECT text{box.right + S(5), cell.top, cell.right, cell.bottom};
    const std::wstring name = RowCellText(treeModel, static_cast<std::size_t>(index), 0);
    ::SelectObject(dc, fonts.uiFont.Get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, IsRowSelected(list, index) ? RGB(255, 255, 255) : RGB(0, 0, 0));
    ::DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &text,
                DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::RestoreDC(dc, saved);
}

void PaintShareCell(HDC dc, int index, RECT cell, COLORREF background) {
    FillSolid(dc, cell, background);
    RECT inner{cell.left + S(6), cell.top + S(4), cell.right - S(6), cell.bottom - S(4)};
    const double percent = RowPercent(treeModel, static_cast<std::size_t>(index));
    const double shown = percent < 100.0 ? percent : 100.0;
    const int bar = ShareBarWidth(inner.right - inner.left, percent);
    if (bar > 0) {
        FillSolid(dc, {inner.left, inner.top, inner.left + bar, inner.bottom}, kShareBarColour);
    }
    wchar_t text[32];
    FormatToBuffer(text, L"%.1f%%", shown);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, background == kAccentColour ? RGB(255, 255, 255) : RGB(0, 0, 0));
    ::DrawTextW(dc, text, -1, &inner, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
}

void RefreshTreeList() {
    const HWND list = mainWindowState.controls.treeList;
    ::SendMessageW(list, LVM_SETITEMCOUNT, treeModel.treeRows.size(), 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

void FollowWithTreemap(bool moved) {
    if (moved) {
        RebuildTreemapItems();
        UpdateTreemapHeading();
    }
}

LRESULT OnGetDisplayInfo(NMLVDISPINFOW& request) {
    if (!IsRow(request.item.iItem)) {
        return 0;
    }
    const auto index = static_cast<std::size_t>(request.item.iItem);
    CopyDisplayText(request, RowCellText(treeModel, index, request.item.iSubItem));
    if (request.item.mask & LVIF_PARAM) {
        request.item.lParam = static_cast<LPARAM>(treeModel.treeRows[index].recordNumber);
    }
    return 0;
}

LRESULT OnClick(const NMITEMACTIVATE& click) {
    if (!IsRow(click.iItem)) {
        return 0;
    }
    LVHITTESTINFO hit{};
    hit.pt = click.ptAction;
    ::SendMessageW(click.hdr.hwndFrom, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    const TreeRow& row = treeModel.treeRows[static_cast<std::size_t>(click.iItem)];
    if (hit.iSubItem != 0 || !IsTriangleHit(row, click.ptAction.x, fonts.currentDpi)) {
        return 0;
    }
    FollowWithTreemap(
        ClickTreeRow(treeModel, treemap.state, static_cast<std::size_t>(click.iItem)));
    RefreshTreeList();
    return 0;
}

LRESULT OnDoubleClick(HWND list) {
    const int selected = static_cast<int>(
        ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (!IsRow(selected) || treeModel.treeRows[static_cast<std::size_t>(selected)].isFile) {
        return 0;
    }
    FollowWithTreemap(
        DoubleClickTreeRow(treeModel, treemap.state, static_cast<std::size_t>(selected)));
    RefreshTreeList();
    return 0;
}

LRESULT OnRightClick(const NMITEMACTIVATE& click) {
    if (!IsRow(click.iItem)) {
        return 0;
    }
    SelectAndFocusRow(click.hdr.hwndFrom, click.iItem);
    POINT point = click.ptAction;
    ::ClientToScreen(click.hdr.hwndFrom, &point);
    ShowItemContextMenu(mainWindowState.mainWindow,
                        RowPath(treeModel, static_cast<std::size_t>(click.iItem)), point);
    return 0;
}

}  // namespace

void PaintTreeRow(HDC dc, HWND list, int index, RECT rect, COLORREF background) {
    FillRowBackground(dc, list, index, rect, background);
    if (!IsRow(index)) {
        return;
    }
    for (int column = 0; column < 9; ++column) {
        RECT cell{};
        if (!GetCellRect(list, index, column, rect, cell)) {
            continue;
        }
        if (column == 0) {
            PaintNameCell(dc, list, index, cell, background);
        } else if (column == 1) {
            PaintShareCell(dc, index, cell, background);
        } else {
            DrawCellText(dc, cell, background,
                         RowCellText(treeModel, static_cast<std::size_t>(index), column),
                         column <= 6);
        }
    }
}

LRESULT OnTreeNotify(const NMHDR& header) {
    NMHDR& mutableHeader = const_cast<NMHDR&>(header);
    switch (header.code) {
        case LVN_GETDISPINFOW:
            return OnGetDisplayInfo(reinterpret_cast<NMLVDISPINFOW&>(mutableHeader));
        case NM_CUSTOMDRAW:
            return CustomDrawRows(reinterpret_cast<NMLVCUSTOMDRAW&>(mutableHeader), PaintTreeRow);
        case NM_CLICK:
            return OnClick(reinterpret_cast<const NMITEMACTIVATE&>(header));
        case NM_DBLCLK:
            return OnDoubleClick(header.hwndFrom);
        case NM_RCLICK:
            return OnRightClick(reinterpret_cast<const NMITEMACTIVATE&>(header));
        default:
            return 0;
    }
}

void ShowDirectoryInTree(std::int64_t record, bool filesMode) {
    if (!ShowDirectory(treeModel, treemap.state, record, filesMode)) {
        return;
    }
    RefreshTreeList();
    const std::ptrdiff_t target = ShowDirectoryTargetRow(treeModel, treemap.state, record);
    if (target >= 0) {
        const HWND list = mainWindowState.controls.treeList;
        ::SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(target), FALSE);
        SelectAndFocusRow(list, static_cast<int>(target));
    }
    RebuildTreemapItems();
    UpdateTreemapHeading();
}

void UpdateTreemapHeading() {
    const std::wstring text = TreemapHeadingText(treeModel.result, treemap.state);
    ::SetWindowTextW(mainWindowState.controls.treemapHeading, text.c_str());
}

}  // namespace kestrin
