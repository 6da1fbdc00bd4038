#pragma once

#include <cstdint>
#include <optional>

#include "scan/ntfs/ClusterTally.h"

namespace kestrin {

// Where the volume's allocated clusters are, in bytes. On a sound volume the four kinds of
// attribute account for every cluster the allocation bitmap marks as in use.
struct SpaceAccounting {
    std::int64_t clusterSize = 0;
    // The set bits of $Bitmap below the volume's cluster count, times the cluster size; -1 when
    // the bitmap could not be read.
    std::int64_t volumeUsed = -1;
    std::int64_t fileData = 0;          // the unnamed $DATA of every in-use record
    std::int64_t namedStreams = 0;      // every named $DATA stream
    std::int64_t directoryIndexes = 0;  // every $INDEX_ALLOCATION
    std::int64_t otherAttributes = 0;   // every other non-resident attribute

    bool HasVolumeUsed() const { return volumeUsed >= 0; }
    // What the bitmap marks as in use and no attribute claims; negative when attributes claim
    // clusters the bitmap calls free. 0 when the bitmap could not be read.
    std::int64_t Unaccounted() const;
};

// The accounting of a volume with clusters of `clusterSize` bytes, from the clusters the records
// place and the clusters the bitmap marks (nothing when it could not be read).
SpaceAccounting AccountSpace(const ClusterTally& clusters, std::int64_t clusterSize,
                             std::optional<std::int64_t> usedClusters);

}  // namespace kestrin
