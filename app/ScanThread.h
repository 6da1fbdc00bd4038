#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "scan/results/ScanResult.h"

namespace kestrin {

// The scan behind a drive letter; the program scans the raw volume, tests may put anything here.
using DriveScanner = std::function<ScanResult(std::wstring drive, ProgressCallback progress)>;

// Body of the scan thread: scans `drive` and hands everything to `target` in posted messages,
// WM_SCAN_PROGRESS texts and one final WM_SCAN_DONE.
void RunScanThread(std::wstring drive, HWND target, const DriveScanner& scanner);
// The same for the main window and the raw volume.
void RunScanThread(std::wstring drive);

// Posts a heap payload whose ownership passes to the receiver. When the post fails (the window
// is gone) nobody would ever receive it, so it is freed here.
template <typename Payload>
bool PostOwned(HWND target, UINT message, WPARAM wParam, Payload* payload) {
    if (::PostMessageW(target, message, wParam, reinterpret_cast<LPARAM>(payload))) {
        return true;
    }
    delete payload;
    return false;
}

}  // namespace kestrin
