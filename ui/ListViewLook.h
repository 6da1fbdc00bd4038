#pragma once

#include <windows.h>

#include "ui/SortState.h"

namespace kestrin {

// The common look of the three report lists: no theme, white, 24-pixel rows (scaled), the
// interface font, no hot tracking, and a header painted by the program.
void SetupListControl(HWND list);

// Sort arrow on the header item of `column`, none on the others.
void ApplySortArrow(HWND list, SortState sort);

// Follows the row under the mouse in `*hoverRow` and suppresses background erasing.
void AttachHoverTracker(HWND list, UINT_PTR subclassId, int* hoverRow);

}  // namespace kestrin
