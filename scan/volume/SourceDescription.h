#pragma once

#include <cstdint>
#include <vector>

#include "scan/source/PartitionTable.h"
#include "scan/volume/FileSystemProbe.h"

namespace kestrin {

// What a source given by path holds: a volume, or a disk whose partitions hold volumes.
struct SourceDescription {
    std::int64_t size = 0;  // bytes
    VolumeContent content = VolumeContent::Unknown;
    // Beside an NTFS volume, the signatures of other file systems that its start holds as well.
    std::vector<VolumeContent> alsoFound;
    // Read only when the start is no volume that can be identified.
    PartitionTable table;
    std::vector<VolumeContent> partitionContents;  // one per table.partitions

    bool IsDisk() const { return table.scheme != PartitionScheme::None; }
    // The partitions that hold NTFS, by their index in table.partitions.
    std::vector<std::size_t> NtfsPartitions() const;
};

// Reads the start of a source of `size` bytes and, when no volume starts there, its partition
// table and the start of each partition.
SourceDescription DescribeSource(const DiskReader& read, std::int64_t size);

}  // namespace kestrin
