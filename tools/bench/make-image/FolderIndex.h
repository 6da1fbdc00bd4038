#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "make-image/ImageLayout.h"

namespace kestrin::image {

Bytes FileNameValue(std::int64_t parent, const std::u16string& name, std::uint8_t nameSpace,
                    bool directory, std::int64_t size, std::int64_t allocated, std::int64_t time,
                    std::uint32_t attributes);

struct IndexItem {
    std::u16string sortKey;
    Bytes key;
    std::int64_t record = 0;
    std::int64_t child = -1;  // VCN of the node of smaller names
};

void AppendEnd(Bytes& out, std::int64_t child);

// A folder's B+ tree: the entries that stay in the record's $INDEX_ROOT and the 4 KiB index
// blocks below it, built from the bottom up.
struct FolderIndex {
    Bytes rootEntries;
    bool large = false;
    std::vector<Bytes> blocks;  // unprotected, VCN = position
    std::size_t blockCount = 0;
};

FolderIndex BuildIndex(std::vector<IndexItem> items, std::size_t smallRoom, std::size_t largeRoom,
                       bool keepBlocks);

Bytes IndexRootValue(const Bytes& entries, bool large, std::uint32_t indexedType,
                     std::uint32_t collation);

constexpr std::size_t kIndexRootOverhead = 0x40;  // header and "$I30", root and node headers
constexpr std::size_t kIndexAllocationReserve = 0x70;
std::size_t BitmapAttributeSize(std::size_t blocks);

}  // namespace kestrin::image
