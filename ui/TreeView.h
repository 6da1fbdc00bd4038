#pragma once

#include <windows.h>

#include "ui/TreeModel.h"

namespace kestrin {

// The tree list's rows, open folders and sort.
extern TreeModel treeModel;

// Handles the tree list's notifications; returns the notification result.
LRESULT OnTreeNotify(const NMHDR& header);

// Paints one row of the tree list: indentation, triangle, icon, texts and the share bar.
void PaintTreeRow(HDC dc, HWND list, int index, RECT rect, COLORREF background);

// Moves the treemap to a folder and selects the folder (or its "[直接文件]" row) in the tree.
void ShowDirectoryInTree(std::int64_t record, bool filesMode);

// The heading above the treemap names the folder it shows.
void UpdateTreemapHeading();

}  // namespace kestrin
