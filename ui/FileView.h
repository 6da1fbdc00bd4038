#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace kestrin {

// Positions in the result's largestFiles of the rows on display.
struct FileViewState {
    std::vector<std::size_t> fileRows;
};

extern FileViewState fileView;

// Rebuilds the rows from the current order of largestFiles and repaints the list at once.
void RefreshFileView();
LRESULT OnFileListNotify(const NMHDR& header);
void PaintFileRow(HDC dc, HWND list, int row, RECT rect, COLORREF background);

// The colour swatch and text of an extension cell, as the file and extension lists draw it.
void DrawExtensionCell(HDC dc, RECT cell, COLORREF swatch, COLORREF background,
                       const std::wstring& text);

}  // namespace kestrin
