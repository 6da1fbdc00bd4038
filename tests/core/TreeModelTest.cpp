// The tree list's rows over real scans and over hand-made results that break the way damaged
// volumes do: sibling order under every sort, opening and revealing, paths, shares, clicks and
// the treemap moves they cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "core/TestPaths.h"
#include "render/Format.h"
#include "scan/pipeline/ScanPipeline.h"
#include "ui/TextOrder.h"
#include "ui/TreeModel.h"

namespace kestrin {
namespace {

const ScanResult& Scan(const std::string& fixture) {
    static std::map<std::string, ScanResult> scans;
    auto found = scans.find(fixture);
    if (found == scans.end()) {
        found =
            scans.emplace(fixture, ScanPathMft(test::FixtureImage(fixture), L"C", nullptr)).first;
    }
    return found->second;
}

std::int64_t DirAt(const ScanResult& result, const std::vector<std::wstring>& names) {
    std::int64_t record = 5;
    for (const std::wstring& name : names) {
        const auto& children = result.dirs.at(record).children;
        const auto child = std::find_if(children.begin(), children.end(), [&](std::int64_t c) {
            return result.dirs.at(c).name == name;
        });
        record = child == children.end() ? -2 : *child;
    }
    return record;
}

// Index of a folder's row, or of its "[直接文件]" row; -1 when not shown.
std::ptrdiff_t Find(const TreeModel& model, std::int64_t record, bool group = false) {
    const auto row = std::find_if(model.treeRows.begin(), model.treeRows.end(), [&](auto& r) {
        return group ? r.isFilesGroup && r.owner == record
                     : !r.isFilesGroup && !r.isFile && r.recordNumber == record;
    });
    return row == model.treeRows.end() ? -1 : row - model.treeRows.begin();
}

void OpenEverything(TreeModel& model) {
    for (const auto& [record, node] : model.result->dirs) {
        model.expandedFolders.insert(record);
        model.expandedFileGroups.insert(record);
    }
    RebuildTreeRows(model);
}

// Whether sibling rows a then b obey the sort, with the keys read straight from the result.
bool InOrder(const TreeModel& model, std::size_t a, std::size_t b) {
    const std::int32_t column = model.treeSort.column;
    const bool ascending = model.treeSort.ascending;
    struct Facts {
        std::int64_t key;
        std::wstring text, name;
    };
    const auto facts = [&](std::size_t index) -> Facts {
        const TreeRow& row = model.treeRows[index];
        if (const FileRow* f = RowFile(model, index)) {
            return {column == 2   ? f->size
                    : column == 7 ? f->time
                                  : f->allocated,
                    column == 8 ? FormatAttributes(f->attributes) : f->name.str(), f->name.str()};
        }
        if (row.isFilesGroup) {
            const DirNode& p = model.result->dirs.at(row.owner);
            const std::int64_t keys[] = {p.ownAllocated, p.ownAllocated, p.ownSize, p.ownAllocated,
                                         p.ownFiles,     p.ownFiles,     0,         0,
                                         p.ownAllocated};
            return {keys[column], column == 8 ? L"" : L"[直接文件]", L"[直接文件]"};
        }
        const DirNode& n = model.result->dirs.at(row.recordNumber);
        const std::int64_t keys[] = {n.totalAllocated,
                                     n.totalAllocated,
                                     n.totalSize,
                                     n.totalAllocated,
                                     std::int64_t{n.totalFiles} + n.subdirCount,
                                     n.totalFiles,
                                     n.subdirCount,
                                     n.time,
                                     n.totalAllocated};
        return {keys[column], column == 8 ? FormatAttributes(n.attributes) : n.name, n.name};
    };
    const TreeRow& first = model.treeRows[a];
    if (first.isFile && column >= 4 && column <= 6) {
        return model.treeRows[b].fileIndex == first.fileIndex + (ascending ? 1 : -1);
    }
    const Facts x = facts(a), y = facts(b);
    if (column == 0 || column == 8) {
        const int order = CompareTextNoCase(x.text, y.text);
        if (order == 0) {
            return !first.isFilesGroup || model.treeRows[b].isFilesGroup;
        }
        return ascending == (order < 0);
    }
    if (x.key == y.key) {
        return CompareTextNoCase(x.name, y.name) <= 0;
    }
    return ascending == (x.key < y.key);
}

// Walks the rows as a tree: each row one level below the row it belongs to, siblings in sort
// order. Returns the file positions seen per owner.
std::map<std::int64_t, std::set<std::int64_t>> CheckRowTree(const TreeModel& model) {
    std::map<std::int64_t, std::set<std::int64_t>> filesSeen;
    std::vector<std::size_t> parents;
    std::map<std::size_t, std::size_t> lastChild;
    for (std::size_t i = 0; i < model.treeRows.size(); ++i) {
        const TreeRow& row = model.treeRows[i];
        while (!parents.empty() && model.treeRows[parents.back()].depth >= row.depth) {
            parents.pop_back();
        }
        if (parents.empty()) {
            EXPECT_TRUE(i == 0 && row.recordNumber == 5 && row.depth == 0) << "row " << i;
        } else {
            const TreeRow& parent = model.treeRows[parents.back()];
            EXPECT_EQ(row.depth, parent.depth + 1) << "row " << i;
            if (row.isFile) {
                EXPECT_TRUE(parent.isFilesGroup && row.owner == parent.owner) << "row " << i;
                EXPECT_TRUE(filesSeen[row.owner].insert(row.fileIndex).second);
            } else {
                EXPECT_EQ(row.isFilesGroup ? row.owner
                                           : model.result->dirs.at(row.recordNumber).treeParent,
                          parent.recordNumber);
            }
            const auto previous = lastChild.find(parents.back());
            if (previous != lastChild.end()) {
                EXPECT_TRUE(InOrder(model, previous->second, i))
                    << "rows " << previous->second << ", " << i << " column "
                    << model.treeSort.column << (model.treeSort.ascending ? " up" : " down");
            }
            lastChild[parents.back()] = i;
        }
        parents.push_back(i);
    }
    return filesSeen;
}

// A hand-made result with the sums given, so a test states exactly the facts it is about.
struct HandMade {
    ScanResult result;

    HandMade() {
        result.drive = L"C";
        Dir(5, 5, L"[C:]");
    }

    DirNode& Dir(std::int64_t record, std::int64_t parent, std::wstring name,
                 std::int64_t size = 0) {
        if (record != parent) {
            result.dirs[parent].children.push_back(record);
        }
        DirNode& node = result.dirs[record];
        node.recordNumber = record;
        node.treeParent = parent;
        node.name = std::move(name);
        node.totalSize = node.totalAllocated = size;
        return node;
    }
};

// A to Z fold to a to z (so '_' and '[' sort before letters), nothing else folds, and
// characters compare as UTF-16 code units.
TEST(TextOrder, FoldsOnlyAsciiLettersAndComparesUtf16Units) {
    EXPECT_EQ(CompareTextNoCase(L"Report.TXT", L"report.txt"), 0);
    EXPECT_LT(CompareTextNoCase(L"_x", L"Ax"), 0);
    EXPECT_LT(CompareTextNoCase(L"[直接文件]", L"Alpha"), 0);
    EXPECT_NE(CompareTextNoCase(L"Éa", L"éa"), 0);
    EXPECT_LT(CompareTextNoCase(L"ab", L"abc"), 0);
    // U+1D11E is D834 DD1E in UTF-16: below U+E000..U+FFFF, above U+D7FF.
    EXPECT_LT(CompareTextNoCase(L"\U0001D11E", L"\uE000"), 0);
    EXPECT_GT(CompareTextNoCase(L"\U0001D11E", L"\uD7FF"), 0);
    EXPECT_LT(CompareTextNoCase(L"a\U0001D11E", L"a\U0001F600"), 0);
    if constexpr (sizeof(wchar_t) > 2) {
        const std::wstring lone(1, static_cast<wchar_t>(0xD834));
        EXPECT_LT(CompareTextNoCase(lone, L"\U0001D11E"), 0);
        EXPECT_GT(CompareTextNoCase(lone + L"\uFFFF", L"\U0001D11E"), 0);
    }
}

TEST(TreeRows, EverySortKeepsSiblingsInOrderOnEveryFixture) {
    for (const std::string& fixture : test::FixtureNames()) {
        SCOPED_TRACE(fixture);
        const ScanResult& result = Scan(fixture);
        TreeModel model;
        InstallResult(model, &result);
        for (int column = 0; column <= 8 && !HasFailure(); ++column) {
            for (const bool ascending : {false, true}) {
                model.treeSort = {column, ascending};
                OpenEverything(model);
                const auto filesSeen = CheckRowTree(model);
                const auto folders = std::count_if(
                    model.treeRows.begin(), model.treeRows.end(),
                    [](const TreeRow& row) { return !row.isFile && !row.isFilesGroup; });
                EXPECT_EQ(folders, result.dirs.at(5).subdirCount + 1);
                for (const auto& [owner, seen] : filesSeen) {
                    EXPECT_EQ(seen.size(), result.dirFiles.at(owner).size());
                }
            }
        }
    }
}

TEST(TreeRows, FoldersAndFileGroupsOpenCloseAndReveal) {
    const ScanResult& result = Scan("sample");
    TreeModel model;
    InstallResult(model, &result);
    const DirNode& root = result.dirs.at(5);
    ASSERT_GT(root.ownFiles, 0);  // the NTFS system files
    ASSERT_EQ(model.treeRows.size(), 1 + root.children.size() + 1);
    EXPECT_TRUE(RowIsOpen(model, model.treeRows[0]));

    const std::int64_t documents = DirAt(result, {L"Users", L"Alice", L"Documents"});
    RevealFolder(model, documents);
    ASSERT_GE(Find(model, documents, true), 0);
    EXPECT_EQ(model.treeRows[Find(model, documents, true)].groupFileCount, 7);
    const std::size_t closedCount = model.treeRows.size();
    ToggleFileGroup(model, documents);
    ASSERT_EQ(model.treeRows.size(), closedCount + 7);
    EXPECT_TRUE(model.treeRows[Find(model, documents, true) + 1].isFile);
    EXPECT_EQ(model.treeRows[Find(model, documents, true) + 1].depth, 5);

    // "项目", "文件" and "文件夹" keep a folder's files in stored order or reverse it.
    for (const bool ascending : {true, false}) {
        model.treeSort = {6, ascending};
        RebuildTreeRows(model);
        for (std::int64_t i = 0; i < 7; ++i) {
            EXPECT_EQ(model.treeRows[Find(model, documents, true) + 1 + i].fileIndex,
                      ascending ? i : 6 - i);
        }
    }
    ToggleFileGroup(model, documents);
    EXPECT_EQ(model.treeRows.size(), closedCount);

    // Closing an ancestor hides the open subtree; reopening it brings the subtree back.
    const std::int64_t users = DirAt(result, {L"Users"});
    ToggleFolder(model, users);
    EXPECT_EQ(model.treeRows.size(), 1 + root.children.size() + 1);
    ToggleFolder(model, users);
    EXPECT_EQ(model.treeRows.size(), closedCount);

    // The deepest folders of the volume, four levels down.
    const std::pair<std::vector<std::wstring>, std::wstring> deepest[] = {
        {{L"Windows", L"System32", L"drivers", L"etc"}, L"C:\\Windows\\System32\\drivers\\etc"},
        {{L"Program Files", L"Kestrel Demo", L"lang", L"中文"},
         L"C:\\Program Files\\Kestrel Demo\\lang\\中文"},
    };
    for (const auto& [names, path] : deepest) {
        const std::int64_t record = DirAt(result, names);
        InstallResult(model, &result);
        RevealFolder(model, record);
        ASSERT_GE(Find(model, record), 0);
        EXPECT_EQ(model.treeRows[Find(model, record)].depth, 4);
        EXPECT_EQ(RowPath(model, Find(model, record)), path);
        CheckRowTree(model);
    }
}

TEST(TreeRows, PathsAndSharesOfFolderGroupAndFileRows) {
    const ScanResult& result = Scan("sample");
    TreeModel model;
    TreemapState treemap;
    InstallResult(model, &result);
    EXPECT_EQ(RowPath(model, 0), L"C:\\");
    EXPECT_EQ(RowPath(model, Find(model, 5, true)), L"C:\\");
    EXPECT_EQ(RowPath(model, model.treeRows.size()), L"");
    EXPECT_EQ(RowCellText(model, 0, 1), L"100.0%");
    double sum = 0;
    for (std::size_t i = 1; i < model.treeRows.size(); ++i) {
        sum += RowPercent(model, i);
    }
    EXPECT_NEAR(sum, 100.0, 1e-9);  // the root's own files and children share its allocation

    const std::int64_t documents = DirAt(result, {L"Users", L"Alice", L"Documents"});
    ASSERT_TRUE(ShowDirectory(model, treemap, documents, true));
    EXPECT_EQ(RowPath(model, Find(model, documents)), L"C:\\Users\\Alice\\Documents");
    EXPECT_EQ(RowPath(model, Find(model, documents, true)), L"C:\\Users\\Alice\\Documents");
    EXPECT_EQ(RowFile(model, Find(model, documents, true)), nullptr);
    std::set<std::wstring> paths;
    double fileShares = 0;
    for (std::size_t i = Find(model, documents, true) + 1; model.treeRows[i].isFile; ++i) {
        EXPECT_EQ(RowCellText(model, i, 4) + RowCellText(model, i, 6), L"10");
        paths.insert(RowPath(model, i));
        fileShares += RowPercent(model, i);
    }
    EXPECT_NEAR(fileShares, RowPercent(model, Find(model, documents, true)), 1e-9);
    EXPECT_TRUE(paths.contains(L"C:\\Users\\Alice\\Documents\\报告-2023.docx"));
    // Files of the root carry "C:\" already, so no second backslash is added.
    ToggleFileGroup(model, 5);
    const std::size_t rootFile = Find(model, 5, true) + 1;
    EXPECT_EQ(RowPath(model, rootFile), L"C:\\" + RowFile(model, rootFile)->name.str());

    HandMade made;
    made.Dir(20, 5, L"nothing allocated");
    made.Dir(21, 20, L"child");
    InstallResult(model, &made.result);
    ToggleFolder(model, 20);
    EXPECT_EQ(RowPercent(model, 0), 100.0);  // the root, even with nothing allocated
    EXPECT_EQ(RowCellText(model, 2, 1), L"0.0%");
    EXPECT_EQ(ShareBarWidth(200, RowPercent(model, 2)), 0);
    EXPECT_EQ(ShareBarWidth(200, 0.1), 1);
    EXPECT_EQ(ShareBarWidth(200, 99.9), 199);
    EXPECT_EQ(ShareBarWidth(200, 250.0), 200);
}

TEST(TreeRows, EqualKeysFallBackToCaseInsensitiveNames) {
    HandMade made;
    made.Dir(5, 5, L"[C:]", 4000).ownSize = 1000;
    made.result.dirs[5].ownFiles = 1;
    made.result.dirs[5].ownAllocated = 1000;
    made.Dir(30, 5, L"beta", 1000).time = 7;
    made.Dir(31, 5, L"Alpha", 1000).time = 7;
    made.Dir(32, 5, L"_tools", 1000).time = 9;
    TreeModel model;
    InstallResult(model, &made.result);
    const auto names = [&](int column, bool ascending) {
        model.treeSort = {column, ascending};
        RebuildTreeRows(model);
        std::vector<std::wstring> texts;
        for (std::size_t i = 1; i < model.treeRows.size(); ++i) {
            texts.push_back(RowCellText(model, i, 0));
        }
        return texts;
    };
    using Names = std::vector<std::wstring>;
    EXPECT_EQ(names(2, false), (Names{L"[直接文件]", L"_tools", L"Alpha", L"beta"}));
    EXPECT_EQ(names(2, true), (Names{L"[直接文件]", L"_tools", L"Alpha", L"beta"}));
    EXPECT_EQ(names(7, false), (Names{L"_tools", L"Alpha", L"beta", L"[直接文件]"}));
    EXPECT_EQ(names(0, false), (Names{L"beta", L"Alpha", L"_tools", L"[直接文件]"}));
    // A folder named like the group still comes before it.
    made.Dir(33, 5, L"[直接文件]", 1);
    for (const bool ascending : {false, true}) {
        names(0, ascending);
        EXPECT_EQ(model.treeRows[Find(model, 5, true) - 1].recordNumber, 33);
    }
}

TEST(TreeClicks, TriangleClicksToggleAndMoveTheTreemap) {
    TreeRow row{.depth = 2, .expandable = true};
    EXPECT_TRUE(IsTriangleHit(row, 0, 96));  // in the indentation
    EXPECT_TRUE(IsTriangleHit(row, 54, 96));
    EXPECT_FALSE(IsTriangleHit(row, 55, 96));  // the icon and name
    EXPECT_TRUE(IsTriangleHit(row, 81, 144));
    EXPECT_FALSE(IsTriangleHit(row, 82, 144));
    row.expandable = false;
    EXPECT_FALSE(IsTriangleHit(row, 0, 96));

    const ScanResult& result = Scan("sample");
    TreeModel model;
    TreemapState treemap;
    InstallResult(model, &result);
    const std::int64_t users = DirAt(result, {L"Users"});
    EXPECT_TRUE(ClickTreeRow(model, treemap, Find(model, users)));
    EXPECT_TRUE(model.expandedFolders.contains(users));
    EXPECT_EQ(treemap.treemapDirectory, users);
    EXPECT_FALSE(treemap.treemapShowsFiles);
    // Closing leaves the treemap where it is.
    EXPECT_FALSE(ClickTreeRow(model, treemap, Find(model, users)));
    EXPECT_FALSE(model.expandedFolders.contains(users));
    EXPECT_EQ(treemap.treemapDirectory, users);

    EXPECT_FALSE(ClickTreeRow(model, treemap, Find(model, 5, true)));
    EXPECT_TRUE(model.expandedFileGroups.contains(5));
    EXPECT_FALSE(ClickTreeRow(model, treemap, Find(model, 5, true) + 1));  // a file row
    EXPECT_FALSE(ClickTreeRow(model, treemap, model.treeRows.size()));
    ToggleFileGroup(model, 5);
    // Double-clicking a group opens it and shows the folder's files in the treemap.
    EXPECT_TRUE(DoubleClickTreeRow(model, treemap, Find(model, 5, true)));
    EXPECT_EQ(treemap.treemapDirectory, 5);
    EXPECT_TRUE(treemap.treemapShowsFiles);
    EXPECT_FALSE(DoubleClickTreeRow(model, treemap, Find(model, 5, true) + 1));
    EXPECT_FALSE(DoubleClickTreeRow(model, treemap, Find(model, 5, true)));
    EXPECT_FALSE(model.expandedFileGroups.contains(5));

    // An empty folder: a double-click changes nothing and the treemap stays.
    HandMade made;
    made.Dir(40, 5, L"empty");
    made.Dir(41, 5, L"full", 10).ownFiles = 1;
    made.result.dirFiles[41].push_back(FileRow{L"a.txt", L"C:\\full", L".txt", 10, 10, 90});
    InstallResult(model, &made.result);
    treemap = {41, true};
    const std::size_t rows = model.treeRows.size();
    EXPECT_FALSE(DoubleClickTreeRow(model, treemap, Find(model, 40)));
    EXPECT_EQ(model.treeRows.size(), rows);
    EXPECT_EQ(model.expandedFolders, (std::unordered_set<std::int64_t>{5}));
    EXPECT_EQ(treemap.treemapDirectory, 41);
    EXPECT_TRUE(treemap.treemapShowsFiles);
}

TEST(TreeShowDirectory, BothModesSelectTheirRowsAndHeadings) {
    const ScanResult& result = Scan("sample");
    TreeModel model;
    TreemapState treemap;
    InstallResult(model, &result);
    EXPECT_EQ(TreemapHeadingText(&result, treemap), L"顶级文件夹");
    EXPECT_EQ(TreemapHeadingText(nullptr, {77, false}), L"顶级文件夹");
    EXPECT_EQ(TreemapHeadingText(&result, {5, true}), L"顶级文件夹");

    const std::int64_t system32 = DirAt(result, {L"Windows", L"System32"});
    ASSERT_TRUE(ShowDirectory(model, treemap, system32, false));
    EXPECT_EQ(treemap.treemapDirectory, system32);
    EXPECT_FALSE(treemap.treemapShowsFiles);
    EXPECT_EQ(ShowDirectoryTargetRow(model, treemap, system32), Find(model, system32));
    EXPECT_EQ(TreemapHeadingText(&result, treemap), L"System32");
    EXPECT_FALSE(model.expandedFileGroups.contains(system32));

    ASSERT_TRUE(ShowDirectory(model, treemap, system32, true));
    EXPECT_TRUE(treemap.treemapShowsFiles);
    EXPECT_EQ(ShowDirectoryTargetRow(model, treemap, system32), Find(model, system32, true));
    EXPECT_TRUE(model.treeRows[Find(model, system32, true) + 1].isFile);
    EXPECT_EQ(TreemapHeadingText(&result, treemap), L"System32 / [直接文件]");

    // A folder with files but no subfolders opens in files mode even when asked for folders.
    const std::int64_t logs = DirAt(result, {L"Windows", L"Logs"});
    ASSERT_TRUE(ShowDirectory(model, treemap, logs, false));
    EXPECT_EQ(treemap.treemapDirectory, logs);
    EXPECT_TRUE(treemap.treemapShowsFiles);
    EXPECT_EQ(ShowDirectoryTargetRow(model, treemap, logs), Find(model, logs, true));

    // Nothing to show in the asked mode, or an unknown folder: nothing changes.
    const std::int64_t drivers = DirAt(result, {L"Windows", L"System32", L"drivers"});
    ASSERT_EQ(result.dirs.at(drivers).ownFiles, 0);
    const std::size_t rows = model.treeRows.size();
    EXPECT_FALSE(ShowDirectory(model, treemap, drivers, true));
    EXPECT_FALSE(ShowDirectory(model, treemap, 999999, false));
    EXPECT_EQ(treemap.treemapDirectory, logs);
    EXPECT_TRUE(treemap.treemapShowsFiles);
    EXPECT_EQ(model.treeRows.size(), rows);
    EXPECT_EQ(ShowDirectoryTargetRow(model, treemap, 999999), -1);
}

// Damaged volumes: treeParent links that loop or lead nowhere, children lists that loop, file
// lists that are missing or shorter than the rows made from them.
TEST(TreeDamaged, LoopsAndMissingRecordsEndAndShowNothing) {
    HandMade made;
    made.Dir(5, 5, L"[C:]", 100);
    made.Dir(50, 5, L"looped", 60);
    made.Dir(51, 50, L"inner", 60).children = {5, 50};  // children loop back up
    made.result.dirs[50].treeParent = 51;               // 50 -> 51 -> 50 ...
    made.Dir(52, 5, L"orphan", 40).treeParent = 777;
    made.result.dirs[52].ownFiles = 2;  // but no dirFiles list

    TreeModel model;
    InstallResult(model, &made.result);
    OpenEverything(model);
    ASSERT_EQ(model.treeRows.size(), 5u);  // 5, 50, 51, 52 and the group of 52
    EXPECT_EQ(Find(model, 52, true), 4);
    const std::wstring looped = RowPath(model, Find(model, 50));
    EXPECT_EQ(looped.rfind(L"C:\\", 0), 0u);
    EXPECT_TRUE(looped.ends_with(L"\\looped"));
    EXPECT_LE(std::count(looped.begin(), looped.end(), L'\\'), 512);
    RevealFolder(model, 51);
    EXPECT_EQ(RowPercent(model, Find(model, 52)), 100.0);  // parent unknown
    EXPECT_EQ(RowPath(model, Find(model, 52)), L"C:\\orphan");
    TreemapState treemap;
    EXPECT_TRUE(ShowDirectory(model, treemap, 50, false));
    EXPECT_TRUE(ShowDirectory(model, treemap, 52, true));
    EXPECT_EQ(TreemapHeadingText(&made.result, treemap), L"orphan / [直接文件]");

    // File rows whose list shrank underneath them: empty texts, share 0, no path.
    made.result.dirFiles[52] = {FileRow{L"x.bin", L"C:\\orphan", L".bin", 5, 8, 60},
                                FileRow{L"y.bin", L"C:\\orphan", L".bin", 5, 8, 61}};
    RebuildTreeRows(model);
    ASSERT_EQ(model.treeRows.size(), 7u);
    made.result.dirFiles[52].pop_back();
    ASSERT_EQ(model.treeRows[6].fileIndex, 1);
    EXPECT_EQ(RowFile(model, 6), nullptr);
    for (int column = 0; column <= 8; ++column) {
        EXPECT_EQ(RowCellText(model, 6, column), L"");
    }
    EXPECT_EQ(RowPercent(model, 6), 0.0);
    EXPECT_EQ(RowPath(model, 6), L"");

    InstallResult(model, nullptr);
    ToggleFolder(model, 5);
    RevealFolder(model, 5);
    EXPECT_TRUE(model.treeRows.empty());
}

}  // namespace
}  // namespace kestrin
