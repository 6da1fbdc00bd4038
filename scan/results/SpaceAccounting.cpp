#include "scan/results/SpaceAccounting.h"

#include <limits>

#include "scan/common/SaturatingAdd.h"

namespace kestrin {

std::int64_t SpaceAccounting::Unaccounted() const {
    if (!HasVolumeUsed()) {
        return 0;
    }
    std::int64_t rest = volumeUsed;
    for (const std::int64_t claimed : {fileData, namedStreams, directoryIndexes, otherAttributes}) {
        AddSaturating(rest, -claimed);
    }
    return rest;
}

SpaceAccounting AccountSpace(const ClusterTally& clusters, std::int64_t clusterSize,
                             std::optional<std::int64_t> usedClusters) {
    SpaceAccounting space;
    space.clusterSize = clusterSize;
    space.volumeUsed = usedClusters ? ClusterBytes(*usedClusters, clusterSize) : -1;
    space.fileData = ClusterBytes(clusters.fileData, clusterSize);
    space.namedStreams = ClusterBytes(clusters.namedStreams, clusterSize);
    space.directoryIndexes = ClusterBytes(clusters.directoryIndexes, clusterSize);
    space.otherAttributes = ClusterBytes(clusters.otherAttributes, clusterSize);
    return space;
}

}  // namespace kestrin
