// The treemap's items for a directory and the squarified tiles they are drawn in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>

#include "core/TestPaths.h"
#include "render/TreemapLayout.h"
#include "render/TreemapModel.h"
#include "scan/pipeline/ScanPipeline.h"

namespace kestrin {
namespace {

// A hand-made tree: the root plus whatever the test adds under it. Sums are given, not
// computed, so a test can state exactly the directory facts it is about.
class TreeBuilder {
public:
    TreeBuilder() { result_.dirs[5] = Node(5, 5, L"[C:]", 0, 0, 0); }

    DirNode& Dir(std::int64_t record, std::int64_t parent, std::wstring name,
                 std::int64_t totalSize, std::int64_t ownSize = 0, std::int32_t ownFiles = 0) {
        result_.dirs[parent].children.push_back(record);
        return result_.dirs[record] =
                   Node(record, parent, std::move(name), totalSize, ownSize, ownFiles);
    }

    void File(std::int64_t directory, std::wstring name, std::int64_t size) {
        FileRow row;
        row.name = std::move(name);
        row.size = size;
        result_.dirFiles[directory].push_back(std::move(row));
    }

    DirNode& Root() { return result_.dirs[5]; }
    ScanResult& Result() { return result_; }

private:
    static DirNode Node(std::int64_t record, std::int64_t parent, std::wstring name,
                        std::int64_t totalSize, std::int64_t ownSize, std::int32_t ownFiles) {
        DirNode node;
        node.recordNumber = record;
        node.parentRecord = parent;
        node.treeParent = parent;
        node.name = std::move(name);
        node.totalSize = totalSize;
        node.ownSize = ownSize;
        node.ownFiles = ownFiles;
        return node;
    }

    ScanResult result_;
};

std::vector<TreemapItem> Build(const ScanResult& result, std::int64_t directory) {
    bool showsFiles = false;
    return BuildTreemapItems(result, directory, showsFiles);
}

std::vector<std::wstring> Names(const std::vector<TreemapItem>& items) {
    std::vector<std::wstring> names;
    for (const TreemapItem& item : items) {
        names.push_back(item.name);
    }
    return names;
}

TEST(TreemapItems, IncludesOnlySubdirectoriesWithContent) {
    TreeBuilder tree;
    tree.Dir(10, 5, L"empty", 0);
    tree.Dir(11, 5, L"zero-byte files", 0, 0, 2);
    tree.Dir(12, 5, L"nested empty", 0);
    tree.Dir(13, 12, L"inner", 0);
    tree.Dir(14, 5, L"listed", 50, 50, 1);
    tree.File(14, L"a.bin", 50);
    tree.Dir(15, 5, L"unlisted", 40, 40, 1);
    tree.Dir(16, 5, L"empty list", 30, 30, 1);
    tree.Result().dirFiles[16];
    tree.Root().children.push_back(99);  // a child the map does not know

    const std::vector<TreemapItem> items = Build(tree.Result(), 5);
    std::map<std::int64_t, TreemapItem> byRecord;
    for (const TreemapItem& item : items) {
        byRecord[item.recordNumber] = item;
    }
    EXPECT_EQ(byRecord.count(10), 0u);
    EXPECT_EQ(byRecord.count(99), 0u);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(byRecord[11].size, 1);
    EXPECT_FALSE(byRecord[11].navigable);
    EXPECT_EQ(byRecord[12].size, 1);
    EXPECT_TRUE(byRecord[12].navigable);
    EXPECT_TRUE(byRecord[14].navigable);
    EXPECT_FALSE(byRecord[15].navigable);
    EXPECT_FALSE(byRecord[16].navigable);
    // Skipped children take no colour: the included ones use the palette without gaps.
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].color, treemapPalette[i]);
        EXPECT_FALSE(items[i].isFile || items[i].isOwnFiles);
        EXPECT_EQ(items[i].fileIndex, 0);
    }
}

TEST(TreemapItems, SortsSubdirectoriesAndColoursOwnFilesWithTheNextEntry) {
    TreeBuilder tree;
    tree.Root().ownFiles = 3;  // zero-byte files still get a tile of weight 1
    tree.Dir(20, 5, L"small", 10);
    tree.Dir(21, 5, L"large", 3000);
    tree.Dir(22, 5, L"middle", 200);
    std::vector<TreemapItem> items = Build(tree.Result(), 5);
    EXPECT_EQ(Names(items),
              (std::vector<std::wstring>{L"large", L"middle", L"small", L"[直接文件]"}));
    const TreemapItem& own = items.back();
    EXPECT_TRUE(own.isOwnFiles && own.navigable && !own.isFile);
    EXPECT_EQ(own.size, 1);
    EXPECT_EQ(own.recordNumber, 5);
    EXPECT_EQ(own.color, treemapPalette[3]);

    // Thirteen tiles: the last one, here the own-files tile, wraps to the first colour.
    for (int i = 0; i < 9; ++i) {
        tree.Dir(100 + i, 5, L"d" + std::to_wstring(i), 5);
    }
    items = Build(tree.Result(), 5);
    ASSERT_EQ(items.size(), 13u);
    EXPECT_EQ(items[11].color, treemapPalette[11]);
    EXPECT_TRUE(items[12].isOwnFiles);
    EXPECT_EQ(items[12].color, treemapPalette[0]);
}

TEST(TreemapItems, DirectoryHoldingOnlyFilesOpensInFilesMode) {
    TreeBuilder tree;
    tree.Dir(30, 5, L"docs", 900, 900, 4);
    tree.File(30, L"middle.txt", 300);
    tree.File(30, L"empty.txt", 0);
    tree.File(30, L"large.txt", 600);
    tree.File(30, L"broken.txt", -5);

    bool showsFiles = false;
    const std::vector<TreemapItem> items = BuildTreemapItems(tree.Result(), 30, showsFiles);
    EXPECT_TRUE(showsFiles);
    ASSERT_EQ(Names(items), (std::vector<std::wstring>{L"large.txt", L"middle.txt"}));
    EXPECT_EQ(items[0].fileIndex, 2);
    EXPECT_EQ(items[1].fileIndex, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_TRUE(items[i].isFile);
        EXPECT_FALSE(items[i].navigable || items[i].isOwnFiles);
        EXPECT_EQ(items[i].recordNumber, 30);
        EXPECT_EQ(items[i].color, treemapPalette[i]);
    }
    EXPECT_EQ(items[0].size, 600);

    // The same directory shown again with the flag already set lists the same files.
    EXPECT_EQ(Names(BuildTreemapItems(tree.Result(), 30, showsFiles)), Names(items));
}

TEST(TreemapItems, FilesModeNeedsAListAndNoSubdirectories) {
    TreeBuilder tree;
    tree.Dir(40, 5, L"no list", 100, 100, 2);
    tree.Dir(41, 5, L"with subdirectory", 300, 100, 1);
    tree.File(41, L"own.bin", 100);
    tree.Dir(42, 41, L"sub", 200);

    bool showsFiles = false;
    std::vector<TreemapItem> items = BuildTreemapItems(tree.Result(), 40, showsFiles);
    EXPECT_FALSE(showsFiles);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(items[0].isOwnFiles);

    items = BuildTreemapItems(tree.Result(), 41, showsFiles);
    EXPECT_FALSE(showsFiles);
    EXPECT_EQ(Names(items), (std::vector<std::wstring>{L"sub", L"[直接文件]"}));

    // Files mode chosen by the caller lists the files even beside subdirectories.
    showsFiles = true;
    items = BuildTreemapItems(tree.Result(), 41, showsFiles);
    EXPECT_EQ(Names(items), (std::vector<std::wstring>{L"own.bin"}));
    EXPECT_TRUE(items[0].isFile);
}

TEST(TreemapItems, MissingDirectoryShowsTheRoot) {
    TreeBuilder tree;
    tree.Root().ownSize = 64;
    tree.Root().ownFiles = 1;
    tree.Dir(50, 5, L"only", 10);

    const std::int64_t missing = 777;
    const std::vector<TreemapItem> items = Build(tree.Result(), missing);
    EXPECT_EQ(Names(items), (std::vector<std::wstring>{L"only", L"[直接文件]"}));
    EXPECT_EQ(items[1].recordNumber, 5);

    tree.Result().dirs.erase(5);
    EXPECT_TRUE(Build(tree.Result(), missing).empty());
}

// --- Layout ---

std::vector<TreemapItem> Sized(std::initializer_list<std::int64_t> sizes) {
    std::vector<TreemapItem> items;
    for (const std::int64_t size : sizes) {
        TreemapItem item;
        item.size = size;
        items.push_back(item);
    }
    return items;
}

struct Box {
    std::int32_t left, top, right, bottom;
    auto operator<=>(const Box&) const = default;
};

std::set<Box> Boxes(const std::vector<TreemapTile>& tiles) {
    std::set<Box> boxes;
    for (const TreemapTile& tile : tiles) {
        boxes.insert({tile.left, tile.top, tile.right, tile.bottom});
    }
    return boxes;
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << '(' << box.left << ',' << box.top << ',' << box.right << ',' << box.bottom << ')';
}

TEST(TreemapLayout, NothingToLayOutGivesNoTiles) {
    EXPECT_TRUE(LayoutTreemap({0, 0, 100, 100}, {}).empty());
    EXPECT_TRUE(LayoutTreemap({0, 0, 0, 100}, Sized({10})).empty());
    EXPECT_TRUE(LayoutTreemap({0, 0, 100, 0}, Sized({10})).empty());
    EXPECT_TRUE(LayoutTreemap({50, 50, 10, 100}, Sized({10})).empty());
    EXPECT_TRUE(LayoutTreemap({0, 0, 100, 100}, Sized({0, -4})).empty());
}

TEST(TreemapLayout, TwoEqualItemsStackInOneColumnAtAnyScale) {
    const std::set<Box> expected = {{0, 0, 100, 50}, {0, 50, 100, 100}};
    for (const std::int64_t size : {std::int64_t{1000}, std::int64_t{1000000000}}) {
        const std::vector<TreemapTile> tiles = LayoutTreemap({0, 0, 100, 100}, Sized({size, size}));
        ASSERT_EQ(tiles.size(), 2u) << size;
        EXPECT_EQ(Boxes(tiles), expected) << size;
        EXPECT_NE(tiles[0].itemIndex, tiles[1].itemIndex);
    }
}

TEST(TreemapLayout, RowsRunAlongTheShorterSide) {
    // Wide: two columns side by side; tall: two bands one above the other.
    EXPECT_EQ(Boxes(LayoutTreemap({0, 0, 200, 100}, Sized({1, 1}))),
              (std::set<Box>{{0, 0, 100, 100}, {100, 0, 200, 100}}));
    EXPECT_EQ(Boxes(LayoutTreemap({0, 0, 100, 200}, Sized({1, 1}))),
              (std::set<Box>{{0, 0, 100, 100}, {0, 100, 100, 200}}));
    // Offset rectangle, largest item first, indices kept, non-positive items skipped.
    const std::vector<TreemapTile> tiles =
        LayoutTreemap({10, 20, 310, 120}, Sized({0, 100, -3, 200}));
    ASSERT_EQ(tiles.size(), 2u);
    EXPECT_EQ(tiles[0].itemIndex, 3);
    EXPECT_EQ(Boxes({tiles[0]}), (std::set<Box>{{10, 20, 210, 120}}));
    EXPECT_EQ(tiles[1].itemIndex, 1);
    EXPECT_EQ(Boxes({tiles[1]}), (std::set<Box>{{210, 20, 310, 120}}));
}

TEST(TreemapLayout, StopsWhenTheRemainingRectangleIsHalfAPixel) {
    // 7 of 8 parts of a 4x1 strip is 3.5 pixels wide: its edge rounds up to 4 and the 0.5 pixels
    // left over end the layout, so the small item gets no tile.
    std::vector<TreemapTile> tiles = LayoutTreemap({0, 0, 4, 1}, Sized({7, 1}));
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].itemIndex, 0);
    EXPECT_EQ(Boxes(tiles), (std::set<Box>{{0, 0, 4, 1}}));

    tiles = LayoutTreemap({0, 0, 10, 10}, Sized({1, 1000000}));
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].itemIndex, 1);
}

TEST(TreemapLayout, StripSharesOneSideByWeight) {
    const std::vector<TreemapCandidate> candidates = {{7, 2}, {8, 1}, {9, 1}};
    std::vector<TreemapTile> tiles;
    LayoutStrip(candidates, 4, 10, 20, 100, 40, false, tiles);
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[2].itemIndex, 9);
    EXPECT_EQ(Boxes(tiles), (std::set<Box>{{10, 20, 60, 60}, {60, 20, 85, 60}, {85, 20, 110, 60}}));
    tiles.clear();
    LayoutStrip(candidates, 4, 10, 20, 100, 40, true, tiles);
    EXPECT_EQ(Boxes(tiles),
              (std::set<Box>{{10, 20, 110, 40}, {10, 40, 110, 50}, {10, 50, 110, 60}}));
    tiles.clear();
    LayoutStrip(candidates, 0.5, 0, 0, 100, 40, true, tiles);
    LayoutStrip(candidates, 4, 0, 0, 0, 40, true, tiles);
    EXPECT_TRUE(tiles.empty());
}

TEST(TreemapLayout, WorstRatioIsSmallerForSquarerRows) {
    constexpr double kWorst = std::numeric_limits<double>::max();
    // Raw byte counts along a 10-pixel side: a row of 100 fills a 10x10 square.
    const double square[] = {100};
    const double tooLong[] = {400};
    const double split[] = {50, 50};
    const double uneven[] = {90, 10};
    EXPECT_DOUBLE_EQ(WorstRatio(square, 10), 1.0);
    EXPECT_LT(WorstRatio(square, 10), WorstRatio(tooLong, 10));
    EXPECT_LT(WorstRatio(square, 10), WorstRatio(split, 10));
    EXPECT_LT(WorstRatio(split, 10), WorstRatio(uneven, 10));

    const double withZero[] = {5, 0};
    const double huge[] = {1e300, 1e300};
    EXPECT_EQ(WorstRatio(square, 0), kWorst);
    EXPECT_EQ(WorstRatio({}, 10), kWorst);
    EXPECT_EQ(WorstRatio(withZero, 10), kWorst);
    EXPECT_EQ(WorstRatio(huge, 10), kWorst);
}

// Checks what must hold for any layout: tiles inside the rectangle, no pixel painted twice, no
// item tiled twice, and items left out only when smaller than every item that was placed.
// Returns the number of pixels covered.
std::int64_t CheckTiling(const TreemapRect& rect, const std::vector<TreemapItem>& items,
                         const std::vector<TreemapTile>& tiles) {
    const std::int64_t width = rect.right - rect.left;
    const std::int64_t height = rect.bottom - rect.top;
    std::vector<std::uint8_t> painted(static_cast<std::size_t>(width * height), 0);
    std::vector<int> tilesOfItem(items.size(), 0);
    std::int64_t covered = 0;
    std::int64_t smallestPlaced = std::numeric_limits<std::int64_t>::max();
    for (const TreemapTile& tile : tiles) {
        EXPECT_GE(tile.left, rect.left);
        EXPECT_GE(tile.top, rect.top);
        EXPECT_LE(tile.right, rect.right);
        EXPECT_LE(tile.bottom, rect.bottom);
        EXPECT_LE(tile.left, tile.right);
        EXPECT_LE(tile.top, tile.bottom);
        if (tile.itemIndex < 0 || tile.itemIndex >= static_cast<std::int64_t>(items.size())) {
            ADD_FAILURE() << "tile for item " << tile.itemIndex;
            continue;
        }
        ++tilesOfItem[static_cast<std::size_t>(tile.itemIndex)];
        smallestPlaced = std::min(smallestPlaced, items[tile.itemIndex].size);
        for (std::int32_t y = std::max(tile.top, rect.top); y < std::min(tile.bottom, rect.bottom);
             ++y) {
            for (std::int32_t x = std::max(tile.left, rect.left);
                 x < std::min(tile.right, rect.right); ++x) {
                std::uint8_t& pixel = painted[(y - rect.top) * width + (x - rect.left)];
                if (++pixel == 2) {
                    ADD_FAILURE() << "pixel " << x << ',' << y << " painted twice";
                }
                ++covered;
            }
        }
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_LE(tilesOfItem[i], 1) << "item " << i;
        if (items[i].size <= 0) {
            EXPECT_EQ(tilesOfItem[i], 0) << "item " << i;
        } else if (tilesOfItem[i] == 0) {
            EXPECT_LE(items[i].size, smallestPlaced) << "item " << i << " left out";
        }
    }
    return covered;
}

std::int64_t AreaOf(const TreemapRect& rect) {
    return std::int64_t{rect.right - rect.left} * (rect.bottom - rect.top);
}

std::size_t PositiveItems(const std::vector<TreemapItem>& items) {
    return static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(), [](const TreemapItem& i) { return i.size > 0; }));
}

TEST(TreemapLayout, ComparableSizesEachGetOneTileCoveringTheRectangle) {
    // Every item's share is larger than half the longer side, so the remaining rectangle can
    // never thin out to half a pixel before all items are placed.
    std::mt19937 random(20240301);
    for (int trial = 0; trial < 300; ++trial) {
        const std::int32_t left = std::uniform_int_distribution<std::int32_t>(0, 50)(random);
        const std::int32_t top = std::uniform_int_distribution<std::int32_t>(0, 50)(random);
        const TreemapRect rect = {
            left, top, left + std::uniform_int_distribution<std::int32_t>(120, 500)(random),
            top + std::uniform_int_distribution<std::int32_t>(120, 500)(random)};
        std::vector<TreemapItem> items(std::uniform_int_distribution<std::size_t>(1, 40)(random));
        for (TreemapItem& item : items) {
            item.size = std::uniform_int_distribution<std::int64_t>(1000, 5000)(random);
        }
        const std::vector<TreemapTile> tiles = LayoutTreemap(rect, items);
        ASSERT_EQ(tiles.size(), items.size()) << "trial " << trial;
        EXPECT_EQ(CheckTiling(rect, items, tiles), AreaOf(rect)) << "trial " << trial;
        if (HasFailure()) {
            break;
        }
    }
}

TEST(TreemapLayout, ExtremeSizesStayInsideAndLoseOnlyTheSmallest) {
    std::mt19937_64 random(7);
    for (int trial = 0; trial < 200; ++trial) {
        const TreemapRect rect = {0, 0, std::uniform_int_distribution<std::int32_t>(1, 300)(random),
                                  std::uniform_int_distribution<std::int32_t>(1, 300)(random)};
        std::vector<TreemapItem> items(std::uniform_int_distribution<std::size_t>(1, 60)(random));
        for (TreemapItem& item : items) {
            // Sizes spread over every magnitude an int64 holds, plus some that get no tile.
            const int bits = std::uniform_int_distribution<int>(0, 63)(random);
            item.size = bits == 0 ? -std::int64_t{1} << 40
                                  : static_cast<std::int64_t>(random() >> (64 - bits));
        }
        if (trial % 10 == 0) {
            items.push_back({});
            items.back().size = std::numeric_limits<std::int64_t>::max();
        }
        const std::vector<TreemapTile> tiles = LayoutTreemap(rect, items);
        const std::int64_t covered = CheckTiling(rect, items, tiles);
        if (tiles.size() == PositiveItems(items)) {
            EXPECT_EQ(covered, AreaOf(rect)) << "trial " << trial;
        }
        if (HasFailure()) {
            break;
        }
    }
}

TEST(TreemapLayout, ManyEqualItemsComeOutNearlySquare) {
    const TreemapRect rect = {0, 0, 500, 500};
    std::vector<TreemapItem> items(50);
    for (TreemapItem& item : items) {
        item.size = 123456789;
    }
    const std::vector<TreemapTile> tiles = LayoutTreemap(rect, items);
    ASSERT_EQ(tiles.size(), 50u);
    EXPECT_EQ(CheckTiling(rect, items, tiles), AreaOf(rect));
    for (const TreemapTile& tile : tiles) {
        const double width = tile.right - tile.left;
        const double height = tile.bottom - tile.top;
        EXPECT_GE(std::min(width, height) * 4, std::max(width, height))
            << Box{tile.left, tile.top, tile.right, tile.bottom};
    }
}

TEST(TreemapLayout, ThousandsOfFilesTileAFullScreen) {
    // A files-mode directory: sizes falling off steeply, as real file sizes do.
    const TreemapRect rect = {0, 0, 1920, 1080};
    std::mt19937_64 random(99);
    std::vector<TreemapItem> items(20000);
    for (TreemapItem& item : items) {
        item.size = static_cast<std::int64_t>(
            std::exp(std::uniform_real_distribution<double>(0.0, 30.0)(random)));
    }
    const std::vector<TreemapTile> tiles = LayoutTreemap(rect, items);
    EXPECT_EQ(CheckTiling(rect, items, tiles), AreaOf(rect));
    EXPECT_GT(tiles.size(), 1000u);
    // The largest items are placed first and come out as blocks, not slivers.
    ASSERT_FALSE(tiles.empty());
    const TreemapTile& first = tiles.front();
    const std::int32_t thinnest = std::min(first.right - first.left, first.bottom - first.top);
    EXPECT_GT(thinnest, 10);
}

// --- Over a real scan ---

class TreemapFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sample_ = new ScanResult(ScanPathMft(test::FixtureImage("sample"), L"C", nullptr));
    }
    static void TearDownTestSuite() {
        delete sample_;
        sample_ = nullptr;
    }

    static std::int64_t FindDirectory(const std::wstring& name, std::int64_t parent) {
        for (const auto& [record, node] : sample_->dirs) {
            if (node.name == name && node.treeParent == parent) {
                return record;
            }
        }
        ADD_FAILURE() << "no directory of that name under " << parent;
        return -1;
    }

    static ScanResult* sample_;
};

ScanResult* TreemapFixture::sample_ = nullptr;

TEST_F(TreemapFixture, RootItemsFollowTheDirectoryTree) {
    const ScanResult& result = *sample_;
    bool showsFiles = false;
    const std::vector<TreemapItem> items = BuildTreemapItems(result, 5, showsFiles);
    EXPECT_FALSE(showsFiles);

    const DirNode& root = result.dirs.at(5);
    std::set<std::int64_t> expected;
    for (const std::int64_t child : root.children) {
        const DirNode& node = result.dirs.at(child);
        if (node.totalSize > 0 || !node.children.empty() || node.ownFiles > 0) {
            expected.insert(child);
        }
    }
    ASSERT_GE(expected.size(), 3u);  // Users, Program Files, Windows at least
    ASSERT_EQ(items.size(), expected.size() + 1);

    std::set<std::int64_t> seen;
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        const DirNode& node = result.dirs.at(items[i].recordNumber);
        EXPECT_EQ(items[i].name, node.name);
        EXPECT_EQ(items[i].size, std::max<std::int64_t>(node.totalSize, 1));
        if (i > 0) {
            EXPECT_GE(items[i - 1].size, items[i].size);
        }
        seen.insert(items[i].recordNumber);
    }
    EXPECT_EQ(seen, expected);
    // The system files NTFS keeps in the root are its own files.
    EXPECT_TRUE(items.back().isOwnFiles);
    EXPECT_EQ(items.back().size, root.ownSize);

    const std::vector<TreemapTile> tiles = LayoutTreemap({0, 0, 800, 600}, items);
    EXPECT_EQ(CheckTiling({0, 0, 800, 600}, items, tiles), 800 * 600);
}

TEST_F(TreemapFixture, FolderOfFilesOpensInFilesMode) {
    const std::int64_t users = FindDirectory(L"Users", 5);
    const std::int64_t alice = FindDirectory(L"Alice", users);
    const std::int64_t documents = FindDirectory(L"Documents", alice);
    ASSERT_TRUE(sample_->dirFiles.count(documents));
    const std::vector<FileRow>& files = sample_->dirFiles.at(documents);

    bool showsFiles = false;
    const std::vector<TreemapItem> items = BuildTreemapItems(*sample_, documents, showsFiles);
    EXPECT_TRUE(showsFiles);
    // Seven files, one of them empty.
    EXPECT_EQ(files.size(), 7u);
    ASSERT_EQ(items.size(), 6u);
    for (std::size_t i = 0; i < items.size(); ++i) {
        ASSERT_TRUE(items[i].isFile);
        const FileRow& file = files.at(static_cast<std::size_t>(items[i].fileIndex));
        EXPECT_EQ(items[i].name, file.name);
        EXPECT_EQ(items[i].size, file.size);
        if (i > 0) {
            EXPECT_GE(items[i - 1].size, items[i].size);
        }
    }
    EXPECT_EQ(items.front().name, L"résumé.PDF");

    // Alice has subdirectories and her own files: no files mode there.
    showsFiles = false;
    const std::vector<TreemapItem> aliceItems = BuildTreemapItems(*sample_, alice, showsFiles);
    EXPECT_FALSE(showsFiles);
    ASSERT_FALSE(aliceItems.empty());
    EXPECT_TRUE(aliceItems.back().isOwnFiles);
    EXPECT_EQ(aliceItems.back().size, sample_->dirs.at(alice).ownSize);
    EXPECT_EQ(aliceItems.front().name, L"Pictures");
}

}  // namespace
}  // namespace kestrin
