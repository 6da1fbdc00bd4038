// kestrin-remote COMMAND [ARGUMENT] ...: runs the commands in order against the running
// program's main window and stops at the first that fails (exit 1). Texts are printed in UTF-8.
//
//   wait-window SECONDS        wait until the main window exists
//   drive LETTER               select "[LETTER:]" in the drive list, as a user does
//   scan                       press the scan button
//   wait-status PREFIX SECONDS wait until the status line starts with PREFIX
//   tab INDEX                  click the tab with that index
//   status | drives | space    print the status line, the drive entries, the space panel
//   count CONTROL-ID           print the item count of a list
//   visible                    print 1 when the main window is shown, else 0
//   close                      close the main window (it hides)
//   show                       the notification icon's "显示主窗口"
//   exit                       the notification icon's "退出"
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kDriveCombo = 1001;
constexpr int kScanButton = 1002;
constexpr int kStatusLine = 1005;
constexpr int kTabControl = 1013;
constexpr int kTrayShow = 1015;
constexpr int kTrayExit = 1016;

HWND mainWindow = nullptr;

void Print(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(),
                          size, nullptr, nullptr);
    utf8 += '\n';
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

bool Fail(const std::wstring& why) {
    Print(L"kestrin-remote: " + why);
    return false;
}

HWND FindMain() {
    return ::FindWindowW(L"KestrinWindow", nullptr);
}

HWND Child(int id) {
    return ::GetDlgItem(mainWindow, id);
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

template <typename Predicate>
bool WaitFor(Predicate done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<std::wstring> DriveEntries() {
    const HWND combo = Child(kDriveCombo);
    const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    std::vector<std::wstring> entries;
    for (int i = 0; i < count; ++i) {
        wchar_t entry[256] = {};
        if (::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256) {
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        }
        entries.emplace_back(entry);
    }
    return entries;
}

bool SelectDrive(const std::wstring& letter) {
    const std::wstring prefix = L"[" + letter + L":]";
    const auto entries = DriveEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].rfind(prefix, 0) == 0) {
            const HWND combo = Child(kDriveCombo);
            ::SendMessageW(combo, CB_SETCURSEL, i, 0);
            ::SendMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(kDriveCombo, CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(combo));
            return true;
        }
    }
    return Fail(L"no drive " + prefix);
}

void Click(HWND control, int x, int y) {
    const LPARAM point = MAKELPARAM(x, y);
    ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, point);
    ::SendMessageW(control, WM_LBUTTONUP, 0, point);
}

// Tab rectangles cannot be asked for from another process; walk along the strip until the
// click lands on the wanted tab.
bool SelectTab(int index) {
    const HWND tabs = Child(kTabControl);
    RECT client{};
    ::GetClientRect(tabs, &client);
    for (int x = 4; x < client.right; x += 8) {
        if (::SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == index) {
            return true;
        }
        Click(tabs, x, (client.bottom - client.top) / 2);
    }
    return ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == index || Fail(L"no such tab");
}

bool Run(const std::vector<std::wstring>& args, std::size_t& i) {
    const std::wstring& command = args[i];
    auto next = [&]() -> std::wstring { return i + 1 < args.size() ? args[++i] : L""; };
    if (command == L"wait-window") {
        const double seconds = std::wcstod(next().c_str(), nullptr);
        if (!WaitFor([] { return (mainWindow = FindMain()) != nullptr; }, seconds)) {
            return Fail(L"no main window");
        }
        return true;
    }
    if (mainWindow == nullptr && (mainWindow = FindMain()) == nullptr) {
        return Fail(L"no main window");
    }
    if (command == L"drive") {
        return SelectDrive(next());
    }
    if (command == L"scan") {
        ::PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(kScanButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Child(kScanButton)));
        return true;
    }
    if (command == L"wait-status") {
        const std::wstring prefix = next();
        const double seconds = std::wcstod(next().c_str(), nullptr);
        const HWND status = Child(kStatusLine);
        return WaitFor([&] { return TextOf(status).rfind(prefix, 0) == 0; }, seconds) ||
               Fail(L"status is \"" + TextOf(status) + L"\"");
    }
    if (command == L"tab") {
        return SelectTab(static_cast<int>(std::wcstol(next().c_str(), nullptr, 10)));
    }
    if (command == L"status") {
        Print(TextOf(Child(kStatusLine)));
        return true;
    }
    if (command == L"drives") {
        for (const auto& entry : DriveEntries()) {
            Print(entry);
        }
        return true;
    }
    if (command == L"space") {
        // The three space texts are the statics after the scan button, in creation order.
        HWND label = ::GetNextWindow(Child(kScanButton), GW_HWNDNEXT);
        for (int n = 0; n < 3 && label != nullptr;
             ++n, label = ::GetNextWindow(label, GW_HWNDNEXT)) {
            Print(TextOf(label));
        }
        return true;
    }
    if (command == L"count") {
        const int id = static_cast<int>(std::wcstol(next().c_str(), nullptr, 10));
        Print(std::to_wstring(::SendMessageW(Child(id), LVM_GETITEMCOUNT, 0, 0)));
        return true;
    }
    if (command == L"visible") {
        Print(::IsWindowVisible(mainWindow) ? L"1" : L"0");
        return true;
    }
    if (command == L"close") {
        ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        return true;
    }
    if (command == L"show" || command == L"exit") {
        ::PostMessageW(mainWindow, WM_COMMAND, command == L"show" ? kTrayShow : kTrayExit, 0);
        return true;
    }
    return Fail(L"unknown command " + command);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!Run(args, i)) {
            return 1;
        }
    }
    return 0;
}
