#include "make-image/FolderIndex.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "make-image/RecordWriter.h"

namespace kestrin::image {

namespace {

std::size_t EntrySize(const IndexItem& item, bool withChild) {
    return Align8(0x10 + item.key.size()) + (withChild ? 8 : 0);
}

void AppendEntry(Bytes& out, const IndexItem& item) {
    const std::size_t at = out.size();
    const std::size_t size = EntrySize(item, item.child >= 0);
    out.resize(at + size);
    Put(out, at + 0x00, static_cast<std::uint64_t>(item.record) | kSequence, 8);
    Put(out, at + 0x08, size, 2);
    Put(out, at + 0x0A, item.key.size(), 2);
    Put(out, at + 0x0C, item.child >= 0 ? 1 : 0, 4);
    std::copy(item.key.begin(), item.key.end(),
              out.begin() + static_cast<std::ptrdiff_t>(at + 0x10));
    if (item.child >= 0) {
        Put(out, at + size - 8, static_cast<std::uint64_t>(item.child), 8);
    }
}

constexpr std::size_t kBlockEntrySpace = kIndexBlock - 0x40;

}  // namespace

Bytes FileNameValue(std::int64_t parent, const std::u16string& name, std::uint8_t nameSpace,
                    bool directory, std::int64_t size, std::int64_t allocated, std::int64_t time,
                    std::uint32_t attributes) {
    Bytes value(0x42 + 2 * name.size());
    Put(value, 0x00, static_cast<std::uint64_t>(parent) | kSequence, 8);
    for (std::size_t at = 0x08; at < 0x28; at += 8) {
        Put(value, at, static_cast<std::uint64_t>(time), 8);
    }
    Put(value, 0x28, static_cast<std::uint64_t>(allocated), 8);
    Put(value, 0x30, static_cast<std::uint64_t>(size), 8);
    Put(value, 0x38, directory ? 0x10000000u | attributes : attributes, 4);
    Put(value, 0x40, name.size(), 1);
    Put(value, 0x41, nameSpace, 1);
    for (std::size_t i = 0; i < name.size(); ++i) {
        Put(value, 0x42 + 2 * i, name[i], 2);
    }
    return value;
}

void AppendEnd(Bytes& out, std::int64_t child) {
    const std::size_t at = out.size();
    const std::size_t size = child >= 0 ? 0x18 : 0x10;
    out.resize(at + size);
    Put(out, at + 0x08, size, 2);
    Put(out, at + 0x0C, child >= 0 ? 3 : 2, 4);
    if (child >= 0) {
        Put(out, at + 0x10, static_cast<std::uint64_t>(child), 8);
    }
}

FolderIndex BuildIndex(std::vector<IndexItem> items, std::size_t smallRoom, std::size_t largeRoom,
                       bool keepBlocks) {
    std::sort(items.begin(), items.end(),
              [](const IndexItem& a, const IndexItem& b) { return a.sortKey < b.sortKey; });
    FolderIndex index;
    std::size_t total = 0x10;
    for (const IndexItem& item : items) {
        total += EntrySize(item, false);
    }
    if (total <= smallRoom) {
        for (const IndexItem& item : items) {
            AppendEntry(index.rootEntries, item);
        }
        AppendEnd(index.rootEntries, -1);
        return index;
    }
    index.large = true;
    std::int64_t rightChild = -1;
    for (;;) {
        std::size_t rootSize = 0x18;
        for (const IndexItem& item : items) {
            rootSize += EntrySize(item, true);
        }
        if (index.blockCount > 0 && rootSize <= largeRoom) {
            for (const IndexItem& item : items) {
                AppendEntry(index.rootEntries, item);
            }
            AppendEnd(index.rootEntries, rightChild);
            return index;
        }
        // One more level: pack the items into blocks, each block's last item going up.
        std::vector<IndexItem> parents;
        std::int64_t parentRight = -1;
        std::size_t i = 0;
        while (i < items.size()) {
            const bool internal = items[i].child >= 0;
            std::size_t used = internal ? 0x18 : 0x10;
            std::size_t j = i;
            while (j < items.size() && used + EntrySize(items[j], internal) <= kBlockEntrySpace) {
                used += EntrySize(items[j], internal);
                ++j;
            }
            // A block must not be left with nothing after the item that goes up.
            if (j + 1 == items.size() && j - i > 1) {
                --j;
            }
            const auto vcn = static_cast<std::int64_t>(index.blockCount++);
            const std::int64_t end = j < items.size() ? items[j].child : rightChild;
            if (keepBlocks) {
                Bytes block(kIndexBlock);
                std::memcpy(block.data(), "INDX", 4);
                Put(block, 0x04, 0x28, 2);
                Put(block, 0x06, kIndexBlock / 512 + 1, 2);
                Put(block, 0x10, static_cast<std::uint64_t>(vcn), 8);
                Put(block, 0x28, 1, 2);
                Bytes entries;
                for (std::size_t k = i; k < j; ++k) {
                    AppendEntry(entries, items[k]);
                }
                AppendEnd(entries, end);
                Put(block, 0x18, 0x28, 4);
                Put(block, 0x1C, 0x28 + entries.size(), 4);
                Put(block, 0x20, kIndexBlock - 0x18, 4);
                Put(block, 0x24, internal ? 1 : 0, 1);
                std::copy(entries.begin(), entries.end(), block.begin() + 0x40);
                index.blocks.push_back(std::move(block));
            }
            if (j < items.size()) {
                IndexItem up = std::move(items[j]);
                up.child = vcn;
                parents.push_back(std::move(up));
                i = j + 1;
            } else {
                parentRight = vcn;
                i = j;
            }
        }
        items = std::move(parents);
        rightChild = parentRight;
        if (items.empty()) {
            AppendEnd(index.rootEntries, rightChild);
            return index;
        }
    }
}

Bytes IndexRootValue(const Bytes& entries, bool large, std::uint32_t indexedType,
                     std::uint32_t collation) {
    Bytes value(0x20);
    Put(value, 0x00, indexedType, 4);
    Put(value, 0x04, collation, 4);
    Put(value, 0x08, kIndexBlock, 4);
    Put(value, 0x0C, 1, 1);
    Put(value, 0x10, 0x10, 4);
    Put(value, 0x14, 0x10 + entries.size(), 4);
    Put(value, 0x18, 0x10 + entries.size(), 4);
    Put(value, 0x1C, large ? 1 : 0, 1);
    value.insert(value.end(), entries.begin(), entries.end());
    return value;
}

std::size_t BitmapAttributeSize(std::size_t blocks) {
    return ResidentSize(
        4, Align8(static_cast<std::size_t>(CeilDiv(static_cast<std::int64_t>(blocks), 8))));
}

}  // namespace kestrin::image
