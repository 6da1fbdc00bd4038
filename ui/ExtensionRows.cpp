#include "ui/ExtensionRows.h"

#include <algorithm>

#include "render/Format.h"
#include "render/TreemapModel.h"
#include "ui/TextOrder.h"

namespace kestrin {

std::vector<std::size_t> BuildExtensionRows(const ScanResult& result) {
    std::vector<std::size_t> rows;
    rows.reserve(std::min(kMaxExtensionRows, result.extStats.size()));
    for (std::size_t i = 0; i < result.extStats.size() && rows.size() < kMaxExtensionRows; ++i) {
        const ExtStat& stat = result.extStats[i];
        if (stat.size != 0 || stat.files != 0) {
            rows.push_back(i);
        }
    }
    return rows;
}

bool CompareExtensionRows(const ExtStat& a, const ExtStat& b, SortState sort) {
    int order = 0;
    if (sort.column == 0) {
        order = CompareTextNoCase(a.extension, b.extension);
    } else if (sort.column == 3) {
        order = a.files < b.files ? -1 : (a.files > b.files ? 1 : 0);
    } else {
        order = a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
    }
    return sort.ascending ? order < 0 : order > 0;
}

void SortExtensionRows(ScanResult& result, SortState sort) {
    std::sort(
        result.extStats.begin(), result.extStats.end(),
        [sort](const ExtStat& a, const ExtStat& b) { return CompareExtensionRows(a, b, sort); });
}

double ExtensionSharePercent(std::int64_t size, std::int64_t volumeTotal) {
    const std::int64_t total = volumeTotal > 0 ? volumeTotal : 1;
    return static_cast<double>(size) * 100.0 / static_cast<double>(total);
}

std::wstring ExtensionCellText(const ExtStat& stat, int column, std::int64_t volumeTotal) {
    switch (column) {
        case 0:
            return stat.extension;
        case 1:
            return FormatSize(stat.size);
        case 2:
            return FormatPercent(ExtensionSharePercent(stat.size, volumeTotal));
        case 3:
            return FormatCount(stat.files);
        default:
            return {};
    }
}

std::uint32_t ExtensionSwatchColor(std::size_t position) {
    return treemapPalette[position % treemapPalette.size()];
}

}  // namespace kestrin
