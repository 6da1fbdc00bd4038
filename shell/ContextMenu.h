#pragma once

#include <windows.h>

#include <string>

namespace kestrin {

// The shell's own context menu of a file or folder at a screen point, and the chosen command
// carried out by the shell. Nothing happens for a path the shell cannot find.
void ShowItemContextMenu(HWND owner, const std::wstring& path, POINT screenPoint);

}  // namespace kestrin
