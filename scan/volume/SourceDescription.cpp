#include "scan/volume/SourceDescription.h"

#include <algorithm>
#include <vector>

namespace kestrin {

namespace {

// The start of a stretch of the source, no more than it holds. Devices read whole sectors only,
// so the length is cut to a multiple of 512; the probes never need the odd tail.
std::vector<std::uint8_t> StartOf(const DiskReader& read, std::int64_t offset,
                                  std::int64_t length) {
    const std::int64_t wanted =
        std::min<std::int64_t>(static_cast<std::int64_t>(kProbeBytes), length) / 512 * 512;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(wanted, 0)));
    if (!read(offset, bytes)) {
        bytes.clear();
    }
    return bytes;
}

VolumeContent IdentifyAt(const DiskReader& read, std::int64_t offset, std::int64_t length) {
    const std::vector<std::uint8_t> bytes = StartOf(read, offset, length);
    return bytes.empty() ? VolumeContent::Unknown : IdentifyVolume(bytes);
}

}  // namespace

std::vector<std::size_t> SourceDescription::NtfsPartitions() const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < partitionContents.size(); ++i) {
        if (partitionContents[i] == VolumeContent::Ntfs ||
            partitionContents[i] == VolumeContent::NtfsDamaged) {
            found.push_back(i);
        }
    }
    return found;
}

SourceDescription DescribeSource(const DiskReader& read, std::int64_t size) {
    SourceDescription description;
    description.size = size;
    // A source that cannot tell its size is probed as far as it reads.
    const std::vector<std::uint8_t> start =
        StartOf(read, 0, size > 0 ? size : static_cast<std::int64_t>(kProbeBytes));
    description.content = start.empty() ? VolumeContent::Unknown : IdentifyVolume(start);
    if (description.content == VolumeContent::Ntfs) {
        description.alsoFound = OtherSignatures(start);
    }
    if (description.content != VolumeContent::Unknown) {
        return description;
    }
    description.table = ReadPartitionTable(read, size);
    for (const PartitionEntry& partition : description.table.partitions) {
        description.partitionContents.push_back(
            IdentifyAt(read, partition.start, partition.length));
    }
    return description;
}

}  // namespace kestrin
