// A second start of the program finds this test's main window (the first instance: it holds
// the single-instance mutex and a "KestrinWindow"), brings it back and ends with 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/WindowMessages.h"
#include "scan/platform/Win32Handle.h"
#include "windows/gui/GuiTest.h"

namespace kestrin {
namespace {

struct ProcessHandleKind {
    static HANDLE Invalid() { return nullptr; }
};
using ProcessHandle = UniqueHandle<ProcessHandleKind>;

// Starts a program and returns its process, or an invalid handle.
ProcessHandle Start(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return ProcessHandle();
    }
    ::CloseHandle(process.hThread);
    return ProcessHandle(process.hProcess);
}

// Waits for a process while this thread keeps answering its window's messages: the second
// instance's calls on our window need them.
bool WaitWhilePumping(HANDLE process) {
    return test::PumpUntil([process] { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; },
                           std::chrono::seconds(60));
}

TEST(SecondInstance, BringsTheFirstBackAndEnds) {
    MutexHandle mutex(::CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName));
    ASSERT_TRUE(mutex.Valid());
    ASSERT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ::ShowWindow(test::MainWindow(), SW_HIDE);
    ASSERT_FALSE(::IsWindowVisible(test::MainWindow()));

    const ProcessHandle second = Start(L"\"" KESTRIN_EXE_PATH L"\" --ignored argument");
    ASSERT_TRUE(second.Valid()) << ::GetLastError();
    ASSERT_TRUE(WaitWhilePumping(second.Get()));
    DWORD exitCode = 99;
    ::GetExitCodeProcess(second.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    // ShowAndActivate from the second process, then the WM_SHOW_MAIN it posted.
    EXPECT_TRUE(test::PumpUntil([] { return ::IsWindowVisible(test::MainWindow()) != FALSE; }));
    test::PumpPending();
    EXPECT_TRUE(::IsWindowVisible(test::MainWindow()));
}

}  // namespace
}  // namespace kestrin
