#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "render/TreemapState.h"
#include "scan/results/ScanResult.h"
#include "ui/SortState.h"

namespace kestrin {

// One visible line of the tree list: a folder, the "[直接文件]" line that groups a folder's own
// files, or one of those files.
struct TreeRow {
    std::int64_t recordNumber = 0;  // folder or file record; -1 for a group line
    std::int64_t owner = 0;         // the folder of a group line or file line; 0 for folders
    std::int64_t fileIndex = 0;     // position in dirFiles of the owner, for file lines
    std::int32_t depth = 0;
    bool expandable = false;
    bool isFilesGroup = false;
    bool isFile = false;
    std::int64_t groupSize = 0;
    std::int64_t groupAllocated = 0;
    std::int32_t groupFileCount = 0;
};

// The tree list's rows and what they are made from. The open state lives only in the two sets;
// the rows are regenerated from the root after every change, so they always follow treeSort.
struct TreeModel {
    const ScanResult* result = nullptr;
    std::vector<TreeRow> treeRows;
    std::unordered_set<std::int64_t> expandedFolders;
    std::unordered_set<std::int64_t> expandedFileGroups;
    SortState treeSort{2, false};
};

// The entry that stands for a folder's own files among its children while they are ordered.
inline constexpr std::int64_t kOwnFilesEntry = -1;

// Regenerates every row from the root; no rows without a result or without record 5.
void RebuildTreeRows(TreeModel& model);
// Appends a folder's row and, when it is open, the rows of everything shown beneath it. A folder
// is shown once per call, so children lists that loop back up still come to an end.
void AppendFolderRows(TreeModel& model, std::int64_t record, std::int32_t depth);
// Appends one row per file of the folder's dirFiles list, ordered by treeSort.
void AppendFileRows(TreeModel& model, std::int64_t folder, std::int32_t depth);
// Orders the children of `folder` (record numbers, plus kOwnFilesEntry for its own files) by
// treeSort.
void SortChildren(const TreeModel& model, const DirNode& folder,
                  std::vector<std::int64_t>& entries);

// Opens or closes a folder that has something to show, then regenerates the rows.
void ToggleFolder(TreeModel& model, std::int64_t record);
// Opens or closes the "[直接文件]" line of a folder that holds files, then regenerates the rows.
void ToggleFileGroup(TreeModel& model, std::int64_t folder);
// Opens the folder and every folder above it, then regenerates the rows.
void RevealFolder(TreeModel& model, std::int64_t record);
// The model after a new scan result: nothing open but the root, rows regenerated.
void InstallResult(TreeModel& model, const ScanResult* result);

// Share of the parent's allocated bytes, in per cent; 0 for unknown rows.
double RowPercent(const TreeModel& model, std::size_t index);
// The text of a cell as the list asks for it (columns 0 to 8); empty for unknown rows.
std::wstring RowCellText(const TreeModel& model, std::size_t index, int column);
// Full path of the row, such as C:\Windows\System32; a group line gives its folder's path.
std::wstring RowPath(const TreeModel& model, std::size_t index);
// The file a file line stands for; null for other lines and for files no longer listed.
const FileRow* RowFile(const TreeModel& model, std::size_t index);
// Whether the row's triangle points down.
bool RowIsOpen(const TreeModel& model, const TreeRow& row);

// Moves the treemap to a folder on the treemap's request and opens the folder in the tree,
// with its "[直接文件]" line when the treemap shows its files. False when the folder has nothing
// the requested mode could show; then nothing has changed.
bool ShowDirectory(TreeModel& model, TreemapState& treemap, std::int64_t record, bool filesMode);
// The row to select after ShowDirectory: the folder's group line in files mode, else its folder
// line; -1 when there is none.
std::ptrdiff_t ShowDirectoryTargetRow(const TreeModel& model, const TreemapState& treemap,
                                      std::int64_t record);
// The heading above the treemap: "顶级文件夹" for the root, else the folder's name.
std::wstring TreemapHeadingText(const ScanResult* result, const TreemapState& treemap);

// Whether a click at list-client x lands on the row's triangle or in the indentation before it.
bool IsTriangleHit(const TreeRow& row, int x, int dpi);
// A click on the triangle of row `index`: toggles it, and when a folder with something in it
// was opened, the treemap moves there. True when the treemap state changed.
bool ClickTreeRow(TreeModel& model, TreemapState& treemap, std::size_t index);
// A double-click on row `index`: folders as a triangle click; a group line opens or closes and,
// when opened, the treemap shows the folder's files. True when the treemap state changed.
bool DoubleClickTreeRow(TreeModel& model, TreemapState& treemap, std::size_t index);

// Width of the share bar inside a cell of `innerWidth` pixels; at least one pixel for any
// positive share.
int ShareBarWidth(int innerWidth, double percent);

}  // namespace kestrin
