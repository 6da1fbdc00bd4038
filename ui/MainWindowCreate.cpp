// WM_CREATE of the main window: every child control in its creation order, with columns, fonts
// and the common list look.
#include <windows.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <span>

#include "app/WindowMessages.h"
#include "render/Dpi.h"
#include "render/Fonts.h"
#include "render/TreemapWindow.h"
#include "ui/DrivePanel.h"
#include "ui/ListColumns.h"
#include "ui/ListViewLook.h"
#include "ui/MainWindow.h"

namespace kestrin {

namespace {

constexpr DWORD kListStyle =
    WS_CHILD | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA;

HINSTANCE InstanceOf(HWND window) {
    return reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
}

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
                 int id = 0, DWORD extendedStyle = 0) {
    return ::CreateWindowExW(extendedStyle, className, text, style, 0, 0, 100, 100, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), InstanceOf(parent),
                             nullptr);
}

HWND CreateStatic(HWND parent, const wchar_t* text, int id = 0) {
    return CreateChild(parent, L"STATIC", text, WS_CHILD | WS_VISIBLE, id);
}

template <std::size_t N>
void InsertColumns(HWND list, const std::array<ListColumn, N>& columns) {
    for (std::size_t i = 0; i < N; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = columns[i].rightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = ScaleForDpi(columns[i].width, UsableDpi(fonts.currentDpi));
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.iSubItem = static_cast<int>(i);
        ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

template <std::size_t N>
HWND CreateList(HWND parent, int id, bool visible, DWORD extendedListStyle,
                const std::array<ListColumn, N>& columns) {
    const HWND list = CreateChild(parent, WC_LISTVIEWW, L"",
                                  kListStyle | (visible ? WS_VISIBLE : 0), id, WS_EX_CLIENTEDGE);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extendedListStyle, extendedListStyle);
    InsertColumns(list, columns);
    return list;
}

// The tab control paints its own white background instead of the theme's grey.
LRESULT CALLBACK TabSubclassProc(HWND tab, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR) {
    if (message == WM_ERASEBKGND) {
        RECT client{};
        ::GetClientRect(tab, &client);
        FillSolid(reinterpret_cast<HDC>(wParam), client, RGB(255, 255, 255));
        return 1;
    }
    return ::DefSubclassProc(tab, message, wParam, lParam);
}

HWND CreateTabControl(HWND parent) {
    const HWND tab =
        CreateChild(parent, WC_TABCONTROLW, L"",
                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_FOCUSNEVER | TCS_OWNERDRAWFIXED,
                    ID_TAB_CONTROL);
    ::SetWindowSubclass(tab, TabSubclassProc, 1, 0);
    const wchar_t* titles[] = {L"树状视图", L"文件查看"};
    for (int i = 0; i < 2; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(titles[i]);
        ::SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    return tab;
}

void CreateControls(HWND window) {
    MainControls& c = mainWindowState.controls;
    c.driveLabel = CreateStatic(window, L"驱动器");
    c.driveCombo =
        CreateChild(window, WC_COMBOBOXW, L"",
                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, ID_DRIVE_COMBO);
    c.scanButton = CreateChild(window, WC_BUTTONW, L"扫描", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                               ID_SCAN_BUTTON);
    const wchar_t* spaceTexts[] = {L"总空间 —", L"已用 —", L"可用 —"};
    for (int i = 0; i < 3; ++i) {
        c.spaceLabels[i] = CreateStatic(window, spaceTexts[i]);
    }
    c.tabControl = CreateTabControl(window);
    c.treeHeading = CreateStatic(window, L"树状视图");
    c.treeList = CreateList(window, ID_TREE_LIST, true,
                            LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_DOUBLEBUFFER,
                            kTreeColumns);
    c.treemapHeading = CreateStatic(window, L"顶级文件夹");
    c.extensionHeading = CreateStatic(window, L"扩展名统计");
    c.treemapWindow = CreateChild(window, kTreemapWindowClass, L"", WS_CHILD | WS_VISIBLE,
                                  ID_TREEMAP, WS_EX_CLIENTEDGE);
    c.extensionList = CreateList(window, ID_EXTENSION_LIST, true,
                                 LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP, kExtensionColumns);
    c.fileList = CreateList(window, ID_FILE_LIST, false,
                            LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP, kFileColumns);
    c.statusLine = CreateStatic(window, L"就绪 — 以管理员身份运行 · MFT 快速扫描", ID_STATUS_LINE);
    c.progressBar = CreateChild(window, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE);
    ::SendMessageW(c.progressBar, PBM_SETRANGE32, 0, 100);
}

BOOL CALLBACK SetFontOnChild(HWND child, LPARAM font) {
    ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

bool AllControlsExist() {
    const MainControls& c = mainWindowState.controls;
    const HWND all[] = {c.driveLabel,     c.driveCombo,     c.scanButton,       c.spaceLabels[0],
                        c.spaceLabels[1], c.spaceLabels[2], c.tabControl,       c.treeHeading,
                        c.treeList,       c.treemapHeading, c.extensionHeading, c.treemapWindow,
                        c.extensionList,  c.fileList,       c.statusLine,       c.progressBar};
    for (HWND control : all) {
        if (control == nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ApplyFonts(HWND window) {
    MainControls& c = mainWindowState.controls;
    ::EnumChildWindows(window, SetFontOnChild, reinterpret_cast<LPARAM>(fonts.uiFont.Get()));
    for (HWND heading : {c.treeHeading, c.treemapHeading, c.extensionHeading}) {
        ::SendMessageW(heading, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.headingFont.Get()),
                       TRUE);
    }
    for (HWND label : c.spaceLabels) {
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.smallFont.Get()), TRUE);
    }
}

bool CreateMainWindowContents(HWND window) {
    MainWindowState& state = mainWindowState;
    state.mainWindow = window;
    if (!state.treemapClassRegistered) {
        state.treemapClassRegistered = RegisterTreemapClass(InstanceOf(window));
    }
    fonts.currentDpi = UsableDpi(static_cast<int>(::GetDpiForWindow(window)));
    CreateFonts();
    state.whiteBrush.Reset(::CreateSolidBrush(RGB(255, 255, 255)));
    state.bandBrush.Reset(::CreateSolidBrush(RGB(245, 245, 245)));
    state.fieldBrush.Reset(::CreateSolidBrush(RGB(235, 235, 235)));
    CreateControls(window);
    if (!AllControlsExist()) {
        return false;
    }
    ApplyFonts(window);
    MainControls& c = state.controls;
    ::SetWindowTheme(c.driveCombo, L"", L"");
    for (HWND list : {c.treeList, c.extensionList, c.fileList}) {
        SetupListControl(list);
    }
    AttachHoverTracker(c.treeList, 2, &state.treeHoverRow);
    AttachHoverTracker(c.extensionList, 3, &state.extensionHoverRow);
    AttachHoverTracker(c.fileList, 4, &state.fileHoverRow);
    // A themed progress bar ignores the colours; without its theme it shows the accent.
    ::SetWindowTheme(c.progressBar, L"", L"");
    ::SendMessageW(c.progressBar, PBM_SETBARCOLOR, 0, RGB(0, 120, 215));
    ::SendMessageW(c.progressBar, PBM_SETBKCOLOR, 0, RGB(225, 225, 225));
    FillDriveList(c.driveCombo);
    UpdateSpacePanel();
    SelectTab(0);
    LayoutMainWindow(window);
    return true;
}

}  // namespace kestrin
