#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <string>

namespace kestrin {

// What the three custom-drawn lists share in their notification handlers.

// Copies a cell text into the buffer an LVN_GETDISPINFO request supplied, cut to its size.
void CopyDisplayText(NMLVDISPINFOW& request, const std::wstring& text);

bool IsRowSelected(HWND list, int row);

// Repaints one row; nothing for -1 (no row).
void RedrawRow(HWND list, int row);

// A virtual list's new row count, every row repainted at once.
void SetRowCountAndRedraw(HWND list, std::size_t rows);

// Selects and focuses a row, as a right-click on it does before its menu opens.
void SelectAndFocusRow(HWND list, int row);

// NM_CUSTOMDRAW for a list whose rows are painted by `paintRow`: the default painting is skipped
// and the column lines are drawn afterwards.
using RowPainter = void (*)(HDC dc, HWND list, int row, RECT rect, COLORREF background);
LRESULT CustomDrawRows(NMLVCUSTOMDRAW& draw, RowPainter paintRow);

}  // namespace kestrin
