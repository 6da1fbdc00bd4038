#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/results/ScanResult.h"

namespace kestrin {

// Where a folder given as SOURCE lies in the scan of its volume: at `record` (the record number
// its file system reports) when that is a folder of the tree named as the last of `names`, else
// where `names`, its path from the volume's root, lead from the root (exact names first, then
// names equal but for the case of A to Z). -1 when neither finds it.
std::int64_t FindFolder(const ScanResult& result, std::int64_t record,
                        const std::vector<std::wstring>& names);

// The scan cut to one folder and what hangs below it: that folder is the root, named
// `shownPath`, and the paths below it join names with `separator`; its subfolders are the first
// table's rows; the file counts, the largest files and the extension statistics are the
// subtree's. The volume's space accounting stays the volume's. The subtree's folders and rows
// move out of `result`.
ScanResult SubtreeOf(ScanResult&& result, std::int64_t folder, const std::wstring& shownPath,
                     wchar_t separator);

}  // namespace kestrin
