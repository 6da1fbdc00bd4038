#include "app/ScanThread.h"

#include <exception>
#include <memory>

#include "app/WindowMessages.h"
#include "scan/common/Trace.h"
#include "scan/common/Utf16Text.h"
#include "scan/pipeline/ScanPipeline.h"
#include "ui/MainWindow.h"
#include "ui/StatusTexts.h"

namespace kestrin {

namespace {

// Called from the scan thread and from pool threads; it only allocates and posts.
ProgressCallback ProgressForwarder(HWND target) {
    return [target](std::int32_t percent, const std::wstring& text) {
        PostOwned(target, WM_SCAN_PROGRESS, static_cast<WPARAM>(static_cast<INT_PTR>(percent)),
                  new std::wstring(text));
    };
}

void ReportFailure(HWND target, const char* message) {
    const std::wstring text = WideFromUtf8(message);
    Trace(L"RunScanThread: exception: %ls", text.c_str());
    PostOwned(target, WM_SCAN_PROGRESS, 0, new std::wstring(ErrorStatusText(message)));
    ::PostMessageW(target, WM_SCAN_DONE, 1, 0);
}

}  // namespace

void RunScanThread(std::wstring drive, HWND target, const DriveScanner& scanner) {
    Trace(L"RunScanThread: start drive=%ls", drive.c_str());
    try {
        auto result = std::make_unique<ScanResult>(scanner(drive, ProgressForwarder(target)));
        PostOwned(target, WM_SCAN_DONE, 0, result.release());
    } catch (const std::exception& failure) {
        ReportFailure(target, failure.what());
    }
}

void RunScanThread(std::wstring drive) {
    RunScanThread(std::move(drive), mainWindowState.mainWindow, ScanDriveMft);
}

}  // namespace kestrin
