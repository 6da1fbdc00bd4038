#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace kestrin {

// Positions in the result's extStats of the rows on display.
struct ExtensionViewState {
    std::vector<std::size_t> extensionRows;
};

extern ExtensionViewState extensionView;

// Rebuilds the rows from the current order of extStats and repaints the list at once.
void RefreshExtensionView();
LRESULT OnExtensionNotify(const NMHDR& header);
void PaintExtensionRow(HDC dc, HWND list, int row, RECT rect, COLORREF background);

}  // namespace kestrin
