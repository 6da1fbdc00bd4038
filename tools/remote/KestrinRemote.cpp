// kestrin-remote COMMAND [ARGUMENT] ...: runs the commands in order against the running
// program's main window and stops at the first that fails (exit 1). Texts are printed in UTF-8.
//
//   wait-window SECONDS        wait until the main window exists
//   drive LETTER               select "[LETTER:]" in the drive list, as a user does
//   scan                       press the scan button
//   wait-status PREFIX SECONDS wait until the status line starts with PREFIX
//   watch-status PREFIX SECONDS the same, printing every status text seen on the way
//   tab INDEX                  click the tab with that index
//   status | drives | space    print the status line, the drive entries, the space panel
//   count CONTROL-ID           print the item count of a list
//   item CONTROL-ID ROW COLUMN print the text of a list cell
//   header CONTROL-ID COLUMN   click a list's column header
//   visible                    print 1 when the main window is shown, else 0
//   close                      close the main window (it hides)
//   show                       the notification icon's "显示主窗口"
//   tray-click                 a left click on the notification icon, as the shell reports it
//   exit                       the notification icon's "退出"
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstddef>
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

// List texts live in the other process: the request and its buffer are placed there.
std::wstring ItemText(HWND list, int row, int column) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(list, &processId);
    const HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) {
        return L"";
    }
    constexpr int kChars = 512;
    const SIZE_T size = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
    auto* remote = static_cast<std::byte*>(
        ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    std::wstring text;
    if (remote != nullptr) {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = kChars;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        ::WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        const auto length =
            ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
        text.resize(static_cast<std::size_t>(length));
        ::ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(),
                            text.size() * sizeof(wchar_t), nullptr);
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    ::CloseHandle(process);
    return text;
}

// A click in the middle of a header item; the header tells the list, the list its parent.
bool ClickHeader(HWND list, int column) {
    const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (header == nullptr) {
        return Fail(L"no header");
    }
    int left = 0;
    for (int i = 0; i < column; ++i) {
        left += static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
    }
    const int width = static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
    RECT client{};
    ::GetClientRect(header, &client);
    Click(header, left + width / 2, client.bottom / 2);
    return true;
}

bool WatchStatus(const std::wstring& prefix, double seconds) {
    const HWND status = Child(kStatusLine);
    std::wstring last;
    const bool reached = WaitFor(
        [&] {
            const std::wstring text = TextOf(status);
            if (text != last) {
                Print(text);
                last = text;
            }
            return text.rfind(prefix, 0) == 0;
        },
        seconds);
    return reached || Fail(L"status is \"" + last + L"\"");
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
    if (command == L"watch-status") {
        const std::wstring prefix = next();
        return WatchStatus(prefix, std::wcstod(next().c_str(), nullptr));
    }
    if (command == L"item") {
        const HWND list = Child(static_cast<int>(std::wcstol(next().c_str(), nullptr, 10)));
        const int row = static_cast<int>(std::wcstol(next().c_str(), nullptr, 10));
        Print(ItemText(list, row, static_cast<int>(std::wcstol(next().c_str(), nullptr, 10))));
        return true;
    }
    if (command == L"header") {
        const HWND list = Child(static_cast<int>(std::wcstol(next().c_str(), nullptr, 10)));
        return ClickHeader(list, static_cast<int>(std::wcstol(next().c_str(), nullptr, 10)));
    }
    if (command == L"tray-click") {
        const HWND tray = ::FindWindowExW(HWND_MESSAGE, nullptr, L"KestrinTrayWindow", nullptr);
        return (tray != nullptr && ::PostMessageW(tray, WM_USER + 100, 1, WM_LBUTTONUP)) ||
               Fail(L"no tray window");
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
