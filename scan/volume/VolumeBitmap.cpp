#include "scan/volume/VolumeBitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "scan/volume/StreamReader.h"

namespace kestrin {

namespace {

// The bitmap of a 16 TiB volume with 4 KiB clusters is 512 MiB; it is read a piece at a time
// into one small buffer. Fresh pages are dear in a virtual machine (a 320 KiB buffer cost more
// to fault in than the whole read), so the buffer is small and reused.
constexpr std::int64_t kPieceBytes = std::int64_t{64} << 10;

}  // namespace

std::int64_t CountSetBits(std::span<const std::uint8_t> bytes, std::int64_t bitLimit) {
    if (bitLimit <= 0) {
        return 0;
    }
    const auto wholeBytes =
        static_cast<std::size_t>(std::min<std::int64_t>(bitLimit / 8, std::ssize(bytes)));
    std::int64_t count = 0;
    std::size_t at = 0;
    for (; at + 8 <= wholeBytes; at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, 8);
        count += std::popcount(word);
    }
    for (; at < wholeBytes; ++at) {
        count += std::popcount(bytes[at]);
    }
    const std::int64_t restBits = bitLimit - static_cast<std::int64_t>(wholeBytes) * 8;
    if (at < bytes.size() && restBits > 0 && restBits < 8) {
        count += std::popcount(static_cast<std::uint8_t>(bytes[at] & ((1u << restBits) - 1)));
    }
    return count;
}

std::optional<std::int64_t> CountUsedClusters(const VolumeHandle& volume, const MftRecords& records,
                                              const MftGeometry& geometry) {
    const std::int64_t clusterSize = geometry.clusterSize;
    const std::int64_t clusters = geometry.clusterCount;
    UnnamedStream bitmap;
    if (clusterSize <= 0 || clusters <= 0 ||
        !FindUnnamedStream(volume, records, clusterSize, kBitmapRecord, bitmap)) {
        return std::nullopt;
    }
    const std::int64_t needed = (clusters + 7) / 8;
    if (bitmap.dataSize < needed) {
        return std::nullopt;
    }
    // Raw volumes read whole sectors only: every piece starts on a cluster and covers whole
    // clusters, which the stream's runs allocate.
    const std::int64_t piece = std::max(kPieceBytes / clusterSize, std::int64_t{1}) * clusterSize;
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min(piece, needed + clusterSize)));
    std::int64_t used = 0;
    for (std::int64_t offset = 0; offset < needed; offset += piece) {
        const std::int64_t wanted = std::min(piece, needed - offset);
        const std::int64_t read = (wanted + clusterSize - 1) / clusterSize * clusterSize;
        const std::span<std::uint8_t> target(buffer.data(), static_cast<std::size_t>(read));
        if (!ReadThroughRuns(volume, bitmap.runs, clusterSize, offset, target)) {
            return std::nullopt;
        }
        used += CountSetBits(target.first(static_cast<std::size_t>(wanted)),
                             std::min(clusters - offset * 8, wanted * 8));
    }
    return used;
}

}  // namespace kestrin
