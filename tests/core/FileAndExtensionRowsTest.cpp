// The rows, orders, texts and swatch colours of the file view and the extension view, over real
// scans of the fixture images and a few hand-made results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "core/TestPaths.h"
#include "render/TreemapModel.h"
#include "scan/pipeline/ScanPipeline.h"
#include "ui/ExtensionRows.h"
#include "ui/FileRows.h"
#include "ui/TextOrder.h"

namespace kestrin {
namespace {

ScanResult Scanned(const std::string& fixture) {
    return ScanPathMft(test::FixtureImage(fixture), L"C", {});
}

int Order(std::int64_t a, std::int64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// What each header click must order by, read straight off the fields.
const std::vector<std::function<int(const FileRow&, const FileRow&)>> kFileKeys = {
    [](const FileRow& a, const FileRow& b) { return CompareTextNoCase(a.name.wide(), b.name.wide()); },
    [](const FileRow& a, const FileRow& b) {
        return CompareTextNoCase(a.folderPath, b.folderPath);
    },
    [](const FileRow& a, const FileRow& b) { return CompareTextNoCase(a.extension, b.extension); },
    [](const FileRow& a, const FileRow& b) { return Order(a.size, b.size); },
    [](const FileRow& a, const FileRow& b) { return Order(a.allocated, b.allocated); },
    [](const FileRow& a, const FileRow& b) { return Order(a.time, b.time); },
};

const std::vector<std::function<int(const ExtStat&, const ExtStat&)>> kExtensionKeys = {
    [](const ExtStat& a, const ExtStat& b) { return CompareTextNoCase(a.extension, b.extension); },
    [](const ExtStat& a, const ExtStat& b) { return Order(a.size, b.size); },
    [](const ExtStat& a, const ExtStat& b) { return Order(a.size, b.size); },
    [](const ExtStat& a, const ExtStat& b) { return Order(a.files, b.files); },
};

// After a header click the whole list is ordered by the column's own field, and the view shows
// the first `limit` entries that `shown` accepts, in the new order.
template <typename Item, typename Key, typename Shown>
void CheckClick(const std::vector<Item>& items, const std::vector<std::size_t>& rows,
                const Key& key, bool ascending, Shown shown, std::size_t limit) {
    for (std::size_t i = 1; i < items.size(); ++i) {
        const int order = key(items[i - 1], items[i]);
        ASSERT_TRUE(ascending ? order <= 0 : order >= 0) << "positions " << i - 1 << ", " << i;
    }
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i < items.size() && expected.size() < limit; ++i) {
        if (shown(items[i])) {
            expected.push_back(i);
        }
    }
    EXPECT_EQ(rows, expected);
}

bool NonEmptyFile(const FileRow& f) {
    return f.size != 0;
}

TEST(FileRowsTest, EveryHeaderClickSortsTheWholeListAndShowsItsFirstNonEmptyFiles) {
    for (const std::string fixture : {"sample", "fragmented"}) {
        ScanResult result = Scanned(fixture);
        // As delivered, largest first.
        CheckClick(result.largestFiles, BuildFileRows(result), kFileKeys[3], false, NonEmptyFile,
                   kMaxFileRows);
        for (int column = 0; column < static_cast<int>(kFileKeys.size()); ++column) {
            for (const bool ascending : {false, true}) {
                SCOPED_TRACE(fixture + " column " + std::to_string(column) +
                             (ascending ? " ascending" : " descending"));
                SortFileRows(result, {column, ascending});
                CheckClick(result.largestFiles, BuildFileRows(result), kFileKeys[column], ascending,
                           NonEmptyFile, kMaxFileRows);
            }
        }
    }
}

TEST(FileRowsTest, RowsLeaveOutEmptyFilesAndStopAt200) {
    ScanResult result = Scanned("fragmented");
    const auto empty = std::count_if(result.largestFiles.begin(), result.largestFiles.end(),
                                     [](const FileRow& f) { return f.size == 0; });
    ASSERT_GT(empty, 200);  // the emptied fill files
    ASSERT_GT(result.largestFiles.size() - empty, 200u);

    // Smallest first puts every empty file in front; the rows must reach past all of them.
    SortFileRows(result, {3, true});
    const std::vector<std::size_t> rows = BuildFileRows(result);
    ASSERT_EQ(rows.size(), kMaxFileRows);
    EXPECT_EQ(rows.front(), static_cast<std::size_t>(empty));
    EXPECT_EQ(rows.back(), static_cast<std::size_t>(empty) + kMaxFileRows - 1);
}

TEST(FileRowsTest, CellTextsFullPathAndUnknownColumns) {
    FileRow row;
    row.name = L"a.txt";
    row.folderPath = L"C:\\";
    row.extension = L".txt";
    row.size = 1536;
    row.allocated = 4096;
    const std::vector<std::wstring> texts = {
        L"a.txt", L"C:\\", L".txt", L"1.50 KB", L"4.00 KB", L"" /* time unknown */, L""};
    for (int column = 0; column < static_cast<int>(texts.size()); ++column) {
        EXPECT_EQ(FileCellText(row, column), texts[column]) << column;
    }
    EXPECT_EQ(FileRowPath(row), L"C:\\a.txt");
    row.folderPath = L"C:\\Users\\Alice";
    EXPECT_EQ(FileRowPath(row), L"C:\\Users\\Alice\\a.txt");

    // A column the view does not have sorts by size.
    FileRow larger;
    larger.size = 2000;
    EXPECT_TRUE(CompareFileRows(row, larger, {9, true}));
    EXPECT_TRUE(CompareFileRows(larger, row, {-1, false}));
}

TEST(ExtensionColorTest, FollowsThePositionInTheStatistics) {
    ScanResult result = Scanned("sample");
    ASSERT_GT(result.extStats.size(), 12u);  // enough for the palette to wrap
    const auto expectPositions = [&result] {
        for (std::size_t i = 0; i < result.extStats.size(); ++i) {
            const std::wstring& extension = result.extStats[i].extension;
            std::size_t first = 0;  // .TXT takes the colour of an earlier .txt
            while (CompareTextNoCase(result.extStats[first].extension, extension) != 0) {
                ++first;
            }
            EXPECT_EQ(ExtensionColor(result, extension), treemapPalette[first % 12]) << i;
            EXPECT_EQ(ExtensionSwatchColor(i), treemapPalette[i % 12]);
        }
    };
    expectPositions();
    const std::wstring last = result.extStats.back().extension;
    SortExtensionRows(result, {3, true});
    SortExtensionRows(result, {0, true});
    expectPositions();
    EXPECT_NE(result.extStats.back().extension, last);

    result.extStats = {{L".txt", 1, 1}, {L".TXT", 1, 1}};
    EXPECT_EQ(ExtensionColor(result, L".TXT"), treemapPalette[0]);
    EXPECT_EQ(ExtensionColor(result, L".Txt"), treemapPalette[0]);
}

TEST(ExtensionColorTest, UnknownExtensionsHashTheirUtf16Units) {
    const ScanResult none;
    // ((46 * 31) + 122) * 31 + 122 = 48110, and 48110 mod 12 = 2.
    EXPECT_EQ(ExtensionColor(none, L".zz"), treemapPalette[2]);
    // U+1F600 enters as D83D DE00: 46 * 31^2 + 0xD83D * 31 + 0xDE00 = 1817105, mod 12 = 5
    // (the code point itself would give 2).
    EXPECT_EQ(ExtensionColor(none, L".\U0001F600"), treemapPalette[5]);
    // Sixteen Zs wrap an unsigned 64-bit hash to 11729186796817579566, mod 12 = 6 (a 32-bit,
    // 63-bit or unbounded sum gives 10).
    EXPECT_EQ(ExtensionColor(none, L".ZZZZZZZZZZZZZZZZ"), treemapPalette[6]);
}

TEST(ExtensionRowsTest, EveryHeaderClickSortsTheWholeList) {
    const auto shown = [](const ExtStat& e) { return e.size != 0 || e.files != 0; };
    for (const std::string fixture : {"sample", "fragmented-mft"}) {
        ScanResult result = Scanned(fixture);
        CheckClick(result.extStats, BuildExtensionRows(result), kExtensionKeys[1], false, shown,
                   kMaxExtensionRows);
        for (int column = 0; column < static_cast<int>(kExtensionKeys.size()); ++column) {
            for (const bool ascending : {false, true}) {
                SCOPED_TRACE(fixture + " column " + std::to_string(column) +
                             (ascending ? " ascending" : " descending"));
                SortExtensionRows(result, {column, ascending});
                CheckClick(result.extStats, BuildExtensionRows(result), kExtensionKeys[column],
                           ascending, shown, kMaxExtensionRows);
            }
        }
    }
}

TEST(ExtensionRowsTest, At200RowsTheOrderDecidesWhichExtensionsShow) {
    ScanResult result;
    for (int i = 0; i < 350; ++i) {
        wchar_t name[8];
        std::swprintf(name, 8, L".e%03d", i);
        result.extStats.push_back({name, 1000 - i, 1});
    }
    result.extStats.push_back({L".none", 0, 0});
    result.extStats.push_back({L".empty", 0, 4});  // empty files still count

    SortExtensionRows(result, {1, false});
    std::vector<std::size_t> rows = BuildExtensionRows(result);
    ASSERT_EQ(rows.size(), kMaxExtensionRows);
    EXPECT_EQ(result.extStats[rows.back()].extension, L".e199");

    SortExtensionRows(result, {2, true});  // "占比" sorts like "大小"
    rows = BuildExtensionRows(result);
    ASSERT_EQ(rows.size(), kMaxExtensionRows);
    // .none and .empty tie in front in either order; only .empty is shown.
    EXPECT_EQ(result.extStats[rows.front()].extension, L".empty");
    EXPECT_EQ(result.extStats[rows.back()].extension, L".e151");

    SortExtensionRows(result, {0, false});
    rows = BuildExtensionRows(result);
    ASSERT_EQ(rows.size(), kMaxExtensionRows);
    EXPECT_EQ(rows.front(), 1u);  // past the left-out .none
    EXPECT_EQ(result.extStats[rows[0]].extension, L".empty");
    EXPECT_EQ(result.extStats[rows[1]].extension, L".e349");
    EXPECT_EQ(result.extStats[rows.back()].extension, L".e151");
}

TEST(ExtensionRowsTest, CellTexts) {
    const ExtStat stat{L".log", 1536, 12};
    EXPECT_EQ(ExtensionCellText(stat, 0, 12288), L".log");
    EXPECT_EQ(ExtensionCellText(stat, 1, 12288), L"1.50 KB");
    EXPECT_EQ(ExtensionCellText(stat, 2, 12288), L"12.5%");
    EXPECT_EQ(ExtensionCellText(stat, 3, 12288), L"12");
    EXPECT_EQ(ExtensionCellText(stat, 4, 12288), L"");
    // No volume total: shares are taken of one byte and clamp to the whole.
    EXPECT_EQ(ExtensionCellText(stat, 2, 0), L"100.0%");
    // The hundredfold of a large size does not fit 64 bits; the share is still right.
    EXPECT_DOUBLE_EQ(ExtensionSharePercent(INT64_MAX / 2, INT64_MAX), 50.0);
}

}  // namespace
}  // namespace kestrin
