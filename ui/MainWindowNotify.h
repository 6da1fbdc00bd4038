#pragma once

#include <windows.h>

namespace kestrin {

LRESULT OnMainWindowNotify(HWND window, WPARAM wParam, LPARAM lParam);

}  // namespace kestrin
