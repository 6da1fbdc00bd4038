// Entry point of the windowed tests: the program's own start-up steps up to the message loop,
// run once, so every test drives the real window procedures of one main window.
#include "windows/gui/GuiTest.h"

#include <commctrl.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/Application.h"
#include "app/WindowMessages.h"
#include "shell/TrayIcon.h"
#include "ui/MainWindow.h"

namespace kestrin::test {

namespace {

HWND mainWindow = nullptr;
StartState startState;

void RecordStartState() {
    const MainControls& c = mainWindowState.controls;
    startState.status = WindowText(c.statusLine);
    startState.treeItems = static_cast<int>(::SendMessageW(c.treeList, LVM_GETITEMCOUNT, 0, 0));
    startState.treeListVisible = ::IsWindowVisible(c.treeList) != FALSE;
    startState.fileListVisible = ::IsWindowVisible(c.fileList) != FALSE;
}

class MainWindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        InitializeApplication(instance);
        ASSERT_NE(application.trayWindow, nullptr);
        mainWindow = CreateMainWindow(instance);
        ASSERT_NE(mainWindow, nullptr);
        AddTrayIcon(application.trayWindow);
        ::ShowWindow(mainWindow, SW_SHOW);
        PumpPending();
        RecordStartState();
    }
    void TearDown() override {
        if (mainWindow != nullptr) {
            ::DestroyWindow(mainWindow);
            PumpPending();
        }
        ::OleUninitialize();
    }
};

}  // namespace

HWND MainWindow() {
    return mainWindow;
}

const StartState& AtStart() {
    return startState;
}

int ExpectedDpi() {
    const char* value = std::getenv("KESTRIN_EXPECTED_DPI");
    return value != nullptr ? std::atoi(value) : 96;
}

void PumpPending() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

RECT ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool ScanDriveD() {
    const HWND combo = mainWindowState.controls.driveCombo;
    const LRESULT entry = ::SendMessageW(combo, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(L"[D:]"));
    if (entry < 0) {
        return false;
    }
    ::SendMessageW(combo, CB_SETCURSEL, entry, 0);
    ::SendMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(ID_SCAN_BUTTON, BN_CLICKED),
                   reinterpret_cast<LPARAM>(mainWindowState.controls.scanButton));
    return PumpUntil([] { return !mainWindowState.scanning; });
}

}  // namespace kestrin::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new kestrin::test::MainWindowEnvironment);
    return RUN_ALL_TESTS();
}
