#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "scan/results/ScanResult.h"
#include "scan/results/ScanSlice.h"

namespace kestrin {

// Folder paths by record, as FolderPath makes them.
using FolderPathMap = std::unordered_map<std::int64_t, SharedText>;

// Turns the merged accumulator into the ScanResult: the directory tree with subtree totals, the
// per-directory file rows, then the extension statistics and the largest files. The file lists
// and the largest files move from `slice` into the result, names and all.
void BuildResult(ScanResult& result, ScanSlice& slice, std::wstring_view drive);

// The full path of a directory, e.g. C:\Users\Public; the root, unknown records and record
// numbers below 1 give the drive root C:\. Parent links are followed as read, so a chain that
// breaks off starts at the drive root; a chain that loops is cut where it would repeat.
std::wstring FolderPath(const std::unordered_map<std::int64_t, DirNode>& dirs, std::int64_t record,
                        std::wstring_view drive);

// A file's full path: its folder path and its name joined by one backslash (C:\ + a gives C:\a).
std::wstring FilePath(std::wstring_view folderPath, std::wstring_view name);

}  // namespace kestrin
