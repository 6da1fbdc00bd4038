#include "render/TreemapModel.h"

#include <algorithm>
#include <cstddef>
#include <numeric>

namespace kestrin {
namespace {

std::uint32_t PaletteColor(int counter) {
    // A negative counter from a caller must still pick a colour, not index out of range.
    const int position = counter % static_cast<int>(treemapPalette.size());
    return treemapPalette[static_cast<std::size_t>(position < 0 ? position + 12 : position)];
}

bool HasFileList(const ScanResult& result, std::int64_t directory) {
    const auto files = result.dirFiles.find(directory);
    return files != result.dirFiles.end() && !files->second.empty();
}

bool HasOwnFiles(const DirNode& node) {
    return node.ownFiles > 0 || node.ownSize > 0;
}

}  // namespace

std::vector<TreemapItem> BuildTreemapItems(const ScanResult& result, std::int64_t directory,
                                           bool& showsFiles) {
    std::vector<TreemapItem> items;
    auto shown = result.dirs.find(directory);
    if (shown == result.dirs.end()) {
        directory = 5;
        shown = result.dirs.find(directory);
        if (shown == result.dirs.end()) {
            return items;
        }
    }
    const DirNode& node = shown->second;

    int counter = 0;
    if (showsFiles) {
        AddFileItems(result, directory, counter, items);
        return items;
    }

    // Children the map does not know cannot be drawn; they sort last and are passed over.
    const auto totalOf = [&](std::int64_t record) {
        const auto child = result.dirs.find(record);
        return child == result.dirs.end() ? std::int64_t{-1} : child->second.totalSize;
    };
    std::vector<std::int64_t> children = node.children;
    std::sort(children.begin(), children.end(),
              [&](std::int64_t a, std::int64_t b) { return totalOf(a) > totalOf(b); });

    for (const std::int64_t record : children) {
        const auto found = result.dirs.find(record);
        if (found == result.dirs.end()) {
            continue;
        }
        const DirNode& child = found->second;
        if (child.totalSize <= 0 && child.children.empty() && !HasOwnFiles(child)) {
            continue;
        }
        TreemapItem item;
        item.name = child.name;
        item.size = std::max<std::int64_t>(child.totalSize, 1);
        item.recordNumber = record;
        item.navigable = !child.children.empty() || HasFileList(result, record);
        item.color = PaletteColor(counter);
        items.push_back(std::move(item));
        ++counter;
    }

    if (HasOwnFiles(node)) {
        TreemapItem item;
        item.name = kOwnFilesLabel;
        item.size = std::max<std::int64_t>(node.ownSize, 1);
        item.recordNumber = directory;
        item.navigable = true;
        item.isOwnFiles = true;
        item.color = PaletteColor(counter);
        items.push_back(std::move(item));

        // One tile for everything would hide the only content there is.
        if (node.children.empty() && HasFileList(result, directory)) {
            showsFiles = true;
            items.clear();
            counter = 0;
            AddFileItems(result, directory, counter, items);
        }
    }
    return items;
}

void AddFileItems(const ScanResult& result, std::int64_t directory, int& counter,
                  std::vector<TreemapItem>& items) {
    const auto found = result.dirFiles.find(directory);
    if (found == result.dirFiles.end()) {
        return;
    }
    const std::vector<FileRow>& files = found->second;

    // Positions, not copies: the item keeps the file's place in its directory's list.
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });

    for (const std::size_t position : order) {
        const FileRow& file = files[position];
        if (file.size <= 0) {
            continue;
        }
        TreemapItem item;
        item.name = file.name.str();
        item.size = file.size;
        item.recordNumber = directory;
        item.isFile = true;
        item.fileIndex = static_cast<std::int64_t>(position);
        item.color = PaletteColor(counter);
        items.push_back(std::move(item));
        ++counter;
    }
}

}  // namespace kestrin
