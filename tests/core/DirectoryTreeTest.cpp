// The folder tree built from the accumulator: where folders and files with broken parent links
// end up, the subtree sums, the paths the views show, and the extension and largest-file lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <tuple>

#include "scan/results/DirectoryTree.h"

namespace kestrin {
namespace {

MftEntry File(std::int64_t record, std::int64_t parent, const std::wstring& name, std::int64_t size,
              std::int64_t allocated = 0) {
    const std::int64_t time = 0x01D0000000000000 + record;
    return MftEntry{record, parent, name, size, allocated, time, 0x20, false};
}

MftEntry Folder(std::int64_t record, std::int64_t parent, const std::wstring& name) {
    return MftEntry{record, parent, name, 0, 0, 0, 0x10, true};
}

ScanResult Build(const std::vector<MftEntry>& entries, const wchar_t* drive = L"C") {
    ScanSlice slice;
    for (const MftEntry& entry : entries) {
        AddEntry(slice, entry);
    }
    ScanResult result;
    BuildResult(result, slice, drive);
    return result;
}

const FileRow& RowOf(const std::vector<FileRow>& rows, std::int64_t record) {
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [&](const FileRow& row) { return row.recordNumber == record; });
    if (found == rows.end()) {
        throw std::out_of_range("no row for record " + std::to_string(record));
    }
    return *found;
}

using Records = std::pair<std::int64_t, std::int64_t>;
using Sums = std::array<std::int64_t, 7>;
Sums SumsOf(const DirNode& node) {
    return {node.ownSize,        node.ownAllocated, node.ownFiles,   node.totalSize,
            node.totalAllocated, node.totalFiles,   node.subdirCount};
}

TEST(DirectoryTree, BrokenParentLinksHangUnderTheRootOrNowhere) {
    const ScanResult r = Build({
        Folder(5, 5, L"."),
        Folder(40, 5, L"Users"),
        Folder(41, 40, L"Alice"),
        Folder(42, 0, L"NoParent"),
        Folder(43, 60, L"UnderAFile"),
        Folder(44, 44, L"Self"),
        Folder(45, 46, L"LoopA"),
        Folder(46, 45, L"LoopB"),
        File(60, 41, L"notes.txt", 100, 4096),
        File(61, 40, L"a.txt", 10, 4096),
        File(62, 999, L"lost.bin", 7, 8),
        File(63, 0, L"zero", 3),
        File(64, 43, L"under.txt", 5, 1024),
        File(65, 44, L"in-self.dat", 1000, 4096),
        File(66, 45, L"in-loop.dat", 2000, 4096),
    });
    EXPECT_EQ(std::pair(r.fileCount, r.dirCount), std::pair(7, 7));
    const DirNode& root = r.dirs.at(5);
    EXPECT_EQ(root.name, L"[C:]");
    for (const std::int64_t record : {5, 0, 999, 60}) {
        EXPECT_EQ(FolderPath(r.dirs, record, L"C"), L"C:\\") << record;
    }
    EXPECT_EQ(FolderPath(r.dirs, 41, L"C"), L"C:\\Users\\Alice");
    EXPECT_EQ(FolderPath(r.dirs, 42, L"C"), L"C:\\NoParent");
    EXPECT_EQ(FolderPath(r.dirs, 43, L"C"), L"C:\\UnderAFile");
    EXPECT_EQ(Records(r.dirs.at(43).treeParent, r.dirs.at(43).parentRecord), Records(5, 60));
    // Largest first; the self-parented and looping folders are nobody's children but their own.
    EXPECT_EQ(root.children, (std::vector<std::int64_t>{40, 43, 42}));

    // The root's own files are the two with parent 0 or unknown, listed at C:\.
    EXPECT_EQ(SumsOf(root), (Sums{10, 8, 2, 125, 9224, 5, 4}));
    EXPECT_EQ(SumsOf(r.dirs.at(40)), (Sums{10, 4096, 1, 110, 8192, 2, 1}));
    EXPECT_EQ(SumsOf(r.dirs.at(41)), (Sums{100, 4096, 1, 100, 4096, 1, 0}));
    EXPECT_EQ(r.rootTotalSize, 125);
    EXPECT_EQ(RowOf(r.dirFiles.at(5), 62).folderPath, L"C:\\");
    EXPECT_EQ(RowOf(r.dirFiles.at(5), 63).folderPath, L"C:\\");
    EXPECT_EQ(r.dirFiles.count(0) + r.dirFiles.count(999), 0u);
    const FileRow& notes = RowOf(r.dirFiles.at(41), 60);
    EXPECT_EQ(notes.folderPath, L"C:\\Users\\Alice");
    EXPECT_EQ(std::tie(notes.extension, notes.size, notes.allocated, notes.time, notes.attributes),
              std::make_tuple(L".txt", 100, 4096, 0x01D0000000000000 + 60, 0x20u));

    // Unreachable folders keep zero sums, yet their files count and show in the statistics, and
    // a path through a loop still ends.
    for (const std::int64_t lost : {44, 45, 46}) {
        EXPECT_EQ(SumsOf(r.dirs.at(lost)), Sums{}) << lost;
        EXPECT_EQ(FolderPath(r.dirs, lost, L"C").rfind(L"C:\\", 0), 0u) << lost;
    }
    const auto dat = std::find_if(r.extStats.begin(), r.extStats.end(),
                                  [](const ExtStat& s) { return s.extension == L".dat"; });
    ASSERT_NE(dat, r.extStats.end());
    EXPECT_EQ(std::pair(dat->size, dat->files), std::pair(std::int64_t{3000}, 2));

    ASSERT_EQ(r.largestFiles.size(), 7u);
    EXPECT_EQ(Records(r.largestFiles[0].recordNumber, r.largestFiles[6].recordNumber),
              Records(66, 63));
    EXPECT_EQ(RowOf(r.largestFiles, 62).folderPath, L"C:\\");
    EXPECT_EQ(RowOf(r.largestFiles, 60).folderPath, L"C:\\Users\\Alice");
    EXPECT_EQ(RowOf(r.largestFiles, 64).folderPath, L"C:\\UnderAFile");
}

TEST(DirectoryTree, AScanWithNothingInItHasOneEmptyRoot) {
    const ScanResult r = Build({}, L"D");
    ASSERT_EQ(r.dirs.size(), 1u);
    EXPECT_EQ(r.dirs.at(5).name, L"[D:]");
    EXPECT_TRUE(r.dirs.at(5).children.empty());
    EXPECT_EQ(SumsOf(r.dirs.at(5)), Sums{});
    EXPECT_EQ(std::tie(r.drive, r.rootTotalSize), std::make_tuple(L"D", 0));
    EXPECT_EQ(FolderPath(r.dirs, 5, L"D"), L"D:\\");
    EXPECT_TRUE(r.dirFiles.empty() && r.extStats.empty() && r.largestFiles.empty());
}

TEST(DirectoryTree, ExtensionsAreCountedAsWrittenLargestTotalFirst) {
    const std::vector<MftEntry> files = {
        File(60, 5, L"a.txt", 5),    File(61, 5, L"b.TXT", 7),
        File(62, 5, L"c", 11),       File(63, 5, L".profile", 13),
        File(64, 5, L"archive.", 1), File(65, 5, L"x.verylongname", 2)};
    const ScanResult r = Build(files);
    std::vector<std::tuple<std::wstring, std::int64_t, std::int32_t>> rows;
    for (const ExtStat& stat : r.extStats) {
        rows.emplace_back(stat.extension, stat.size, stat.files);
    }
    EXPECT_EQ(rows, (decltype(rows){{L"(无扩展名)", 24, 2},
                                    {L".TXT", 7, 1},
                                    {L".txt", 5, 1},
                                    {L".verylongname", 2, 1},
                                    {L".", 1, 1}}));
    EXPECT_EQ(RowOf(r.dirFiles.at(5), 62).extension, L"(无扩展名)");
    EXPECT_EQ(RowOf(r.largestFiles, 63).extension, L"(无扩展名)");
    EXPECT_EQ(RowOf(r.largestFiles, 64).extension, L".");

    // Largest files kept by a slice merged into another know their extension by its text alone.
    ScanSlice added;
    for (const MftEntry& file : files) {
        AddEntry(added, file);
    }
    ScanSlice merged;
    AddEntry(merged, File(66, 5, L"first.bin", 3));
    MergeSlice(merged, added);
    ScanResult m;
    BuildResult(m, merged, L"C");
    for (const FileRow& row : r.largestFiles) {
        EXPECT_EQ(RowOf(m.largestFiles, row.recordNumber).extension, row.extension);
    }
}

TEST(BuildResult, DamagedHugeSizesSaturateInsteadOfOverflowing) {
    // Sizes come from the disk as they are; two damaged ones in one folder and a third below it
    // must not wrap the totals negative.
    constexpr std::int64_t kHuge = 0x6000000000000000;
    const ScanResult result =
        Build({Folder(30, 5, L"d"), Folder(31, 30, L"e"), File(40, 30, L"a", kHuge, kHuge),
               File(41, 30, L"b", kHuge, kHuge), File(42, 31, L"c", kHuge, kHuge)});
    EXPECT_EQ(result.dirs.at(30).ownSize, INT64_MAX);
    EXPECT_EQ(result.dirs.at(30).totalAllocated, INT64_MAX);
    EXPECT_EQ(result.rootTotalSize, INT64_MAX);
    EXPECT_EQ(result.extStats.at(0).size, INT64_MAX);
}

}  // namespace
}  // namespace kestrin
