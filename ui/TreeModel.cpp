#include "ui/TreeModel.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>

#include "render/Dpi.h"
#include "render/Format.h"
#include "render/TreemapModel.h"
#include "scan/results/DirectoryTree.h"
#include "ui/TextOrder.h"

namespace kestrin {

namespace {

constexpr wchar_t kTopLevelHeading[] = L"顶级文件夹";
// Parent links come from a volume that may change while it is read, so they can loop; every
// walk up them gives up after this many steps.
constexpr std::size_t kMaxParentSteps = 512;

const DirNode* FindDir(const ScanResult* result, std::int64_t record) {
    if (result == nullptr) {
        return nullptr;
    }
    const auto found = result->dirs.find(record);
    return found == result->dirs.end() ? nullptr : &found->second;
}

const TreeRow* RowAt(const TreeModel& model, std::size_t index) {
    return index < model.treeRows.size() ? &model.treeRows[index] : nullptr;
}

bool HasOwnFiles(const DirNode& node) {
    return node.ownFiles > 0 || node.ownSize > 0;
}

bool CanOpen(const DirNode& node) {
    return !node.children.empty() || node.ownFiles > 0;
}

// The direction rule shared by every sort key: ascending puts the smaller first.
template <typename T>
bool InDirection(const T& a, const T& b, bool ascending) {
    return ascending ? a < b : b < a;
}

bool TextInDirection(int comparison, bool ascending) {
    return ascending ? comparison < 0 : comparison > 0;
}

// Everything one sibling is ordered by, looked up once before sorting.
struct ChildOrderKey {
    std::int64_t entry = 0;
    std::int64_t key = 0;
    std::wstring_view name;
    std::wstring attributes;
};

std::int64_t FolderSortKey(const DirNode& node, std::int32_t column) {
    switch (column) {
        case 2:
            return node.totalSize;
        case 4:
            return static_cast<std::int64_t>(node.totalFiles) + node.subdirCount;
        case 5:
            return node.totalFiles;
        case 6:
            return node.subdirCount;
        case 7:
            return node.time;
        default:
            return node.totalAllocated;
    }
}

std::int64_t OwnFilesSortKey(const DirNode& folder, std::int32_t column) {
    switch (column) {
        case 2:
            return folder.ownSize;
        case 4:
        case 5:
            return folder.ownFiles;
        case 6:
        case 7:
            return 0;
        default:
            return folder.ownAllocated;
    }
}

std::int64_t FileSortKey(const FileRow& file, std::int32_t column) {
    switch (column) {
        case 2:
            return file.size;
        case 7:
            return file.time;
        default:
            return file.allocated;
    }
}

void AppendGroupRow(TreeModel& model, std::int64_t record, const DirNode& folder,
                    std::int32_t depth) {
    TreeRow row;
    row.recordNumber = -1;
    row.owner = record;
    row.depth = depth;
    row.expandable = folder.ownFiles > 0;
    row.isFilesGroup = true;
    row.groupSize = folder.ownSize;
    row.groupAllocated = folder.ownAllocated;
    row.groupFileCount = folder.ownFiles;
    model.treeRows.push_back(row);
}

// The sum can exceed 32 bits on made-up data; FormatCount prints plain digits either way.
std::wstring FormatItemCount(const DirNode& node) {
    const std::int64_t items = static_cast<std::int64_t>(node.totalFiles) + node.subdirCount;
    if (items >= 0) {
        return FormatCount(static_cast<std::uint64_t>(items));
    }
    return FormatCount(static_cast<std::int32_t>(
        std::max<std::int64_t>(items, std::numeric_limits<std::int32_t>::min())));
}

std::wstring FolderCellText(const DirNode& node, int column) {
    switch (column) {
        case 0:
            return node.name;
        case 2:
            return FormatSize(node.totalSize);
        case 3:
            return FormatSize(node.totalAllocated);
        case 4:
            return FormatItemCount(node);
        case 5:
            return FormatCount(node.totalFiles);
        case 6:
            return FormatCount(node.subdirCount);
        case 7:
            return FormatFileTime(node.time);
        case 8:
            return FormatAttributes(node.attributes);
        default:
            return {};
    }
}

std::wstring GroupCellText(const TreeRow& row, int column) {
    switch (column) {
        case 0:
            return kOwnFilesLabel;
        case 2:
            return FormatSize(row.groupSize);
        case 3:
            return FormatSize(row.groupAllocated);
        case 4:
        case 5:
            return FormatCount(row.groupFileCount);
        case 6:
            return L"0";
        default:
            return {};
    }
}

std::wstring FileCellText(const FileRow& file, int column) {
    switch (column) {
        case 0:
            return file.name.str();
        case 2:
            return FormatSize(file.size);
        case 3:
            return FormatSize(file.allocated);
        case 4:
        case 5:
            return L"1";
        case 6:
            return L"0";
        case 7:
            return FormatFileTime(file.time);
        case 8:
            return FormatAttributes(file.attributes);
        default:
            return {};
    }
}

double ShareOf(std::int64_t part, std::int64_t whole) {
    return static_cast<double>(part) * 100.0 / static_cast<double>(whole);
}

// Toggles a folder; when that opened a folder with something to show, the treemap follows it in
// folder mode. True when the treemap has to be rebuilt.
bool ToggleFolderFollowing(TreeModel& model, TreemapState& treemap, std::int64_t record) {
    const bool wasOpen = model.expandedFolders.contains(record);
    ToggleFolder(model, record);
    const DirNode* node = FindDir(model.result, record);
    if (wasOpen || node == nullptr) {
        return false;
    }
    const auto files = model.result->dirFiles.find(record);
    const bool hasFiles = files != model.result->dirFiles.end() && !files->second.empty();
    if (node->children.empty() && !hasFiles) {
        return false;
    }
    treemap.treemapDirectory = record;
    treemap.treemapShowsFiles = false;
    return true;
}

}  // namespace

void RebuildTreeRows(TreeModel& model) {
    model.treeRows.clear();
    if (FindDir(model.result, kRootRecord) != nullptr) {
        AppendFolderRows(model, kRootRecord, 0);
    }
}

void AppendFolderRows(TreeModel& model, std::int64_t record, std::int32_t depth) {
    if (model.result == nullptr) {
        return;
    }
    // An explicit stack rather than recursion: an opened chain of folders may be thousands
    // deep. Entries come off in display order, so children are pushed in reverse.
    struct Pending {
        std::int64_t folder;
        std::int32_t depth;
        bool filesGroup;
    };
    std::vector<Pending> pending{{record, depth, false}};
    std::unordered_set<std::int64_t> entered;
    std::vector<std::int64_t> ordered;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        const DirNode* node = FindDir(model.result, next.folder);
        if (node == nullptr) {
            continue;
        }
        if (next.filesGroup) {
            AppendGroupRow(model, next.folder, *node, next.depth);
            if (model.expandedFileGroups.contains(next.folder)) {
                AppendFileRows(model, next.folder, next.depth + 1);
            }
            continue;
        }
        if (!entered.insert(next.folder).second) {
            continue;
        }
        TreeRow row;
        row.recordNumber = next.folder;
        row.depth = next.depth;
        row.expandable = CanOpen(*node);
        model.treeRows.push_back(row);
        if (!model.expandedFolders.contains(next.folder)) {
            continue;
        }
        ordered = node->children;
        if (HasOwnFiles(*node)) {
            ordered.push_back(kOwnFilesEntry);
        }
        SortChildren(model, *node, ordered);
        for (auto entry = ordered.rbegin(); entry != ordered.rend(); ++entry) {
            if (*entry == kOwnFilesEntry) {
                pending.push_back({next.folder, next.depth + 1, true});
            } else {
                pending.push_back({*entry, next.depth + 1, false});
            }
        }
    }
}

void SortChildren(const TreeModel& model, const DirNode& folder,
                  std::vector<std::int64_t>& entries) {
    // Plain copies, not a structured binding: lambdas below capture them.
    const std::int32_t column = model.treeSort.column;
    const bool ascending = model.treeSort.ascending;
    static const DirNode kMissing;
    std::vector<ChildOrderKey> keys;
    keys.reserve(entries.size());
    for (const std::int64_t entry : entries) {
        ChildOrderKey key;
        key.entry = entry;
        if (entry == kOwnFilesEntry) {
            key.key = OwnFilesSortKey(folder, column);
            key.name = kOwnFilesLabel;
        } else {
            const DirNode* child = FindDir(model.result, entry);
            const DirNode& node = child != nullptr ? *child : kMissing;
            key.key = FolderSortKey(node, column);
            key.name = node.name;
            if (column == 8) {
                key.attributes = FormatAttributes(node.attributes);
            }
        }
        keys.push_back(std::move(key));
    }
    if (column == 0 || column == 8) {
        std::sort(keys.begin(), keys.end(), [&](const ChildOrderKey& a, const ChildOrderKey& b) {
            const int order = column == 0 ? CompareTextNoCase(a.name, b.name)
                                          : CompareTextNoCase(a.attributes, b.attributes);
            if (order != 0) {
                return TextInDirection(order, ascending);
            }
            return a.entry != kOwnFilesEntry && b.entry == kOwnFilesEntry;
        });
    } else {
        std::sort(keys.begin(), keys.end(), [&](const ChildOrderKey& a, const ChildOrderKey& b) {
            if (a.key != b.key) {
                return InDirection(a.key, b.key, ascending);
            }
            return CompareTextNoCase(a.name, b.name) < 0;
        });
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        entries[i] = keys[i].entry;
    }
}

void AppendFileRows(TreeModel& model, std::int64_t folder, std::int32_t depth) {
    if (model.result == nullptr) {
        return;
    }
    const auto found = model.result->dirFiles.find(folder);
    if (found == model.result->dirFiles.end()) {
        return;
    }
    const std::vector<FileRow>& files = found->second;
    // Plain copies, not a structured binding: lambdas below capture them.
    const std::int32_t column = model.treeSort.column;
    const bool ascending = model.treeSort.ascending;
    std::vector<std::size_t> order(files.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    if (column == 0) {
        std::sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
            return TextInDirection(CompareTextNoCase(files[i].name.wide(), files[j].name.wide()), ascending);
        });
    } else if (column == 8) {
        std::vector<std::wstring> attributes(files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            attributes[i] = FormatAttributes(files[i].attributes);
        }
        std::sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
            return TextInDirection(CompareTextNoCase(attributes[i], attributes[j]), ascending);
        });
    } else if (column == 4 || column == 5 || column == 6) {
        // Files have no counts of their own: these columns keep the stored order or reverse it.
        if (!ascending) {
            std::reverse(order.begin(), order.end());
        }
    } else {
        std::sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
            const std::int64_t a = FileSortKey(files[i], column);
            const std::int64_t b = FileSortKey(files[j], column);
            if (a != b) {
                return InDirection(a, b, ascending);
            }
            return CompareTextNoCase(files[i].name.wide(), files[j].name.wide()) < 0;
        });
    }
    model.treeRows.reserve(model.treeRows.size() + order.size());
    for (const std::size_t index : order) {
        TreeRow row;
        row.recordNumber = files[index].recordNumber;
        row.owner = folder;
        row.fileIndex = static_cast<std::int64_t>(index);
        row.isFile = true;
        row.depth = depth;
        model.treeRows.push_back(row);
    }
}

void ToggleFolder(TreeModel& model, std::int64_t record) {
    const DirNode* node = FindDir(model.result, record);
    if (node == nullptr || !CanOpen(*node)) {
        return;
    }
    if (model.expandedFolders.erase(record) == 0) {
        model.expandedFolders.insert(record);
    }
    RebuildTreeRows(model);
}

void ToggleFileGroup(TreeModel& model, std::int64_t folder) {
    const DirNode* node = FindDir(model.result, folder);
    if (node == nullptr || node->ownFiles <= 0) {
        return;
    }
    if (model.expandedFileGroups.erase(folder) == 0) {
        model.expandedFileGroups.insert(folder);
    }
    RebuildTreeRows(model);
}

void RevealFolder(TreeModel& model, std::int64_t record) {
    const DirNode* node = FindDir(model.result, record);
    if (node == nullptr) {
        return;
    }
    std::int64_t current = record;
    for (std::size_t collected = 1;; ++collected) {
        if (current == kRootRecord || CanOpen(*node)) {
            model.expandedFolders.insert(current);
        }
        if (current == kRootRecord || collected >= kMaxParentSteps) {
            break;
        }
        current = node->treeParent;
        node = FindDir(model.result, current);
        if (node == nullptr) {
            break;
        }
    }
    RebuildTreeRows(model);
}

void InstallResult(TreeModel& model, const ScanResult* result) {
    model.result = result;
    model.expandedFolders.clear();
    model.expandedFileGroups.clear();
    if (FindDir(result, kRootRecord) != nullptr) {
        model.expandedFolders.insert(kRootRecord);
    }
    RebuildTreeRows(model);
}

double RowPercent(const TreeModel& model, std::size_t index) {
    const TreeRow* row = RowAt(model, index);
    if (row == nullptr) {
        return 0.0;
    }
    if (row->isFile) {
        const FileRow* file = RowFile(model, index);
        const DirNode* owner = FindDir(model.result, row->owner);
        if (file == nullptr || owner == nullptr || owner->totalAllocated <= 0) {
            return 0.0;
        }
        return ShareOf(file->allocated, owner->totalAllocated);
    }
    if (row->isFilesGroup) {
        const DirNode* owner = FindDir(model.result, row->owner);
        if (owner == nullptr || owner->totalAllocated <= 0) {
            return 0.0;
        }
        return ShareOf(row->groupAllocated, owner->totalAllocated);
    }
    const DirNode* node = FindDir(model.result, row->recordNumber);
    if (node == nullptr) {
        return 0.0;
    }
    // The root is the whole volume, even one with nothing allocated yet.
    if (row->recordNumber == kRootRecord) {
        return 100.0;
    }
    const DirNode* parent = FindDir(model.result, node->treeParent);
    if (parent == nullptr) {
        return 100.0;
    }
    if (parent->totalAllocated <= 0) {
        return 0.0;
    }
    return ShareOf(node->totalAllocated, parent->totalAllocated);
}

std::wstring RowCellText(const TreeModel& model, std::size_t index, int column) {
    const TreeRow* row = RowAt(model, index);
    if (row == nullptr) {
        return {};
    }
    if (row->isFile) {
        const FileRow* file = RowFile(model, index);
        if (file == nullptr) {
            return {};
        }
        return column == 1 ? FormatPercent(RowPercent(model, index)) : FileCellText(*file, column);
    }
    if (row->isFilesGroup) {
        return column == 1 ? FormatPercent(RowPercent(model, index)) : GroupCellText(*row, column);
    }
    const DirNode* node = FindDir(model.result, row->recordNumber);
    if (node == nullptr) {
        return {};
    }
    return column == 1 ? FormatPercent(RowPercent(model, index)) : FolderCellText(*node, column);
}

std::wstring RowPath(const TreeModel& model, std::size_t index) {
    const TreeRow* row = RowAt(model, index);
    if (row == nullptr || model.result == nullptr) {
        return {};
    }
    if (row->isFile) {
        const FileRow* file = RowFile(model, index);
        if (file == nullptr) {
            return {};
        }
        return FilePath(file->folderPath, file->name.wide());
    }
    std::wstring path = model.result->drive + L":\\";
    std::vector<const std::wstring*> names;
    std::int64_t current = row->isFilesGroup ? row->owner : row->recordNumber;
    while (current != kRootRecord && names.size() < kMaxParentSteps) {
        const DirNode* node = FindDir(model.result, current);
        if (node == nullptr) {
            break;
        }
        names.push_back(&node->name);
        current = node->treeParent;
    }
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (name != names.rbegin()) {
            path += L'\\';
        }
        path += **name;
    }
    return path;
}

const FileRow* RowFile(const TreeModel& model, std::size_t index) {
    const TreeRow* row = RowAt(model, index);
    if (row == nullptr || !row->isFile || model.result == nullptr) {
        return nullptr;
    }
    const auto found = model.result->dirFiles.find(row->owner);
    if (found == model.result->dirFiles.end() || row->fileIndex < 0 ||
        static_cast<std::uint64_t>(row->fileIndex) >= found->second.size()) {
        return nullptr;
    }
    return &found->second[static_cast<std::size_t>(row->fileIndex)];
}

bool RowIsOpen(const TreeModel& model, const TreeRow& row) {
    if (row.isFile) {
        return false;
    }
    if (row.isFilesGroup) {
        return model.expandedFileGroups.contains(row.owner);
    }
    return model.expandedFolders.contains(row.recordNumber);
}

bool ShowDirectory(TreeModel& model, TreemapState& treemap, std::int64_t record, bool filesMode) {
    const DirNode* node = FindDir(model.result, record);
    if (node == nullptr) {
        return false;
    }
    const bool hasOwn = HasOwnFiles(*node);
    const bool hasSub = !node->children.empty();
    if (filesMode) {
        if (!hasOwn) {
            return false;
        }
        treemap.treemapShowsFiles = true;
    } else if (hasSub) {
        treemap.treemapShowsFiles = false;
    } else if (hasOwn) {
        treemap.treemapShowsFiles = true;
    } else {
        return false;
    }
    treemap.treemapDirectory = record;
    RevealFolder(model, record);
    if (treemap.treemapShowsFiles && node->ownFiles > 0) {
        model.expandedFileGroups.insert(record);
        RebuildTreeRows(model);
    }
    return true;
}

std::ptrdiff_t ShowDirectoryTargetRow(const TreeModel& model, const TreemapState& treemap,
                                      std::int64_t record) {
    const auto target =
        std::find_if(model.treeRows.begin(), model.treeRows.end(), [&](const TreeRow& row) {
            if (treemap.treemapShowsFiles) {
                return row.isFilesGroup && row.owner == record;
            }
            return !row.isFilesGroup && !row.isFile && row.recordNumber == record;
        });
    return target == model.treeRows.end() ? -1 : target - model.treeRows.begin();
}

std::wstring TreemapHeadingText(const ScanResult* result, const TreemapState& treemap) {
    const DirNode* node = FindDir(result, treemap.treemapDirectory);
    if (treemap.treemapDirectory == kRootRecord || node == nullptr) {
        return kTopLevelHeading;
    }
    if (treemap.treemapShowsFiles) {
        return node->name + L" / " + kOwnFilesLabel;
    }
    return node->name;
}

bool IsTriangleHit(const TreeRow& row, int x, int dpi) {
    if (!row.expandable) {
        return false;
    }
    const std::int64_t edge = static_cast<std::int64_t>(ScaleForDpi(6, dpi)) +
                              static_cast<std::int64_t>(row.depth) * ScaleForDpi(16, dpi) +
                              ScaleForDpi(16, dpi);
    return x <= edge;
}

bool ClickTreeRow(TreeModel& model, TreemapState& treemap, std::size_t index) {
    const TreeRow* found = RowAt(model, index);
    if (found == nullptr || !found->expandable) {
        return false;
    }
    // The toggle regenerates the rows, so work from a copy.
    const TreeRow row = *found;
    if (row.isFilesGroup) {
        ToggleFileGroup(model, row.owner);
        return false;
    }
    if (row.isFile) {
        return false;
    }
    return ToggleFolderFollowing(model, treemap, row.recordNumber);
}

bool DoubleClickTreeRow(TreeModel& model, TreemapState& treemap, std::size_t index) {
    const TreeRow* found = RowAt(model, index);
    if (found == nullptr || found->isFile) {
        return false;
    }
    const TreeRow row = *found;
    if (row.isFilesGroup) {
        const bool wasOpen = model.expandedFileGroups.contains(row.owner);
        ToggleFileGroup(model, row.owner);
        if (wasOpen) {
            return false;
        }
        treemap.treemapShowsFiles = true;
        treemap.treemapDirectory = row.owner;
        return true;
    }
    return ToggleFolderFollowing(model, treemap, row.recordNumber);
}

int ShareBarWidth(int innerWidth, double percent) {
    if (!(percent > 0.0)) {
        return 0;
    }
    const double shown = std::min(percent, 100.0);
    return std::max(1, static_cast<int>(innerWidth * shown / 100.0));
}

}  // namespace kestrin
