// The main window's decisions that need no window: layout arithmetic, DPI scaling, sort
// toggling, header geometry, the drive panel's texts and the status line's.
#include <gtest/gtest.h>

#include "render/Dpi.h"
#include "render/FontStyles.h"
#include "shell/IconKey.h"
#include "ui/DrivePanelTexts.h"
#include "ui/HeaderGeometry.h"
#include "ui/MainLayout.h"
#include "ui/SortState.h"
#include "ui/StatusTexts.h"

namespace kestrin {
namespace {

TEST(Dpi, ScalesLikeMulDivAndTreatsNoDpiAs96) {
    EXPECT_EQ(ScaleForDpi(12, 144), 18);
    EXPECT_EQ(ScaleForDpi(13, 144), 20);  // 19.5 rounds away from zero
    EXPECT_EQ(ScaleForDpi(5, 120), 6);    // 6.25
    EXPECT_EQ(ScaleForDpi(-13, 144), -20);
    EXPECT_EQ(UsableDpi(0), 96);
    EXPECT_EQ(UsableDpi(-1), 96);
    EXPECT_EQ(FontHeight(kUiFontStyle, 144), -21);
    EXPECT_EQ(FontHeight(kButtonFontStyle, 144), -24);
    EXPECT_EQ(FontHeight(kSmallFontStyle, 144), -20);
    EXPECT_EQ(FontHeight(kHeadingFontStyle, 0), -14);
}

TEST(MainLayout, PlacesTheBandsTabsAndBothContentAreas) {
    const MainLayout layout = ComputeMainLayout(1304, 801, 96);
    EXPECT_EQ(layout.driveCombo, (ControlRect{64, 10, 220, 300}));
    EXPECT_EQ(layout.scanButton, (ControlRect{296, 8, 96, 34}));
    EXPECT_EQ(layout.spaceLabels[2], (ControlRect{432, 52, 1304 - 432 - 12, 22}));
    EXPECT_EQ(layout.tabControl, (ControlRect{12, 78, 1280, 30}));
    const int contentTop = 136;
    const int contentHeight = 801 - contentTop - 30 - 12;
    EXPECT_EQ(layout.fileList, (ControlRect{12, contentTop, 1280, contentHeight}));
    const int split = static_cast<int>(1304 * 0.62);  // 808
    EXPECT_EQ(layout.treeHeading, (ControlRect{12, contentTop - 28, split - 12, 22}));
    EXPECT_EQ(layout.treeList, (ControlRect{12, contentTop, split - 4 - 12, contentHeight}));
    EXPECT_EQ(layout.treemapWindow,
              (ControlRect{split + 4, contentTop, 1304 - split - 4 - 12, 200}));
    EXPECT_EQ(layout.extensionHeading.y, contentTop + 208 - 28);
    EXPECT_EQ(layout.extensionList.height, contentHeight - 208);
    EXPECT_EQ(layout.statusLine, (ControlRect{12, 801 - 25, 1280 - 240, 22}));
    EXPECT_EQ(layout.progressBar, (ControlRect{1304 - 12 - 220, 801 - 27, 220, 20}));
}

TEST(MainLayout, ScalesEveryMetricAt144Dpi) {
    const MainLayout small = ComputeMainLayout(1000, 700, 96);
    const MainLayout large = ComputeMainLayout(1500, 1050, 144);
    EXPECT_EQ(large.driveLabel, (ControlRect{18, 18, 72, 33}));
    EXPECT_EQ(large.scanButton.x, small.scanButton.x * 3 / 2);
    EXPECT_EQ(large.treemapWindow.height, 300);
    EXPECT_EQ(large.tabControl.y, 117);
    EXPECT_EQ(large.fileList.y, small.fileList.y * 3 / 2);
    EXPECT_EQ(MainWindowMinimumSize(144).width, 1500);
    EXPECT_EQ(MainWindowInitialSize(144).height, 1260);
    EXPECT_EQ(MainWindowInitialSize(0).width, 1320);
}

TEST(MainLayout, ExtensionListKeepsItsMinimumHeightInALowWindow) {
    const MainLayout layout = ComputeMainLayout(1000, 300, 96);
    EXPECT_EQ(layout.extensionList.height, 80);
    EXPECT_EQ(layout.treeList.height, 300 - 136 - 30 - 12);
}

TEST(SortState, NewColumnStartsDescendingAndASecondClickToggles) {
    SortState sort{2, false};
    sort = NextSortState(sort, 5);
    EXPECT_EQ(sort, (SortState{5, false}));
    sort = NextSortState(sort, 5);
    EXPECT_EQ(sort, (SortState{5, true}));
    sort = NextSortState(sort, 5);
    EXPECT_EQ(sort, (SortState{5, false}));
    sort = NextSortState(SortState{5, true}, 1);
    EXPECT_EQ(sort, (SortState{1, false}));
    EXPECT_EQ(ArrowForColumn({1, false}, 1), SortArrow::Down);
    EXPECT_EQ(ArrowForColumn({1, true}, 1), SortArrow::Up);
    EXPECT_EQ(ArrowForColumn({1, true}, 0), SortArrow::None);
}

TEST(HeaderGeometry, ArrowSitsOnTheSideAwayFromTheText) {
    const PixelRect item{100, 0, 210, 24};
    const HeaderItemGeometry left = LayoutHeaderItem(item, false, SortArrow::Down, 96);
    ASSERT_TRUE(left.hasArrow);
    EXPECT_EQ(left.arrow[2], (PixelPoint{198, 15}));  // pointing down from the centre line 12
    EXPECT_EQ(left.arrow[0], (PixelPoint{195, 9}));
    EXPECT_EQ(left.text, (PixelRect{109, 2, 187, 22}));
    const HeaderItemGeometry right = LayoutHeaderItem(item, true, SortArrow::Up, 96);
    EXPECT_EQ(right.arrow[2], (PixelPoint{109, 9}));  // pointing up, at the left edge
    EXPECT_EQ(right.text, (PixelRect{123, 2, 201, 22}));
    const HeaderItemGeometry none = LayoutHeaderItem(item, true, SortArrow::None, 144);
    EXPECT_FALSE(none.hasArrow);
    EXPECT_EQ(none.text, (PixelRect{114, 3, 196, 21}));
    // A column narrower than its insets gets an empty text rectangle inside the item.
    const HeaderItemGeometry narrow = LayoutHeaderItem({0, 0, 10, 24}, false, SortArrow::Up, 96);
    EXPECT_GE(narrow.text.left, 0);
    EXPECT_LE(narrow.text.right, 10);
}

TEST(DrivePanelTexts, EntriesLettersAndSpaceLines) {
    EXPECT_EQ(DriveEntryText(L'C', L"System"), L"[C:] System");
    EXPECT_EQ(DriveEntryText(L'D', L""), L"[D:]");
    EXPECT_EQ(DriveLetterOfEntry(L"[D:] Data"), L"D");
    EXPECT_EQ(DriveLetterOfEntry(L""), L"C");
    EXPECT_EQ(DriveLetterOfEntry(L"["), L"C");
    EXPECT_EQ(DriveLetterOfEntry(L"D:"), L"C");

    const auto dashes = SpacePanelTexts({});
    EXPECT_EQ(dashes[0], L"总空间 —");
    EXPECT_EQ(dashes[1], L"已用 —");
    EXPECT_EQ(dashes[2], L"可用 —");
    const std::int64_t total = 1000204886016;
    const std::int64_t free = 342860141363;
    const auto lines = SpacePanelTexts({total, free, total - free});
    EXPECT_EQ(lines[0], L"总空间  931.51 GB");
    EXPECT_EQ(lines[1], L"已用  612.20 GB  (65.7%)");
    EXPECT_EQ(lines[2], L"可用  319.31 GB  (34.3%)");
    // Quotas can make the free part larger than what is left: used is then negative and shows 0.
    const auto quota = SpacePanelTexts({100, 150, -50});
    EXPECT_EQ(quota[1], L"已用  0 B  (0.0%)");
    EXPECT_EQ(quota[2], L"可用  150 B  (100.0%)");
}

TEST(StatusTexts, ACompletedScanSaysWhenPartOfTheMftCouldNotBeRead) {
    ScanResult result;
    result.seconds = 1.5;
    result.rootTotalSize = 2048;
    result.fileCount = 3;
    result.dirCount = 1;
    const std::wstring complete =
        L"扫描完成 1.50 秒 · MFT · 2.00 KB · 3 文件 · 1 文件夹 · 单击三角展开";
    EXPECT_EQ(CompletionStatusText(result), complete);
    result.unreadMftRecords = 310;
    EXPECT_EQ(CompletionStatusText(result), complete + L" · 部分 MFT 无法读取");
}

TEST(IconKey, FoldsOnlyAsciiAndAddsTheFullStop) {
    EXPECT_EQ(NormalizeExtension(L"TXT"), L".txt");
    EXPECT_EQ(NormalizeExtension(L".TXT"), L".txt");
    EXPECT_EQ(NormalizeExtension(L".txt"), L".txt");
    EXPECT_EQ(NormalizeExtension(L""), L"");
    EXPECT_EQ(NormalizeExtension(L".ÄBC"), L".Äbc");
}

}  // namespace
}  // namespace kestrin
