#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/results/ScanResult.h"

namespace kestrin {

// One rectangle the treemap may draw: a subdirectory, the files directly in the shown directory,
// or (in files mode) a single file.
struct TreemapItem {
    std::wstring name;
    std::int64_t size = 0;          // area weight in bytes; at least 1 for directory tiles
    std::int64_t recordNumber = 0;  // subdirectory, or the shown directory for file tiles
    bool navigable = false;         // double-click opens it
    bool isOwnFiles = false;
    bool isFile = false;
    std::int64_t fileIndex = 0;  // position in the directory's dirFiles list for file tiles
    std::uint32_t color = 0;     // COLORREF, 0x00BBGGRR
};

inline constexpr const wchar_t* kOwnFilesLabel = L"[直接文件]";

// Tile colours by build position; the file and extension views colour their swatches alike.
inline constexpr std::array<std::uint32_t, 12> treemapPalette = {
    0xD69C56, 0xB0C94E, 0x7891CE, 0xD68EB4, 0x5AB4DC, 0x78BE8C,
    0x7878DC, 0xDCB478, 0x64A0C8, 0xC8A0A0, 0xA0C864, 0xA08CC8,
};

// The items of one directory: its subdirectories largest first plus one tile for its own files,
// or its individual files when `showsFiles` is set. A directory that is not in the result shows
// the root instead. A directory that holds files but no subdirectories switches `showsFiles` on,
// so it opens straight into its files.
std::vector<TreemapItem> BuildTreemapItems(const ScanResult& result, std::int64_t directory,
                                           bool& showsFiles);

// Appends one item per file of positive size in the directory, largest first. `counter` is the
// running colour position; it advances once per appended item.
void AddFileItems(const ScanResult& result, std::int64_t directory, int& counter,
                  std::vector<TreemapItem>& items);

}  // namespace kestrin
