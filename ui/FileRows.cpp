#include "ui/FileRows.h"

#include <algorithm>

#include "render/Format.h"
#include "render/TreemapModel.h"
#include "scan/results/DirectoryTree.h"
#include "ui/TextOrder.h"

namespace kestrin {

namespace {

// The key's three-way result turned into "goes first" for the direction.
bool GoesFirst(int order, bool ascending) {
    return ascending ? order < 0 : order > 0;
}

int CompareNumbers(std::int64_t a, std::int64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// The hash runs over UTF-16 code units. Where wchar_t holds whole code points, a character above
// U+FFFF is fed in as its surrogate pair, so an extension gets the same colour on every platform.
std::uint64_t HashUtf16(std::wstring_view text) {
    std::uint64_t hash = 0;
    const auto add = [&hash](std::uint64_t unit) { hash = hash * 31 + unit; };
    for (const wchar_t ch : text) {
        const auto value = static_cast<std::uint32_t>(ch);
        if (sizeof(wchar_t) > 2 && value >= 0x10000 && value <= 0x10FFFF) {
            add(0xD800 + ((value - 0x10000) >> 10));
            add(0xDC00 + ((value - 0x10000) & 0x3FF));
        } else {
            add(value);
        }
    }
    return hash;
}

}  // namespace

std::vector<std::size_t> BuildFileRows(const ScanResult& result) {
    std::vector<std::size_t> rows;
    rows.reserve(std::min(kMaxFileRows, result.largestFiles.size()));
    for (std::size_t i = 0; i < result.largestFiles.size() && rows.size() < kMaxFileRows; ++i) {
        if (result.largestFiles[i].size != 0) {
            rows.push_back(i);
        }
    }
    return rows;
}

bool CompareFileRows(const FileRow& a, const FileRow& b, SortState sort) {
    int order = 0;
    switch (sort.column) {
        case 0:
            order = CompareTextNoCase(a.name.wide(), b.name.wide());
            break;
        case 1:
            order = CompareTextNoCase(a.folderPath, b.folderPath);
            break;
        case 2:
            order = CompareTextNoCase(a.extension, b.extension);
            break;
        case 4:
            order = CompareNumbers(a.allocated, b.allocated);
            break;
        case 5:
            order = CompareNumbers(a.time, b.time);
            break;
        default:
            order = CompareNumbers(a.size, b.size);
            break;
    }
    return GoesFirst(order, sort.ascending);
}

void SortFileRows(ScanResult& result, SortState sort) {
    std::sort(result.largestFiles.begin(), result.largestFiles.end(),
              [sort](const FileRow& a, const FileRow& b) { return CompareFileRows(a, b, sort); });
}

std::wstring FileCellText(const FileRow& row, int column) {
    switch (column) {
        case 0:
            return row.name.str();
        case 1:
            return row.folderPath;
        case 2:
            return row.extension;
        case 3:
            return FormatSize(row.size);
        case 4:
            return FormatSize(row.allocated);
        case 5:
            return FormatFileTime(row.time);
        default:
            return {};
    }
}

std::wstring FileRowPath(const FileRow& row) {
    return FilePath(row.folderPath, row.name.wide());
}

std::uint32_t ExtensionColor(const ScanResult& result, std::wstring_view extension) {
    const auto found = std::find_if(result.extStats.begin(), result.extStats.end(),
                                    [extension](const ExtStat& stat) {
                                        return CompareTextNoCase(stat.extension, extension) == 0;
                                    });
    const std::uint64_t key = found != result.extStats.end()
                                  ? static_cast<std::uint64_t>(found - result.extStats.begin())
                                  : HashUtf16(extension);
    return treemapPalette[key % treemapPalette.size()];
}

}  // namespace kestrin
