#include <windows.h>

#include "app/Application.h"
#include "scan/common/Trace.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    kestrin::Trace(L"  exe=%ls", exe);
    // The command line is accepted and ignored.
    kestrin::Trace(L"  cmdLine=[%ls]", commandLine != nullptr ? commandLine : L"");
    if (!kestrin::IsProcessElevated()) {
        ::MessageBoxW(nullptr,
                      L"需要管理员权限才能扫描磁盘。\n\n请右键点击程序，选择\"以管理员身份运行\"。",
                      L"Kestrin - 需要管理员权限", MB_ICONINFORMATION);
        return 0;
    }
    return kestrin::RunApplication(instance);
}
