#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/results/ScanResult.h"
#include "ui/SortState.h"

namespace kestrin {

// The file view lists only the front of the largest-files list: painting and refreshing stay
// cheap although the list can hold 100000 files.
inline constexpr std::size_t kMaxFileRows = 200;

// Positions in `largestFiles`, in its current order, of the files on display: those of non-zero
// size, at most kMaxFileRows of them.
std::vector<std::size_t> BuildFileRows(const ScanResult& result);

// Whether `a` goes before `b` for the column (0 name, 1 folder, 2 extension, 4 allocated,
// 5 time, anything else size) and direction. Texts compare case-insensitively. Equal keys are
// not ordered, so both directions answer false for them.
bool CompareFileRows(const FileRow& a, const FileRow& b, SortState sort);

// Sorts the whole largest-files list, not just the rows on display; equal keys end up in no
// particular order.
void SortFileRows(ScanResult& result, SortState sort);

// The text of one cell; empty for a column the view does not have.
std::wstring FileCellText(const FileRow& row, int column);

// The full path of the file: the folder, a backslash unless the folder ends in one, the name.
std::wstring FileRowPath(const FileRow& row);

// The swatch colour of an extension: the palette entry of its position in `extStats` (matched
// case-insensitively), so it follows the extension view's current order; an extension missing
// from the statistics gets a stable colour from a hash of its UTF-16 code units.
std::uint32_t ExtensionColor(const ScanResult& result, std::wstring_view extension);

}  // namespace kestrin
