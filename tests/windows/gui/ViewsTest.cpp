// The three lists and the treemap after a real scan of drive D:, through the notifications the
// controls send and the messages a user's mouse makes.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include "render/Dpi.h"
#include "render/Fonts.h"
#include "render/GdiObjects.h"
#include "render/TreemapLayout.h"
#include "render/TreemapWindow.h"
#include "shell/ContextMenu.h"
#include "shell/FileIcons.h"
#include "ui/ExtensionRows.h"
#include "ui/ExtensionView.h"
#include "ui/FileRows.h"
#include "ui/FileView.h"
#include "ui/MainWindow.h"
#include "ui/TreeView.h"
#include "windows/gui/GuiTest.h"

namespace kestrin {
namespace {

const MainControls& Controls() {
    return mainWindowState.controls;
}

class Views : public ::testing::Test {
protected:
    void SetUp() override {
        if (mainWindowState.currentResult.fileCount == 0) {
            ASSERT_TRUE(test::ScanDriveD());
        }
        if (mainWindowState.currentTab != 0) {
            SelectTab(0);
        }
    }
};

std::wstring ItemText(HWND list, int row, int column, int buffer = 260) {
    std::wstring text(static_cast<std::size_t>(buffer), L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = buffer;
    const auto length =
        ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

int ItemCount(HWND list) {
    return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

RECT RowBounds(HWND list, int row) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    ::SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

int SelectedRow(HWND list) {
    return static_cast<int>(
        ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The first closed folder row below the root that has subfolders.
int ClosedFolderWithChildren() {
    const ScanResult& result = mainWindowState.currentResult;
    for (std::size_t i = 1; i < treeModel.treeRows.size(); ++i) {
        const TreeRow& row = treeModel.treeRows[i];
        if (!row.isFile && !row.isFilesGroup && !RowIsOpen(treeModel, row) &&
            !result.dirs.at(row.recordNumber).children.empty()) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void SendClick(HWND list, UINT code, int row, POINT point) {
    NMITEMACTIVATE click{};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
    click.hdr.code = code;
    click.iItem = row;
    click.ptAction = point;
    ::SendMessageW(::GetParent(list), WM_NOTIFY, click.hdr.idFrom,
                   reinterpret_cast<LPARAM>(&click));
}

TEST_F(Views, ListsHandOutTheTextsOfTheirRows) {
    const ScanResult& result = mainWindowState.currentResult;
    const HWND tree = Controls().treeList;
    ASSERT_EQ(ItemCount(tree), static_cast<int>(treeModel.treeRows.size()));
    EXPECT_EQ(ItemText(tree, 0, 0), L"[D:]");
    EXPECT_EQ(ItemText(tree, 0, 1), L"100.0%");
    for (int column = 0; column < 9; ++column) {
        EXPECT_EQ(ItemText(tree, 1, column), RowCellText(treeModel, 1, column)) << column;
    }
    EXPECT_EQ(ItemText(tree, 0, 0, 3), L"[D");  // cut to the buffer the list supplies

    const HWND files = Controls().fileList;
    ASSERT_EQ(ItemCount(files), static_cast<int>(fileView.fileRows.size()));
    ASSERT_GT(ItemCount(files), 0);
    const FileRow& largest = result.largestFiles[fileView.fileRows[0]];
    EXPECT_EQ(ItemText(files, 0, 0), largest.name);
    EXPECT_EQ(ItemText(files, 0, 3), FileCellText(largest, 3));

    const HWND extensions = Controls().extensionList;
    ASSERT_EQ(ItemCount(extensions), static_cast<int>(extensionView.extensionRows.size()));
    const ExtStat& first = result.extStats[extensionView.extensionRows[0]];
    EXPECT_EQ(ItemText(extensions, 0, 0), first.extension);
    EXPECT_EQ(ItemText(extensions, 0, 2), ExtensionCellText(first, 2, result.rootTotalSize));
    EXPECT_EQ(ItemText(extensions, ItemCount(extensions), 0), L"");  // past the last row
}

TEST_F(Views, TriangleClickOpensTheFolderAndMovesTheTreemap) {
    const HWND tree = Controls().treeList;
    const int row = ClosedFolderWithChildren();
    ASSERT_GE(row, 0);
    const TreeRow folder = treeModel.treeRows[static_cast<std::size_t>(row)];
    const std::size_t before = treeModel.treeRows.size();
    const RECT bounds = RowBounds(tree, row);
    const int dpi = fonts.currentDpi;
    const int triangleX = bounds.left + ScaleForDpi(6 + 16 * folder.depth + 5, dpi);
    const int nameX = bounds.left + ScaleForDpi(6 + 16 * folder.depth + 40, dpi);
    const int y = (bounds.top + bounds.bottom) / 2;

    SendClick(tree, NM_CLICK, row, {nameX, y});  // on the name: only the list's selection
    EXPECT_EQ(treeModel.treeRows.size(), before);

    SendClick(tree, NM_CLICK, row, {triangleX, y});
    EXPECT_TRUE(treeModel.expandedFolders.contains(folder.recordNumber));
    EXPECT_GT(treeModel.treeRows.size(), before);
    EXPECT_EQ(ItemCount(tree), static_cast<int>(treeModel.treeRows.size()));
    EXPECT_EQ(treemap.state.treemapDirectory, folder.recordNumber);
    EXPECT_FALSE(treemap.state.treemapShowsFiles);
    EXPECT_EQ(test::WindowText(Controls().treemapHeading),
              mainWindowState.currentResult.dirs.at(folder.recordNumber).name);

    SendClick(tree, NM_CLICK, row, {triangleX, y});  // closes again; the treemap stays
    EXPECT_FALSE(treeModel.expandedFolders.contains(folder.recordNumber));
    EXPECT_EQ(treeModel.treeRows.size(), before);
    EXPECT_EQ(treemap.state.treemapDirectory, folder.recordNumber);
}

// The centre of the first tile whose item passes `wanted`, in treemap client coordinates.
template <typename Predicate>
bool TileCentre(Predicate wanted, POINT& centre, const TreemapItem** item = nullptr) {
    RECT client{};
    ::GetClientRect(Controls().treemapWindow, &client);
    for (const TreemapTile& tile :
         LayoutTreemap({0, 0, client.right, client.bottom}, treemap.treemapItems)) {
        const TreemapItem& candidate =
            treemap.treemapItems[static_cast<std::size_t>(tile.itemIndex)];
        if (wanted(candidate) && tile.right - tile.left > 2 && tile.bottom - tile.top > 2) {
            centre = {(tile.left + tile.right) / 2, (tile.top + tile.bottom) / 2};
            if (item != nullptr) {
                *item = &candidate;
            }
            return true;
        }
    }
    return false;
}

TEST_F(Views, DoubleClickOnATileSelectsItsFolderInTheTree) {
    ShowDirectoryInTree(5, false);
    POINT centre{};
    const TreemapItem* item = nullptr;
    ASSERT_TRUE(
        TileCentre([](const TreemapItem& i) { return i.navigable && !i.isFile && !i.isOwnFiles; },
                   centre, &item));
    const std::int64_t record = item->recordNumber;
    ::SendMessageW(Controls().treemapWindow, WM_LBUTTONDBLCLK, 0, MAKELPARAM(centre.x, centre.y));
    EXPECT_EQ(treemap.state.treemapDirectory, record);
    const int selected = SelectedRow(Controls().treeList);
    ASSERT_GE(selected, 0);
    EXPECT_EQ(treeModel.treeRows[static_cast<std::size_t>(selected)].recordNumber, record);
    EXPECT_FALSE(treeModel.treeRows[static_cast<std::size_t>(selected)].isFile);
}

TEST_F(Views, HandCursorOnlyOverTilesThatOpen) {
    ShowDirectoryInTree(5, false);
    const HWND window = Controls().treemapWindow;
    const auto cursorOver = [window](POINT point) {
        ::ClientToScreen(window, &point);
        ::SetCursorPos(point.x, point.y);
        test::PumpPending();
        const LRESULT handled =
            ::SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return std::make_pair(handled, ::GetCursor());
    };
    POINT centre{};
    ASSERT_TRUE(TileCentre([](const TreemapItem& i) { return i.navigable; }, centre));
    const auto [handled, cursor] = cursorOver(centre);
    EXPECT_EQ(handled, TRUE);
    EXPECT_EQ(cursor, ::LoadCursorW(nullptr, IDC_HAND));

    // In files mode every tile is a file: the arrow stays.
    const std::int64_t folder = treemap.state.treemapDirectory;
    treemap.state.treemapShowsFiles = true;
    RebuildTreemapItems();
    if (TileCentre([](const TreemapItem& i) { return i.isFile; }, centre)) {
        const auto over = cursorOver(centre);
        EXPECT_EQ(over.second, ::LoadCursorW(nullptr, IDC_ARROW));
    }
    treemap.state = {folder, false};
    RebuildTreemapItems();
}

// Paints one row through the list's custom-draw notification into a bitmap and reads a pixel
// inside the row, clear of any text.
COLORREF PaintedBackground(HWND list, int row) {
    const RECT bounds = RowBounds(list, row);
    WindowDc screen(list);
    MemoryDc dc(screen.Get());
    UniqueBitmap bitmap(
        ::CreateCompatibleBitmap(screen.Get(), bounds.right + 10, bounds.bottom + 10));
    SelectionGuard selected(dc.Get(), bitmap.Get());
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = list;
    draw.nmcd.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.hdc = dc.Get();
    draw.nmcd.rc = bounds;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
    const LRESULT answer = ::SendMessageW(::GetParent(list), WM_NOTIFY, draw.nmcd.hdr.idFrom,
                                          reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(answer, CDRF_SKIPDEFAULT | CDRF_NOTIFYPOSTPAINT);
    return ::GetPixel(dc.Get(), bounds.right - 3, bounds.top + 2);
}

TEST_F(Views, SelectedRowsArePaintedInTheAccentColour) {
    for (HWND list : {Controls().treeList, Controls().extensionList}) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
        EXPECT_EQ(PaintedBackground(list, 0), RGB(0, 120, 215));
        state.state = 0;
        ::SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
        EXPECT_EQ(PaintedBackground(list, 0), RGB(255, 255, 255));
    }
}

TEST(ShellIcons, OneCachedIconPerNormalisedExtension) {
    const HICON text = GetExtensionIcon(L".txt");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(GetExtensionIcon(L"TXT"), text);
    EXPECT_EQ(GetExtensionIcon(L".TXT"), text);
    EXPECT_NE(GetExtensionIcon(L""), nullptr);  // the bare name "file": the generic icon
}

bool contextMenuOpened = false;

void CALLBACK CloseAnyMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    contextMenuOpened = ::FindWindowW(L"#32768", nullptr) != nullptr;
    ::EndMenu();
}

TEST(ContextMenu, ShownForAFolderTheShellKnowsAndNotForAMissingOne) {
    contextMenuOpened = false;
    ::SetTimer(nullptr, 0, 300, CloseAnyMenu);
    ShowItemContextMenu(test::MainWindow(), L"D:\\", {100, 100});  // returns once it is closed
    EXPECT_TRUE(contextMenuOpened);

    contextMenuOpened = false;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 200, CloseAnyMenu);
    ShowItemContextMenu(test::MainWindow(), L"D:\\no such folder\\gone.txt", {100, 100});
    ShowItemContextMenu(test::MainWindow(), L"", {100, 100});
    test::PumpUntil([] { return false; }, std::chrono::milliseconds(400));
    ::KillTimer(nullptr, timer);
    EXPECT_FALSE(contextMenuOpened);
}

}  // namespace
}  // namespace kestrin
