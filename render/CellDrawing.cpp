#include "render/CellDrawing.h"

#include <commctrl.h>

#include "render/Dpi.h"
#include "render/Fonts.h"
#include "render/GdiObjects.h"

namespace kestrin {

namespace {

bool IsEmpty(const RECT& rect) {
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

int ColumnWidth(HWND list, int column) {
    return static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

int ColumnCount(HWND list) {
    const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (header == nullptr) {
        return 0;
    }
    return static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

}  // namespace

bool RowBounds(HWND list, int row, RECT& bounds) {
    bounds = {};
    bounds.left = LVIR_BOUNDS;
    return ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                          reinterpret_cast<LPARAM>(&bounds)) != FALSE;
}

void FillRowBackground(HDC dc, HWND list, int row, RECT rect, COLORREF colour) {
    if (IsEmpty(rect) && !RowBounds(list, row, rect)) {
        return;
    }
    FillSolid(dc, rect, colour);
}

bool GetCellRect(HWND list, int row, int column, RECT rect, RECT& cell) {
    if (IsEmpty(rect) && !RowBounds(list, row, rect)) {
        cell = rect;
        return false;
    }
    cell = rect;
    if (column < 0 || column >= ColumnCount(list)) {
        return false;
    }
    int left = rect.left;
    for (int i = 0; i < column; ++i) {
        left += ColumnWidth(list, i);
    }
    cell.left = left;
    cell.right = left + ColumnWidth(list, column);
    return true;
}

void DrawCellText(HDC dc, RECT cell, COLORREF background, std::wstring_view text,
                  bool rightAligned) {
    FillSolid(dc, cell, background);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, background == kAccentColour ? RGB(255, 255, 255) : RGB(0, 0, 0));
    const int inset = ScaleForDpi(6, UsableDpi(fonts.currentDpi));
    cell.left += inset;
    cell.right -= inset;
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (rightAligned) {
        format |= DT_RIGHT;
    }
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &cell, format);
}

void DrawColumnLines(HWND list, HDC dc, const RECT& row) {
    const int columns = ColumnCount(list);
    if (columns == 0) {
        return;
    }
    UniquePen pen(::CreatePen(PS_SOLID, 1, kColumnLineColour));
    SelectionGuard selected(dc, pen.Get());
    int x = row.left - 1;
    for (int i = 0; i < columns; ++i) {
        x += ColumnWidth(list, i);
        ::MoveToEx(dc, x, row.top, nullptr);
        ::LineTo(dc, x, row.bottom);
    }
}

}  // namespace kestrin
