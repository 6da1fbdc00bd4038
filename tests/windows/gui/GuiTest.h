#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace kestrin::test {

// The main window the whole test program shares, created as start-up creates it.
HWND MainWindow();

// What the window showed right after it was created, before any test touched it.
struct StartState {
    std::wstring status;
    int treeItems = -1;
    bool treeListVisible = false;
    bool fileListVisible = true;
};
const StartState& AtStart();

// The DPI the Wine prefix was made with (KESTRIN_EXPECTED_DPI, default 96).
int ExpectedDpi();

// Dispatches this thread's messages until `done` holds or the time runs out; false on time-out.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Dispatches whatever is queued now.
void PumpPending();

std::wstring WindowText(HWND window);

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// Scans drive D: (the sample image in the test prefix) through the scan command and waits for
// the completion; false when it did not finish.
bool ScanDriveD();

}  // namespace kestrin::test
