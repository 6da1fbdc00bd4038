// The main window as start-up creates it, driven through its real window procedure.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ScanThread.h"
#include "app/WindowMessages.h"
#include "render/Fonts.h"
#include "scan/pipeline/ScanPipeline.h"
#include "ui/ExtensionView.h"
#include "ui/FileView.h"
#include "ui/MainLayout.h"
#include "ui/MainWindow.h"
#include "ui/StatusTexts.h"
#include "ui/TreeView.h"
#include "windows/gui/GuiTest.h"

namespace kestrin {
namespace {

using test::ChildRect;
using test::ExpectedDpi;
using test::MainWindow;
using test::WindowText;

const MainControls& Controls() {
    return mainWindowState.controls;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

void ExpectPlaced(HWND control, const ControlRect& expected, bool checkHeight = true) {
    const RECT actual = ChildRect(control);
    EXPECT_EQ(actual.left, expected.x);
    EXPECT_EQ(actual.top, expected.y);
    EXPECT_EQ(actual.right - actual.left, expected.width);
    if (checkHeight) {
        EXPECT_EQ(actual.bottom - actual.top, expected.height);
    }
}

MainLayout ExpectedLayout() {
    RECT client{};
    ::GetClientRect(MainWindow(), &client);
    return ComputeMainLayout(client.right, client.bottom, ExpectedDpi());
}

HWND HeaderOf(HWND list) {
    return reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
}

int HeaderFormat(HWND list, int column) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    ::SendMessageW(HeaderOf(list), HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
}

void ClickColumn(HWND list, int column) {
    NMLISTVIEW click{};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
    click.hdr.code = LVN_COLUMNCLICK;
    click.iItem = -1;
    click.iSubItem = column;
    ::SendMessageW(MainWindow(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
}

void SelectTabByNotification(int index) {
    const HWND tab = Controls().tabControl;
    ::SendMessageW(tab, TCM_SETCURSEL, index, 0);
    NMHDR change{tab, static_cast<UINT_PTR>(ID_TAB_CONTROL), static_cast<UINT>(TCN_SELCHANGE)};
    ::SendMessageW(MainWindow(), WM_NOTIFY, ID_TAB_CONTROL, reinterpret_cast<LPARAM>(&change));
}

int ProgressPosition() {
    return static_cast<int>(::SendMessageW(Controls().progressBar, PBM_GETPOS, 0, 0));
}

std::size_t ItemCount(HWND list) {
    return static_cast<std::size_t>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

TEST(MainWindow, StartsWithItsClassTitleSizeAndIdleTexts) {
    const int dpi = ExpectedDpi();
    EXPECT_EQ(ClassOf(MainWindow()), L"KestrinWindow");
    EXPECT_EQ(WindowText(MainWindow()), L"Kestrin-磁盘空间分析器");
    EXPECT_EQ(static_cast<int>(::GetDpiForWindow(MainWindow())), dpi);
    EXPECT_EQ(fonts.currentDpi, dpi);
    RECT window{};
    ::GetWindowRect(MainWindow(), &window);
    EXPECT_EQ(window.right - window.left, ::MulDiv(1320, dpi, 96));
    EXPECT_EQ(window.bottom - window.top, ::MulDiv(840, dpi, 96));

    EXPECT_EQ(test::AtStart().status, L"就绪 — 以管理员身份运行 · MFT 快速扫描");
    EXPECT_EQ(WindowText(Controls().driveLabel), L"驱动器");
    EXPECT_EQ(WindowText(Controls().scanButton), L"扫描");
    EXPECT_EQ(WindowText(Controls().extensionHeading), L"扩展名统计");
    // Before the first scan the lists are empty and the file list is on the hidden tab.
    EXPECT_EQ(test::AtStart().treeItems, 0);
    EXPECT_FALSE(test::AtStart().fileListVisible);
    EXPECT_TRUE(test::AtStart().treeListVisible);
}

TEST(MainWindow, ChildrenCarryTheirIdsClassesAndColumns) {
    const MainControls& c = Controls();
    EXPECT_EQ(::GetDlgCtrlID(c.driveCombo), 1001);
    EXPECT_EQ(::GetDlgCtrlID(c.scanButton), 1002);
    EXPECT_EQ(::GetDlgCtrlID(c.treeList), 1003);
    EXPECT_EQ(::GetDlgCtrlID(c.extensionList), 1004);
    EXPECT_EQ(::GetDlgCtrlID(c.statusLine), 1005);
    EXPECT_EQ(::GetDlgCtrlID(c.treemapWindow), 1009);
    EXPECT_EQ(::GetDlgCtrlID(c.tabControl), 1013);
    EXPECT_EQ(::GetDlgCtrlID(c.fileList), 1014);
    EXPECT_EQ(ClassOf(c.treemapWindow), L"KestrinTreemap");
    EXPECT_EQ(ClassOf(c.tabControl), L"SysTabControl32");
    EXPECT_EQ(ClassOf(c.progressBar), L"msctls_progress32");
    EXPECT_EQ(::SendMessageW(c.tabControl, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_NE(::GetWindowLongW(c.treeList, GWL_STYLE) & LVS_OWNERDATA, 0);

    const int dpi = ExpectedDpi();
    ASSERT_EQ(::SendMessageW(HeaderOf(c.treeList), HDM_GETITEMCOUNT, 0, 0), 9);
    ASSERT_EQ(::SendMessageW(HeaderOf(c.extensionList), HDM_GETITEMCOUNT, 0, 0), 4);
    ASSERT_EQ(::SendMessageW(HeaderOf(c.fileList), HDM_GETITEMCOUNT, 0, 0), 6);
    EXPECT_EQ(::SendMessageW(c.treeList, LVM_GETCOLUMNWIDTH, 1, 0), ::MulDiv(130, dpi, 96));
    EXPECT_EQ(::SendMessageW(c.fileList, LVM_GETCOLUMNWIDTH, 1, 0), ::MulDiv(360, dpi, 96));
    wchar_t title[32] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_FMT;
    column.pszText = title;
    column.cchTextMax = 32;
    ::SendMessageW(c.treeList, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(title, L"占父目录 %");
    ::SendMessageW(c.extensionList, LVM_GETCOLUMNW, 3, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(title, L"文件数");
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);
}

TEST(MainWindow, LayoutPlacesEveryChildForTheClientSize) {
    ::SetWindowPos(MainWindow(), nullptr, 0, 0, ::MulDiv(1400, ExpectedDpi(), 96),
                   ::MulDiv(900, ExpectedDpi(), 96), SWP_NOMOVE | SWP_NOZORDER);
    test::PumpPending();
    const MainLayout layout = ExpectedLayout();
    const MainControls& c = Controls();
    ExpectPlaced(c.driveLabel, layout.driveLabel);
    ExpectPlaced(c.driveCombo, layout.driveCombo, false);  // closed, not dropped
    ExpectPlaced(c.scanButton, layout.scanButton);
    for (int i = 0; i < 3; ++i) {
        ExpectPlaced(c.spaceLabels[i], layout.spaceLabels[i]);
    }
    ExpectPlaced(c.tabControl, layout.tabControl);
    ExpectPlaced(c.treeHeading, layout.treeHeading);
    ExpectPlaced(c.treeList, layout.treeList);
    ExpectPlaced(c.treemapHeading, layout.treemapHeading);
    ExpectPlaced(c.treemapWindow, layout.treemapWindow);
    ExpectPlaced(c.extensionHeading, layout.extensionHeading);
    ExpectPlaced(c.extensionList, layout.extensionList);
    ExpectPlaced(c.statusLine, layout.statusLine);
    ExpectPlaced(c.progressBar, layout.progressBar);
}

TEST(MainWindow, CannotBeMadeSmallerThanItsMinimum) {
    MINMAXINFO info{};
    ::SendMessageW(MainWindow(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, ::MulDiv(1000, ExpectedDpi(), 96));
    EXPECT_EQ(info.ptMinTrackSize.y, ::MulDiv(680, ExpectedDpi(), 96));
}

TEST(MainWindow, TabsShowTheirOwnControls) {
    const MainControls& c = Controls();
    SelectTabByNotification(1);
    EXPECT_EQ(mainWindowState.currentTab, 1);
    EXPECT_TRUE(::IsWindowVisible(c.fileList));
    EXPECT_FALSE(::IsWindowVisible(c.treeList));
    EXPECT_FALSE(::IsWindowVisible(c.treemapWindow));
    EXPECT_FALSE(::IsWindowVisible(c.extensionList));
    ExpectPlaced(c.fileList, ExpectedLayout().fileList);

    SelectTabByNotification(0);
    EXPECT_EQ(mainWindowState.currentTab, 0);
    EXPECT_FALSE(::IsWindowVisible(c.fileList));
    EXPECT_TRUE(::IsWindowVisible(c.treeList));
    EXPECT_TRUE(::IsWindowVisible(c.extensionHeading));
}

TEST(MainWindow, HeaderClicksToggleTheSortArrow) {
    const MainControls& c = Controls();
    ClickColumn(c.treeList, 3);
    EXPECT_EQ(treeModel.treeSort, (SortState{3, false}));
    EXPECT_EQ(HeaderFormat(c.treeList, 3), HDF_SORTDOWN);
    ClickColumn(c.treeList, 3);
    EXPECT_EQ(treeModel.treeSort, (SortState{3, true}));
    EXPECT_EQ(HeaderFormat(c.treeList, 3), HDF_SORTUP);
    ClickColumn(c.treeList, 0);
    EXPECT_EQ(treeModel.treeSort, (SortState{0, false}));
    EXPECT_EQ(HeaderFormat(c.treeList, 0), HDF_SORTDOWN);
    EXPECT_EQ(HeaderFormat(c.treeList, 3), 0);
    ClickColumn(c.treeList, 2);  // back to the start-up order for the tests after this one

    // The start-up column is already sorted descending: a click on it turns it around.
    ClickColumn(c.fileList, 3);
    EXPECT_EQ(mainWindowState.fileSort, (SortState{3, true}));
    EXPECT_EQ(HeaderFormat(c.fileList, 3), HDF_SORTUP);
    ClickColumn(c.fileList, 3);
    ClickColumn(c.extensionList, 3);
    EXPECT_EQ(mainWindowState.extensionSort, (SortState{3, false}));
    EXPECT_EQ(HeaderFormat(c.extensionList, 3), HDF_SORTDOWN);
    EXPECT_EQ(HeaderFormat(c.extensionList, 1), 0);
    ClickColumn(c.extensionList, 1);
    EXPECT_EQ(mainWindowState.extensionSort, (SortState{1, false}));
}

TEST(MainWindow, ScanCommandIsIgnoredWhileScanning) {
    mainWindowState.scanning = true;
    ::SetWindowTextW(Controls().statusLine, L"并行解析: 3 / 8");
    ::SendMessageW(Controls().progressBar, PBM_SETPOS, 40, 0);
    ::SendMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(ID_SCAN_BUTTON, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Controls().scanButton));
    EXPECT_EQ(WindowText(Controls().statusLine), L"并行解析: 3 / 8");
    EXPECT_EQ(ProgressPosition(), 40);
    mainWindowState.scanning = false;
}

TEST(MainWindow, ScanOfDriveDEndsWithTheCompletionText) {
    ASSERT_TRUE(test::ScanDriveD());
    const ScanResult& result = mainWindowState.currentResult;
    EXPECT_EQ(result.drive, L"D");
    EXPECT_EQ(WindowText(Controls().statusLine), CompletionStatusText(result));
    EXPECT_EQ(WindowText(Controls().statusLine).rfind(L"扫描完成 ", 0), 0u);
    EXPECT_EQ(ProgressPosition(), 100);
    EXPECT_TRUE(::IsWindowEnabled(Controls().scanButton));
    EXPECT_TRUE(::IsWindowEnabled(Controls().driveCombo));
    EXPECT_GT(result.fileCount, 0);
    EXPECT_EQ(ItemCount(Controls().treeList), treeModel.treeRows.size());
    EXPECT_GT(treeModel.treeRows.size(), 1u);  // the root is open
    EXPECT_EQ(ItemCount(Controls().extensionList), extensionView.extensionRows.size());
    EXPECT_GT(extensionView.extensionRows.size(), 0u);
    EXPECT_EQ(fileView.fileRows.size(), std::min<std::size_t>(200, fileView.fileRows.size()));
    EXPECT_EQ(HeaderFormat(Controls().treeList, 2), HDF_SORTDOWN);
}

std::vector<std::wstring>* shownTexts = nullptr;

LRESULT CALLBACK RecordStatusText(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR) {
    if (message == WM_SETTEXT && shownTexts != nullptr) {
        shownTexts->emplace_back(reinterpret_cast<const wchar_t*>(lParam));
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

TEST(MainWindow, ScanShowsEveryStepOfTheEngineThenTheCompletion) {
    std::vector<std::wstring> texts;
    shownTexts = &texts;
    ::SetWindowSubclass(Controls().statusLine, RecordStatusText, 7, 0);
    const bool finished = test::ScanDriveD();
    ::RemoveWindowSubclass(Controls().statusLine, RecordStatusText, 7);
    shownTexts = nullptr;
    ASSERT_TRUE(finished);
    ASSERT_GE(texts.size(), 8u);
    EXPECT_EQ(texts[0], L"正在扫描...");
    EXPECT_EQ(texts[1], L"正在打开 NTFS 卷...");
    EXPECT_EQ(texts[2], L"正在读取 MFT...");
    EXPECT_EQ(texts[3].rfind(L"MFT ", 0), 0u);
    EXPECT_NE(texts[3].find(L" 线程并行解析"), std::wstring::npos);
    const std::size_t last = texts.size() - 1;
    EXPECT_EQ(texts[last - 3], L"解析 ATTRIBUTE_LIST 溢出属性...");
    EXPECT_EQ(texts[last - 2], L"合并扩展 MFT 记录...");
    EXPECT_EQ(texts[last - 1], L"构建目录树...");
    EXPECT_EQ(texts[last], CompletionStatusText(mainWindowState.currentResult));
}

TEST(MainWindow, FailedScanShowsTheFailureAndKeepsTheViews) {
    ASSERT_GT(mainWindowState.currentResult.fileCount, 0) << "needs the scan of D: before it";
    const std::int32_t files = mainWindowState.currentResult.fileCount;
    const std::size_t rows = treeModel.treeRows.size();
    // What the scan thread sends when the volume cannot be opened.
    mainWindowState.scanning = true;
    RunScanThread(L"Q", MainWindow(), ScanDriveMft);
    ASSERT_TRUE(test::PumpUntil([] { return !mainWindowState.scanning; }));
    EXPECT_EQ(WindowText(Controls().statusLine), L"扫描失败 — 请确认以管理员身份运行");
    EXPECT_EQ(mainWindowState.currentResult.fileCount, files);
    EXPECT_EQ(treeModel.treeRows.size(), rows);
    EXPECT_EQ(ItemCount(Controls().treeList), rows);
}

TEST(MainWindow, DpiChangeRescalesFontsAndLayout) {
    RECT window{};
    ::GetWindowRect(MainWindow(), &window);
    ::SendMessageW(MainWindow(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                   reinterpret_cast<LPARAM>(&window));
    EXPECT_EQ(fonts.currentDpi, 144);
    LOGFONTW font{};
    ::GetObjectW(fonts.smallFont.Get(), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -20);
    RECT client{};
    ::GetClientRect(MainWindow(), &client);
    ExpectPlaced(Controls().scanButton,
                 ComputeMainLayout(client.right, client.bottom, 144).scanButton);

    // A DPI of 0 counts as 96.
    ::SendMessageW(MainWindow(), WM_DPICHANGED, 0, reinterpret_cast<LPARAM>(&window));
    EXPECT_EQ(fonts.currentDpi, 96);
    ::GetObjectW(fonts.uiFont.Get(), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -14);

    const WPARAM original = MAKEWPARAM(ExpectedDpi(), ExpectedDpi());
    ::SendMessageW(MainWindow(), WM_DPICHANGED, original, reinterpret_cast<LPARAM>(&window));
    EXPECT_EQ(fonts.currentDpi, ExpectedDpi());
}

}  // namespace
}  // namespace kestrin
