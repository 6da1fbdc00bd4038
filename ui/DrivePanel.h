#pragma once

#include <windows.h>

#include <string>

#include "ui/DrivePanelTexts.h"

namespace kestrin {

// Lists the fixed drives, "[C:] System", and selects the first.
void FillDriveList(HWND combo);

// The selected drive's letter; "C" when nothing is selected.
std::wstring SelectedDriveLetter();

DiskSpace QueryDiskSpace(const std::wstring& letter);

// The three space texts for the selected drive.
void UpdateSpacePanel();

}  // namespace kestrin
