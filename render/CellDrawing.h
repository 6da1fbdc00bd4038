#pragma once

#include <windows.h>

#include <string_view>

namespace kestrin {

// The selection accent; text on it is white.
inline constexpr COLORREF kAccentColour = RGB(0, 120, 215);
inline constexpr COLORREF kColumnLineColour = RGB(224, 224, 224);

// The helpers every view's custom-drawn rows share. An empty rectangle stands for "the row's
// bounds", which are then asked of the list.

// The whole row's rectangle in list coordinates; false when the list has no such row.
bool RowBounds(HWND list, int row, RECT& bounds);

void FillRowBackground(HDC dc, HWND list, int row, RECT rect, COLORREF colour);

// The cell of a column, from the column widths summed in index order (so it is right only while
// the columns keep their creation order). False for a column the header does not have, or when
// the row's bounds cannot be had; `cell` then holds the row rectangle.
bool GetCellRect(HWND list, int row, int column, RECT rect, RECT& cell);

void DrawCellText(HDC dc, RECT cell, COLORREF background, std::wstring_view text,
                  bool rightAligned);

// One vertical separator after each column, in index order.
void DrawColumnLines(HWND list, HDC dc, const RECT& row);

}  // namespace kestrin
