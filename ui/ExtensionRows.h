#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/results/ScanResult.h"
#include "ui/SortState.h"

namespace kestrin {

// However many extensions a volume has, the view shows no more than this many rows.
inline constexpr std::size_t kMaxExtensionRows = 200;

// Positions in `extStats`, in its current order, of the rows on display: every extension with a
// non-zero size or file count, at most kMaxExtensionRows of them.
std::vector<std::size_t> BuildExtensionRows(const ScanResult& result);

// Whether `a` goes before `b` for the column (0 extension text, case-insensitive; 3 file count;
// anything else size) and direction. Equal keys are not ordered.
bool CompareExtensionRows(const ExtStat& a, const ExtStat& b, SortState sort);

// Sorts the whole `extStats` list in place. Swatch colours follow positions in that list, so
// they change with the order.
void SortExtensionRows(ScanResult& result, SortState sort);

// The extension's share of the volume in percent. A volume total of 0 or less counts as one
// byte; the formatter clamps what that yields.
double ExtensionSharePercent(std::int64_t size, std::int64_t volumeTotal);

// The text of one cell; `volumeTotal` is the scan's `rootTotalSize`. Column 0 is the bare
// extension (the swatch is painted beside it); empty for a column the view does not have.
std::wstring ExtensionCellText(const ExtStat& stat, int column, std::int64_t volumeTotal);

// The swatch colour of the entry at `position` in `extStats`.
std::uint32_t ExtensionSwatchColor(std::size_t position);

}  // namespace kestrin
