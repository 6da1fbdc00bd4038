#include "tools/kestrin-scan/source/FolderSubtree.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "scan/ntfs/MftEntry.h"
#include "scan/results/ScanSlice.h"
#include "tools/kestrin-scan/report/ShownPaths.h"

namespace kestrin {

namespace {

wchar_t FoldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameFolded(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return FoldAscii(x) == FoldAscii(y); });
}

// The child folder of `parent` called `name`: NTFS names are unique ignoring case, but a folder
// may hold names that differ only in case (POSIX names), so an exact match comes first.
std::int64_t ChildNamed(const ScanResult& result, const DirNode& parent, const std::wstring& name) {
    std::int64_t folded = -1;
    for (const std::int64_t child : parent.children) {
        const auto found = result.dirs.find(child);
        if (found == result.dirs.end()) {
            continue;
        }
        if (found->second.name == name) {
            return child;
        }
        if (folded < 0 && SameFolded(found->second.name, name)) {
            folded = child;
        }
    }
    return folded;
}

std::int64_t FollowNames(const ScanResult& result, const std::vector<std::wstring>& names) {
    std::int64_t record = kRootRecord;
    for (const std::wstring& name : names) {
        const auto found = result.dirs.find(record);
        if (found == result.dirs.end()) {
            return -1;
        }
        record = ChildNamed(result, found->second, name);
        if (record < 0) {
            return -1;
        }
    }
    return result.dirs.count(record) != 0 ? record : -1;
}

// The folders of the subtree, `folder` first, each once.
std::vector<std::int64_t> SubtreeFolders(const ScanResult& result, std::int64_t folder) {
    std::vector<std::int64_t> order = {folder};
    std::unordered_set<std::int64_t> seen = {folder};
    for (std::size_t i = 0; i < order.size(); ++i) {
        for (const std::int64_t child : result.dirs.at(order[i]).children) {
            if (result.dirs.count(child) != 0 && seen.insert(child).second) {
                order.push_back(child);
            }
        }
    }
    return order;
}

// Largest first; among equal sizes the lower record. The keys are sorted beside the rows they
// stand for: a sort that reached every row through a pointer spent its time waiting on memory.
void FillLargestFiles(ScanResult& cut) {
    struct Key {
        std::int64_t size;
        std::int64_t record;
        const FileRow* row;
    };
    std::vector<Key> files;
    for (const auto& [record, rows] : cut.dirFiles) {
        for (const FileRow& row : rows) {
            files.push_back({row.size, row.recordNumber, &row});
        }
    }
    const auto larger = [](const Key& a, const Key& b) {
        return a.size != b.size ? a.size > b.size : a.record < b.record;
    };
    const auto kept =
        static_cast<std::ptrdiff_t>(std::min<std::size_t>(files.size(), kLargestFilesCapacity));
    std::nth_element(files.begin(), files.begin() + kept, files.end(), larger);
    std::sort(files.begin(), files.begin() + kept, larger);
    cut.largestFiles.reserve(static_cast<std::size_t>(kept));
    for (std::ptrdiff_t i = 0; i < kept; ++i) {
        cut.largestFiles.push_back(*files[static_cast<std::size_t>(i)].row);
    }
}

void FillExtensionStats(ScanResult& cut) {
    std::unordered_map<std::wstring, ExtStat> totals;
    for (const auto& [record, rows] : cut.dirFiles) {
        for (const FileRow& row : rows) {
            ExtStat& stat = totals[row.extension.str()];
            stat.size += row.size;
            ++stat.files;
        }
    }
    for (auto& [extension, stat] : totals) {
        stat.extension = extension;
        cut.extStats.push_back(std::move(stat));
    }
    std::sort(cut.extStats.begin(), cut.extStats.end(), [](const ExtStat& a, const ExtStat& b) {
        return a.size != b.size ? a.size > b.size : a.extension < b.extension;
    });
}

}  // namespace

std::int64_t FindFolder(const ScanResult& result, std::int64_t record,
                        const std::vector<std::wstring>& names) {
    const auto found = result.dirs.find(record);
    if (found != result.dirs.end()) {
        const bool named =
            names.empty() ? record == kRootRecord : SameFolded(found->second.name, names.back());
        if (named) {
            return record;
        }
    }
    return FollowNames(result, names);
}

ScanResult SubtreeOf(ScanResult&& result, std::int64_t folder, const std::wstring& shownPath,
                     wchar_t separator) {
    ScanResult cut;
    cut.rootRecord = folder;
    cut.shownRoot = shownPath;
    cut.pathSeparator = separator;
    cut.drive = result.drive;
    cut.seconds = result.seconds;
    cut.space = result.space;
    cut.unreadMftRecords = result.unreadMftRecords;
    const std::vector<std::int64_t> folders = SubtreeFolders(result, folder);
    cut.dirs.reserve(folders.size());
    for (const std::int64_t record : folders) {
        cut.dirs.emplace(record, std::move(result.dirs.at(record)));
    }
    DirNode& root = cut.dirs.at(folder);
    root.name = shownPath;
    std::sort(root.children.begin(), root.children.end(), [&](std::int64_t a, std::int64_t b) {
        return cut.dirs.at(a).totalSize > cut.dirs.at(b).totalSize;
    });
    for (const std::int64_t record : folders) {
        const auto rows = result.dirFiles.find(record);
        if (rows == result.dirFiles.end()) {
            continue;
        }
        const SharedText path(ShownFolderPath(cut, record));
        std::vector<FileRow>& moved = cut.dirFiles[record];
        moved = std::move(rows->second);
        for (FileRow& row : moved) {
            row.folderPath = path;
        }
    }
    cut.dirCount = static_cast<std::int32_t>(folders.size() - 1);
    cut.fileCount = root.totalFiles;
    cut.rootTotalSize = root.totalSize;
    FillLargestFiles(cut);
    FillExtensionStats(cut);
    return cut;
}

}  // namespace kestrin
