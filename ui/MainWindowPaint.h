#pragma once

#include <windows.h>

namespace kestrin {

// White client area with the grey top and bottom bands; returns 1 (erased).
LRESULT OnEraseBackground(HWND window, HDC dc);

// The owner-drawn tab items and scan button; false for any other control.
bool OnDrawItem(const DRAWITEMSTRUCT& item);

}  // namespace kestrin
