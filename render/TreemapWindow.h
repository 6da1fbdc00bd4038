#pragma once

#include <windows.h>

#include <vector>

#include "render/TreemapModel.h"
#include "render/TreemapState.h"

namespace kestrin {

// The folder on display and its tiles' items; rebuilt whenever either changes.
struct TreemapWindowState {
    TreemapState state;
    std::vector<TreemapItem> treemapItems;
};

extern TreemapWindowState treemap;

// "KestrinTreemap": double-clicks delivered, arrow cursor, no background brush.
bool RegisterTreemapClass(HINSTANCE instance);

// Rebuilds the items from the installed result and repaints the treemap window at once.
void RebuildTreemapItems();

// Fills `rect` with the tiles of `items`, largest first, labelled where they are big enough.
void PaintTreemap(HDC dc, const RECT& rect, const std::vector<TreemapItem>& items);

LRESULT CALLBACK TreemapWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kestrin
