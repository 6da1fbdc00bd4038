#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrin::image {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kCluster = 4096;
constexpr std::int64_t kRecordSize = 1024;
constexpr std::int64_t kSectorSize = 512;
constexpr std::int64_t kIndexBlock = kCluster;
// A 1 KiB record less its header with the update sequence (0x38) and the end marker.
constexpr std::size_t kAttributeSpace = kRecordSize - 0x38 - 8;
constexpr std::int64_t kRootRecord = 5;
constexpr std::int64_t kExtendRecord = 11;
constexpr std::int64_t kFirstUserRecord = 28;
// Every record keeps sequence number 1, as RecordBuilder writes it, so references carry 1 too.
constexpr std::uint64_t kSequence = std::uint64_t{1} << 48;
// mkntfs puts the MFT 3 GiB into a large volume; files fill the space before and between its
// extents.
constexpr std::int64_t kMftStartLcn = 786432;
constexpr std::int64_t kFileTime2008 = 128444832000000000;
constexpr std::int64_t kFileTime2024 = 133616736000000000;

constexpr std::uint32_t kAttrStandardInformation = 0x10;
constexpr std::uint32_t kAttrList = 0x20;
constexpr std::uint32_t kAttrFileName = 0x30;
constexpr std::uint32_t kAttrVolumeName = 0x60;
constexpr std::uint32_t kAttrVolumeInformation = 0x70;
constexpr std::uint32_t kAttrData = 0x80;
constexpr std::uint32_t kAttrIndexRoot = 0x90;
constexpr std::uint32_t kAttrIndexAllocation = 0xA0;
constexpr std::uint32_t kAttrBitmap = 0xB0;

inline std::size_t Align8(std::size_t value) {
    return (value + 7) & ~std::size_t{7};
}

inline std::int64_t CeilDiv(std::int64_t a, std::int64_t b) {
    return (a + b - 1) / b;
}

}  // namespace kestrin::image
