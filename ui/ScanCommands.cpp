// The scan command and the two messages a scan thread sends back.
#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "app/ScanThread.h"
#include "render/TreemapWindow.h"
#include "scan/common/Trace.h"
#include "ui/DrivePanel.h"
#include "ui/ExtensionView.h"
#include "ui/FileView.h"
#include "ui/ListViewLook.h"
#include "ui/MainWindow.h"
#include "ui/StatusTexts.h"
#include "ui/TreeView.h"

namespace kestrin {

namespace {

void EnableInputs(bool enabled) {
    ::EnableWindow(mainWindowState.controls.driveCombo, enabled);
    ::EnableWindow(mainWindowState.controls.scanButton, enabled);
}

void SetProgress(int percent) {
    ::SendMessageW(mainWindowState.controls.progressBar, PBM_SETPOS, percent, 0);
}

// Hands the new result to every view; the tree opens at the root, the treemap shows the root.
void InstallScanResult(std::unique_ptr<ScanResult> posted) {
    MainWindowState& state = mainWindowState;
    state.currentResult = std::move(*posted);
    posted.reset();
    treemap.state = TreemapState{};
    InstallResult(treeModel, &state.currentResult);
    const HWND treeList = state.controls.treeList;
    ::SendMessageW(treeList, LVM_SETITEMCOUNT, treeModel.treeRows.size(), LVSICF_NOINVALIDATEALL);
    ::InvalidateRect(treeList, nullptr, TRUE);
    RefreshExtensionView();
    RefreshFileView();
    RebuildTreemapItems();
    UpdateTreemapHeading();
    UpdateSpacePanel();
    // The extension and file lists keep the engine's order until the next header click; their
    // arrows show the stored sort all the same.
    ApplySortArrow(treeList, treeModel.treeSort);
    ApplySortArrow(state.controls.extensionList, state.extensionSort);
    ApplySortArrow(state.controls.fileList, state.fileSort);
}

}  // namespace

void SetStatusText(const wchar_t* text) {
    ::SetWindowTextW(mainWindowState.controls.statusLine, text);
}

void StartScan() {
    MainWindowState& state = mainWindowState;
    if (state.scanning) {
        return;
    }
    state.scanning = true;
    EnableInputs(false);
    SetProgress(0);
    SetStatusText(L"正在扫描...");
    try {
        std::thread(static_cast<void (*)(std::wstring)>(RunScanThread), SelectedDriveLetter())
            .detach();
    } catch (const std::exception&) {
        // No thread, so no message will ever end this scan: end it as a failed one.
        OnScanDone(1, 0);
    }
}

void OnScanProgress(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
    if (text) {
        SetStatusText(text->c_str());
    }
    if (wParam != 0) {
        SetProgress(static_cast<int>(wParam));
    }
}

void OnScanDone(WPARAM wParam, LPARAM lParam) {
    Trace(L"WM_SCAN_DONE: enter wParam=%llu lParam=%p", static_cast<unsigned long long>(wParam),
          reinterpret_cast<void*>(lParam));
    std::unique_ptr<ScanResult> posted(reinterpret_cast<ScanResult*>(lParam));
    mainWindowState.scanning = false;
    EnableInputs(true);
    if (wParam != 0 || !posted) {
        SetStatusText(L"扫描失败 — 请确认以管理员身份运行");
        return;
    }
    InstallScanResult(std::move(posted));
    SetProgress(100);
    SetStatusText(CompletionStatusText(mainWindowState.currentResult).c_str());
}

}  // namespace kestrin
