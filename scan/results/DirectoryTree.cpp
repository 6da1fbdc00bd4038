#include "scan/results/DirectoryTree.h"

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include "render/Format.h"
#include "scan/common/SaturatingAdd.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/results/ScanStatistics.h"

namespace kestrin {

namespace {

std::int64_t RootWhenBelowOne(std::int64_t record) {
    return record < 1 ? kRootRecord : record;
}

std::wstring DriveRoot(std::wstring_view drive) {
    return std::wstring(drive) + L":\\";
}

void MakeNodes(ScanResult& result, ScanSlice& slice, std::wstring_view drive) {
    FolderRecord& root = slice.folders.At(kRootRecord);
    if (!root.dirInfo) {
        root.dirInfo = DirInfo{kRootRecord, L".", 0, 0};
    }
    result.dirs.reserve(static_cast<std::size_t>(slice.dirCount) + 1);
    for (const FolderRecord& folder : slice.folders) {
        if (!folder.dirInfo) {
            continue;
        }
        const DirInfo& info = *folder.dirInfo;
        DirNode node;
        node.recordNumber = folder.record;
        node.parentRecord = info.parentRecord;
        node.name = folder.record == kRootRecord ? L"[" + std::wstring(drive) + L":]" : info.name;
        node.time = info.time;
        node.attributes = info.attributes;
        node.indexAllocated = info.indexAllocated;
        result.dirs.emplace(folder.record, std::move(node));
    }
}

void LinkNodes(ScanResult& result) {
    for (auto& [record, node] : result.dirs) {
        if (record == kRootRecord) {
            continue;
        }
        const std::int64_t parent = RootWhenBelowOne(node.parentRecord);
        auto found = result.dirs.find(parent);
        if (found == result.dirs.end()) {
            found = result.dirs.find(kRootRecord);
        }
        found->second.children.push_back(record);
        node.treeParent = found->first;
    }
}

// Files whose parent is 0, unknown or not a directory count directly under the root.
void MoveOrphansToRoot(const ScanResult& result, ScanSlice& slice) {
    FolderRecord& root = slice.folders.At(kRootRecord);
    for (FolderRecord& folder : slice.folders) {
        if (folder.record == kRootRecord || result.dirs.find(folder.record) != result.dirs.end()) {
            continue;
        }
        const SizeTotals totals = std::exchange(folder.ownTotals, SizeTotals{});
        AddSaturating(root.ownTotals.size, totals.size);
        AddSaturating(root.ownTotals.allocated,
                      totals.allocated < 0 ? totals.size : totals.allocated);
        root.ownTotals.count += totals.count;
        root.childFiles.insert(root.childFiles.end(),
                               std::make_move_iterator(folder.childFiles.begin()),
                               std::make_move_iterator(folder.childFiles.end()));
        std::vector<FileRow>().swap(folder.childFiles);
    }
}

// Directories reachable from the root, each after its parent; an explicit stack, so the depth of
// the tree is not bound by the call stack.
std::vector<std::int64_t> VisitOrder(const ScanResult& result) {
    std::vector<std::int64_t> order;
    std::vector<std::int64_t> stack = {kRootRecord};
    while (!stack.empty()) {
        const std::int64_t record = stack.back();
        stack.pop_back();
        order.push_back(record);
        const DirNode& node = result.dirs.at(record);
        stack.insert(stack.end(), node.children.begin(), node.children.end());
    }
    return order;
}

void SumSubtrees(ScanResult& result, const ScanSlice& slice,
                 const std::vector<std::int64_t>& order) {
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        DirNode& node = result.dirs.at(*it);
        const FolderRecord* folder = slice.folders.Find(*it);
        const SizeTotals totals = folder == nullptr ? SizeTotals{} : folder->ownTotals;
        node.ownSize = totals.size;
        node.ownAllocated = totals.allocated;
        node.ownFiles = totals.count;
        node.totalSize = totals.size;
        node.totalAllocated = totals.allocated;
        node.totalFiles = totals.count;
        node.subdirCount = static_cast<std::int32_t>(node.children.size());
        for (const std::int64_t child : node.children) {
            const DirNode& sub = result.dirs.at(child);
            AddSaturating(node.totalSize, sub.totalSize);
            AddSaturating(node.totalAllocated, sub.totalAllocated);
            node.totalFiles += sub.totalFiles;
            node.subdirCount += sub.subdirCount;
        }
    }
}

// The path of every folder reachable from the root, each made from its parent's, where a walk up
// the tree for each folder looked each of its ancestors up again.
FolderPathMap FolderPaths(const ScanResult& result, const std::vector<std::int64_t>& order,
                          std::wstring_view drive) {
    FolderPathMap paths;
    paths.reserve(order.size());
    for (const std::int64_t record : order) {
        if (record == kRootRecord) {
            paths.emplace(record, SharedText(DriveRoot(drive)));
            continue;
        }
        const DirNode& node = result.dirs.at(record);
        paths.emplace(record, SharedText(FilePath(paths.at(node.treeParent).str(), node.name)));
    }
    return paths;
}

// The rows were made as the files were added; what they lack is the path of their folder, which
// only the finished tree gives. Each folder's list moves into the result whole.
void MakeFileRows(ScanResult& result, ScanSlice& slice, const FolderPathMap& paths) {
    for (FolderRecord& folder : slice.folders) {
        const std::int64_t record = RootWhenBelowOne(folder.record);
        if (folder.childFiles.empty() || result.dirs.find(record) == result.dirs.end()) {
            continue;
        }
        std::vector<FileRow>& files = folder.childFiles;
        const auto known = paths.find(record);
        const SharedText path = known != paths.end()
                                    ? known->second
                                    : SharedText(FolderPath(result.dirs, record, result.drive));
        for (FileRow& row : files) {
            row.folderPath = path;
        }
        std::vector<FileRow>& rows = result.dirFiles[record];
        if (rows.empty()) {
            rows = std::move(files);
        } else {
            rows.insert(rows.end(), std::make_move_iterator(files.begin()),
                        std::make_move_iterator(files.end()));
        }
        std::vector<FileRow>().swap(files);
    }
}

void SortRootChildren(ScanResult& result) {
    DirNode& root = result.dirs.at(kRootRecord);
    std::sort(root.children.begin(), root.children.end(), [&](std::int64_t a, std::int64_t b) {
        return result.dirs.at(a).totalSize > result.dirs.at(b).totalSize;
    });
}

}  // namespace

std::wstring FolderPath(const std::unordered_map<std::int64_t, DirNode>& dirs, std::int64_t record,
                        std::wstring_view drive) {
    record = RootWhenBelowOne(record);
    std::vector<const std::wstring*> names;
    std::vector<std::int64_t> seen;
    std::unordered_set<std::int64_t> seenMany;
    // Parent links that loop (possible when the MFT changed while it was read) would never reach
    // the root; the walk stops at the first directory it meets twice.
    const auto repeats = [&](std::int64_t r) {
        if (seen.size() < 64) {
            if (std::find(seen.begin(), seen.end(), r) != seen.end()) {
                return true;
            }
            seen.push_back(r);
            return false;
        }
        if (seenMany.empty()) {
            seenMany.insert(seen.begin(), seen.end());
        }
        return !seenMany.insert(r).second;
    };
    for (auto found = dirs.find(record); found != dirs.end() && record != kRootRecord;
         found = dirs.find(record)) {
        if (repeats(record)) {
            break;
        }
        names.push_back(&found->second.name);
        record = found->second.parentRecord;
    }
    std::wstring path = DriveRoot(drive);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (path.back() != L'\\') {
            path.push_back(L'\\');
        }
        path += **it;
    }
    return path;
}

std::wstring FilePath(std::wstring_view folderPath, std::wstring_view name) {
    std::wstring path(folderPath);
    if (!path.empty() && path.back() != L'\\') {
        path.push_back(L'\\');
    }
    path += name;
    return path;
}

void BuildResult(ScanResult& result, ScanSlice& slice, std::wstring_view drive) {
    result = ScanResult{};
    result.rootRecord = kRootRecord;
    result.drive = std::wstring(drive);
    result.fileCount = slice.fileCount;
    result.dirCount = slice.dirCount;
    MakeNodes(result, slice, drive);
    LinkNodes(result);
    MoveOrphansToRoot(result, slice);
    const std::vector<std::int64_t> order = VisitOrder(result);
    SumSubtrees(result, slice, order);
    const FolderPathMap paths = FolderPaths(result, order, drive);
    MakeFileRows(result, slice, paths);
    SortRootChildren(result);
    result.rootTotalSize = result.dirs.at(kRootRecord).totalSize;
    BuildExtensionStats(result, slice);
    BuildLargestFiles(result, std::move(slice.largest), slice.extTotals, paths);
}

}  // namespace kestrin
